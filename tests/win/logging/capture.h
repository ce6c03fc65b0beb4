// A capturing stand-in of the logging library, for tests: it keeps the last message and counts
// node registrations instead of writing anything.
#pragma once

#include <windows.h>

#include "outside/logbook.h"

constexpr size_t kCaptureChars = 4096;

struct CapturedMessage {
  const _LogbookNode* node;
  unsigned long level;
  HINSTANCE module;
  const wchar_t* text_pointer;
  size_t length;  // up to kCaptureChars; larger means unterminated or overlong
  wchar_t text[kCaptureChars + 1];
};

extern "C" {
LOGBOOK_API long __cdecl CaptureCount();
LOGBOOK_API bool __cdecl CaptureLast(CapturedMessage* out);
LOGBOOK_API void __cdecl CaptureReset();
LOGBOOK_API long __cdecl CaptureRefs(const _LogbookNode* node);
LOGBOOK_API long __cdecl CaptureReleases(const _LogbookNode* node);
}
