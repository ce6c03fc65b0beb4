// A modal dialog that hosts ActiveX controls named in its template by class identifier, with
// their persisted state taken from the template's dialog initialisation data (resource type 240).
// The template is run from an in-memory copy in which each such item becomes a KestrelAxHost
// window; its creation data points the host at the class and the state to load.
#pragma once

#include <windows.h>

class AxDialog {
 public:
  AxDialog() = default;
  AxDialog(const AxDialog&) = delete;
  AxDialog& operator=(const AxDialog&) = delete;

  // The message map: true when the message was handled, with its result in `result`.
  virtual BOOL ProcessWindowMessage(HWND window, UINT message, WPARAM wparam, LPARAM lparam, LRESULT& result,
                                    DWORD map_id) = 0;
  virtual ~AxDialog() = default;
  virtual DLGPROC GetDialogProc();
  // Called after the window's last message (WM_NCDESTROY).
  virtual void OnFinalMessage(HWND window);

  // Runs the dialog from template `id` of `instance`. WM_INITDIALOG reaches the message map with
  // `init_param`. Returns -1 when the dialog could not be created; when a control could not be
  // made the last error is then the low 16 bits of its HRESULT.
  INT_PTR DoModal(HINSTANCE instance, UINT id, HWND owner, LPARAM init_param);

  HWND m_hWnd = nullptr;

 protected:
  static INT_PTR CALLBACK DialogProc(HWND window, UINT message, WPARAM wparam, LPARAM lparam);

 private:
  LPARAM init_param_ = 0;
};
