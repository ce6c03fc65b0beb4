// The connector as its parent sees it: started with the parent's handle, its session request,
// its window over the work area, the exit question, the switches and the ways it ends.
#include <gtest/gtest.h>

#include <windows.h>
#include <tlhelp32.h>

#include <algorithm>
#include <cstdio>
#include <string>
#include <vector>

#include "outside/parent/parent_standin.h"
#include "outside/parent/ui_probe.h"
#include "outside/rdpcontrol/standin_protocol.h"
#include "outside/session_link_data.h"

namespace {

// Generous: only a failing wait runs to the end, and a fresh prefix starts its first programs slowly.
constexpr DWORD kWait = 15000;
constexpr int kControlId = 1000;
constexpr wchar_t kAppId[] = L"{386E969C-FF9B-431E-8859-AA7F6EF565E9}";
constexpr wchar_t kLibId[] = L"{50906EFC-8285-4062-AAF4-B7F70E1A3F54}";
constexpr wchar_t kCaption[] = L"注意";

std::wstring hex(HWND window) {
  wchar_t text[32];
  swprintf(text, 32, L"0x%X", static_cast<unsigned>(reinterpret_cast<UINT_PTR>(window)));
  return text;
}
std::wstring dec(HWND window) { return std::to_wstring(static_cast<unsigned>(reinterpret_cast<UINT_PTR>(window))); }
std::wstring oct(HWND window) {
  wchar_t text[32];
  swprintf(text, 32, L"0%o", static_cast<unsigned>(reinterpret_cast<UINT_PTR>(window)));
  return text;
}
std::wstring quoted(const std::wstring& path) { return L"\"" + path + L"\""; }

// A connector process started by the test, so that the test knows its main thread.
class Child {
 public:
  Child() = default;
  Child(const Child&) = delete;
  Child& operator=(const Child&) = delete;
  ~Child() {
    if (info_.hProcess) {
      if (WaitForSingleObject(info_.hProcess, 0) == WAIT_TIMEOUT) {
        TerminateProcess(info_.hProcess, 99);
        WaitForSingleObject(info_.hProcess, kWait);
      }
      CloseHandle(info_.hProcess);
      CloseHandle(info_.hThread);
    }
  }

  // application: the program to run, or empty to take it from the command line.
  bool start(const std::wstring& command_line, const std::wstring& application = L"") {
    return parent::create_process(application.empty() ? nullptr : application.c_str(), command_line, &info_);
  }
  DWORD pid() const { return info_.dwProcessId; }
  DWORD tid() const { return info_.dwThreadId; }
  bool running() const { return WaitForSingleObject(info_.hProcess, 0) == WAIT_TIMEOUT; }
  // Pumps the caller's messages (so its parent window answers) until the process ends.
  bool wait_exit(DWORD* code) {
    if (!parent::pump_until([&] { return !running(); }, kWait)) return false;
    GetExitCodeProcess(info_.hProcess, code);
    return true;
  }

 private:
  PROCESS_INFORMATION info_ = {};
};

std::wstring connector_path() { return parent::ParentStandIn::sibling_path(parent::kConnectorExe); }

// Sets an environment variable for the processes the test starts, and restores it.
class ScopedEnv {
 public:
  ScopedEnv(const wchar_t* name, const std::wstring& value) : name_(name) {
    wchar_t old[1024];
    DWORD n = GetEnvironmentVariableW(name, old, 1024);
    if (n > 0 && n < 1024) old_ = old, had_ = true;
    SetEnvironmentVariableW(name, value.c_str());
  }
  ~ScopedEnv() { SetEnvironmentVariableW(name_, had_ ? old_.c_str() : nullptr); }

 private:
  const wchar_t* name_;
  std::wstring old_;
  bool had_ = false;
};

std::wstring temp_file(const wchar_t* prefix) {
  wchar_t dir[MAX_PATH], file[MAX_PATH];
  GetTempPathW(MAX_PATH, dir);
  GetTempFileNameW(dir, prefix, 0, file);
  DeleteFileW(file);
  return file;
}

class ConnectorTest : public ::testing::Test {
 protected:
  ConnectorTest() : journal_(temp_file(L"rdj")), journal_env_(standin::kJournalEnv, journal_) {}
  ~ConnectorTest() override { standin::clear_journal(journal_); }

