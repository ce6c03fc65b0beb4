// The logging facade against a capturing logging library that sits beside this test program.
#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "logging/log_facade.h"
#include "tests/win/logging/capture.h"
#include "tests/win/logging/probe.h"

namespace {

// Replaces the named imports of this program's own import table (the facade is linked into it, so
// its calls go through these entries); restores them when destroyed.
class ImportPatch {
 public:
  ImportPatch(const char* const* names, size_t count, void* replacement) {
    auto* base = reinterpret_cast<unsigned char*>(GetModuleHandleW(nullptr));
    auto* dos = reinterpret_cast<IMAGE_DOS_HEADER*>(base);
    auto* nt = reinterpret_cast<IMAGE_NT_HEADERS*>(base + dos->e_lfanew);
    const IMAGE_DATA_DIRECTORY& dir = nt->OptionalHeader.DataDirectory[IMAGE_DIRECTORY_ENTRY_IMPORT];
    for (auto* d = reinterpret_cast<IMAGE_IMPORT_DESCRIPTOR*>(base + dir.VirtualAddress); d->Name; ++d) {
      auto* names_thunk = reinterpret_cast<IMAGE_THUNK_DATA*>(base + d->OriginalFirstThunk);
      auto* slots = reinterpret_cast<IMAGE_THUNK_DATA*>(base + d->FirstThunk);
      for (; names_thunk->u1.AddressOfData; ++names_thunk, ++slots) {
        if (IMAGE_SNAP_BY_ORDINAL(names_thunk->u1.Ordinal)) continue;
        auto* by_name = reinterpret_cast<IMAGE_IMPORT_BY_NAME*>(base + names_thunk->u1.AddressOfData);
        for (size_t i = 0; i < count; ++i) {
          if (std::strcmp(reinterpret_cast<const char*>(by_name->Name), names[i]) == 0 && patched_ < kMax) {
            Patch(&slots->u1.Function, reinterpret_cast<ULONG_PTR>(replacement));
          }
        }
      }
    }
  }
  ~ImportPatch() {
    for (size_t i = 0; i < patched_; ++i) Write(slots_[i], old_[i]);
  }
  size_t patched() const { return patched_; }
  // What the first patched entry held before.
  void* original() const { return patched_ ? reinterpret_cast<void*>(old_[0]) : nullptr; }

 private:
  static constexpr size_t kMax = 32;
  static void Write(ULONG_PTR* slot, ULONG_PTR value) {
    DWORD protect = 0;
    VirtualProtect(slot, sizeof(*slot), PAGE_READWRITE, &protect);
    *slot = value;
    VirtualProtect(slot, sizeof(*slot), protect, &protect);
  }
  void Patch(ULONG_PTR* slot, ULONG_PTR value) {
    slots_[patched_] = slot;
    old_[patched_] = *slot;
    ++patched_;
    Write(slot, value);
  }
  ULONG_PTR* slots_[kMax] = {};
  ULONG_PTR old_[kMax] = {};
  size_t patched_ = 0;
};

SIZE_T WINAPI FailingVirtualQuery(LPCVOID, PMEMORY_BASIC_INFORMATION, SIZE_T) { return 0; }

// Every allocation through this program's imports is counted, then handed to the real allocator.
long g_allocations = 0;
void* (*g_real_malloc)(size_t) = nullptr;
void* CountingMalloc(size_t n) {
  ++g_allocations;
  return g_real_malloc(n);
}

class LoggingFacade : public ::testing::Test {
 protected:
  void SetUp() override {
    LogNodeInit(&node_, "FacadeTest");
    CaptureReset();
  }
  void TearDown() override { LogNodeRelease(&node_); }

  CapturedMessage Last() {
    CapturedMessage m = {};
    EXPECT_TRUE(CaptureLast(&m));
    return m;
  }

