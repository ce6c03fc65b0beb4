// The session window: a borderless modal dialog over the work area hosting the Remote Desktop
// control (item 1000), through which everything from outside reaches the connector.
#pragma once

#include <windows.h>

#include <cstdint>

#include "connector/host/ax_dialog.h"
#include "connector/host/disp_event_sink.h"
#include "connector/resources/resource.h"
#include "logging/log_facade.h"

// Notification-area callbacks of the mirrored icons.
constexpr UINT TrayCallbackMessage = 1511;

class CRdpDlg : public AxDialog {
 public:
  CRdpDlg() = default;
  ~CRdpDlg() override;

  BOOL ProcessWindowMessage(HWND window, UINT message, WPARAM wparam, LPARAM lparam, LRESULT& result,
                            DWORD map_id) override;

  virtual LRESULT OnTrayIconNotify(UINT message, WPARAM wparam, LPARAM lparam, BOOL& handled) = 0;
  virtual int OnInitSession() = 0;
  virtual int OnCancelCommand() = 0;
  virtual int HandleDisconnected(long reason) = 0;
  virtual int HandleLoginComplete();
  virtual LRESULT OnCopyData(UINT message, WPARAM wparam, LPARAM lparam, BOOL& handled) = 0;

 protected:
  static const DispEventEntry kEventSinkMap[];

 private:
  void AdviseSink();
  void UnadviseSink();

  DispEventSink* sink_ = nullptr;
};

class CRdpDlgSupport : public CRdpDlg {
 public:
  CRdpDlgSupport();
  ~CRdpDlgSupport() override;

  LRESULT OnTrayIconNotify(UINT message, WPARAM wparam, LPARAM lparam, BOOL& handled) override;
  int OnInitSession() override;
  int OnCancelCommand() override;
  int HandleDisconnected(long reason) override;
  LRESULT OnCopyData(UINT message, WPARAM wparam, LPARAM lparam, BOOL& handled) override;

  // FALSE after it has closed the session (no live parent, or a foreign one).
  BOOL CheckParent();
  // Ends a running session and the process; returns only when the session is not running.
  void CloseSession();

 private:
  // First member: registered before anything else of the window is built, so that a failure of a
  // later member still releases it.
  ScopedLogNode log_node_{"CRdpDlgS"};

 public:
  // 0 before initialisation, 1 while the session runs, -1 while CloseSession ends it.
  int32_t RunState = 0;

 private:
  void SendSessionRequest();
};
