#include "connector/core/parent_handle.h"

#include <gtest/gtest.h>

#include <optional>
#include <string>

namespace {

struct HandleCase {
  std::u16string command_line;
  std::optional<int32_t> handle;
};

std::string narrow(const std::u16string& text) {
  std::string out;
  for (char16_t c : text) out += c < 0x80 && c != 0 ? static_cast<char>(c) : '?';
  return out;
}

TEST(ParseBracketedHandle, ReadsTheFirstBracketPair) {
  const std::u16string blanks33(33, u' ');
  const HandleCase cases[] = {
      {u"\"C:\\Apps\\KestrelChildEarly.exe\" [0x2A0]", 0x2A0},
      {u"KestrelChildEarly.exe [672]", 672},
      {u"KestrelChildEarly.exe [012]", 10},
      {u"KestrelChildEarly.exe [ 42 ]", 42},
      {u"KestrelChildEarly.exe [-5]", -5},
      {u"KestrelChildEarly.exe /Register [0x2A0] /x", 0x2A0},
      {u"KestrelChildEarly.exe [0x2A0/Register]", 0x2A0},
      // No number between the brackets still counts as a pair; the caller finds no window 0.
      {u"KestrelChildEarly.exe []", 0},
      {u"KestrelChildEarly.exe [abc]", 0},
      {u"KestrelChildEarly.exe [[5]", 0},
      // The first pair counts, in the program path too.
      {u"C:\\Apps[7]\\KestrelChildEarly.exe [672]", 7},
      {u"KestrelChildEarly.exe [5] [7]", 5},
      {u"KestrelChildEarly.exe ]9 [6]", 6},
      // A '[' as the line's first character spoils the line, whatever follows.
      {u"[0x2A0]", std::nullopt},
      {u"[0x2A0] KestrelChildEarly.exe [672]", std::nullopt},
      {u"", std::nullopt},
      {u"KestrelChildEarly.exe", std::nullopt},
      {u"KestrelChildEarly.exe [672", std::nullopt},
      {u"KestrelChildEarly.exe 672]", std::nullopt},
      // 35 units between the brackets are read whole; 36 are refused, not cut.
      {u"x [" + blanks33 + u"42]", 42},
      {u"x [" + blanks33 + u" 42]", std::nullopt},
      {u"x [" + std::u16string(100, u'1') + u"]", std::nullopt},
      // The number ends at a NUL, as in the fixed buffer it is copied into.
      {std::u16string(u"x [4\0" u"2]", 7), 4},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(kestrel::parse_bracketed_handle(c.command_line), c.handle) << narrow(c.command_line);
  }
}

TEST(ParseBracketedHandle, ReadsNothingPastTheView) {
  // "x [12]" viewed without its ']' and terminator: the ']' beyond the view must not be found.
  const std::u16string line = u"x [12]";
  EXPECT_EQ(kestrel::parse_bracketed_handle(std::u16string_view(line).substr(0, 5)), std::nullopt);
}

}  // namespace
