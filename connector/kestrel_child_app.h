// The connector's application object: start-up, the switches, and the end of the program.
#pragma once

#include <windows.h>

class CKestrelChildApp {
 public:
  // FALSE: the program ends at once (ExitInstance follows); TRUE: run the message loop.
  BOOL InitInstance();
  // The program's exit code: wParam of the last message the loop retrieved (its WM_QUIT).
  int ExitInstance();
  // InitInstance, the message loop when it asks for one, ExitInstance.
  int Run();

 private:
  WPARAM last_wparam_ = 0;
};

extern CKestrelChildApp theApp;
