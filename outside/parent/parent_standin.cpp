#include "outside/parent/parent_standin.h"

#include <cstdio>
#include <cwchar>

#include "outside/parent/ui_probe.h"

namespace parent {
namespace {

constexpr wchar_t kWindowClass[] = L"KestrelParentStandIn";
// Posted to ourselves: run the deferred actions.
constexpr UINT kMsgDeferred = WM_APP + 0x41;

bool register_class() {
  static const bool registered = [] {
    WNDCLASSW wc = {};
    wc.lpfnWndProc = DefWindowProcW;
    wc.hInstance = GetModuleHandleW(nullptr);
    wc.lpszClassName = kWindowClass;
    return RegisterClassW(&wc) != 0 || GetLastError() == ERROR_CLASS_ALREADY_EXISTS;
  }();
  return registered;
}

}  // namespace

ParentStandIn::ParentStandIn(const std::wstring& title) {
  if (!register_class()) return;
  window_ = CreateWindowExW(0, kWindowClass, title.c_str(), WS_OVERLAPPEDWINDOW, 0, 0, 320, 200, nullptr, nullptr,
                            GetModuleHandleW(nullptr), nullptr);
  if (!window_) return;
  SetWindowLongPtrW(window_, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(this));
  SetWindowLongPtrW(window_, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(window_proc));
}

ParentStandIn::~ParentStandIn() {
  kill();
  if (window_) {
    SetWindowLongPtrW(window_, GWLP_USERDATA, 0);
    DestroyWindow(window_);
  }
}

std::wstring ParentStandIn::command_line(const std::wstring& exe, HWND parent_window) {
  wchar_t handle[32];
  swprintf(handle, 32, L"[0x%08lX]", static_cast<unsigned long>(reinterpret_cast<ULONG_PTR>(parent_window)));
  return L"\"" + exe + L"\" " + handle;
}

std::wstring ParentStandIn::sibling_path(const wchar_t* file) {
  wchar_t path[MAX_PATH];
  DWORD length = GetModuleFileNameW(nullptr, path, MAX_PATH);
  std::wstring folder(path, length < MAX_PATH ? length : 0);
  size_t slash = folder.find_last_of(L"\\/");
  folder = slash == std::wstring::npos ? std::wstring() : folder.substr(0, slash + 1);
  return folder + file;
}

bool create_process(const wchar_t* application, const std::wstring& command_line, PROCESS_INFORMATION* info) {
  constexpr int kAttempts = 4;
  for (int attempt = 1;; ++attempt) {
    std::vector<wchar_t> text(command_line.begin(), command_line.end());
    text.push_back(L'\0');
    STARTUPINFOW startup = {};
    startup.cb = sizeof startup;
    if (CreateProcessW(application, text.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup, info))
      return true;
    DWORD error = GetLastError();
    if (error != ERROR_INTERNAL_ERROR || attempt == kAttempts) {
      SetLastError(error);
      return false;
    }
    fwprintf(stderr, L"create_process: the new process died while starting (attempt %d), trying again: %ls\n",
             attempt, command_line.c_str());
    fflush(stderr);
    Sleep(100 * attempt);
  }
}

bool ParentStandIn::start(const std::wstring& command_line) {
  kill();
  PROCESS_INFORMATION info = {};
  if (!create_process(nullptr, command_line, &info)) return false;
  CloseHandle(info.hThread);
  process_ = info.hProcess;
  process_id_ = info.dwProcessId;
  return true;
}

bool ParentStandIn::wait_exit(DWORD timeout_ms, DWORD* exit_code) {
  if (!process_) return false;
  DWORD start = now_ms();
  for (;;) {
    pump_messages();
    DWORD spent = now_ms() - start;
    DWORD left = spent >= timeout_ms ? 0 : timeout_ms - spent;
    DWORD wait = MsgWaitForMultipleObjects(1, &process_, FALSE, left, QS_ALLINPUT);
    if (wait == WAIT_OBJECT_0) break;
    if (wait == WAIT_TIMEOUT || wait == WAIT_FAILED) return false;
  }
  if (exit_code) GetExitCodeProcess(process_, exit_code);
  return true;
}

void ParentStandIn::kill() {
  if (!process_) return;
  if (WaitForSingleObject(process_, 0) == WAIT_TIMEOUT) {
    TerminateProcess(process_, 1);
    WaitForSingleObject(process_, 5000);
  }
  CloseHandle(process_);
  process_ = nullptr;
  process_id_ = 0;
}

ParentStandIn::Responder ParentStandIn::answer_session_request(std::vector<unsigned char> session_data,
                                                               bool inline_reply) {
  return [session_data, inline_reply](ParentStandIn& parent, const CopyDataRecord& record) -> LRESULT {
    if (record.code != 1) return 1;
    HWND target = reinterpret_cast<HWND>(record.wparam);
    if (inline_reply) {
      parent.send(2, session_data.data(), static_cast<DWORD>(session_data.size()), nullptr, target);
    } else {
      ParentStandIn* self = &parent;
      parent.defer([self, target, session_data] {
        self->send(2, session_data.data(), static_cast<DWORD>(session_data.size()), nullptr, target);
      });
    }
    return 1;
  };
}

void ParentStandIn::defer(std::function<void()> action) {
  deferred_.push_back(std::move(action));
  PostMessageW(window_, kMsgDeferred, 0, 0);
}

size_t ParentStandIn::count(ULONG_PTR code) const {
  size_t n = 0;
  for (const CopyDataRecord& r : records_)
    if (r.code == code) ++n;
  return n;
}

std::optional<CopyDataRecord> ParentStandIn::wait_for(ULONG_PTR code, DWORD timeout_ms, size_t nth) {
  if (nth == 0) nth = 1;
  if (!pump_until([&] { return count(code) >= nth; }, timeout_ms)) return std::nullopt;
  size_t seen = 0;
  for (const CopyDataRecord& r : records_)
    if (r.code == code && ++seen == nth) return r;
  return std::nullopt;
}

void ParentStandIn::pump(DWORD ms) {
  pump_until([] { return false; }, ms);
}

bool ParentStandIn::send(ULONG_PTR code, const void* bytes, DWORD size, LRESULT* result, HWND target,
                         DWORD timeout_ms) {
  if (!target) target = session_window_;
  if (!target) return false;
  COPYDATASTRUCT data = {code, size, const_cast<void*>(bytes)};
  DWORD_PTR answer = 0;
  // A sent message to another thread lets that thread's sends to us through while we wait.
  LRESULT ok = SendMessageTimeoutW(target, WM_COPYDATA, reinterpret_cast<WPARAM>(window_),
                                   reinterpret_cast<LPARAM>(&data), SMTO_NORMAL, timeout_ms, &answer);
  if (result) *result = static_cast<LRESULT>(answer);
  return ok != 0;
}

LRESULT ParentStandIn::receive(WPARAM wparam, const COPYDATASTRUCT* data) {
  if (!data) return 0;
  CopyDataRecord record;
  record.code = data->dwData;
  record.wparam = wparam;
  if (data->lpData && data->cbData) {
    const auto* bytes = static_cast<const unsigned char*>(data->lpData);
    record.payload.assign(bytes, bytes + data->cbData);
  }
  if (record.code == 1 && !session_window_) session_window_ = reinterpret_cast<HWND>(wparam);
  records_.push_back(record);
  // The responder may send, and a nested message may grow records_: it gets its own copy.
  return responder_ ? responder_(*this, record) : 1;
}

LRESULT CALLBACK ParentStandIn::window_proc(HWND window, UINT message, WPARAM wparam, LPARAM lparam) {
  auto* self = reinterpret_cast<ParentStandIn*>(GetWindowLongPtrW(window, GWLP_USERDATA));
  if (self) {
    if (message == WM_COPYDATA) return self->receive(wparam, reinterpret_cast<const COPYDATASTRUCT*>(lparam));
    if (message == kMsgDeferred) {
      std::vector<std::function<void()>> actions;
      actions.swap(self->deferred_);
      for (auto& action : actions) action();
      return 0;
    }
  }
  return DefWindowProcW(window, message, wparam, lparam);
}

}  // namespace parent
