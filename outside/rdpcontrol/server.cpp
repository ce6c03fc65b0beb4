// The in-process server: class factory and the registration of the one class, only under
// HKCR\CLSID\{...}\InprocServer32 (the test bed's prefix runs DllRegisterServer; nothing else
// ever should).
#include <windows.h>
#include <ole2.h>

#include "outside/msrdp.h"
#include "outside/rdpcontrol/journal.h"
#include "outside/rdpcontrol/module.h"
#include "outside/rdpcontrol/rdp_control.h"
#include "outside/rdpcontrol/standin_protocol.h"

namespace standin {
namespace {

// Static: its count only keeps the module loaded while a host holds it.
class ClassFactory final : public IClassFactory {
 public:
  STDMETHODIMP QueryInterface(REFIID riid, void** out) override {
    if (!out) return E_POINTER;
    if (IsEqualIID(riid, IID_IUnknown) || IsEqualIID(riid, IID_IClassFactory)) {
      *out = static_cast<IClassFactory*>(this);
      AddRef();
      return S_OK;
    }
    *out = nullptr;
    return E_NOINTERFACE;
  }
  STDMETHODIMP_(ULONG) AddRef() override {
    module_lock(true);
    return 2;
  }
  STDMETHODIMP_(ULONG) Release() override {
    module_lock(false);
    return 1;
  }
  STDMETHODIMP CreateInstance(IUnknown* outer, REFIID riid, void** out) override {
    if (!out) return E_POINTER;
    *out = nullptr;
    if (outer) return CLASS_E_NOAGGREGATION;
    if (env_text(kFailEnv) == L"create") return E_FAIL;
    RdpControl* control = RdpControl::create();
    if (!control) return E_OUTOFMEMORY;
    HRESULT hr = control->QueryInterface(riid, out);
    control->Release();
    return hr;
  }
  STDMETHODIMP LockServer(BOOL lock) override {
    module_lock(lock != FALSE);
    return S_OK;
  }
};

ClassFactory g_factory;

constexpr wchar_t kClassKey[] = L"CLSID\\{3523C2FB-4031-44E4-9A3B-F1E94986EE7F}";
constexpr wchar_t kServerKey[] = L"CLSID\\{3523C2FB-4031-44E4-9A3B-F1E94986EE7F}\\InprocServer32";

LONG set_text(HKEY key, const wchar_t* name, const wchar_t* text) {
  return RegSetValueExW(key, name, 0, REG_SZ, reinterpret_cast<const BYTE*>(text),
                        static_cast<DWORD>((wcslen(text) + 1) * sizeof(wchar_t)));
}

}  // namespace
}  // namespace standin

STDAPI DllGetClassObject(REFCLSID clsid, REFIID riid, LPVOID* out) {
  if (!out) return E_POINTER;
  *out = nullptr;
  if (!IsEqualCLSID(clsid, msrdp::CLSID_MsRdpClient2)) return CLASS_E_CLASSNOTAVAILABLE;
  return standin::g_factory.QueryInterface(riid, out);
}

STDAPI DllCanUnloadNow() { return standin::module_in_use() ? S_FALSE : S_OK; }

STDAPI DllRegisterServer() {
  wchar_t path[MAX_PATH];
  DWORD length = GetModuleFileNameW(standin::module_instance(), path, MAX_PATH);
  if (length == 0 || length >= MAX_PATH) return SELFREG_E_CLASS;
  HKEY key = nullptr;
  if (RegCreateKeyExW(HKEY_CLASSES_ROOT, standin::kServerKey, 0, nullptr, 0, KEY_SET_VALUE, nullptr, &key,
                      nullptr) != ERROR_SUCCESS)
    return SELFREG_E_CLASS;
  LONG result = standin::set_text(key, nullptr, path);
  if (result == ERROR_SUCCESS) result = standin::set_text(key, L"ThreadingModel", L"Apartment");
  RegCloseKey(key);
  return result == ERROR_SUCCESS ? S_OK : SELFREG_E_CLASS;
}

STDAPI DllUnregisterServer() {
  LONG result = RegDeleteTreeW(HKEY_CLASSES_ROOT, standin::kClassKey);
  if (result == ERROR_SUCCESS || result == ERROR_FILE_NOT_FOUND) return S_OK;
  return SELFREG_E_CLASS;
}
