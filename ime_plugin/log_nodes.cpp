#include "ime_plugin/log_nodes.h"

// One translation unit, so the definition order is the registration order.
ScopedLogNode g_log_ime_hook("ImeHookDll");
ScopedLogNode g_log_ime_input("ImeInputWnd");
ScopedLogNode g_log_channel("Ferrule");
