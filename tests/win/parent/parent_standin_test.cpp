#include <windows.h>

#include <gtest/gtest.h>

#include <cwchar>
#include <string>
#include <thread>
#include <vector>

#include "outside/parent/parent_standin.h"
#include "outside/parent/ui_probe.h"

namespace {

using parent::CopyDataRecord;
using parent::ParentStandIn;

std::vector<unsigned char> bytes(const char* text) {
  return std::vector<unsigned char>(text, text + strlen(text));
}

struct Sent {
  ULONG_PTR code;
  const char* payload;
};
// What the child process sends to the window named on its command line, then exits with kChildExit.
const Sent kChildMessages[] = {{1, "request"}, {6, ""}, {4, "started"}};
constexpr int kChildExit = 7;

LRESULT send_copy_data(HWND to, WPARAM wparam, ULONG_PTR code, const void* data, DWORD size) {
  COPYDATASTRUCT cds = {code, size, const_cast<void*>(data)};
  return SendMessageW(to, WM_COPYDATA, wparam, reinterpret_cast<LPARAM>(&cds));
}

// The child reads the parent's handle the way the connector is given it: "[0x...]".
int child_main() {
  const wchar_t* line = GetCommandLineW();
  const wchar_t* open = wcsrchr(line, L'[');
  if (!open) return 2;
  HWND target = reinterpret_cast<HWND>(static_cast<ULONG_PTR>(wcstoul(open + 1, nullptr, 16)));
  if (!IsWindow(target)) return 3;
  for (const Sent& s : kChildMessages)
    send_copy_data(target, 0, s.code, s.payload, static_cast<DWORD>(strlen(s.payload)));
  return kChildExit;
}

void expect_records(const std::vector<CopyDataRecord>& records, const std::vector<Sent>& expected) {
  ASSERT_EQ(expected.size(), records.size());
  for (size_t i = 0; i < expected.size(); ++i) {
    EXPECT_EQ(expected[i].code, records[i].code) << "message " << i;
    EXPECT_EQ(bytes(expected[i].payload), records[i].payload) << "message " << i;
  }
}

TEST(ParentStandIn, StartsAProcessWithItsHandleRecordsWhatItSendsInOrderAndReadsItsExitCode) {
  ParentStandIn parent_window;
  ASSERT_TRUE(parent_window.hwnd());
  EXPECT_EQ(std::wstring(parent::kDefaultTitle), parent::window_text(parent_window.hwnd()));
  std::wstring self = ParentStandIn::sibling_path(L"parent_standin_test.exe");
  ASSERT_TRUE(parent_window.start(ParentStandIn::command_line(self, parent_window.hwnd()) + L" --child"));
  ASSERT_TRUE(parent_window.wait_for(4, 10000));
  DWORD exit_code = 0;
  ASSERT_TRUE(parent_window.wait_exit(10000, &exit_code));
  EXPECT_EQ(static_cast<DWORD>(kChildExit), exit_code);
  expect_records(parent_window.records(), std::vector<Sent>(std::begin(kChildMessages), std::end(kChildMessages)));
}

TEST(ParentStandIn, KeepsItsOwnCopyOfEachPayloadAndTheSessionWindowOfTheRequest) {
  ParentStandIn parent_window(L"");
  EXPECT_EQ(L"", parent::window_text(parent_window.hwnd()));
  HWND target = parent_window.hwnd();
  HWND fake_session = reinterpret_cast<HWND>(static_cast<ULONG_PTR>(0x1234));
  std::thread sender([target, fake_session] {
    char buffer[16];
    strcpy(buffer, "first");
    send_copy_data(target, reinterpret_cast<WPARAM>(fake_session), 1, buffer, 5);
    strcpy(buffer, "XXXXX");  // the receiver must not still point here
    strcpy(buffer, "second");
    send_copy_data(target, 0, 1, buffer, 6);
    send_copy_data(target, 0, 3, nullptr, 0);
  });
  std::optional<CopyDataRecord> third = parent_window.wait_for(3, 10000);
  sender.join();
  ASSERT_TRUE(third);
  EXPECT_TRUE(third->payload.empty());
  expect_records(parent_window.records(), {{1, "first"}, {1, "second"}, {3, ""}});
  EXPECT_EQ(fake_session, parent_window.session_window()) << "wParam of the first request";
  std::optional<CopyDataRecord> second = parent_window.wait_for(1, 0, 2);
  ASSERT_TRUE(second);
  EXPECT_EQ(bytes("second"), second->payload);
}

TEST(ParentStandIn, WaitForGivesUpAfterItsTimeOutAndLaterMessagesStillCount) {
  ParentStandIn parent_window;
  EXPECT_FALSE(parent_window.wait_for(5, 100));
  EXPECT_FALSE(parent_window.wait_for(1, 0));
  HWND target = parent_window.hwnd();
  std::thread sender([target] { send_copy_data(target, 0, 5, "x", 1); });
  EXPECT_FALSE(parent_window.wait_for(5, 300, 2));
  sender.join();
  EXPECT_TRUE(parent_window.wait_for(5, 0));
  EXPECT_EQ(1u, parent_window.count(5));
  EXPECT_FALSE(parent_window.wait_exit(10)) << "no process was started";
}

// A stand-in connector thread: sends the session request from its own window and notes whether
// the answer arrived while that request was still being handled.
class RequestingThread {
 public:
  explicit RequestingThread(HWND parent_window) : parent_(parent_window) {
    thread_ = std::thread([this] { run(); });
  }
  ~RequestingThread() {
    if (thread_.joinable()) thread_.join();
  }
  void join() { thread_.join(); }
  bool done() const { return done_; }

