// Entry points of the plug-in. The channel, the hooks and the IME input window follow.
#include "ime_plugin/quillon.h"

#include "ime_plugin/log_nodes.h"

extern "C" {

BOOL VCAPITYPE VirtualChannelEntry(PCHANNEL_ENTRY_POINTS entry_points) {
  LogFormat(g_log_channel.get(), 1, L"VirtualChannelEntry, entry points:0x%p (not handled yet)",
            static_cast<void*>(entry_points));
  return FALSE;
}

void __cdecl fnHookKeyDllSethook(HWND window, int mode) {
  LogFormat(g_log_ime_hook.get(), 3, L"HookKeyDllSethook, hWnd:%d, mode:%d (not handled yet)",
            static_cast<int>(reinterpret_cast<INT_PTR>(window)), mode);
}

HWND __cdecl fnGetInputHwnd(void) { return nullptr; }

}  // extern "C"
