// The logging library stand-in: the lines it writes to its file.
#include <gtest/gtest.h>
#include <windows.h>

#include <fstream>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "outside/logbook.h"

namespace {

std::string Read(const std::wstring& path) {
  std::ifstream in(path.c_str(), std::ios::binary);
  std::stringstream s;
  s << in.rdbuf();
  return s.str();
}

std::vector<std::string> Lines(const std::string& text) {
  std::vector<std::string> lines;
  size_t start = 0;
  for (size_t end; (end = text.find("\r\n", start)) != std::string::npos; start = end + 2) {
    lines.push_back(text.substr(start, end - start));
  }
  EXPECT_EQ(start, text.size()) << "text after the last line break";
  return lines;
}

// The fields after the time stamp: module, node, level, text.
std::vector<std::string> Fields(const std::string& line) {
  std::vector<std::string> fields;
  size_t start = line.find('\t');
  if (start == std::string::npos) return fields;
  ++start;
  for (int i = 0; i < 3; ++i) {
    size_t tab = line.find('\t', start);
    if (tab == std::string::npos) return fields;
    fields.push_back(line.substr(start, tab - start));
    start = tab + 1;
  }
  fields.push_back(line.substr(start));
  return fields;
}

class Logbook : public ::testing::Test {
 protected:
  void SetUp() override {
    wchar_t dir[MAX_PATH];
    GetTempPathW(MAX_PATH, dir);
    path_ = std::wstring(dir) + L"logbook_test_" + std::to_wstring(GetCurrentProcessId()) + L".log";
    DeleteFileW(path_.c_str());
    SetEnvironmentVariableW(L"KESTREL_LOGBOOK_FILE", path_.c_str());
    node_.self = &node_;
    node_.name = "CRdpDlgS";
  }
  void TearDown() override {
    DeleteFileW(path_.c_str());
    SetEnvironmentVariableW(L"KESTREL_LOGBOOK_FILE", nullptr);
  }

  std::wstring path_;
  _LogbookNode node_ = {};
};

TEST_F(Logbook, WritesOneEscapedUtf8LinePerMessage) {
  HINSTANCE exe = GetModuleHandleW(nullptr);
  _LogbookNode nameless = {&nameless, nullptr};
  _LogbookMainRef(&node_);
  _LogbookMainMessageW(&node_, L"ActiveX Rdp will be close.", 3, exe);
  _LogbookMainMessageW(&node_, L"two\r\nlines\tand a tab \x6ce8\x610f", 0x10000003, exe);
  _LogbookMainMessageW(nullptr, nullptr, 1, nullptr);
  _LogbookMainMessageW(&nameless, L"", 0x20000003, reinterpret_cast<HINSTANCE>(static_cast<INT_PTR>(0x10)));
  _LogbookMainRelease(&node_);

  const std::vector<std::vector<std::string>> expected = {
      {"-", "CRdpDlgS", "ref"},
      {"logbook_test.exe", "CRdpDlgS", "0x00000003", "ActiveX Rdp will be close."},
      {"logbook_test.exe", "CRdpDlgS", "0x10000003", "two\\r\\nlines\tand a tab \xe6\xb3\xa8\xe6\x84\x8f"},
      {"?", "(no node)", "0x00000001", "(null)"},
      {"?", "?", "0x20000003", ""},
      {"-", "CRdpDlgS", "release"},
  };
  std::vector<std::string> lines = Lines(Read(path_));
  ASSERT_EQ(lines.size(), expected.size());
  for (size_t i = 0; i < lines.size(); ++i) {
    std::vector<std::string> fields = Fields(lines[i]);
    ASSERT_EQ(fields.size(), 4u) << lines[i];
    for (size_t f = 0; f < expected[i].size(); ++f) EXPECT_EQ(fields[f], expected[i][f]) << lines[i];
    EXPECT_EQ(lines[i].find('\t'), 23u) << "time stamp yyyy-mm-dd hh:mm:ss.mmm: " << lines[i];
  }
}

TEST_F(Logbook, ThreadsNeverInterleaveWithinALine) {
  constexpr int kThreads = 6, kEach = 30;
  // Longer than the library's 4 KB write chunk, so a line takes several writes.
  constexpr size_t kLength = 20000;
  std::vector<std::thread> threads;
  for (int t = 0; t < kThreads; ++t) {
    threads.emplace_back([this, t, kLength] {
      std::wstring text = L"thread " + std::to_wstring(t) + L" " + std::wstring(kLength, static_cast<wchar_t>(L'a' + t));
      for (int i = 0; i < kEach; ++i) _LogbookMainMessageW(&node_, text.c_str(), 3, nullptr);
    });
  }
  for (std::thread& t : threads) t.join();
  std::vector<std::string> lines = Lines(Read(path_));
  ASSERT_EQ(lines.size(), static_cast<size_t>(kThreads * kEach));
  int per_thread[kThreads] = {};
  for (const std::string& line : lines) {
    std::vector<std::string> fields = Fields(line);
    ASSERT_EQ(fields.size(), 4u) << line.substr(0, 80);
    int t = fields[3].size() > 7 ? fields[3][7] - '0' : -1;
    ASSERT_TRUE(t >= 0 && t < kThreads) << line.substr(0, 80);
    EXPECT_TRUE(fields[3] == "thread " + std::to_string(t) + " " + std::string(kLength, static_cast<char>('a' + t)))
        << "mixed line of thread " << t;
    ++per_thread[t];
  }
  for (int n : per_thread) EXPECT_EQ(n, kEach);
}

TEST_F(Logbook, AnUnwritablePathIsIgnoredAndTheDefaultIsTheTempFolder) {
  SetEnvironmentVariableW(L"KESTREL_LOGBOOK_FILE", L"C:\\no such folder\\deeper\\x.log");
  _LogbookMainMessageW(&node_, L"lost", 3, nullptr);
  EXPECT_EQ(GetFileAttributesW(L"C:\\no such folder"), INVALID_FILE_ATTRIBUTES);

  SetEnvironmentVariableW(L"KESTREL_LOGBOOK_FILE", nullptr);
  wchar_t dir[MAX_PATH];
  GetTempPathW(MAX_PATH, dir);
  const std::string marker = "marker " + std::to_string(GetTickCount()) + " " + std::to_string(GetCurrentProcessId());
  _LogbookMainMessageW(&node_, std::wstring(marker.begin(), marker.end()).c_str(), 3, nullptr);
  EXPECT_NE(Read(std::wstring(dir) + L"LogbookMain.log").find("\t" + marker + "\r\n"), std::string::npos);
}

}  // namespace