  bool answered = false;
  bool answered_inside_request = false;
  std::vector<unsigned char> answer;

 private:
  static LRESULT CALLBACK proc(HWND window, UINT message, WPARAM wparam, LPARAM lparam) {
    auto* self = reinterpret_cast<RequestingThread*>(GetWindowLongPtrW(window, GWLP_USERDATA));
    if (self && message == WM_COPYDATA) {
      auto* cds = reinterpret_cast<const COPYDATASTRUCT*>(lparam);
      if (cds->dwData == 2) {
        self->answered = true;
        self->answered_inside_request = self->in_request_;
        const auto* p = static_cast<const unsigned char*>(cds->lpData);
        self->answer.assign(p, p + cds->cbData);
      }
      return 0;
    }
    return DefWindowProcW(window, message, wparam, lparam);
  }

  void run() {
    WNDCLASSW wc = {};
    wc.lpfnWndProc = proc;
    wc.hInstance = GetModuleHandleW(nullptr);
    wc.lpszClassName = L"RequestingThreadWindow";
    RegisterClassW(&wc);
    HWND window = CreateWindowExW(0, wc.lpszClassName, L"", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr,
                                  wc.hInstance, nullptr);
    SetWindowLongPtrW(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(this));
    in_request_ = true;
    send_copy_data(parent_, reinterpret_cast<WPARAM>(window), 1, "req", 3);
    in_request_ = false;
    parent::pump_until([this] { return answered; }, 5000);
    DestroyWindow(window);
    done_ = true;
  }

  HWND parent_;
  bool in_request_ = false;
  volatile bool done_ = false;
  std::thread thread_;
};

TEST(ParentStandIn, AnswersTheSessionRequestInsideItsHandlingOrRightAfterIt) {
  for (bool inline_reply : {true, false}) {
    SCOPED_TRACE(inline_reply ? "inline" : "deferred");
    ParentStandIn parent_window;
    const std::vector<unsigned char> data = {1, 2, 3, 0, 255};
    parent_window.on_copy_data(ParentStandIn::answer_session_request(data, inline_reply));
    RequestingThread connector(parent_window.hwnd());
    ASSERT_TRUE(parent::pump_until([&] { return connector.done(); }, 10000));
    connector.join();
    EXPECT_TRUE(connector.answered);
    EXPECT_EQ(inline_reply, connector.answered_inside_request);
    EXPECT_EQ(data, connector.answer);
    EXPECT_EQ(1u, parent_window.count(1));
  }
}

TEST(UiProbe, FindsAMessageBoxByCaptionReadsItsTextAndAnswersItAsAUserWould) {
  struct Case {
    const char* how;
    int button;        // clicked, or 0
    UINT key;          // pressed, or 0
    int expected;
  };
  const Case cases[] = {
      {"click OK", IDOK, 0, IDOK},
      {"click Cancel", IDCANCEL, 0, IDCANCEL},
      {"Esc", 0, VK_ESCAPE, IDCANCEL},
      {"Enter", 0, VK_RETURN, IDOK},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.how);
    int answer = 0;
    std::thread asker([&answer] {
      answer = MessageBoxW(nullptr, L"\u662F\u5426\u9000\u51FA\u5E94\u7528\uFF1F", L"\u6CE8\u610F", MB_OKCANCEL);
    });
    HWND box = parent::wait_message_box(GetCurrentProcessId(), L"\u6CE8\u610F", 5000);
    if (!box) {
      asker.detach();
      FAIL() << "no message box";
    }
    EXPECT_EQ(L"\u662F\u5426\u9000\u51FA\u5E94\u7528\uFF1F", parent::message_box_text(box));
    EXPECT_TRUE(parent::find_descendant(box, L"Button"));
    EXPECT_FALSE(parent::find_descendant(box, L"NoSuchClass"));
    if (c.button) {
      EXPECT_TRUE(parent::click_button(box, c.button));
    } else {
      EXPECT_TRUE(parent::press_key(box, c.key));
    }
    DWORD start = parent::now_ms();
    while (IsWindow(box) && parent::now_ms() - start < 5000) Sleep(10);
    asker.join();
    EXPECT_EQ(c.expected, answer);
  }
}

}  // namespace

int main(int argc, char** argv) {
  for (int i = 1; i < argc; ++i)
    if (strcmp(argv[i], "--child") == 0) return child_main();
  ::testing::InitGoogleTest(&argc, argv);
  return RUN_ALL_TESTS();
}
