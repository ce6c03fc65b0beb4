// Finding and answering another process's windows as a user would, for end-to-end tests.
// Every wait pumps the calling thread's messages, so a ParentStandIn on it keeps answering.
#pragma once

#include <windows.h>

#include <string>

namespace parent {

// Milliseconds from the performance counter. Wine's GetTickCount reads a shared page that the
// wineserver refreshes only when it wakes up, so it can leap.
inline DWORD now_ms() {
  LARGE_INTEGER count, frequency;
  QueryPerformanceCounter(&count);
  QueryPerformanceFrequency(&frequency);
  return static_cast<DWORD>(count.QuadPart / (frequency.QuadPart / 1000));
}

std::wstring class_name(HWND window);
std::wstring window_text(HWND window);

// A top-level window of process `pid` with this class and caption (either may be null: any).
HWND find_process_window(DWORD pid, const wchar_t* class_name, const wchar_t* caption);
HWND wait_process_window(DWORD pid, const wchar_t* class_name, const wchar_t* caption, DWORD timeout_ms);
// The connector's message box: class "#32770" with this caption.
inline HWND wait_message_box(DWORD pid, const wchar_t* caption, DWORD timeout_ms) {
  return wait_process_window(pid, L"#32770", caption, timeout_ms);
}

// The first descendant of `parent` of this class (depth first), or null.
HWND find_descendant(HWND parent, const wchar_t* class_name);
// The text of a message box: the longest text among its static controls.
std::wstring message_box_text(HWND box);

// Clicks the dialog's button with this identifier (IDOK, IDCANCEL): posts BM_CLICK to it.
bool click_button(HWND dialog, int id);
// Posts a key press (e.g. VK_ESCAPE, VK_RETURN) to the window as the keyboard would deliver it.
bool press_key(HWND window, UINT virtual_key);

// Pumps the calling thread's messages until `done` or the time-out; returns done().
template <class Done>
bool pump_until(Done done, DWORD timeout_ms);

void pump_messages();

template <class Done>
bool pump_until(Done done, DWORD timeout_ms) {
  DWORD start = now_ms();
  for (;;) {
    pump_messages();
    if (done()) return true;
    DWORD spent = now_ms() - start;
    if (spent >= timeout_ms) return false;
    DWORD left = timeout_ms - spent;
    MsgWaitForMultipleObjects(0, nullptr, FALSE, left < 20 ? left : 20, QS_ALLINPUT);
  }
}

}  // namespace parent
