// The outside seamless-window plug-in Tarragon, imported by ordinal.
#pragma once

#include <windows.h>

#ifdef TARRAGON_BUILD
// The plug-in's .def file exports these by ordinal; dllexport would add decorated i686 names.
#define TARRAGON_API
#else
#define TARRAGON_API __declspec(dllimport)
#endif

extern "C" {

// Ordinal 2: attaches the plug-in to the session window; control is the Remote Desktop control's
// window, or (HWND)-1 when the plug-in runs without one.
TARRAGON_API void WINAPI TarragonAttach(HWND session_window, HWND control);
// Ordinal 3: sends a NUL-terminated text on the "seamrdp" channel; read during the call only.
TARRAGON_API void WINAPI TarragonSend(const wchar_t* text);

}  // extern "C"
