// Registration of the program: its registration script (a REGISTRY resource) and its type
// library (the TYPELIB 1 resource of the module's own file).
#pragma once

#include <windows.h>

#include <map>
#include <string>

// Runs script resource `id` of `module`, writing its keys (install) or removing what it marks as
// removable. %NAME% in the script stands for replacements[NAME].
HRESULT RunRegistryScript(HMODULE module, UINT id, bool install,
                          const std::map<std::u16string, std::u16string>& replacements);

HRESULT RegisterModuleTypeLib(HMODULE module);
HRESULT UnregisterModuleTypeLib(HMODULE module);
