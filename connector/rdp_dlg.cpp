#include "connector/rdp_dlg.h"

#include <oleauto.h>

#include <memory>
#include <new>
#include <string>

#include "connector/core/parent_title.h"
#include "connector/host/ax_host.h"
#include "connector/parent_link.h"
#include "connector/plugin_links.h"
#include "outside/msrdp.h"

namespace {

constexpr ULONG_PTR CdSessionRequest = 1;
constexpr wchar_t kQuestionCaption[] = L"注意";
constexpr wchar_t kExitQuestion[] = L"是否退出应用？";
constexpr wchar_t kReconnectQuestion[] = L"应用连接已断开，是否重连？";

HRESULT OnDisconnectedEvent(void* owner, DISPPARAMS* params) {
  long reason = 0;
  HRESULT hr = DispEventArgLong(params, 0, &reason);
  if (FAILED(hr)) return hr;
  static_cast<CRdpDlg*>(owner)->HandleDisconnected(reason);
  return S_OK;
}

HRESULT OnConnectedEvent(void*, DISPPARAMS*) { return S_OK; }

HRESULT OnLoginCompleteEvent(void* owner, DISPPARAMS*) {
  static_cast<CRdpDlg*>(owner)->HandleLoginComplete();
  return S_OK;
}

// The control's dispatch interface, or null.
IDispatch* ControlDispatch(HWND dialog) {
  IDispatch* control = nullptr;
  if (FAILED(AxHostGetControl(GetDlgItem(dialog, IDC_RDP_CONTROL), IID_IDispatch, reinterpret_cast<void**>(&control)))) {
    return nullptr;
  }
  return control;
}

// Calls a member of the control by name (late-bound, so any build of the control answers).
HRESULT InvokeByName(IDispatch* control, const wchar_t* name, WORD flags, VARIANT* result) {
  DISPID id = DISPID_UNKNOWN;
  LPOLESTR names[] = {const_cast<LPOLESTR>(name)};
  HRESULT hr = control->GetIDsOfNames(IID_NULL, names, 1, LOCALE_USER_DEFAULT, &id);
  if (FAILED(hr)) return hr;
  DISPPARAMS none = {nullptr, nullptr, 0, 0};
  return control->Invoke(id, IID_NULL, LOCALE_USER_DEFAULT, flags, &none, result, nullptr, nullptr);
}

// A numeric result as a long; 0 when it has none.
long ResultLong(VARIANT& value) {
  long number = 0;
  if (SUCCEEDED(VariantChangeType(&value, &value, 0, VT_I4))) number = value.lVal;
  VariantClear(&value);
  return number;
}

}  // namespace

const DispEventEntry CRdpDlg::kEventSinkMap[] = {
    {IDC_RDP_CONTROL, msrdp::DispidOnDisconnected, OnDisconnectedEvent},
    {IDC_RDP_CONTROL, msrdp::DispidOnConnected, OnConnectedEvent},
    {IDC_RDP_CONTROL, msrdp::DispidOnLoginComplete, OnLoginCompleteEvent},
    {0, 0, nullptr},
};

CRdpDlg::~CRdpDlg() { UnadviseSink(); }

int CRdpDlg::HandleLoginComplete() { return 1; }

void CRdpDlg::AdviseSink() {
  IUnknown* control = nullptr;
  if (FAILED(AxHostGetControl(GetDlgItem(m_hWnd, IDC_RDP_CONTROL), IID_IUnknown, reinterpret_cast<void**>(&control)))) {
    return;
  }
  DispEventSink::Advise(control, IDC_RDP_CONTROL, kEventSinkMap, static_cast<CRdpDlg*>(this), &sink_);
  control->Release();
}

void CRdpDlg::UnadviseSink() {
  if (!sink_) return;
  DispEventSink* sink = sink_;
  sink_ = nullptr;
  sink->Unadvise();
}

BOOL CRdpDlg::ProcessWindowMessage(HWND window, UINT message, WPARAM wparam, LPARAM lparam, LRESULT& result,
                                   DWORD map_id) {
  if (map_id != 0) return FALSE;
  BOOL handled = TRUE;
  switch (message) {
    case WM_INITDIALOG:
      // The dialog's initialisation data only carry the control's state, loaded by its host.
      AdviseSink();
      OnInitSession();
      result = 1;
      return TRUE;
    case WM_DESTROY:
      if (window) UnadviseSink();
      result = 0;
      return TRUE;
    case WM_COMMAND:
      if (wparam != IDCANCEL) return FALSE;
      OnCancelCommand();
      result = 0;
      return TRUE;
    case WM_COPYDATA:
      result = OnCopyData(message, wparam, lparam, handled);
      return handled;
    case WM_CLOSE:
      // Closing from outside (Alt+F4, a close message) must not end the session.
      result = 0;
      return TRUE;
    case TrayCallbackMessage:
      result = OnTrayIconNotify(message, wparam, lparam, handled);
      return handled;
  }
  return FALSE;
}

