#include "outside/rdpcontrol/module.h"

#include <cwchar>

#include "outside/rdpcontrol/standin_protocol.h"

namespace standin {
namespace {

HINSTANCE g_instance = nullptr;
LONG g_objects = 0;
LONG g_locks = 0;
INIT_ONCE g_class_once = INIT_ONCE_STATIC_INIT;
bool g_class_registered = false;

BOOL CALLBACK register_class(PINIT_ONCE, PVOID proc, PVOID*) {
  WNDCLASSW wc = {};
  wc.lpfnWndProc = reinterpret_cast<WNDPROC>(proc);
  wc.hInstance = g_instance;
  wc.hCursor = LoadCursor(nullptr, IDC_ARROW);
  wc.lpszClassName = kWindowClass;
  g_class_registered = RegisterClassW(&wc) != 0 || GetLastError() == ERROR_CLASS_ALREADY_EXISTS;
  return TRUE;
}

}  // namespace

HINSTANCE module_instance() { return g_instance; }
void module_object_created() { InterlockedIncrement(&g_objects); }
void module_object_destroyed() { InterlockedDecrement(&g_objects); }
void module_lock(bool lock) {
  if (lock)
    InterlockedIncrement(&g_locks);
  else
    InterlockedDecrement(&g_locks);
}
bool module_in_use() { return g_objects > 0 || g_locks > 0; }

bool ensure_window_class(WNDPROC proc) {
  InitOnceExecuteOnce(&g_class_once, register_class, reinterpret_cast<PVOID>(proc), nullptr);
  return g_class_registered;
}

std::wstring env_text(const wchar_t* name) {
  wchar_t buffer[512];
  DWORD length = GetEnvironmentVariableW(name, buffer, 512);
  if (length == 0 || length >= 512) return std::wstring();
  return std::wstring(buffer, length);
}

long env_number(const wchar_t* name, long fallback) {
  std::wstring text = env_text(name);
  if (text.empty()) return fallback;
  wchar_t* end = nullptr;
  // Through unsigned so that HRESULTs written in hexadecimal (0x80004005) keep their bits.
  unsigned long value = wcstoul(text.c_str(), &end, 0);
  if (text[0] == L'-') value = static_cast<unsigned long>(wcstol(text.c_str(), &end, 0));
  if (!end || *end != L'\0') return fallback;
  return static_cast<long>(value);
}

}  // namespace standin

extern "C" BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID reserved) {
  if (reason == DLL_PROCESS_ATTACH) {
    standin::g_instance = instance;
    DisableThreadLibraryCalls(instance);
  } else if (reason == DLL_PROCESS_DETACH && !reserved && standin::g_class_registered) {
    UnregisterClassW(standin::kWindowClass, instance);
  }
  return TRUE;
}
