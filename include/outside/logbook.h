// The outside logging library LogbookMain: three cdecl functions, linked at load time by name.
#pragma once

#include <windows.h>

#ifdef LOGBOOKMAIN_BUILD
#define LOGBOOK_API __declspec(dllexport)
#else
#define LOGBOOK_API __declspec(dllimport)
#endif

extern "C" {

// Filled by its owner before registration: its own address, then its name. The library may keep
// the node's address from _LogbookMainRef until _LogbookMainRelease.
struct _LogbookNode {
  void* self;
  const char* name;
};
static_assert(sizeof(_LogbookNode) == 2 * sizeof(void*), "a log node is two pointer-sized words");

LOGBOOK_API void __cdecl _LogbookMainRef(_LogbookNode* node);
LOGBOOK_API void __cdecl _LogbookMainRelease(_LogbookNode* node);
LOGBOOK_API void __cdecl _LogbookMainMessageW(_LogbookNode* node, const wchar_t* text, unsigned long level,
                                              HINSTANCE module);

}  // extern "C"
