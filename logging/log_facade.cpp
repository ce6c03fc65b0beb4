#include "logging/log_facade.h"

#include <cstdarg>
#include <cwchar>

namespace {

// Formats into a zeroed stack buffer. The count leaves the last character untouched, so the
// message stays terminated when _vsnwprintf cuts it (it then writes no terminator itself).
void FormatAndSend(_LogbookNode* node, unsigned long level, const wchar_t* format, va_list args) {
  wchar_t buffer[kLogBufferChars] = {};
  if (format) {
    _vsnwprintf(buffer, kLogBufferChars - 1, format, args);
  }
  _LogbookMainMessageW(node, buffer, level, CurrentModuleHandle());
}

}  // namespace

HINSTANCE CurrentModuleHandle() {
  MEMORY_BASIC_INFORMATION info = {};
  if (VirtualQuery(reinterpret_cast<const void*>(&CurrentModuleHandle), &info, sizeof(info)) == 0) {
    return nullptr;
  }
  return static_cast<HINSTANCE>(info.AllocationBase);
}

void LogText(_LogbookNode* node, const wchar_t* text, unsigned long level) {
  _LogbookMainMessageW(node, text, level, CurrentModuleHandle());
}

void LogFormat(_LogbookNode* node, unsigned long level, const wchar_t* format, ...) {
  va_list args;
  va_start(args, format);
  FormatAndSend(node, level, format, args);
  va_end(args);
}

void LogFormatMarked(_LogbookNode* node, unsigned long level, unsigned long mark, const wchar_t* format, ...) {
  va_list args;
  va_start(args, format);
  FormatAndSend(node, level | mark, format, args);
  va_end(args);
}

void LogNodeInit(_LogbookNode* node, const char* name) {
  node->self = node;
  node->name = name;
  _LogbookMainRef(node);
}

void LogNodeRelease(_LogbookNode* node) { _LogbookMainRelease(node); }
