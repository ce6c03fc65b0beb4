// Registration scripts: the small brace language of .rgs resources. Only what our scripts use:
// root keys, nested keys with NoRemove/ForceRemove, a key's default string, named values
// ('val name = s text' or '= d number'), and %NAME% replacements.
#pragma once

#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace kestrel {

struct RegistryValue {
  std::u16string name;  // empty: the key's default value
  bool is_dword = false;
  std::u16string text;
  uint32_t number = 0;
};

struct RegistryKey {
  std::u16string name;
  bool no_remove = false;     // removal leaves the key (and walks into it)
  bool force_remove = false;  // registration deletes the key's old tree first
  std::vector<RegistryValue> values;
  std::vector<RegistryKey> children;
};

// Top-level keys are the roots ("HKCR", "HKEY_CLASSES_ROOT", ...), named as written.
// nullopt on a syntax error or an unknown %NAME%.
std::optional<std::vector<RegistryKey>> parse_registry_script(
    std::u16string_view script, const std::map<std::u16string, std::u16string>& replacements);

}  // namespace kestrel