CRdpDlgSupport::CRdpDlgSupport() = default;

CRdpDlgSupport::~CRdpDlgSupport() = default;

LRESULT CRdpDlgSupport::OnTrayIconNotify(UINT, WPARAM, LPARAM, BOOL&) { return 0; }

LRESULT CRdpDlgSupport::OnCopyData(UINT, WPARAM, LPARAM, BOOL&) { return 0; }

int CRdpDlgSupport::OnInitSession() {
  RunState = 1;
  ParseParentWindow(ParentLink, m_hWnd);
  if (!CheckParent()) return 0;

  HWND control = GetDlgItem(m_hWnd, IDC_RDP_CONTROL);
  HWND button = GetDlgItem(m_hWnd, IDCANCEL);
  RECT area = {};
  SystemParametersInfoW(SPI_GETWORKAREA, 0, &area, 0);
  int width = area.right - area.left;
  int height = area.bottom - area.top;
  MoveWindow(m_hWnd, area.left, area.top, width, height, TRUE);
  // Client coordinates of the dialog: with a work area that does not start at the screen's
  // origin the control is offset inside the dialog by the same amount.
  MoveWindow(control, area.left, area.top, width, height, TRUE);
  ShowWindow(button, SW_HIDE);
  DestroyWindow(button);

  SendSessionRequest();
  return 1;
}

void CRdpDlgSupport::SendSessionRequest() {
  SessionLinkData request;
  request.SetAppCommandLine(ParentLink.CommandLine.c_str());
  request.SessionWindowHandle = static_cast<uint32_t>(reinterpret_cast<UINT_PTR>(m_hWnd));
  int size = request.GetDataSize();
  if (size <= 0) return;
  // Without a buffer the request is not sent; the parent then never answers and the session waits.
  std::unique_ptr<char[]> buffer(new (std::nothrow) char[size]);
  if (!buffer) return;
  request.GetData(buffer.get(), static_cast<unsigned long>(size));
  COPYDATASTRUCT data = {CdSessionRequest, static_cast<DWORD>(size), buffer.get()};
  SendMessageW(ParentLink.ParentWindow, WM_COPYDATA, reinterpret_cast<WPARAM>(m_hWnd), reinterpret_cast<LPARAM>(&data));
}

BOOL CRdpDlgSupport::CheckParent() {
  HWND parent = ParentLink.ParentWindow;
  if (!IsWindow(parent)) {
    CloseSession();
    return FALSE;
  }
  wchar_t title[262] = {};
  int length = GetWindowTextW(parent, title, 260);
  if (length <= 0) return TRUE;
  std::u16string_view text(reinterpret_cast<const char16_t*>(title), static_cast<std::size_t>(length));
  if (kestrel::parent_title_accepted(text)) return TRUE;
  CloseSession();
  return FALSE;
}

int CRdpDlgSupport::OnCancelCommand() {
  if (MessageBoxW(m_hWnd, kExitQuestion, kQuestionCaption, MB_OKCANCEL) == IDOK) {
    CloseSession();
    return 1;
  }
  SetFocus(GetDlgItem(m_hWnd, IDC_RDP_CONTROL));
  return 0;
}

int CRdpDlgSupport::HandleDisconnected(long reason) {
  if (reason <= 3) {
    CloseSession();
    return 1;
  }
  HWND control = GetDlgItem(m_hWnd, IDC_RDP_CONTROL);
  IDispatch* client = ControlDispatch(m_hWnd);
  ShowWindow(control, SW_HIDE);
  if (MessageBoxW(m_hWnd, kReconnectQuestion, kQuestionCaption, MB_OKCANCEL) == IDOK) {
    ShowWindow(control, SW_SHOW);
    if (client) InvokeByName(client, L"Connect", DISPATCH_METHOD, nullptr);
  } else {
    CloseSession();
  }
  if (client) client->Release();
  return 1;
}

void CRdpDlgSupport::CloseSession() {
  if (RunState <= 0) return;
  ShowWindow(m_hWnd, SW_HIDE);
  RunState = -1;
  LogText(log_node_.get(), L"ActiveX Rdp will be close.", 3);
  int32_t state = ParentLink.LinkState;
  if (state == LinkShellReady || state == LinkParentClose) kPluginEntryPoints.send(L"LOGOUT,0");

  IDispatch* control = ControlDispatch(m_hWnd);
  if (control) {
    VARIANT value;
    VariantInit(&value);
    // A failing call leaves its result empty (0): the close goes on to the end regardless.
    InvokeByName(control, L"RequestClose", DISPATCH_METHOD, &value);
    if (ResultLong(value) == 1) Sleep(500);
    VariantInit(&value);
    InvokeByName(control, L"Connected", DISPATCH_PROPERTYGET, &value);
    if (ResultLong(value) != 0) InvokeByName(control, L"Disconnect", DISPATCH_METHOD, nullptr);
  }
  RunState = 0;
  if (control) control->Release();
  EndDialog(m_hWnd, 0);
  ExitProcess(0);
}
