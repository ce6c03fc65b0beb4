// Compares the portable automatic-base readers with msvcrt's wcstol and wcstoul (base 0), value
// and end position alike. The functions are taken from the DLL by name so the comparison is with
// the runtime itself, not with a wrapper of the toolchain. (ucrtbase differs in one place: it
// also takes U+0085 as a blank.)
#include "common/core/auto_number.h"

#include <windows.h>

#include <gtest/gtest.h>

#include <cerrno>
#include <cstdio>
#include <random>
#include <string>
#include <vector>

namespace {

using WcstolFn = long(__cdecl*)(const wchar_t*, wchar_t**, int);
using WcstoulFn = unsigned long(__cdecl*)(const wchar_t*, wchar_t**, int);
using ErrnoFn = int*(__cdecl*)();

struct Crt {
  WcstolFn to_long = nullptr;
  WcstoulFn to_ulong = nullptr;
  ErrnoFn error = nullptr;
};

Crt load_crt(const wchar_t* dll) {
  Crt crt;
  HMODULE module = LoadLibraryW(dll);
  if (!module) return crt;
  crt.to_long = reinterpret_cast<WcstolFn>(reinterpret_cast<void*>(GetProcAddress(module, "wcstol")));
  crt.to_ulong = reinterpret_cast<WcstoulFn>(reinterpret_cast<void*>(GetProcAddress(module, "wcstoul")));
  crt.error = reinterpret_cast<ErrnoFn>(reinterpret_cast<void*>(GetProcAddress(module, "_errno")));
  return crt;
}

std::string describe(const std::u16string& text) {
  std::string out;
  char unit[8];
  for (char16_t c : text) {
    if (c >= 0x21 && c < 0x7F) {
      out += static_cast<char>(c);
    } else {
      std::snprintf(unit, sizeof unit, "<%04X>", static_cast<unsigned>(c));
      out += unit;
    }
  }
  return "\"" + out + "\"";
}

// What one runtime call gave: the value, the units before the end pointer, and errno.
struct Reading {
  uint32_t value;
  std::size_t consumed;
  int error;
};

class CrtCompare : public ::testing::Test {
 protected:
  void SetUp() override {
    crt_ = load_crt(L"msvcrt.dll");
    ASSERT_TRUE(crt_.to_long && crt_.to_ulong && crt_.error) << "msvcrt.dll without wcstol/wcstoul/_errno";
  }

  Reading crt_signed(const std::u16string& text) const {
    const auto* begin = reinterpret_cast<const wchar_t*>(text.c_str());
    wchar_t* end = nullptr;
    *crt_.error() = 0;
    const long v = crt_.to_long(begin, &end, 0);
    return {static_cast<uint32_t>(v), static_cast<std::size_t>(end - begin), *crt_.error()};
  }

  Reading crt_unsigned(const std::u16string& text) const {
    const auto* begin = reinterpret_cast<const wchar_t*>(text.c_str());
    wchar_t* end = nullptr;
    *crt_.error() = 0;
    const unsigned long v = crt_.to_ulong(begin, &end, 0);
    return {static_cast<uint32_t>(v), static_cast<std::size_t>(end - begin), *crt_.error()};
  }

  // Compares both readers with the runtime on one text; returns false (after reporting) on a
  // difference so that randomized runs can stop after a few.
  bool matches(const std::u16string& text) const {
    bool same = true;
    std::size_t consumed = 0;
    const int32_t s = kestrel::read_signed_auto(text.c_str(), text.size(), &consumed);
    const Reading cs = crt_signed(text);
    if (static_cast<uint32_t>(s) != cs.value || consumed != cs.consumed) {
      ADD_FAILURE() << "wcstol " << describe(text) << ": runtime " << static_cast<int32_t>(cs.value) << " end "
                    << cs.consumed << ", ours " << s << " end " << consumed;
      same = false;
    }
    // A 32-bit long: the runtime reports overflow exactly where the value is clamped.
    if (cs.error == ERANGE && cs.value != 0x7FFFFFFFu && cs.value != 0x80000000u) {
      ADD_FAILURE() << "wcstol " << describe(text) << ": ERANGE with value " << static_cast<int32_t>(cs.value);
      same = false;
    }
    const uint32_t u = kestrel::read_unsigned_auto(text.c_str(), text.size(), &consumed);
    const Reading cu = crt_unsigned(text);
    // One deliberate difference: a negated value too large for 32 bits stays 4294967295 where the
    // runtime negates its saturated value to 1.
    const bool negated_overflow = cu.error == ERANGE && cu.value == 1u;
    const uint32_t expected = negated_overflow ? 0xFFFFFFFFu : static_cast<uint32_t>(cu.value);
    if (u != expected || consumed != cu.consumed) {
      ADD_FAILURE() << "wcstoul " << describe(text) << ": runtime " << cu.value << " end " << cu.consumed
                    << ", ours " << u << " end " << consumed;
      same = false;
    }
    if (kestrel::read_coordinate(text.c_str(), text.size()) != static_cast<int32_t>(cu.value)) {
      ADD_FAILURE() << "coordinate " << describe(text);
      same = false;
    }
    return same;
  }

