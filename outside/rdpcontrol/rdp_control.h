// The stand-in Remote Desktop client control: one COM object with one reference count, hostable
// in place, driven through a late-bound IDispatch and the non-scriptable password interface,
// reporting through one connection point. Every event reaches the sinks from a message posted to
// the control's own window, never inside the host's call.
#pragma once

#include <windows.h>
#include <ocidl.h>
#include <olectl.h>

#include <memory>
#include <string>
#include <vector>

#include "outside/msrdp.h"
#include "outside/rdpcontrol/dispatch_members.h"
#include "outside/rdpcontrol/session_link.h"
#include "outside/rdpcontrol/settings.h"

namespace standin {

class RdpControl final : public IOleObject,
                         public IOleInPlaceObject,
                         public IPersistStreamInit,
                         public IOleControl,
                         public IDispatch,
                         public IConnectionPointContainer,
                         public IProvideClassInfo2,
                         public msrdp::IMsRdpClientNonScriptable,
                         private DispatchMembers,
                         private LinkEvents {
 public:
  // Returned with one reference; null when out of memory or the window cannot be made.
  static RdpControl* create();

  // IUnknown
  STDMETHODIMP QueryInterface(REFIID riid, void** out) override;
  STDMETHODIMP_(ULONG) AddRef() override;
  STDMETHODIMP_(ULONG) Release() override;

  // IOleObject
  STDMETHODIMP SetClientSite(IOleClientSite* site) override;
  STDMETHODIMP GetClientSite(IOleClientSite** site) override;
  STDMETHODIMP SetHostNames(LPCOLESTR app, LPCOLESTR object) override;
  STDMETHODIMP Close(DWORD save_option) override;
  STDMETHODIMP SetMoniker(DWORD which, IMoniker* moniker) override;
  STDMETHODIMP GetMoniker(DWORD assign, DWORD which, IMoniker** moniker) override;
  STDMETHODIMP InitFromData(IDataObject* data, BOOL creation, DWORD reserved) override;
  STDMETHODIMP GetClipboardData(DWORD reserved, IDataObject** data) override;
  STDMETHODIMP DoVerb(LONG verb, LPMSG msg, IOleClientSite* site, LONG index, HWND parent,
                      LPCRECT pos) override;
  STDMETHODIMP EnumVerbs(IEnumOLEVERB** verbs) override;
  STDMETHODIMP Update() override;
  STDMETHODIMP IsUpToDate() override;
  STDMETHODIMP GetUserClassID(CLSID* clsid) override;
  STDMETHODIMP GetUserType(DWORD form, LPOLESTR* type) override;
  STDMETHODIMP SetExtent(DWORD aspect, SIZEL* size) override;
  STDMETHODIMP GetExtent(DWORD aspect, SIZEL* size) override;
  STDMETHODIMP Advise(IAdviseSink* sink, DWORD* cookie) override;
  STDMETHODIMP Unadvise(DWORD cookie) override;
  STDMETHODIMP EnumAdvise(IEnumSTATDATA** advise) override;
  STDMETHODIMP GetMiscStatus(DWORD aspect, DWORD* status) override;
  STDMETHODIMP SetColorScheme(LOGPALETTE* palette) override;

  // IOleWindow, IOleInPlaceObject
  STDMETHODIMP GetWindow(HWND* window) override;
  STDMETHODIMP ContextSensitiveHelp(BOOL enter) override;
  STDMETHODIMP InPlaceDeactivate() override;
  STDMETHODIMP UIDeactivate() override;
  STDMETHODIMP SetObjectRects(LPCRECT pos, LPCRECT clip) override;
  STDMETHODIMP ReactivateAndUndo() override;

  // IPersist, IPersistStreamInit
  STDMETHODIMP GetClassID(CLSID* clsid) override;
  STDMETHODIMP IsDirty() override;
  STDMETHODIMP Load(LPSTREAM stream) override;
  STDMETHODIMP Save(LPSTREAM stream, BOOL clear_dirty) override;
  STDMETHODIMP GetSizeMax(ULARGE_INTEGER* size) override;
  STDMETHODIMP InitNew() override;

  // IOleControl
  STDMETHODIMP GetControlInfo(CONTROLINFO* info) override;
  STDMETHODIMP OnMnemonic(MSG* msg) override;
  STDMETHODIMP OnAmbientPropertyChange(DISPID id) override;
  STDMETHODIMP FreezeEvents(BOOL freeze) override;

  // IDispatch (also answered for IMsRdpClient2, IMsRdpClient and IMsTscAx)
  STDMETHODIMP GetTypeInfoCount(UINT* count) override;
  STDMETHODIMP GetTypeInfo(UINT index, LCID lcid, ITypeInfo** info) override;
  STDMETHODIMP GetIDsOfNames(REFIID riid, LPOLESTR* names, UINT count, LCID lcid, DISPID* ids) override;
  STDMETHODIMP Invoke(DISPID id, REFIID riid, LCID lcid, WORD flags, DISPPARAMS* params, VARIANT* result,
                      EXCEPINFO* excep, UINT* arg_error) override;

  // IConnectionPointContainer
  STDMETHODIMP EnumConnectionPoints(IEnumConnectionPoints** points) override;
  STDMETHODIMP FindConnectionPoint(REFIID riid, IConnectionPoint** point) override;

  // IProvideClassInfo, IProvideClassInfo2
  STDMETHODIMP GetClassInfo(ITypeInfo** info) override;
  STDMETHODIMP GetGUID(DWORD kind, GUID* guid) override;

  // IMsTscNonScriptable, IMsRdpClientNonScriptable
  STDMETHODIMP put_ClearTextPassword(BSTR password) override;
  STDMETHODIMP put_PortablePassword(BSTR password) override;
  STDMETHODIMP get_PortablePassword(BSTR* password) override;
  STDMETHODIMP put_PortableSalt(BSTR salt) override;
  STDMETHODIMP get_PortableSalt(BSTR* salt) override;
  STDMETHODIMP put_BinaryPassword(BSTR password) override;
  STDMETHODIMP get_BinaryPassword(BSTR* password) override;
  STDMETHODIMP put_BinarySalt(BSTR salt) override;
  STDMETHODIMP get_BinarySalt(BSTR* salt) override;
  STDMETHODIMP ResetPassword() override;
  STDMETHODIMP NotifyRedirectDeviceChange(UINT_PTR wparam, LONG_PTR lparam) override;
  STDMETHODIMP SendKeys(long count, VARIANT_BOOL* key_up, long* key_data) override;

 private:
  // The one connection point: its own identity for QueryInterface, the control's count.
  struct EventPoint final : public IConnectionPoint {
    RdpControl* owner = nullptr;
    STDMETHODIMP QueryInterface(REFIID riid, void** out) override;
    STDMETHODIMP_(ULONG) AddRef() override;
    STDMETHODIMP_(ULONG) Release() override;
    STDMETHODIMP GetConnectionInterface(IID* iid) override;
    STDMETHODIMP GetConnectionPointContainer(IConnectionPointContainer** container) override;
    STDMETHODIMP Advise(IUnknown* sink, DWORD* cookie) override;
    STDMETHODIMP Unadvise(DWORD cookie) override;
    STDMETHODIMP EnumConnections(IEnumConnections** connections) override;
  };
  struct Sink {
    DWORD cookie;
    IDispatch* dispatch;
  };

  RdpControl();
  ~RdpControl();
  bool start();
  // Releases windows, sinks, site and settings; safe to run more than once.
  void tear_down();

  HRESULT get_special(const DispMember& member, VARIANT* result) override;
  HRESULT call(const DispMember& member, VARIANT* result) override;

  void link_connected() override;
  void link_login_complete() override;
  void link_disconnected(long reason) override;

  HRESULT activate(IOleClientSite* site, HWND parent, LPCRECT pos);
  void post_event(DISPID id, long reason);
  void fire(DISPID id, long reason);
  bool handle_command(UINT message, WPARAM wparam, LPARAM lparam);
  void paint();
  static LRESULT CALLBACK window_proc(HWND window, UINT message, WPARAM wparam, LPARAM lparam);

  LONG refs_ = 1;
  bool torn_down_ = false;
  EventPoint event_point_;
  std::vector<Sink> sinks_;
  DWORD next_cookie_ = 1;
  IOleClientSite* site_ = nullptr;
  IOleInPlaceSite* inplace_site_ = nullptr;
  IOleAdviseHolder* advise_holder_ = nullptr;
  SettingsObject* secured_ = nullptr;
  SettingsObject* advanced_ = nullptr;
  std::unique_ptr<SessionLink> link_;
  HWND events_window_ = nullptr;  // message-only: posted events and test commands
  HWND window_ = nullptr;         // the in-place window inside the host
  SIZEL extent_ = {2540, 2540};
  std::vector<unsigned char> loaded_;
  BSTR password_ = nullptr;
  SHORT connected_ = 0;
  long close_status_ = 0;
  HRESULT connect_result_ = S_OK;
  bool fail_load_ = false;
};

}  // namespace standin
