// The parent engine's stand-in for end-to-end runs: a top-level window that starts the connector
// with its handle, records every WM_COPYDATA that reaches it (in order, payload copied) and sends
// codes of its own to the session window.
//
// One object lives on one thread: the thread that constructs it owns the window, and every
// message reaches it only while that thread pumps (wait_for, wait_exit, pump, send).
#pragma once

#include <windows.h>

#include <functional>
#include <optional>
#include <string>
#include <vector>

namespace parent {

constexpr wchar_t kDefaultTitle[] = L"VeloxVirtualAppWinClientServer";
constexpr wchar_t kConnectorExe[] = L"KestrelChildEarly.exe";

struct CopyDataRecord {
  ULONG_PTR code = 0;
  WPARAM wparam = 0;
  std::vector<unsigned char> payload;
};

// CreateProcessW for `command_line` (and `application`, or null), with the inherited environment.
// Under Wine a new process now and then dies before it has started, which CreateProcess reports as
// ERROR_INTERNAL_ERROR; that start is tried again a few times, each time noted on stderr.
bool create_process(const wchar_t* application, const std::wstring& command_line, PROCESS_INFORMATION* info);

class ParentStandIn {
 public:
  // The result of a handler goes back to the sender of the message.
  using Responder = std::function<LRESULT(ParentStandIn& parent, const CopyDataRecord& record)>;

  explicit ParentStandIn(const std::wstring& title = kDefaultTitle);
  ~ParentStandIn();  // ends a connector still running, destroys the window
  ParentStandIn(const ParentStandIn&) = delete;
  ParentStandIn& operator=(const ParentStandIn&) = delete;

  HWND hwnd() const { return window_; }

  // `"<exe>" [0x<hwnd>]`, the form the parent engine starts the connector with.
  static std::wstring command_line(const std::wstring& exe, HWND parent_window);
  // `file` in the folder of the running program.
  static std::wstring sibling_path(const wchar_t* file);

  // Starts a process with this command line (the environment is inherited).
  bool start(const std::wstring& command_line);
  bool start_connector() { return start(command_line(sibling_path(kConnectorExe), window_)); }
  DWORD process_id() const { return process_id_; }
  HANDLE process() const { return process_; }
  // Pumps until the process ends; false on time-out. `exit_code` gets its exit code.
  bool wait_exit(DWORD timeout_ms, DWORD* exit_code = nullptr);
  // Ends the process if still running.
  void kill();

  // Called inside the WM_COPYDATA handling, after the record is stored. Default: returns 1.
  void on_copy_data(Responder responder) { responder_ = std::move(responder); }
  // A responder that answers code 1 with code 2 carrying `session_data`, sent to the window in
  // the request's wParam: from within the handling of the request (`inline_reply`), or right
  // after it returns.
  static Responder answer_session_request(std::vector<unsigned char> session_data, bool inline_reply = true);
  // Runs `action` from our message handling right after the current message (posted to ourselves).
  void defer(std::function<void()> action);

  // Every message received so far, in order.
  const std::vector<CopyDataRecord>& records() const { return records_; }
  size_t count(ULONG_PTR code) const;
  // Pumps until the `nth` (1-based) message with `code` has arrived; that record, or nothing on time-out.
  std::optional<CopyDataRecord> wait_for(ULONG_PTR code, DWORD timeout_ms, size_t nth = 1);
  // Pumps messages for the given time.
  void pump(DWORD ms);

  // The connector's session window: wParam of its session request, unless set.
  HWND session_window() const { return session_window_; }
  void set_session_window(HWND window) { session_window_ = window; }
  // Sends WM_COPYDATA (wParam = our window) to `target` (default: the session window), pumping
  // our own messages meanwhile. False when there is no target or the send failed or timed out.
  bool send(ULONG_PTR code, const void* bytes, DWORD size, LRESULT* result = nullptr, HWND target = nullptr,
            DWORD timeout_ms = 10000);
  bool send(ULONG_PTR code, const std::vector<unsigned char>& bytes, LRESULT* result = nullptr) {
    return send(code, bytes.data(), static_cast<DWORD>(bytes.size()), result);
  }

 private:
  static LRESULT CALLBACK window_proc(HWND window, UINT message, WPARAM wparam, LPARAM lparam);
  LRESULT receive(WPARAM wparam, const COPYDATASTRUCT* data);

  HWND window_ = nullptr;
  HWND session_window_ = nullptr;
  HANDLE process_ = nullptr;
  DWORD process_id_ = 0;
  std::vector<CopyDataRecord> records_;
  Responder responder_;
  std::vector<std::function<void()>> deferred_;
};

}  // namespace parent