  Crt crt_;
};

TEST_F(CrtCompare, Table) {
  const std::u16string texts[] = {
      u"", u"0", u"42", u"0x2A0", u"0X2a0", u"672", u"012", u"09", u"019", u"0x", u"0X", u"0xg", u"0x 1",
      u"0x+1", u"0x-1", u"-0x", u"-0x10", u"+0x10", u"0xx1", u"00x1", u" 42 ", u"\t\n\v\f\r-7", u"+", u"-",
      u"+-1", u"- 1", u"--1", u"abc", u"x1", u"1x", u"2147483647", u"2147483648", u"-2147483648",
      u"-2147483649", u"4294967295", u"4294967296", u"-4294967295", u"-4294967296", u"-4294967297",
      u"99999999999999999999", u"-99999999999999999999", u"0x7FFFFFFF", u"0x80000000", u"0xFFFFFFFF",
      u"0x100000000", u"-0x80000000", u"-0x80000001", u"037777777777", u"040000000000",
      u"0x0000000000000000001", u"00000000000000000000012", u"9223372036854775807",
      u"9223372036854775808", u"18446744073709551615", u"18446744073709551616", u"-9223372036854775808",
      u"-9223372036854775809", u"\u3000" u"5", u"\u00A0" u"5", u"\u2003" u"5", u"\uFEFF" u"5",
      u"\uFF15", u"\uFF11\uFF12", u"\u0661\u0662", u"0\uFF58" u"1", u"\uFF10x1", u"\uFF10\uFF58\uFF21",
      u"0x\uFF21", u"1\u4E2C" u"2",
  };
  for (const auto& text : texts) matches(text);
}

// The runtime's long is 32 bits: it reports overflow just past the 32-bit limits, where our
// readers clamp.
TEST_F(CrtCompare, OverflowAt32Bits) {
  struct Case {
    std::u16string text;
    bool is_signed;
    int error;
  };
  const Case cases[] = {
      {u"2147483647", true, 0},   {u"2147483648", true, ERANGE},  {u"-2147483648", true, 0},
      {u"-2147483649", true, ERANGE}, {u"4294967295", false, 0}, {u"4294967296", false, ERANGE},
  };
  for (const auto& c : cases) {
    const Reading r = c.is_signed ? crt_signed(c.text) : crt_unsigned(c.text);
    EXPECT_EQ(r.error, c.error) << describe(c.text);
    matches(c.text);
  }
}

// One unit in each place a number's syntax gives meaning to: before the number (blank?), as a
// sign, as a digit, as the prefix letter and as a hexadecimal digit.
TEST_F(CrtCompare, EveryUnitInEveryPlace) {
  int failures = 0;
  for (uint32_t c = 1; c <= 0xFFFF && failures < 20; ++c) {
    const char16_t u = static_cast<char16_t>(c);
    const std::u16string texts[] = {
        std::u16string{u, u'1'},        std::u16string{u, u'0', u'x', u'1'}, std::u16string{u'1', u},
        std::u16string{u'0', u, u'1'},  std::u16string{u'0', u'x', u},       std::u16string{u},
        std::u16string{u'-', u, u'5'},  std::u16string{u'0', u, u'A'},
    };
    for (const auto& text : texts) failures += matches(text) ? 0 : 1;
  }
}

// Randomized texts over the characters that matter, seeded so a failure repeats.
TEST_F(CrtCompare, Randomized) {
  const std::u16string alphabet =
      u"0123456789abcdefABCDEFxXgG+- \t\n\v\f\r\u3000\u00A0\uFF10\uFF11\uFF58\u0660\u0665";
  std::mt19937 rng(20240611);
  std::uniform_int_distribution<std::size_t> pick(0, alphabet.size() - 1);
  std::uniform_int_distribution<int> length(0, 14);
  int failures = 0;
  std::u16string text;
  for (int i = 0; i < 300000 && failures < 20; ++i) {
    text.clear();
    for (int n = length(rng); n > 0; --n) text += alphabet[pick(rng)];
    failures += matches(text) ? 0 : 1;
  }
}

}  // namespace