  // Starts the connector with `arguments` after its quoted path and waits for the session request.
  std::optional<parent::CopyDataRecord> start_session(parent::ParentStandIn& parent, Child& child,
                                                      const std::wstring& arguments) {
    if (!child.start(quoted(connector_path()) + L" " + arguments)) {
      ADD_FAILURE() << "CreateProcess failed: " << GetLastError();
      return std::nullopt;
    }
    return wait_request(parent, child);
  }

  // Waits for the session request of a started connector.
  static std::optional<parent::CopyDataRecord> wait_request(parent::ParentStandIn& parent, Child& child) {
    // The request is sent, not posted: once the connector has ended it has either arrived or never will.
    parent::pump_until([&] { return parent.count(1) > 0 || !child.running(); }, kWait);
    auto request = parent.wait_for(1, 0);
    if (!request && !child.running()) ADD_FAILURE() << "the connector ended without a session request";
    return request;
  }

  // Asserts that the process ends by itself with exit code 0 and sent nothing to the parent.
  void expect_quiet_end(parent::ParentStandIn& parent, Child& child, const std::wstring& what) {
    DWORD code = 1234;
    ASSERT_TRUE(child.wait_exit(&code)) << "still running: " << std::string(what.begin(), what.end());
    EXPECT_EQ(code, 0u);
    parent.pump(50);
    EXPECT_TRUE(parent.records().empty()) << std::string(what.begin(), what.end());
  }

  // A session that ran: ends with 0 and nothing beyond its session request went to the parent.
  void expect_quiet_end_after_request(parent::ParentStandIn& parent, Child& child, long reason) {
    DWORD code = 1234;
    ASSERT_TRUE(child.wait_exit(&code)) << reason;
    EXPECT_EQ(code, 0u) << reason;
    parent.pump(50);
    EXPECT_EQ(parent.records().size(), 1u) << reason;
  }

