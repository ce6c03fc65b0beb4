// The parts of the Remote Desktop ActiveX client control that the connector uses: its class, the
// interface identities it is asked for, the non-scriptable password interface (the one interface
// not reached through IDispatch) and the dispatch identifiers of its events.
#pragma once

#include <windows.h>
#include <oaidl.h>
#include <ocidl.h>

namespace msrdp {

// {3523C2FB-4031-44E4-9A3B-F1E94986EE7F}: the client control class that offers IMsRdpClient2.
constexpr CLSID CLSID_MsRdpClient2 = {0x3523C2FB, 0x4031, 0x44E4, {0x9A, 0x3B, 0xF1, 0xE9, 0x49, 0x86, 0xEE, 0x7F}};
constexpr IID IID_IMsRdpClient2 = {0xE7E17DC4, 0x3B71, 0x4BA7, {0xA8, 0xE6, 0x28, 0x1F, 0xFA, 0xDC, 0xA2, 0x8F}};
constexpr IID IID_IMsRdpClient = {0x92B4A539, 0x7115, 0x4B7C, {0xA5, 0xA9, 0xE5, 0xD9, 0xEF, 0xC2, 0x78, 0x0A}};
constexpr IID IID_IMsTscAx = {0x8C11EFAE, 0x92C3, 0x11D1, {0xBC, 0x1E, 0x00, 0xC0, 0x4F, 0xA3, 0x14, 0x89}};
constexpr IID IID_IMsTscNonScriptable = {0xC1E6743A, 0x41C1, 0x4A74, {0x83, 0x2A, 0x0D, 0xD0, 0x6C, 0x1C, 0x7A, 0x0E}};
constexpr IID IID_IMsRdpClientNonScriptable = {0x2F079C4C, 0x87B2, 0x4AFD, {0x97, 0xAB, 0x20, 0xCD, 0xB4, 0x30, 0x38, 0xAE}};
// The control's default source (event) dispinterface.
constexpr IID DIID_IMsTscAxEvents = {0x336D5562, 0xEFA8, 0x482E, {0x8C, 0xB3, 0xC5, 0xC0, 0xFC, 0x7A, 0x7D, 0xB6}};

// Event dispatch identifiers.
constexpr DISPID DispidOnConnected = 2;
constexpr DISPID DispidOnLoginComplete = 3;
constexpr DISPID DispidOnDisconnected = 4;

// Non-dual: reached by vtable only. Slot order as the control publishes it.
struct IMsTscNonScriptable : public IUnknown {
  virtual HRESULT STDMETHODCALLTYPE put_ClearTextPassword(BSTR password) = 0;
  virtual HRESULT STDMETHODCALLTYPE put_PortablePassword(BSTR password) = 0;
  virtual HRESULT STDMETHODCALLTYPE get_PortablePassword(BSTR* password) = 0;
  virtual HRESULT STDMETHODCALLTYPE put_PortableSalt(BSTR salt) = 0;
  virtual HRESULT STDMETHODCALLTYPE get_PortableSalt(BSTR* salt) = 0;
  virtual HRESULT STDMETHODCALLTYPE put_BinaryPassword(BSTR password) = 0;
  virtual HRESULT STDMETHODCALLTYPE get_BinaryPassword(BSTR* password) = 0;
  virtual HRESULT STDMETHODCALLTYPE put_BinarySalt(BSTR salt) = 0;
  virtual HRESULT STDMETHODCALLTYPE get_BinarySalt(BSTR* salt) = 0;
  virtual HRESULT STDMETHODCALLTYPE ResetPassword() = 0;
};

struct IMsRdpClientNonScriptable : public IMsTscNonScriptable {
  virtual HRESULT STDMETHODCALLTYPE NotifyRedirectDeviceChange(UINT_PTR wParam, LONG_PTR lParam) = 0;
  virtual HRESULT STDMETHODCALLTYPE SendKeys(long numKeys, VARIANT_BOOL* keyUp, long* keyData) = 0;
};

}  // namespace msrdp
