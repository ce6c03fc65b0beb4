#include "tests/win/logging/probe.h"

#include "logging/log_facade.h"

extern "C" {

void __cdecl ProbeLog(_LogbookNode* node, const wchar_t* text) { LogFormat(node, 3, L"probe:%s", text); }

HINSTANCE __cdecl ProbeModuleHandle() { return CurrentModuleHandle(); }

}  // extern "C"