  _LogbookNode node_ = {};
};

TEST_F(LoggingFacade, ExactlyTheLimitArrivesWholeAndTerminated) {
  std::wstring text(kLogBufferChars - 1, L'x');
  text.back() = L'z';
  LogFormat(&node_, 3, L"%s", text.c_str());
  CapturedMessage m = Last();
  EXPECT_EQ(m.length, text.size());
  EXPECT_TRUE(std::wstring(m.text) == text);
  EXPECT_EQ(m.level, 3u);
  EXPECT_EQ(m.node, &node_);
}

TEST_F(LoggingFacade, LongerMessagesAreCutAtTheLimitAndStayTerminated) {
  std::wstring text(3000, L'y');
  for (size_t i = 0; i < text.size(); ++i) text[i] = static_cast<wchar_t>(L'a' + i % 26);
  const struct {
    const wchar_t* format;
    const wchar_t* arg;
  } cases[] = {{L"%s", text.c_str()}, {L"%s", text.c_str() + 952}, {L"%4000s", L"right-aligned"}};
  for (const auto& c : cases) {
    std::wstring whole(5000, L'\0');
    whole.resize(static_cast<size_t>(_snwprintf(&whole[0], whole.size(), c.format, c.arg)));
    LogFormat(&node_, 3, c.format, c.arg);
    CapturedMessage m = Last();
    EXPECT_EQ(m.length, static_cast<size_t>(kLogBufferChars - 1)) << c.format;
    EXPECT_TRUE(std::wstring(m.text) == whole.substr(0, kLogBufferChars - 1)) << c.format;
  }
}

TEST_F(LoggingFacade, FormatsWithWideStringArguments) {
  LogFormat(&node_, 3, L"Recive vchannel seamrdp:%s|%d|0x%08x|%c", L"HELLO", -7, 0xBEEFu, L'\x4e2d');
  EXPECT_EQ(std::wstring(Last().text), L"Recive vchannel seamrdp:HELLO|-7|0x0000beef|\x4e2d");
}

TEST_F(LoggingFacade, TextPassesUnformatted) {
  const wchar_t* text = L"100% sure: %s %d %n %%";
  LogText(&node_, text, 1);
  CapturedMessage m = Last();
  EXPECT_EQ(m.text_pointer, text);
  EXPECT_EQ(std::wstring(m.text), text);
  EXPECT_EQ(m.level, 1u);
}

TEST_F(LoggingFacade, MarksAreOredOntoTheLevel) {
  const struct {
    unsigned long level, mark, expected;
  } cases[] = {{3, 0x10000000, 0x10000003}, {3, 0x20000000, 0x20000003}, {1, 0, 1}, {0x10000003, 0x10000000, 0x10000003}};
  for (const auto& c : cases) {
    LogFormatMarked(&node_, c.level, c.mark, L"CreateWindow g_hWndImeInput Error! code:%d", 1400);
    CapturedMessage m = Last();
    EXPECT_EQ(m.level, c.expected) << std::hex << c.level << " | " << c.mark;
    EXPECT_EQ(std::wstring(m.text), L"CreateWindow g_hWndImeInput Error! code:1400");
  }
}

TEST_F(LoggingFacade, MessagesCarryTheHandleOfTheModuleThatLogged) {
  HINSTANCE exe = GetModuleHandleW(nullptr);
  HINSTANCE probe = GetModuleHandleW(L"logging_probe.dll");
  ASSERT_NE(probe, nullptr);
  ASSERT_NE(probe, exe);
  EXPECT_EQ(CurrentModuleHandle(), exe);
  EXPECT_EQ(ProbeModuleHandle(), probe);

  LogText(&node_, L"from the program", 3);
  EXPECT_EQ(Last().module, exe);
  LogFormat(&node_, 3, L"from the program %d", 2);
  EXPECT_EQ(Last().module, exe);
  ProbeLog(&node_, L"from the DLL");
  CapturedMessage m = Last();
  EXPECT_EQ(m.module, probe);
  EXPECT_EQ(std::wstring(m.text), L"probe:from the DLL");
}

TEST_F(LoggingFacade, FailingVirtualQueryStillWritesWithANullModule) {
  const char* const names[] = {"VirtualQuery"};
  {
    ImportPatch patch(names, 1, reinterpret_cast<void*>(&FailingVirtualQuery));
    ASSERT_EQ(patch.patched(), 1u);
    EXPECT_EQ(CurrentModuleHandle(), nullptr);
    LogFormat(&node_, 3, L"still %s", L"written");
    CapturedMessage m = Last();
    EXPECT_EQ(m.module, nullptr);
    EXPECT_EQ(std::wstring(m.text), L"still written");
    LogText(&node_, L"and this", 3);
    EXPECT_EQ(Last().module, nullptr);
  }
  EXPECT_EQ(CurrentModuleHandle(), GetModuleHandleW(nullptr));
}

TEST_F(LoggingFacade, NoHeapAllocationPerMessage) {
  // Taken from the import table itself: std::malloc here would lead back into the patched entry.
  const char* const names[] = {"malloc"};
  ImportPatch patch(names, 1, reinterpret_cast<void*>(&CountingMalloc));
  ASSERT_EQ(patch.patched(), 1u);
  g_real_malloc = reinterpret_cast<void* (*)(size_t)>(patch.original());

  // The counter sees this program's allocations: a long string must be counted.
  g_allocations = 0;
  { std::wstring probe(3000, L'p'); }
  EXPECT_GT(g_allocations, 0);

  g_allocations = 0;
  for (int i = 0; i < 1000; ++i) {
    LogFormat(&node_, 3, L"message %d of %s", i, L"a thousand");
    LogFormatMarked(&node_, 3, 0x10000000, L"marked %d", i);
    LogText(&node_, L"fixed", 1);
  }
  EXPECT_EQ(g_allocations, 0);
  EXPECT_EQ(CaptureCount(), 3000);
}

TEST(LogNode, IsFilledRegisteredAndReleasedOnce) {
  _LogbookNode node = {};
  LogNodeInit(&node, "Ferrule");
  EXPECT_EQ(node.self, &node);
  EXPECT_STREQ(node.name, "Ferrule");
  EXPECT_EQ(CaptureRefs(&node), 1);
  EXPECT_EQ(CaptureReleases(&node), 0);
  LogNodeRelease(&node);
  EXPECT_EQ(CaptureRefs(&node), 1);
  EXPECT_EQ(CaptureReleases(&node), 1);
  {
    ScopedLogNode scoped("ImeHookDll");
    EXPECT_EQ(CaptureRefs(scoped.get()), 1);
    EXPECT_EQ(CaptureReleases(scoped.get()), 0);
  }
}

}  // namespace
