// The process-wide link to the parent engine.
#pragma once

#include <windows.h>

#include <cstdint>
#include <string>

#include "outside/session_link_data.h"

// LinkState values.
enum : int32_t {
  LinkIdle = 0,
  LinkSessionData = 1,
  LinkShellReady = 2,
  LinkParentClose = 3,
  LinkServerLogout = 4,
};

struct ParentLinkRecord {
  std::wstring CommandLine;  // the whole command line, program path included
  HWND ParentWindow = nullptr;  // null unless the command line named a live window
  HWND SessionWindow = nullptr;
  int32_t LinkState = LinkIdle;
  SessionLinkData SessionData;  // filled by the parent's session data
};

extern ParentLinkRecord ParentLink;

// Stores the session window and the command line in `link`, and the bracketed parent window
// when it is live. TRUE when it is.
BOOL ParseParentWindow(ParentLinkRecord& link, HWND session_window);
