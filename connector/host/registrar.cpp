#include "connector/host/registrar.h"

#include <oleauto.h>

#include <string>
#include <vector>

#include "connector/core/registry_script.h"

namespace {

std::wstring Wide(const std::u16string& text) { return std::wstring(text.begin(), text.end()); }

HKEY RootKey(const std::u16string& name) {
  std::wstring n = Wide(name);
  struct Root {
    const wchar_t* short_name;
    const wchar_t* long_name;
    HKEY key;
  } const roots[] = {
      {L"HKCR", L"HKEY_CLASSES_ROOT", HKEY_CLASSES_ROOT},
      {L"HKCU", L"HKEY_CURRENT_USER", HKEY_CURRENT_USER},
      {L"HKLM", L"HKEY_LOCAL_MACHINE", HKEY_LOCAL_MACHINE},
      {L"HKU", L"HKEY_USERS", HKEY_USERS},
  };
  for (const auto& root : roots) {
    if (lstrcmpiW(n.c_str(), root.short_name) == 0 || lstrcmpiW(n.c_str(), root.long_name) == 0) return root.key;
  }
  return nullptr;
}

LSTATUS SetValue(HKEY key, const kestrel::RegistryValue& value) {
  std::wstring name = Wide(value.name);
  if (value.is_dword) {
    DWORD number = value.number;
    return RegSetValueExW(key, name.c_str(), 0, REG_DWORD, reinterpret_cast<const BYTE*>(&number), sizeof number);
  }
  std::wstring text = Wide(value.text);
  return RegSetValueExW(key, name.c_str(), 0, REG_SZ, reinterpret_cast<const BYTE*>(text.c_str()),
                        DWORD((text.size() + 1) * sizeof(wchar_t)));
}

LSTATUS Install(HKEY parent, const kestrel::RegistryKey& entry) {
  std::wstring name = Wide(entry.name);
  if (entry.force_remove) RegDeleteTreeW(parent, name.c_str());
  HKEY key = nullptr;
  LSTATUS status = RegCreateKeyExW(parent, name.c_str(), 0, nullptr, 0, KEY_READ | KEY_WRITE, nullptr, &key, nullptr);
  if (status != ERROR_SUCCESS) return status;
  for (const auto& value : entry.values) {
    if (status == ERROR_SUCCESS) status = SetValue(key, value);
  }
  for (const auto& child : entry.children) {
    if (status == ERROR_SUCCESS) status = Install(key, child);
  }
  RegCloseKey(key);
  return status;
}

// Removes what the entry marks as removable: a NoRemove key stays and only its contents are
// visited; any other key loses its own values and then goes, unless keys not ours remain in it.
void Remove(HKEY parent, const kestrel::RegistryKey& entry) {
  std::wstring name = Wide(entry.name);
  if (entry.force_remove) {
    RegDeleteTreeW(parent, name.c_str());
    return;
  }
  HKEY key = nullptr;
  if (RegOpenKeyExW(parent, name.c_str(), 0, KEY_READ | KEY_WRITE, &key) != ERROR_SUCCESS) return;
  for (const auto& child : entry.children) Remove(key, child);
  if (!entry.no_remove) {
    for (const auto& value : entry.values) RegDeleteValueW(key, Wide(value.name).c_str());
  }
  RegCloseKey(key);
  if (!entry.no_remove) RegDeleteKeyW(parent, name.c_str());
}

}  // namespace

HRESULT RunRegistryScript(HMODULE module, UINT id, bool install,
                          const std::map<std::u16string, std::u16string>& replacements) {
  HRSRC found = FindResourceW(module, MAKEINTRESOURCEW(id), L"REGISTRY");
  HGLOBAL loaded = found ? LoadResource(module, found) : nullptr;
  const char* bytes = loaded ? static_cast<const char*>(LockResource(loaded)) : nullptr;
  if (!bytes) return HRESULT_FROM_WIN32(ERROR_RESOURCE_DATA_NOT_FOUND);
  int size = int(SizeofResource(module, found));
  int length = MultiByteToWideChar(CP_UTF8, 0, bytes, size, nullptr, 0);
  std::u16string script(std::size_t(length > 0 ? length : 0), u'\0');
  if (length > 0) {
    MultiByteToWideChar(CP_UTF8, 0, bytes, size, reinterpret_cast<wchar_t*>(&script[0]), length);
  }
  // A resource may carry trailing NULs as padding.
  while (!script.empty() && script.back() == u'\0') script.pop_back();

  auto roots = kestrel::parse_registry_script(script, replacements);
  if (!roots) return E_FAIL;
  LSTATUS status = ERROR_SUCCESS;
  for (const auto& root : *roots) {
    HKEY key = RootKey(root.name);
    if (!key) return E_FAIL;
    for (const auto& child : root.children) {
      if (install) {
        if (status == ERROR_SUCCESS) status = Install(key, child);
      } else {
        Remove(key, child);
      }
    }
  }
  return HRESULT_FROM_WIN32(status);
}

namespace {

HRESULT LoadOwnTypeLib(HMODULE module, std::wstring& path, ITypeLib** out) {
  wchar_t buffer[MAX_PATH + 1] = {};
  DWORD length = GetModuleFileNameW(module, buffer, MAX_PATH);
  if (length == 0 || length >= MAX_PATH) return E_FAIL;
  path = buffer;
  return LoadTypeLibEx(buffer, REGKIND_NONE, out);
}

}  // namespace

HRESULT RegisterModuleTypeLib(HMODULE module) {
  std::wstring path;
  ITypeLib* library = nullptr;
  HRESULT hr = LoadOwnTypeLib(module, path, &library);
  if (FAILED(hr)) return hr;
  hr = RegisterTypeLib(library, &path[0], nullptr);
  library->Release();
  return hr;
}

HRESULT UnregisterModuleTypeLib(HMODULE module) {
  std::wstring path;
  ITypeLib* library = nullptr;
  HRESULT hr = LoadOwnTypeLib(module, path, &library);
  if (FAILED(hr)) return hr;
  TLIBATTR* attr = nullptr;
  hr = library->GetLibAttr(&attr);
  if (SUCCEEDED(hr)) {
    hr = UnRegisterTypeLib(attr->guid, attr->wMajorVerNum, attr->wMinorVerNum, attr->lcid, attr->syskind);
    library->ReleaseTLibAttr(attr);
  }
  library->Release();
  return hr;
}
