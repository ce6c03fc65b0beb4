// SessionLinkData through the DLL's own exported class.
#include <gtest/gtest.h>
#include <windows.h>

#include <cstring>
#include <cwchar>
#include <string>
#include <vector>

#include "outside/session_link_data.h"

namespace {

std::wstring Text(const wchar_t* t) { return t ? std::wstring(t) : std::wstring(L"<null>"); }

void Fill(SessionLinkData& d, const wchar_t* app, const wchar_t* password, const wchar_t* user, const wchar_t* server) {
  d.SessionMode = 3;
  d.ImeEnabled = 1;
  d.ColorDepth = 32;
  d.SessionWindowHandle = 0x00A1B2C3;
  d.RedirectPorts = -1;
  d.RedirectPrinters = -1;
  d.RdpPort = 13389;
  for (int i = 0; i < 16; ++i) d.SessionIdentity[i] = static_cast<unsigned char>(i * 17);
  ASSERT_TRUE(d.SetAppCommandLine(app));
  ASSERT_TRUE(d.SetPassword(password));
  ASSERT_TRUE(d.SetUserName(user));
  ASSERT_TRUE(d.SetServer(server));
  d.DesktopHeight = 768;
  d.DesktopWidth = 1366;
  d.FontSmoothing = 1;
}

void ExpectSame(const SessionLinkData& a, const SessionLinkData& b) {
  EXPECT_EQ(a.SessionMode, b.SessionMode);
  EXPECT_EQ(a.ImeEnabled, b.ImeEnabled);
  EXPECT_EQ(a.ColorDepth, b.ColorDepth);
  EXPECT_EQ(a.SessionWindowHandle, b.SessionWindowHandle);
  EXPECT_EQ(a.RedirectPorts, b.RedirectPorts);
  EXPECT_EQ(a.RedirectPrinters, b.RedirectPrinters);
  EXPECT_EQ(a.RdpPort, b.RdpPort);
  EXPECT_EQ(0, std::memcmp(a.SessionIdentity, b.SessionIdentity, 16));
  EXPECT_EQ(Text(a.AppCommandLine), Text(b.AppCommandLine));
  EXPECT_EQ(Text(a.Password), Text(b.Password));
  EXPECT_EQ(Text(a.UserName), Text(b.UserName));
  EXPECT_EQ(Text(a.Server), Text(b.Server));
  EXPECT_EQ(a.DesktopHeight, b.DesktopHeight);
  EXPECT_EQ(a.DesktopWidth, b.DesktopWidth);
  EXPECT_EQ(a.FontSmoothing, b.FontSmoothing);
}

std::vector<char> Serialise(SessionLinkData& d) {
  int size = d.GetDataSize();
  std::vector<char> bytes(static_cast<size_t>(size) + 8, '\x5A');
  EXPECT_EQ(d.GetData(bytes.data(), static_cast<unsigned long>(bytes.size())), size);
  for (size_t i = static_cast<size_t>(size); i < bytes.size(); ++i) EXPECT_EQ(bytes[i], '\x5A') << "written past";
  bytes.resize(static_cast<size_t>(size));
  return bytes;
}

// Places bytes so that they end exactly at a page that cannot be read: reading past them faults.
class GuardedBytes {
 public:
  explicit GuardedBytes(const std::vector<char>& bytes) {
    SYSTEM_INFO info;
    GetSystemInfo(&info);
    const size_t page = info.dwPageSize;
    const size_t span = (bytes.size() + page - 1) / page * page;
    base_ = static_cast<char*>(VirtualAlloc(nullptr, span + page, MEM_RESERVE | MEM_COMMIT, PAGE_READWRITE));
    DWORD old = 0;
    VirtualProtect(base_ + span, page, PAGE_NOACCESS, &old);
    data_ = base_ + span - bytes.size();
    std::memcpy(data_, bytes.data(), bytes.size());
  }
  ~GuardedBytes() { VirtualFree(base_, 0, MEM_RELEASE); }
  char* data() { return data_; }

