// The logging facade: formats a message on the caller's stack and hands it, with the handle of the
// module that contains this copy of the facade, to LogbookMain. Keeps no state; any thread may log.
#pragma once

#include <windows.h>

#include "outside/logbook.h"

// Longest message in wide characters, plus its terminator.
constexpr int kLogBufferChars = 2048;

void LogText(_LogbookNode* node, const wchar_t* text, unsigned long level);
void LogFormat(_LogbookNode* node, unsigned long level, const wchar_t* format, ...);
void LogFormatMarked(_LogbookNode* node, unsigned long level, unsigned long mark, const wchar_t* format, ...);
// Base address of the module this facade is compiled into; null when VirtualQuery fails.
HINSTANCE CurrentModuleHandle();

// Fills a node (own address, name) and registers it; release it once with LogNodeRelease.
void LogNodeInit(_LogbookNode* node, const char* name);
void LogNodeRelease(_LogbookNode* node);

// A node that is registered for the lifetime of the object (static nodes of a module).
class ScopedLogNode {
 public:
  explicit ScopedLogNode(const char* name) { LogNodeInit(&node_, name); }
  ~ScopedLogNode() { LogNodeRelease(&node_); }
  ScopedLogNode(const ScopedLogNode&) = delete;
  ScopedLogNode& operator=(const ScopedLogNode&) = delete;
  _LogbookNode* get() { return &node_; }

 private:
  _LogbookNode node_;
};
