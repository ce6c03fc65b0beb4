#include "outside/rdpcontrol/rdp_control.h"

#include <iterator>
#include <new>

#include "outside/rdpcontrol/journal.h"
#include "outside/rdpcontrol/module.h"
#include "outside/rdpcontrol/standin_protocol.h"

namespace standin {
namespace {

// Posted to the control's own window: fire event wParam (a DISPID) with reason lParam.
constexpr UINT kMsgFire = WM_APP + 0x310;

enum ControlDispid : DISPID {
  DispidServer = 1,
  DispidUserName,
  DispidColorDepth,
  DispidConnectingText,
  DispidDisconnectedText,
  DispidDesktopWidth,
  DispidDesktopHeight,
  DispidConnected,
  DispidConnect,
  DispidDisconnect,
  DispidRequestClose,
  DispidSecuredSettings,
  DispidAdvancedSettings3,
};

const DispMember kControlMembers[] = {
    {L"Server", DispidServer, VT_BSTR, MemberKind::Property, 0},
    {L"UserName", DispidUserName, VT_BSTR, MemberKind::Property, 0},
    {L"ColorDepth", DispidColorDepth, VT_I4, MemberKind::Property, 16},
    {L"ConnectingText", DispidConnectingText, VT_BSTR, MemberKind::Property, 0},
    {L"DisconnectedText", DispidDisconnectedText, VT_BSTR, MemberKind::Property, 0},
    {L"DesktopWidth", DispidDesktopWidth, VT_I4, MemberKind::Property, 0},
    {L"DesktopHeight", DispidDesktopHeight, VT_I4, MemberKind::Property, 0},
    {L"Connected", DispidConnected, VT_I2, MemberKind::ReadOnly, 0},
    {L"Connect", DispidConnect, VT_EMPTY, MemberKind::Method, 0},
    {L"Disconnect", DispidDisconnect, VT_EMPTY, MemberKind::Method, 0},
    {L"RequestClose", DispidRequestClose, VT_I4, MemberKind::Method, 0},
    {L"SecuredSettings", DispidSecuredSettings, VT_DISPATCH, MemberKind::ReadOnly, 0},
    {L"AdvancedSettings3", DispidAdvancedSettings3, VT_DISPATCH, MemberKind::ReadOnly, 0},
};

const char* event_name(DISPID id) {
  switch (id) {
    case msrdp::DispidOnConnected: return "OnConnected";
    case msrdp::DispidOnLoginComplete: return "OnLoginComplete";
    case msrdp::DispidOnDisconnected: return "OnDisconnected";
    default: return "?";
  }
}

std::wstring text_of(const VARIANT& v) {
  return V_VT(&v) == VT_BSTR && V_BSTR(&v) ? std::wstring(V_BSTR(&v), SysStringLen(V_BSTR(&v))) : std::wstring();
}

long long_of(const VARIANT& v) { return V_VT(&v) == VT_I4 ? V_I4(&v) : 0; }

// Dialog init data are small; a stream that goes on and on is not one we were made for.
constexpr size_t kMaxLoad = 64 * 1024;

}  // namespace

RdpControl* RdpControl::create() {
  RdpControl* control = new (std::nothrow) RdpControl();
  if (!control) return nullptr;
  if (!control->start()) {
    control->Release();
    return nullptr;
  }
  return control;
}

RdpControl::RdpControl() : DispatchMembers(kControlMembers, std::size(kControlMembers), nullptr) {
  module_object_created();
  event_point_.owner = this;
}

RdpControl::~RdpControl() {
  tear_down();
  module_object_destroyed();
}

bool RdpControl::start() {
  close_status_ = env_number(kCloseStatusEnv, 0);
  connect_result_ = static_cast<HRESULT>(env_number(kConnectResultEnv, S_OK));
  fail_load_ = env_text(kFailEnv) == L"load";
  link_ = make_local_link(env_text(kAutoEventsEnv) != L"0");
  secured_ = SettingsObject::create(SettingsObject::Kind::Secured);
  advanced_ = SettingsObject::create(SettingsObject::Kind::Advanced);
  if (!link_ || !secured_ || !advanced_ || !ensure_window_class(window_proc)) return false;
  events_window_ = CreateWindowExW(0, kWindowClass, L"", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr, module_instance(),
                                   nullptr);
  if (!events_window_) return false;
  SetWindowLongPtrW(events_window_, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(this));
  return true;
}

void RdpControl::tear_down() {
  if (torn_down_) return;
  torn_down_ = true;
  // Windows first: a destroyed window drops the events still posted to it.
  for (HWND* w : {&window_, &events_window_}) {
    if (*w) {
      SetWindowLongPtrW(*w, GWLP_USERDATA, 0);
      DestroyWindow(*w);
      *w = nullptr;
    }
  }
  for (Sink& s : sinks_) s.dispatch->Release();
  sinks_.clear();
  if (inplace_site_) {
    inplace_site_->Release();
    inplace_site_ = nullptr;
  }
  if (site_) {
    site_->Release();
    site_ = nullptr;
  }
  if (advise_holder_) {
    advise_holder_->Release();
    advise_holder_ = nullptr;
  }
  if (secured_) {
    secured_->Release();
    secured_ = nullptr;
  }
  if (advanced_) {
    advanced_->Release();
    advanced_ = nullptr;
  }
  link_.reset();
  if (password_) {
    SecureZeroMemory(password_, SysStringByteLen(password_));
    SysFreeString(password_);
    password_ = nullptr;
  }
}

// ---- IUnknown ----

STDMETHODIMP RdpControl::QueryInterface(REFIID riid, void** out) {
  if (!out) return E_POINTER;
  struct Entry {
    const IID* iid;
    IUnknown* (*get)(RdpControl*);
  };
  static const Entry table[] = {
      {&IID_IUnknown, [](RdpControl* c) -> IUnknown* { return static_cast<IOleObject*>(c); }},
      {&IID_IOleObject, [](RdpControl* c) -> IUnknown* { return static_cast<IOleObject*>(c); }},
      {&IID_IOleWindow, [](RdpControl* c) -> IUnknown* { return static_cast<IOleInPlaceObject*>(c); }},
      {&IID_IOleInPlaceObject, [](RdpControl* c) -> IUnknown* { return static_cast<IOleInPlaceObject*>(c); }},
      {&IID_IPersist, [](RdpControl* c) -> IUnknown* { return static_cast<IPersistStreamInit*>(c); }},
      {&IID_IPersistStreamInit, [](RdpControl* c) -> IUnknown* { return static_cast<IPersistStreamInit*>(c); }},
      {&IID_IOleControl, [](RdpControl* c) -> IUnknown* { return static_cast<IOleControl*>(c); }},
      {&IID_IDispatch, [](RdpControl* c) -> IUnknown* { return static_cast<IDispatch*>(c); }},
      {&msrdp::IID_IMsRdpClient2, [](RdpControl* c) -> IUnknown* { return static_cast<IDispatch*>(c); }},
      {&msrdp::IID_IMsRdpClient, [](RdpControl* c) -> IUnknown* { return static_cast<IDispatch*>(c); }},
      {&msrdp::IID_IMsTscAx, [](RdpControl* c) -> IUnknown* { return static_cast<IDispatch*>(c); }},
      {&IID_IConnectionPointContainer,
       [](RdpControl* c) -> IUnknown* { return static_cast<IConnectionPointContainer*>(c); }},
      {&IID_IProvideClassInfo, [](RdpControl* c) -> IUnknown* { return static_cast<IProvideClassInfo2*>(c); }},
      {&IID_IProvideClassInfo2, [](RdpControl* c) -> IUnknown* { return static_cast<IProvideClassInfo2*>(c); }},
      {&msrdp::IID_IMsTscNonScriptable,
       [](RdpControl* c) -> IUnknown* { return static_cast<msrdp::IMsRdpClientNonScriptable*>(c); }},
      {&msrdp::IID_IMsRdpClientNonScriptable,
       [](RdpControl* c) -> IUnknown* { return static_cast<msrdp::IMsRdpClientNonScriptable*>(c); }},
  };
  for (const Entry& e : table) {
    if (IsEqualIID(riid, *e.iid)) {
      IUnknown* found = e.get(this);
      found->AddRef();
      *out = found;
      return S_OK;
    }
  }
  *out = nullptr;
  return E_NOINTERFACE;
}

STDMETHODIMP_(ULONG) RdpControl::AddRef() { return static_cast<ULONG>(InterlockedIncrement(&refs_)); }

STDMETHODIMP_(ULONG) RdpControl::Release() {
  LONG left = InterlockedDecrement(&refs_);
  if (left == 0) delete this;
  return static_cast<ULONG>(left);
}

// ---- IOleObject ----

STDMETHODIMP RdpControl::SetClientSite(IOleClientSite* site) {
  journal(site ? "SetClientSite set" : "SetClientSite null");
  if (site) site->AddRef();
  if (site_) site_->Release();
  site_ = site;
  return S_OK;
}

STDMETHODIMP RdpControl::GetClientSite(IOleClientSite** site) {
  if (!site) return E_POINTER;
  *site = site_;
  if (site_) site_->AddRef();
  return S_OK;
}

STDMETHODIMP RdpControl::SetHostNames(LPCOLESTR, LPCOLESTR) { return S_OK; }

STDMETHODIMP RdpControl::Close(DWORD) {
  journal("Close");
  InPlaceDeactivate();
  if (advise_holder_) advise_holder_->SendOnClose();
  return S_OK;
}

STDMETHODIMP RdpControl::SetMoniker(DWORD, IMoniker*) { return E_NOTIMPL; }

STDMETHODIMP RdpControl::GetMoniker(DWORD, DWORD, IMoniker** moniker) {
  if (moniker) *moniker = nullptr;
  return E_NOTIMPL;
}

STDMETHODIMP RdpControl::InitFromData(IDataObject*, BOOL, DWORD) { return E_NOTIMPL; }

STDMETHODIMP RdpControl::GetClipboardData(DWORD, IDataObject** data) {
  if (data) *data = nullptr;
  return E_NOTIMPL;
}

STDMETHODIMP RdpControl::DoVerb(LONG verb, LPMSG, IOleClientSite* site, LONG, HWND parent, LPCRECT pos) {
  journal("DoVerb " + std::to_string(verb));
  switch (verb) {
    case OLEIVERB_PRIMARY:
    case OLEIVERB_SHOW:
    case OLEIVERB_INPLACEACTIVATE:
    case OLEIVERB_UIACTIVATE:
      return activate(site ? site : site_, parent, pos);
    case OLEIVERB_HIDE:
      if (window_) ShowWindow(window_, SW_HIDE);
      return S_OK;
    default:
      return verb < 0 ? E_NOTIMPL : OLEOBJ_S_INVALIDVERB;
  }
}

HRESULT RdpControl::activate(IOleClientSite* site, HWND parent, LPCRECT pos) {
  if (window_) {
    ShowWindow(window_, SW_SHOW);
    return S_OK;
  }
  if (!site) return E_UNEXPECTED;
  IOleInPlaceSite* inplace = nullptr;
  HRESULT hr = site->QueryInterface(IID_IOleInPlaceSite, reinterpret_cast<void**>(&inplace));
  if (FAILED(hr)) return hr;
  if (inplace->CanInPlaceActivate() != S_OK) {
    inplace->Release();
    return E_FAIL;
  }
  hr = inplace->OnInPlaceActivate();
  if (FAILED(hr)) {
    inplace->Release();
    return hr;
  }
  HWND host = nullptr;
  inplace->GetWindow(&host);
  if (!host) host = parent;
  IOleInPlaceFrame* frame = nullptr;
  IOleInPlaceUIWindow* ui_window = nullptr;
  RECT rect = {0, 0, 0, 0};
  RECT clip = {0, 0, 0, 0};
  OLEINPLACEFRAMEINFO frame_info = {};
  frame_info.cb = sizeof frame_info;
  hr = inplace->GetWindowContext(&frame, &ui_window, &rect, &clip, &frame_info);
  if (frame) frame->Release();
  if (ui_window) ui_window->Release();
  if (FAILED(hr) && pos) rect = *pos;
  window_ = CreateWindowExW(0, kWindowClass, L"", WS_CHILD | WS_VISIBLE | WS_CLIPSIBLINGS | WS_CLIPCHILDREN,
                            rect.left, rect.top, rect.right - rect.left, rect.bottom - rect.top, host, nullptr,
                            module_instance(), nullptr);
  if (!window_) {
    inplace->OnInPlaceDeactivate();
    inplace->Release();
    return E_FAIL;
  }
  SetWindowLongPtrW(window_, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(this));
  inplace_site_ = inplace;
  journal("Activate " + std::to_string(rect.left) + "," + std::to_string(rect.top) + "," +
          std::to_string(rect.right) + "," + std::to_string(rect.bottom));
  return S_OK;
}

STDMETHODIMP RdpControl::EnumVerbs(IEnumOLEVERB** verbs) {
  if (verbs) *verbs = nullptr;
  return OLEOBJ_E_NOVERBS;
}

STDMETHODIMP RdpControl::Update() { return S_OK; }
STDMETHODIMP RdpControl::IsUpToDate() { return S_OK; }

STDMETHODIMP RdpControl::GetUserClassID(CLSID* clsid) { return GetClassID(clsid); }

STDMETHODIMP RdpControl::GetUserType(DWORD, LPOLESTR* type) {
  if (type) *type = nullptr;
  return OLE_S_USEREG;
}

STDMETHODIMP RdpControl::SetExtent(DWORD aspect, SIZEL* size) {
  if (aspect != DVASPECT_CONTENT) return DV_E_DVASPECT;
  if (!size) return E_POINTER;
  extent_ = *size;
  return S_OK;
}

STDMETHODIMP RdpControl::GetExtent(DWORD aspect, SIZEL* size) {
  if (aspect != DVASPECT_CONTENT) return DV_E_DVASPECT;
  if (!size) return E_POINTER;
  *size = extent_;
  return S_OK;
}

STDMETHODIMP RdpControl::Advise(IAdviseSink* sink, DWORD* cookie) {
  if (!advise_holder_) {
    HRESULT hr = CreateOleAdviseHolder(&advise_holder_);
    if (FAILED(hr)) return hr;
  }
  return advise_holder_->Advise(sink, cookie);
}

STDMETHODIMP RdpControl::Unadvise(DWORD cookie) {
  return advise_holder_ ? advise_holder_->Unadvise(cookie) : OLE_E_NOCONNECTION;
}

STDMETHODIMP RdpControl::EnumAdvise(IEnumSTATDATA** advise) {
  if (!advise) return E_POINTER;
  *advise = nullptr;
  return advise_holder_ ? advise_holder_->EnumAdvise(advise) : S_OK;
}

STDMETHODIMP RdpControl::GetMiscStatus(DWORD, DWORD* status) {
  if (!status) return E_POINTER;
  *status = OLEMISC_RECOMPOSEONRESIZE | OLEMISC_CANTLINKINSIDE | OLEMISC_INSIDEOUT | OLEMISC_ACTIVATEWHENVISIBLE |
            OLEMISC_SETCLIENTSITEFIRST;
  return S_OK;
}

STDMETHODIMP RdpControl::SetColorScheme(LOGPALETTE*) { return E_NOTIMPL; }

// ---- IOleWindow, IOleInPlaceObject ----

STDMETHODIMP RdpControl::GetWindow(HWND* window) {
  if (!window) return E_POINTER;
  *window = window_;
  return window_ ? S_OK : E_FAIL;
}

STDMETHODIMP RdpControl::ContextSensitiveHelp(BOOL) { return E_NOTIMPL; }

STDMETHODIMP RdpControl::InPlaceDeactivate() {
  if (window_) {
    SetWindowLongPtrW(window_, GWLP_USERDATA, 0);
    DestroyWindow(window_);
    window_ = nullptr;
  }
  if (inplace_site_) {
    IOleInPlaceSite* site = inplace_site_;
    inplace_site_ = nullptr;
    site->OnInPlaceDeactivate();
    site->Release();
  }
  return S_OK;
}

STDMETHODIMP RdpControl::UIDeactivate() { return S_OK; }

STDMETHODIMP RdpControl::SetObjectRects(LPCRECT pos, LPCRECT) {
  if (!pos) return E_POINTER;
  if (window_) MoveWindow(window_, pos->left, pos->top, pos->right - pos->left, pos->bottom - pos->top, TRUE);
  return S_OK;
}

STDMETHODIMP RdpControl::ReactivateAndUndo() { return E_NOTIMPL; }

// ---- IPersistStreamInit ----

STDMETHODIMP RdpControl::GetClassID(CLSID* clsid) {
  if (!clsid) return E_POINTER;
  *clsid = msrdp::CLSID_MsRdpClient2;
  return S_OK;
}

STDMETHODIMP RdpControl::IsDirty() { return S_FALSE; }

STDMETHODIMP RdpControl::Load(LPSTREAM stream) {
  if (!stream) return E_POINTER;
  std::vector<unsigned char> bytes;
  unsigned char chunk[256];
  ULONG got = 0;
  while (bytes.size() < kMaxLoad && SUCCEEDED(stream->Read(chunk, sizeof chunk, &got)) && got > 0)
    bytes.insert(bytes.end(), chunk, chunk + got);
  journal("Load " + std::to_string(bytes.size()) + " " + hex_bytes(bytes.data(), bytes.size()));
  if (fail_load_) return E_FAIL;
  loaded_.swap(bytes);
  return S_OK;
}

STDMETHODIMP RdpControl::Save(LPSTREAM stream, BOOL) {
  if (!stream) return E_POINTER;
  if (loaded_.empty()) return S_OK;
  ULONG written = 0;
  return stream->Write(loaded_.data(), static_cast<ULONG>(loaded_.size()), &written);
}

STDMETHODIMP RdpControl::GetSizeMax(ULARGE_INTEGER* size) {
  if (!size) return E_POINTER;
  size->QuadPart = loaded_.size();
  return S_OK;
}

STDMETHODIMP RdpControl::InitNew() {
  journal("InitNew");
  return S_OK;
}

// ---- IOleControl ----

STDMETHODIMP RdpControl::GetControlInfo(CONTROLINFO*) { return E_NOTIMPL; }
STDMETHODIMP RdpControl::OnMnemonic(MSG*) { return E_NOTIMPL; }
STDMETHODIMP RdpControl::OnAmbientPropertyChange(DISPID) { return S_OK; }
STDMETHODIMP RdpControl::FreezeEvents(BOOL) { return S_OK; }

// ---- IDispatch ----

STDMETHODIMP RdpControl::GetTypeInfoCount(UINT* count) {
  if (!count) return E_POINTER;
  *count = 0;
  return S_OK;
}

STDMETHODIMP RdpControl::GetTypeInfo(UINT, LCID, ITypeInfo** info) {
  if (info) *info = nullptr;
  return DISP_E_BADINDEX;
}

STDMETHODIMP RdpControl::GetIDsOfNames(REFIID riid, LPOLESTR* names, UINT count, LCID, DISPID* ids) {
  return ids_of_names(riid, names, count, ids);
}

STDMETHODIMP RdpControl::Invoke(DISPID id, REFIID riid, LCID, WORD flags, DISPPARAMS* params, VARIANT* result,
                                EXCEPINFO*, UINT* arg_error) {
  AddRef();  // a sink reached from Connect or Disconnect must not end us mid-call
  HRESULT hr = invoke(id, riid, flags, params, result, arg_error);
  Release();
  return hr;
}

HRESULT RdpControl::get_special(const DispMember& m, VARIANT* result) {
  if (!result) return S_OK;
  switch (m.id) {
    case DispidConnected:
      V_VT(result) = VT_I2;
      V_I2(result) = connected_;
      return S_OK;
    case DispidSecuredSettings:
    case DispidAdvancedSettings3: {
      SettingsObject* settings = m.id == DispidSecuredSettings ? secured_ : advanced_;
      if (!settings) return E_UNEXPECTED;
      settings->AddRef();
      V_VT(result) = VT_DISPATCH;
      V_DISPATCH(result) = settings;
      return S_OK;
    }
    default:
      return DISP_E_MEMBERNOTFOUND;
  }
}

HRESULT RdpControl::call(const DispMember& m, VARIANT* result) {
  switch (m.id) {
    case DispidConnect: {
      if (FAILED(connect_result_)) return connect_result_;
      if (!link_ || !secured_ || !advanced_) return E_UNEXPECTED;
      ConnectRequest request;
      request.server = text_of(value(DispidServer));
      request.user_name = text_of(value(DispidUserName));
      if (password_) request.password.assign(password_, SysStringLen(password_));
      request.start_program = text_of(secured_->value(DispidStartProgram));
      request.plugin_dlls = text_of(advanced_->value(DispidPluginDlls));
      request.port = long_of(advanced_->value(DispidRdpPort));
      request.desktop_width = long_of(value(DispidDesktopWidth));
      request.desktop_height = long_of(value(DispidDesktopHeight));
      HRESULT hr = link_->connect(request, *this);
      if (SUCCEEDED(hr)) connected_ = 2;  // connecting, until OnConnected
      SecureZeroMemory(&request.password[0], request.password.size() * sizeof(wchar_t));
      return hr;
    }
    case DispidDisconnect:
      if (connected_ != 0) {
        connected_ = 0;
        if (link_) link_->disconnect(*this);
      }
      return S_OK;
    case DispidRequestClose:
      if (result) {
        V_VT(result) = VT_I4;
        V_I4(result) = close_status_;
      }
      return S_OK;
    default:
      return DISP_E_MEMBERNOTFOUND;
  }
}

// ---- events ----

void RdpControl::link_connected() { post_event(msrdp::DispidOnConnected, 0); }
void RdpControl::link_login_complete() { post_event(msrdp::DispidOnLoginComplete, 0); }
void RdpControl::link_disconnected(long reason) { post_event(msrdp::DispidOnDisconnected, reason); }

void RdpControl::post_event(DISPID id, long reason) {
  if (events_window_) PostMessageW(events_window_, kMsgFire, static_cast<WPARAM>(id), static_cast<LPARAM>(reason));
}

void RdpControl::fire(DISPID id, long reason) {
  if (id == msrdp::DispidOnConnected) connected_ = 1;
  if (id == msrdp::DispidOnDisconnected) connected_ = 0;
  std::string line = std::string("fire ") + event_name(id);
  if (id == msrdp::DispidOnDisconnected) line += " " + std::to_string(reason);
  journal(line);
  // A sink's handler may unadvise, connect again or show a message box that delivers the next
  // event: call a snapshot, and keep ourselves alive through it.
  std::vector<IDispatch*> targets;
  for (const Sink& s : sinks_) {
    s.dispatch->AddRef();
    targets.push_back(s.dispatch);
  }
  AddRef();
  for (IDispatch* target : targets) {
    VARIANT arg;
    VariantInit(&arg);
    DISPPARAMS params = {nullptr, nullptr, 0, 0};
    if (id == msrdp::DispidOnDisconnected) {
      V_VT(&arg) = VT_I4;
      V_I4(&arg) = reason;
      params.rgvarg = &arg;
      params.cArgs = 1;
    }
    target->Invoke(id, IID_NULL, LOCALE_USER_DEFAULT, DISPATCH_METHOD, &params, nullptr, nullptr, nullptr);
    target->Release();
  }
  Release();
}

bool RdpControl::handle_command(UINT message, WPARAM wparam, LPARAM lparam) {
  switch (message) {
    case kMsgFire: fire(static_cast<DISPID>(wparam), static_cast<long>(lparam)); return true;
    case CmdFireDisconnected: fire(msrdp::DispidOnDisconnected, static_cast<long>(wparam)); return true;
    case CmdFireConnected: fire(msrdp::DispidOnConnected, 0); return true;
    case CmdFireLoginComplete: fire(msrdp::DispidOnLoginComplete, 0); return true;
    case CmdSetCloseStatus: close_status_ = static_cast<long>(wparam); return true;
    case CmdSetConnected: connected_ = static_cast<SHORT>(wparam); return true;
    case CmdSetConnectResult: connect_result_ = static_cast<HRESULT>(wparam); return true;
    default: return false;
  }
}

void RdpControl::paint() {
  PAINTSTRUCT ps;
  HDC dc = BeginPaint(window_, &ps);
  RECT client;
  GetClientRect(window_, &client);
  HBRUSH background = CreateSolidBrush(RGB(0, 51, 102));
  FillRect(dc, &client, background);
  DeleteObject(background);
  std::wstring text = L"Remote session stand-in";
  std::wstring server = text_of(value(DispidServer));
  if (!server.empty()) text += L": " + server;
  text += connected_ == 1 ? L" (connected)" : connected_ == 2 ? L" (connecting)" : L" (not connected)";
  SetBkMode(dc, TRANSPARENT);
  SetTextColor(dc, RGB(255, 255, 255));
  DrawTextW(dc, text.c_str(), -1, &client, DT_CENTER | DT_VCENTER | DT_SINGLELINE);
  EndPaint(window_, &ps);
}

LRESULT CALLBACK RdpControl::window_proc(HWND window, UINT message, WPARAM wparam, LPARAM lparam) {
  auto* control = reinterpret_cast<RdpControl*>(GetWindowLongPtrW(window, GWLP_USERDATA));
  if (control) {
    if (message == WM_PAINT && window == control->window_) {
      control->paint();
      return 0;
    }
    control->AddRef();
    bool handled = control->handle_command(message, wparam, lparam);
    control->Release();
    if (handled) return 0;
  }
  return DefWindowProcW(window, message, wparam, lparam);
}

// ---- IConnectionPointContainer, IProvideClassInfo2 ----

STDMETHODIMP RdpControl::EnumConnectionPoints(IEnumConnectionPoints** points) {
  if (points) *points = nullptr;
  return E_NOTIMPL;
}

STDMETHODIMP RdpControl::FindConnectionPoint(REFIID riid, IConnectionPoint** point) {
  if (!point) return E_POINTER;
  if (!IsEqualIID(riid, msrdp::DIID_IMsTscAxEvents)) {
    *point = nullptr;
    return CONNECT_E_NOCONNECTION;
  }
  *point = &event_point_;
  event_point_.AddRef();
  return S_OK;
}

STDMETHODIMP RdpControl::GetClassInfo(ITypeInfo** info) {
  if (info) *info = nullptr;
  return E_NOTIMPL;
}

STDMETHODIMP RdpControl::GetGUID(DWORD kind, GUID* guid) {
  if (!guid) return E_POINTER;
  if (kind != GUIDKIND_DEFAULT_SOURCE_DISP_IID) {
    *guid = GUID_NULL;
    return E_INVALIDARG;
  }
  *guid = msrdp::DIID_IMsTscAxEvents;
  return S_OK;
}

// ---- the connection point ----

STDMETHODIMP RdpControl::EventPoint::QueryInterface(REFIID riid, void** out) {
  if (!out) return E_POINTER;
  if (IsEqualIID(riid, IID_IUnknown) || IsEqualIID(riid, IID_IConnectionPoint)) {
    *out = static_cast<IConnectionPoint*>(this);
    AddRef();
    return S_OK;
  }
  *out = nullptr;
  return E_NOINTERFACE;
}

STDMETHODIMP_(ULONG) RdpControl::EventPoint::AddRef() { return owner->AddRef(); }
STDMETHODIMP_(ULONG) RdpControl::EventPoint::Release() { return owner->Release(); }

STDMETHODIMP RdpControl::EventPoint::GetConnectionInterface(IID* iid) {
  if (!iid) return E_POINTER;
  *iid = msrdp::DIID_IMsTscAxEvents;
  return S_OK;
}

STDMETHODIMP RdpControl::EventPoint::GetConnectionPointContainer(IConnectionPointContainer** container) {
  if (!container) return E_POINTER;
  *container = static_cast<IConnectionPointContainer*>(owner);
  owner->AddRef();
  return S_OK;
}

STDMETHODIMP RdpControl::EventPoint::Advise(IUnknown* sink, DWORD* cookie) {
  if (!cookie) return E_POINTER;
  *cookie = 0;
  if (!sink) return E_POINTER;
  IDispatch* dispatch = nullptr;
  if (FAILED(sink->QueryInterface(msrdp::DIID_IMsTscAxEvents, reinterpret_cast<void**>(&dispatch))) &&
      FAILED(sink->QueryInterface(IID_IDispatch, reinterpret_cast<void**>(&dispatch))))
    return CONNECT_E_CANNOTCONNECT;
  Sink entry = {owner->next_cookie_++, dispatch};
  owner->sinks_.push_back(entry);
  *cookie = entry.cookie;
  journal("Advise " + guid_text(msrdp::DIID_IMsTscAxEvents));
  return S_OK;
}

STDMETHODIMP RdpControl::EventPoint::Unadvise(DWORD cookie) {
  for (auto it = owner->sinks_.begin(); it != owner->sinks_.end(); ++it) {
    if (it->cookie == cookie) {
      IDispatch* dispatch = it->dispatch;
      owner->sinks_.erase(it);
      journal("Unadvise " + std::to_string(cookie));
      dispatch->Release();
      return S_OK;
    }
  }
  return CONNECT_E_NOCONNECTION;
}

STDMETHODIMP RdpControl::EventPoint::EnumConnections(IEnumConnections** connections) {
  if (connections) *connections = nullptr;
  return E_NOTIMPL;
}

// ---- IMsRdpClientNonScriptable ----

STDMETHODIMP RdpControl::put_ClearTextPassword(BSTR password) {
  journal("put " + journal_text("ClearTextPassword", password));
  BSTR copy = nullptr;
  if (password) {
    copy = SysAllocStringLen(password, SysStringLen(password));
    if (!copy) return E_OUTOFMEMORY;
  }
  if (password_) {
    SecureZeroMemory(password_, SysStringByteLen(password_));
    SysFreeString(password_);
  }
  password_ = copy;
  return S_OK;
}

STDMETHODIMP RdpControl::put_PortablePassword(BSTR) { return E_NOTIMPL; }
STDMETHODIMP RdpControl::get_PortablePassword(BSTR* password) {
  if (password) *password = nullptr;
  return E_NOTIMPL;
}
STDMETHODIMP RdpControl::put_PortableSalt(BSTR) { return E_NOTIMPL; }
STDMETHODIMP RdpControl::get_PortableSalt(BSTR* salt) {
  if (salt) *salt = nullptr;
  return E_NOTIMPL;
}
STDMETHODIMP RdpControl::put_BinaryPassword(BSTR) { return E_NOTIMPL; }
STDMETHODIMP RdpControl::get_BinaryPassword(BSTR* password) {
  if (password) *password = nullptr;
  return E_NOTIMPL;
}
STDMETHODIMP RdpControl::put_BinarySalt(BSTR) { return E_NOTIMPL; }
STDMETHODIMP RdpControl::get_BinarySalt(BSTR* salt) {
  if (salt) *salt = nullptr;
  return E_NOTIMPL;
}
STDMETHODIMP RdpControl::ResetPassword() { return E_NOTIMPL; }
STDMETHODIMP RdpControl::NotifyRedirectDeviceChange(UINT_PTR, LONG_PTR) { return E_NOTIMPL; }
STDMETHODIMP RdpControl::SendKeys(long, VARIANT_BOOL*, long*) { return E_NOTIMPL; }

}  // namespace standin