  std::wstring journal_;
  ScopedEnv journal_env_;
};

HWND session_of(const parent::CopyDataRecord& request) { return reinterpret_cast<HWND>(request.wparam); }

struct HandleCase {
  std::wstring arguments;
  bool accepted;
};

// The ways a parent may be written after the program path; `p` is the live parent.
std::vector<HandleCase> handle_cases(HWND p) {
  std::wstring blanks_35 = std::wstring(35 - dec(p).size(), L' ') + dec(p);
  return {
      {L"[" + hex(p) + L"]", true},
      {L"[" + dec(p) + L"]", true},
      {L"[" + oct(p) + L"]", true},
      {L"[ " + dec(p) + L" ]", true},
      {L"[" + blanks_35 + L"]", true},
      {L"[ " + blanks_35 + L"]", false},  // longer than the connector reads: refused, not cut
      {L"[]", false},
      {L"[abc]", false},
      {L"[" + dec(p), false},
      {L"", false},
      {L"[" + dec(p) + L"] [0]", true},  // only the first pair counts
      {L"[0] [" + dec(p) + L"]", false},
  };
}

TEST_F(ConnectorTest, BracketedParentHandle) {
  size_t count = handle_cases(nullptr).size();
  for (size_t i = 0; i < count; ++i) {
    parent::ParentStandIn parent;  // a parent per case keeps the records apart
    HandleCase c = handle_cases(parent.hwnd())[i];
    std::string shown(c.arguments.begin(), c.arguments.end());
    Child child;
    if (c.accepted) {
      auto request = start_session(parent, child, c.arguments);
      ASSERT_TRUE(request) << shown;
      EXPECT_TRUE(IsWindow(session_of(*request))) << shown;
    } else {
      ASSERT_TRUE(child.start(quoted(connector_path()) + L" " + c.arguments)) << shown;
      expect_quiet_end(parent, child, c.arguments);
    }
  }
}

TEST_F(ConnectorTest, BracketAtTheVeryStartDoesNotCount) {
  parent::ParentStandIn parent;
  Child child;
  ASSERT_TRUE(child.start(L"[" + dec(parent.hwnd()) + L"] x", connector_path()));
  expect_quiet_end(parent, child, L"leading bracket");
}

// Copies the connector and the modules it loads into a folder whose name holds a bracketed handle.
TEST_F(ConnectorTest, BracketInsideTheProgramPathCounts) {
  parent::ParentStandIn parent;
  wchar_t base[MAX_PATH];
  GetTempPathW(MAX_PATH, base);
  std::wstring dir = std::wstring(base) + L"kc[" + dec(parent.hwnd()) + L"]" + std::to_wstring(GetCurrentProcessId());
  ASSERT_TRUE(CreateDirectoryW(dir.c_str(), nullptr) || GetLastError() == ERROR_ALREADY_EXISTS);
  const wchar_t* files[] = {L"KestrelChildEarly.exe", L"DllKestrelMain.dll", L"LogbookMain.dll", L"Tarragon.dll",
                            L"Quillon.dll"};
  for (auto file : files) {
    ASSERT_TRUE(CopyFileW(parent::ParentStandIn::sibling_path(file).c_str(), (dir + L"\\" + file).c_str(), FALSE));
  }
  {
    Child child;
    ASSERT_TRUE(child.start(quoted(dir + L"\\KestrelChildEarly.exe") + L" [0]"));
    EXPECT_TRUE(wait_request(parent, child)) << "the bracket in the path names the parent";
  }
  for (auto file : files) DeleteFileW((dir + L"\\" + file).c_str());
  RemoveDirectoryW(dir.c_str());
}

TEST_F(ConnectorTest, ParentTitle) {
  struct Case {
    std::wstring title;
    bool accepted;
  } cases[] = {
      {L"VeloxVirtualAppWinClientServer", true},
      {L"veloxVIRTUALappwinclientserver - Editor", true},
      {L"", true},
      {L"VeloxVirtualApp", false},
      {L"Untitled - Notepad", false},
  };
  for (const auto& c : cases) {
    std::string shown(c.title.begin(), c.title.end());
    parent::ParentStandIn parent(c.title);
    Child child;
    if (c.accepted) {
      EXPECT_TRUE(start_session(parent, child, L"[" + hex(parent.hwnd()) + L"]")) << shown;
    } else {
      ASSERT_TRUE(child.start(quoted(connector_path()) + L" [" + hex(parent.hwnd()) + L"]"));
      expect_quiet_end(parent, child, c.title);
    }
  }
}

TEST_F(ConnectorTest, DeadParentEndsQuietly) {
  parent::ParentStandIn witness;
  HWND dead = CreateWindowExW(0, L"STATIC", L"VeloxVirtualAppWinClientServer", WS_POPUP, 0, 0, 1, 1, nullptr, nullptr,
                              nullptr, nullptr);
  ASSERT_TRUE(dead);
  DestroyWindow(dead);
  Child child;
  ASSERT_TRUE(child.start(quoted(connector_path()) + L" [" + hex(dead) + L"]"));
  expect_quiet_end(witness, child, L"dead parent");
}

TEST_F(ConnectorTest, SessionRequestAndWindow) {
  parent::ParentStandIn parent;
  Child child;
  std::wstring arguments = L"/x [" + hex(parent.hwnd()) + L"]";
  auto request = start_session(parent, child, arguments);
  ASSERT_TRUE(request);
  HWND session = session_of(*request);
  ASSERT_TRUE(IsWindow(session));

  SessionLinkData data;
  std::vector<unsigned char> payload = request->payload;
  ASSERT_EQ(data.SetData(reinterpret_cast<char*>(payload.data())), 1);
  EXPECT_EQ(std::wstring(data.AppCommandLine), quoted(connector_path()) + L" " + arguments);
  EXPECT_EQ(data.SessionWindowHandle, static_cast<uint32_t>(reinterpret_cast<UINT_PTR>(session)));
  EXPECT_EQ(parent.count(1), 1u);

  ASSERT_TRUE(parent::pump_until([&] { return IsWindowVisible(session) != FALSE; }, kWait));
  LONG style = GetWindowLongW(session, GWL_STYLE);
  EXPECT_TRUE(style & WS_POPUP);
  EXPECT_FALSE(style & (WS_CAPTION | WS_BORDER | WS_THICKFRAME | WS_SYSMENU)) << std::hex << style;
  RECT area, window;
  SystemParametersInfoW(SPI_GETWORKAREA, 0, &area, 0);
  GetWindowRect(session, &window);
  EXPECT_TRUE(EqualRect(&area, &window)) << window.left << "," << window.top << "," << window.right << ","
                                         << window.bottom;
  // The control sits at the work area's origin inside the window, with the work area's size.
  HWND control = GetDlgItem(session, kControlId);
  ASSERT_TRUE(control);
  RECT placed;
  GetWindowRect(control, &placed);
  MapWindowPoints(nullptr, session, reinterpret_cast<POINT*>(&placed), 2);
  EXPECT_EQ(placed.left, area.left);
  EXPECT_EQ(placed.top, area.top);
  EXPECT_EQ(placed.right - placed.left, area.right - area.left);
  EXPECT_EQ(placed.bottom - placed.top, area.bottom - area.top);
  EXPECT_EQ(GetDlgItem(session, IDCANCEL), nullptr) << "the X button outlived the initialisation";
  // The stand-in control lives inside the host and got exactly the template's state.
  EXPECT_TRUE(parent::find_descendant(control, standin::kWindowClass));
  auto journal = standin::read_journal(journal_);
  std::vector<std::string> loads;
  for (auto& line : journal) {
    if (line.rfind("Load", 0) == 0 || line == "InitNew") loads.push_back(line);
  }
  EXPECT_EQ(loads, std::vector<std::string>{"Load 24 000000000003000008000200000000000B0000000B000000"});
}

TEST_F(ConnectorTest, CloseFromOutsideChangesNothing) {
  parent::ParentStandIn parent;
  Child child;
  auto request = start_session(parent, child, L"[" + hex(parent.hwnd()) + L"]");
  ASSERT_TRUE(request);
  HWND session = session_of(*request);
  // Sent, so that they have been handled when the call returns; Alt+F4 comes through the queue.
  DWORD_PTR result = 0;
  EXPECT_TRUE(SendMessageTimeoutW(session, WM_SYSCOMMAND, SC_CLOSE, 0, SMTO_ABORTIFHUNG, kWait, &result));
  EXPECT_TRUE(SendMessageTimeoutW(session, WM_CLOSE, 0, 0, SMTO_ABORTIFHUNG, kWait, &result));
  PostMessageW(session, WM_SYSKEYDOWN, VK_F4, 0x20000001 | (MapVirtualKeyW(VK_F4, MAPVK_VK_TO_VSC) << 16));
  parent.pump(300);
  EXPECT_TRUE(child.running());
  EXPECT_TRUE(IsWindowVisible(session));
  EXPECT_FALSE(parent::find_process_window(child.pid(), L"#32770", kCaption));
}

TEST_F(ConnectorTest, EscapeAsksBeforeEnding) {
  parent::ParentStandIn parent;
  Child child;
  auto request = start_session(parent, child, L"[" + hex(parent.hwnd()) + L"]");
  ASSERT_TRUE(request);
  HWND session = session_of(*request);
  HWND control = GetDlgItem(session, kControlId);

  // Cancel: the session stays and the keyboard focus goes into the control.
  ASSERT_TRUE(parent::press_key(session, VK_ESCAPE));
  HWND box = parent::wait_message_box(child.pid(), kCaption, kWait);
  ASSERT_TRUE(box);
  EXPECT_EQ(parent::message_box_text(box), L"是否退出应用？");
  EXPECT_TRUE(GetDlgItem(box, IDOK) && GetDlgItem(box, IDCANCEL));
  ASSERT_TRUE(parent::click_button(box, IDCANCEL));
  ASSERT_TRUE(parent::pump_until([&] { return !IsWindow(box); }, kWait));
  GUITHREADINFO gui = {};
  gui.cbSize = sizeof gui;
  ASSERT_TRUE(parent::pump_until(
      [&] {
        return GetGUIThreadInfo(GetWindowThreadProcessId(session, nullptr), &gui) &&
               (gui.hwndFocus == control || IsChild(control, gui.hwndFocus));
      },
      kWait));
  EXPECT_TRUE(child.running());
  EXPECT_TRUE(IsWindowVisible(session));

  // OK: the control is asked to close and the process ends with 0.
  ASSERT_TRUE(parent::press_key(session, VK_ESCAPE));
  box = parent::wait_message_box(child.pid(), kCaption, kWait);
  ASSERT_TRUE(box);
  ASSERT_TRUE(parent::click_button(box, IDOK));
  DWORD code = 1234;
  ASSERT_TRUE(child.wait_exit(&code));
  EXPECT_EQ(code, 0u);
  auto journal = standin::read_journal(journal_);
  auto at = [&](const std::string& line) {
    for (size_t i = 0; i < journal.size(); ++i) {
      if (journal[i] == line) return int(i);
    }
    return -1;
  };
  EXPECT_GE(at("call RequestClose"), 0);
  EXPECT_GT(at("get Connected"), at("call RequestClose"));
  EXPECT_EQ(at("call Disconnect"), -1) << "a control that never connected is not disconnected";
  EXPECT_EQ(parent.count(1), 1u);
  EXPECT_EQ(parent.records().size(), 1u) << "no notice is due before the session data arrive";
}

// The control's events reach the window through the advised sink: a disconnection the user
// cannot want back closes at once, any other asks first.
TEST_F(ConnectorTest, DisconnectEvents) {
  struct Case {
    long reason;
    bool asks;
  } cases[] = {{-1, false}, {0, false}, {3, false}, {4, true}, {50331652, true}};
  for (const auto& c : cases) {
    parent::ParentStandIn parent;
    Child child;
    auto request = start_session(parent, child, L"[" + hex(parent.hwnd()) + L"]");
    ASSERT_TRUE(request) << c.reason;
    HWND session = session_of(*request);
    HWND control = GetDlgItem(session, kControlId);
    HWND inner = parent::find_descendant(control, standin::kWindowClass);
    ASSERT_TRUE(inner);
    ASSERT_TRUE(PostMessageW(inner, standin::CmdFireDisconnected, static_cast<WPARAM>(c.reason), 0));
    if (!c.asks) {
      expect_quiet_end_after_request(parent, child, c.reason);
      continue;
    }
    // OK: the control comes back and connects again; the next question answered Cancel closes.
    HWND box = parent::wait_message_box(child.pid(), kCaption, kWait);
    ASSERT_TRUE(box) << c.reason;
    EXPECT_EQ(parent::message_box_text(box), L"应用连接已断开，是否重连？");
    EXPECT_FALSE(IsWindowVisible(control));
    ASSERT_TRUE(parent::click_button(box, IDOK));
    ASSERT_TRUE(parent::pump_until([&] { return IsWindowVisible(control) != FALSE; }, kWait));
    auto journal = standin::read_journal(journal_);
    EXPECT_NE(std::find(journal.begin(), journal.end(), "call Connect"), journal.end()) << c.reason;
    ASSERT_TRUE(PostMessageW(inner, standin::CmdFireDisconnected, static_cast<WPARAM>(c.reason), 0));
    box = parent::wait_message_box(child.pid(), kCaption, kWait);
    ASSERT_TRUE(box) << c.reason;
    ASSERT_TRUE(parent::click_button(box, IDCANCEL));
    expect_quiet_end_after_request(parent, child, c.reason);
  }
}

std::wstring read_string(const std::wstring& key, const wchar_t* value) {
  wchar_t text[256] = {};
  DWORD size = sizeof text;
  if (RegGetValueW(HKEY_CLASSES_ROOT, key.c_str(), value, RRF_RT_REG_SZ, nullptr, text, &size) != ERROR_SUCCESS) {
    return L"<missing>";
  }
  return text;
}
bool key_exists(const std::wstring& key) {
  HKEY handle;
  if (RegOpenKeyExW(HKEY_CLASSES_ROOT, key.c_str(), 0, KEY_READ, &handle) != ERROR_SUCCESS) return false;
  RegCloseKey(handle);
  return true;
}

TEST_F(ConnectorTest, RegisterAndUnregisterSwitches) {
  parent::ParentStandIn parent;
  const std::wstring appid_key = std::wstring(L"AppID\\") + kAppId;
  const std::wstring exe_key = L"AppID\\KestrelChild.EXE";
  const std::wstring typelib_key = std::wstring(L"TypeLib\\") + kLibId;
  auto run = [&](const std::wstring& arguments) {
    Child child;
    ASSERT_TRUE(child.start(quoted(connector_path()) + L" " + arguments));
    expect_quiet_end(parent, child, arguments);
  };
  const std::wstring handle = L"[" + hex(parent.hwnd()) + L"]";
  for (const std::wstring& arguments :
       {std::wstring(L"/Regserver"), std::wstring(L"-regserver"), std::wstring(L"/REGISTER"),
        L"/Regserver " + handle, handle + L" -RegisterPerUser"}) {
    std::string shown(arguments.begin(), arguments.end());
    RegDeleteKeyW(HKEY_CLASSES_ROOT, appid_key.c_str());
    RegDeleteKeyW(HKEY_CLASSES_ROOT, exe_key.c_str());
    run(arguments);
    EXPECT_EQ(read_string(appid_key, nullptr), L"KestrelChild") << shown;
    EXPECT_EQ(read_string(exe_key, L"AppID"), kAppId) << shown;
    EXPECT_TRUE(key_exists(typelib_key + L"\\1.0")) << shown;
  }
  for (const std::wstring& arguments : {std::wstring(L"/Unregserver"), handle + L" -unregisterperuser"}) {
    std::string shown(arguments.begin(), arguments.end());
    run(L"/Regserver");
    run(arguments);
    EXPECT_FALSE(key_exists(appid_key)) << shown;
    EXPECT_FALSE(key_exists(exe_key)) << shown;
    EXPECT_TRUE(key_exists(L"AppID")) << shown;
    EXPECT_FALSE(key_exists(typelib_key + L"\\1.0")) << shown;
  }
}

TEST_F(ConnectorTest, EmbeddingRunsWithoutWindowUntilQuit) {
  parent::ParentStandIn parent;
  for (const wchar_t* arguments : {L"/Embedding", L"-AUTOMATION [0]"}) {
    Child child;
    ASSERT_TRUE(child.start(quoted(connector_path()) + L" " + arguments));
    // The thread gets its queue when it first waits for a message; posting before that fails.
    ASSERT_TRUE(parent::pump_until([&] { return PostThreadMessageW(child.tid(), WM_NULL, 0, 0) != FALSE; }, kWait));
    parent.pump(200);
    EXPECT_TRUE(child.running());
    EXPECT_FALSE(parent::find_process_window(child.pid(), nullptr, nullptr));
    ASSERT_TRUE(PostThreadMessageW(child.tid(), WM_QUIT, 42, 0));
    DWORD code = 0;
    ASSERT_TRUE(child.wait_exit(&code));
    EXPECT_EQ(code, 42u);
    EXPECT_TRUE(parent.records().empty());
  }
}

TEST_F(ConnectorTest, ControlThatFailsEndsTheProcessBeforeInitialisation) {
  for (const wchar_t* failure : {L"create", L"load"}) {
    ScopedEnv fail(standin::kFailEnv, failure);
    parent::ParentStandIn parent;
    Child child;
    ASSERT_TRUE(child.start(quoted(connector_path()) + L" [" + hex(parent.hwnd()) + L"]"));
    expect_quiet_end(parent, child, failure);
  }
}

// Unregisters the stand-in control: must run alone (SERIAL) and always registers it again.
class SerialControlTest : public ConnectorTest {
 protected:
  static bool regsvr32(bool unregister) {
    Child tool;
    std::wstring line = std::wstring(L"regsvr32.exe /s ") + (unregister ? L"/u " : L"") +
                        quoted(parent::ParentStandIn::sibling_path(L"RdpControlStandIn.dll"));
    if (!tool.start(line)) return false;
    DWORD code = 1;
    return tool.wait_exit(&code) && code == 0;
  }
  ~SerialControlTest() override { EXPECT_TRUE(regsvr32(false)) << "the stand-in control could not be registered again"; }
};

TEST_F(SerialControlTest, UnregisteredControl) {
  ASSERT_TRUE(regsvr32(true));
  parent::ParentStandIn parent;
  Child child;
  ASSERT_TRUE(child.start(quoted(connector_path()) + L" [" + hex(parent.hwnd()) + L"]"));
  expect_quiet_end(parent, child, L"unregistered control");
  EXPECT_TRUE(standin::read_journal(journal_).empty());
}

}  // namespace
