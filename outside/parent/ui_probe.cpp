#include "outside/parent/ui_probe.h"

#include <vector>

namespace parent {

std::wstring class_name(HWND window) {
  wchar_t name[256];
  int length = GetClassNameW(window, name, 256);
  return std::wstring(name, length > 0 ? static_cast<size_t>(length) : 0);
}

std::wstring window_text(HWND window) {
  int length = GetWindowTextLengthW(window);
  if (length <= 0) return std::wstring();
  std::vector<wchar_t> text(static_cast<size_t>(length) + 1);
  int got = GetWindowTextW(window, text.data(), length + 1);
  return std::wstring(text.data(), got > 0 ? static_cast<size_t>(got) : 0);
}

namespace {

struct WindowQuery {
  DWORD pid;
  const wchar_t* class_name;
  const wchar_t* caption;
  HWND found;
};

BOOL CALLBACK match_top_level(HWND window, LPARAM param) {
  auto* q = reinterpret_cast<WindowQuery*>(param);
  DWORD pid = 0;
  GetWindowThreadProcessId(window, &pid);
  if (pid != q->pid) return TRUE;
  if (q->class_name && class_name(window) != q->class_name) return TRUE;
  if (q->caption && window_text(window) != q->caption) return TRUE;
  q->found = window;
  return FALSE;
}

struct DescendantQuery {
  const wchar_t* class_name;
  HWND found;
};

BOOL CALLBACK match_descendant(HWND window, LPARAM param) {
  auto* q = reinterpret_cast<DescendantQuery*>(param);
  if (class_name(window) != q->class_name) return TRUE;
  q->found = window;
  return FALSE;
}

BOOL CALLBACK longest_static(HWND window, LPARAM param) {
  auto* best = reinterpret_cast<std::wstring*>(param);
  if (_wcsicmp(class_name(window).c_str(), L"Static") == 0) {
    std::wstring text = window_text(window);
    if (text.size() > best->size()) *best = text;
  }
  return TRUE;
}

}  // namespace

HWND find_process_window(DWORD pid, const wchar_t* cls, const wchar_t* caption) {
  WindowQuery q = {pid, cls, caption, nullptr};
  EnumWindows(match_top_level, reinterpret_cast<LPARAM>(&q));
  return q.found;
}

HWND wait_process_window(DWORD pid, const wchar_t* cls, const wchar_t* caption, DWORD timeout_ms) {
  HWND found = nullptr;
  pump_until([&] { return (found = find_process_window(pid, cls, caption)) != nullptr; }, timeout_ms);
  return found;
}

HWND find_descendant(HWND parent_window, const wchar_t* cls) {
  // EnumChildWindows walks every descendant, depth first.
  DescendantQuery q = {cls, nullptr};
  EnumChildWindows(parent_window, match_descendant, reinterpret_cast<LPARAM>(&q));
  return q.found;
}

std::wstring message_box_text(HWND box) {
  std::wstring best;
  EnumChildWindows(box, longest_static, reinterpret_cast<LPARAM>(&best));
  return best;
}

bool click_button(HWND dialog, int id) {
  HWND button = GetDlgItem(dialog, id);
  return button && PostMessageW(button, BM_CLICK, 0, 0);
}

bool press_key(HWND window, UINT virtual_key) {
  UINT scan = MapVirtualKeyW(virtual_key, MAPVK_VK_TO_VSC);
  LPARAM down = 1 | (static_cast<LPARAM>(scan) << 16);
  LPARAM up = down | (static_cast<LPARAM>(3) << 30);
  return PostMessageW(window, WM_KEYDOWN, virtual_key, down) && PostMessageW(window, WM_KEYUP, virtual_key, up);
}

void pump_messages() {
  MSG msg;
  while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
    TranslateMessage(&msg);
    DispatchMessageW(&msg);
  }
}

}  // namespace parent
