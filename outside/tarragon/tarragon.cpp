// Stand-in of the seamless-window plug-in: for now it records the attach arguments and logs each
// call; the "seamrdp" channel comes later.
#include "outside/tarragon.h"

#include "logging/log_facade.h"

namespace {

ScopedLogNode g_node("Tarragon");
HWND g_session_window = nullptr;
HWND g_control = nullptr;

}  // namespace

extern "C" {

void WINAPI TarragonAttach(HWND session_window, HWND control) {
  g_session_window = session_window;
  g_control = control;
  LogFormat(g_node.get(), 3, L"TarragonAttach, session window:0x%p, control:0x%p", static_cast<void*>(session_window),
            static_cast<void*>(control));
}

void WINAPI TarragonSend(const wchar_t* text) {
  LogFormat(g_node.get(), 3, L"TarragonSend:%s", text ? text : L"(null)");
}

}  // extern "C"
