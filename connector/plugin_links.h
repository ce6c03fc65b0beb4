// The plug-in entry points the connector binds at load time by ordinal: the seamless plug-in's
// attach (2) and send (3), and the IME plug-in's hook switch (2). The connect step calls them
// through this table; holding their addresses here keeps the load-time binding in every build.
#pragma once

#include <windows.h>

#include "ime_plugin/quillon.h"
#include "outside/tarragon.h"

struct PluginEntryPoints {
  void(WINAPI* attach)(HWND session_window, HWND control);
  void(WINAPI* send)(const wchar_t* text);
  void(__cdecl* set_hook)(HWND window, int mode);
};

extern const PluginEntryPoints kPluginEntryPoints;
