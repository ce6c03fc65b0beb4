// The plug-in's log nodes: registered while the DLL loads (in this order) and released, in the
// reverse order, while it unloads.
#pragma once

#include "logging/log_facade.h"

extern ScopedLogNode g_log_ime_hook;   // "ImeHookDll": fnHookKeyDllSethook
extern ScopedLogNode g_log_ime_input;  // "ImeInputWnd": the IME input window and its hook
extern ScopedLogNode g_log_channel;    // "Ferrule": the virtual channel
