// A minimal ActiveX control container: a window class whose windows each create and hold one
// control in place. Dialog items that name a class identifier are turned into windows of this
// class by AxDialog (ax_dialog.h); the item's creation data points the host at an AxHostCreateInfo.
#pragma once

#include <windows.h>
#include <ole2.h>

constexpr wchar_t kAxHostClass[] = L"KestrelAxHost";

// One control to create. Owned by whoever creates the host window and alive until WM_CREATE
// has returned; the host writes `result` (S_OK, or why the control could not be made).
struct AxHostCreateInfo {
  CLSID clsid;
  HRESULT clsid_result;     // a failure here (bad class text) is reported without trying
  const BYTE* init_data;    // persisted state handed to IPersistStreamInit::Load; null: InitNew
  DWORD init_size;
  HRESULT result;
};

// Registers the window class once per process.
bool AxHostRegister(HINSTANCE instance);

// The hosted control of a host window, as the interface asked for. E_INVALIDARG when the window
// is not a host, E_FAIL when it holds no control.
HRESULT AxHostGetControl(HWND host, REFIID iid, void** out);
