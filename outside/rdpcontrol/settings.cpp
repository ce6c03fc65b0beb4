#include "outside/rdpcontrol/settings.h"

#include <iterator>
#include <new>

#include "outside/rdpcontrol/module.h"

namespace standin {
namespace {

const DispMember kSecuredMembers[] = {
    {L"StartProgram", DispidStartProgram, VT_BSTR, MemberKind::Property, 0},
    {L"WorkDir", DispidWorkDir, VT_BSTR, MemberKind::Property, 0},
};

const DispMember kAdvancedMembers[] = {
    {L"PluginDlls", DispidPluginDlls, VT_BSTR, MemberKind::Property, 0},
    {L"EnableAutoReconnect", DispidEnableAutoReconnect, VT_BOOL, MemberKind::Property, 1},
    {L"RedirectPorts", DispidRedirectPorts, VT_BOOL, MemberKind::Property, 0},
    {L"RedirectPrinters", DispidRedirectPrinters, VT_BOOL, MemberKind::Property, 0},
    {L"RedirectSmartCards", DispidRedirectSmartCards, VT_BOOL, MemberKind::Property, 0},
    {L"RedirectDrives", DispidRedirectDrives, VT_BOOL, MemberKind::Property, 0},
    {L"SmartSizing", DispidSmartSizing, VT_BOOL, MemberKind::Property, 0},
    {L"PerformanceFlags", DispidPerformanceFlags, VT_I4, MemberKind::Property, 0},
    {L"RDPPort", DispidRdpPort, VT_I4, MemberKind::Property, 3389},
};

}  // namespace

SettingsObject* SettingsObject::create(Kind kind) { return new (std::nothrow) SettingsObject(kind); }

SettingsObject::SettingsObject(Kind kind)
    : DispatchMembers(kind == Kind::Secured ? kSecuredMembers : kAdvancedMembers,
                      kind == Kind::Secured ? std::size(kSecuredMembers) : std::size(kAdvancedMembers),
                      kind == Kind::Secured ? "SecuredSettings" : "AdvancedSettings3") {
  module_object_created();
}

SettingsObject::~SettingsObject() { module_object_destroyed(); }

STDMETHODIMP SettingsObject::QueryInterface(REFIID riid, void** out) {
  if (!out) return E_POINTER;
  if (IsEqualIID(riid, IID_IUnknown) || IsEqualIID(riid, IID_IDispatch)) {
    *out = static_cast<IDispatch*>(this);
    AddRef();
    return S_OK;
  }
  *out = nullptr;
  return E_NOINTERFACE;
}

STDMETHODIMP_(ULONG) SettingsObject::AddRef() { return static_cast<ULONG>(InterlockedIncrement(&refs_)); }

STDMETHODIMP_(ULONG) SettingsObject::Release() {
  LONG left = InterlockedDecrement(&refs_);
  if (left == 0) delete this;
  return static_cast<ULONG>(left);
}

STDMETHODIMP SettingsObject::GetTypeInfoCount(UINT* count) {
  if (!count) return E_POINTER;
  *count = 0;
  return S_OK;
}

STDMETHODIMP SettingsObject::GetTypeInfo(UINT, LCID, ITypeInfo** info) {
  if (info) *info = nullptr;
  return DISP_E_BADINDEX;
}

STDMETHODIMP SettingsObject::GetIDsOfNames(REFIID riid, LPOLESTR* names, UINT count, LCID, DISPID* ids) {
  return ids_of_names(riid, names, count, ids);
}

STDMETHODIMP SettingsObject::Invoke(DISPID id, REFIID riid, LCID, WORD flags, DISPPARAMS* params, VARIANT* result,
                                    EXCEPINFO*, UINT* arg_error) {
  return invoke(id, riid, flags, params, result, arg_error);
}

}  // namespace standin
