// Process-wide state of the DLL: its module handle, the count of live objects and server locks
// (for DllCanUnloadNow), and the control's window class.
#pragma once

#include <windows.h>

#include <string>

namespace standin {

HINSTANCE module_instance();
void module_object_created();
void module_object_destroyed();
void module_lock(bool lock);
bool module_in_use();

// Registers the window class of the control's windows once; false when it cannot be registered.
bool ensure_window_class(WNDPROC proc);

// An environment variable's text; empty when unset.
std::wstring env_text(const wchar_t* name);
// An environment variable read as a number with automatic base; `fallback` when unset or not a number.
long env_number(const wchar_t* name, long fallback);

}  // namespace standin
