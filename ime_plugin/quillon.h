// The exports of the IME virtual-channel plug-in. Name and ordinal both matter: the connector
// binds fnHookKeyDllSethook by ordinal 2.
#pragma once

#include <windows.h>

// cchannel.h spells the calling convention _stdcall, which GCC predefines only in its GNU modes.
#ifndef _stdcall
#define _stdcall __stdcall
#endif
#include <cchannel.h>

#ifdef QUILLON_BUILD
#define QUILLON_API
#else
#define QUILLON_API __declspec(dllimport)
#endif

extern "C" {

// Ordinal 1: called once by the Remote Desktop client when it loads its plug-ins; TRUE when the
// "LMBLJA" channel was registered and initialised.
QUILLON_API BOOL VCAPITYPE VirtualChannelEntry(PCHANNEL_ENTRY_POINTS entry_points);

// Ordinal 2: mode 1 switches IME input on for the session window, 0 switches it off, 2 queues
// DISABLE; any other mode only looks for the control's input window.
QUILLON_API void __cdecl fnHookKeyDllSethook(HWND window, int mode);

// Ordinal 3: the hidden IME input window, or null when there is none.
QUILLON_API HWND __cdecl fnGetInputHwnd(void);

}  // extern "C"
