// A DLL with its own copy of the logging facade, to see which module handle its messages carry.
#pragma once

#include <windows.h>

#include "outside/logbook.h"

#ifdef LOGGING_PROBE_BUILD
#define PROBE_API __declspec(dllexport)
#else
#define PROBE_API __declspec(dllimport)
#endif

extern "C" {
PROBE_API void __cdecl ProbeLog(_LogbookNode* node, const wchar_t* text);
PROBE_API HINSTANCE __cdecl ProbeModuleHandle();
}