 private:
  char* base_;
  char* data_;
};

void Put32(std::vector<char>& b, size_t at, uint32_t v) {
  for (int i = 0; i < 4; ++i) b[at + i] = static_cast<char>(v >> (8 * i));
}

TEST(SessionLinkData, DefaultsAreAFreshRecord) {
  SessionLinkData d;
  EXPECT_EQ(d.AppCommandLine, nullptr);
  EXPECT_EQ(d.Password, nullptr);
  EXPECT_EQ(d.UserName, nullptr);
  EXPECT_EQ(d.Server, nullptr);
  EXPECT_EQ(d.RdpPort, 3389);
  EXPECT_EQ(d.SessionMode, 0);
}

TEST(SessionLinkData, RoundTripsEveryMember) {
  const std::wstring longest(32767, L'\x4e2d');
  const struct {
    const wchar_t *app, *password, *user, *server;
  } cases[] = {
      {L"[0x000A0B0C] /app", L"s3cr\x00e9t", L"\x7528\x6237", L"server.example"},
      {nullptr, L"", nullptr, L""},
      {longest.c_str(), longest.c_str(), longest.c_str(), longest.c_str()},
  };
  for (const auto& c : cases) {
    SessionLinkData sent;
    Fill(sent, c.app, c.password, c.user, c.server);
    std::vector<char> bytes = Serialise(sent);
    EXPECT_EQ(SessionLinkData::DeclaredSize(bytes.data(), static_cast<unsigned long>(bytes.size())), bytes.size());
    GuardedBytes guarded(bytes);
    SessionLinkData received;
    EXPECT_EQ(received.SetData(guarded.data()), 1);
    ExpectSame(sent, received);
  }
}

TEST(SessionLinkData, GetDataRefusesASmallBufferAndLeavesItUntouched) {
  SessionLinkData d;
  Fill(d, L"app", L"pw", L"user", L"srv");
  const int size = d.GetDataSize();
  ASSERT_GT(size, 0);
  for (unsigned long given : {0ul, 1ul, static_cast<unsigned long>(size - 1)}) {
    std::vector<char> buffer(static_cast<size_t>(size) + 4, '\x33');
    EXPECT_EQ(d.GetData(buffer.data(), given), 0) << given;
    EXPECT_EQ(buffer, std::vector<char>(buffer.size(), '\x33')) << given;
  }
  EXPECT_EQ(d.GetData(nullptr, static_cast<unsigned long>(size)), 0);
}

TEST(SessionLinkData, FailedSetDataLeavesTheObjectAsItWas) {
  SessionLinkData source;
  Fill(source, L"sent app", L"sent password", L"sent user", L"sent server");
  const std::vector<char> good = Serialise(source);
  const size_t first_text = 68;

  struct Case {
    const char* name;
    std::vector<char> bytes;
  };
  std::vector<Case> cases;
  auto spoiled = [&](const char* name, auto spoil) {
    std::vector<char> b = good;
    spoil(b);
    cases.push_back({name, b});
  };
  spoiled("foreign magic", [](std::vector<char>& b) { b[1] = 'Z'; });
  spoiled("other version", [](std::vector<char>& b) { b[4] = 9; });
  spoiled("declared length cut short: the texts run past it",
          [&](std::vector<char>& b) { b.resize(b.size() - 3), Put32(b, 8, static_cast<uint32_t>(b.size())); });
  spoiled("text longer than the record", [&](std::vector<char>& b) { Put32(b, first_text, 0x7FFF); });
  spoiled("text shorter than the record", [&](std::vector<char>& b) { Put32(b, first_text, 1); });
  spoiled("trailing byte", [](std::vector<char>& b) { b.push_back('x'), Put32(b, 8, static_cast<uint32_t>(b.size())); });
  spoiled("header only", [](std::vector<char>& b) { b.resize(16), Put32(b, 8, 16); });

  for (const Case& c : cases) {
    SessionLinkData target;
    Fill(target, L"kept app", L"kept password", L"kept user", L"kept server");
    target.SessionMode = 77;
    target.SessionIdentity[3] = 0xEE;
    SessionLinkData expected;
    Fill(expected, L"kept app", L"kept password", L"kept user", L"kept server");
    expected.SessionMode = 77;
    expected.SessionIdentity[3] = 0xEE;
    const wchar_t* app_before = target.AppCommandLine;

    GuardedBytes guarded(c.bytes);
    EXPECT_EQ(target.SetData(guarded.data()), 0) << c.name;
    ExpectSame(target, expected);
    EXPECT_EQ(target.AppCommandLine, app_before) << c.name;
  }
  SessionLinkData target;
  EXPECT_EQ(target.SetData(nullptr), 0);
}

TEST(SessionLinkData, DeclaredSizeNeedsAWholeHeader) {
  SessionLinkData d;
  Fill(d, L"a", L"b", L"c", L"d");
  std::vector<char> bytes = Serialise(d);
  EXPECT_EQ(SessionLinkData::DeclaredSize(bytes.data(), 16), bytes.size());
  EXPECT_EQ(SessionLinkData::DeclaredSize(bytes.data(), 15), 0ul);
  bytes[0] = 'x';
  EXPECT_EQ(SessionLinkData::DeclaredSize(bytes.data(), static_cast<unsigned long>(bytes.size())), 0ul);
}

TEST(SessionLinkData, TooLongTextIsRefusedAndTheMemberKept) {
  SessionLinkData d;
  ASSERT_TRUE(d.SetServer(L"kept"));
  std::wstring too_long(32768, L'x');
  EXPECT_FALSE(d.SetServer(too_long.c_str()));
  EXPECT_EQ(Text(d.Server), L"kept");
  EXPECT_TRUE(d.SetServer(nullptr));
  EXPECT_EQ(d.Server, nullptr);
}

}  // namespace
