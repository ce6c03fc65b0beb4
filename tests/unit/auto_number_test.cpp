#include "common/core/auto_number.h"

#include <gtest/gtest.h>

#include <string>

namespace {

struct SignedCase {
  std::u16string text;
  int32_t value;
  std::size_t consumed;
};

TEST(ReadSignedAuto, FollowsTheCRuntimeBaseZeroRules) {
  const SignedCase cases[] = {
      {u"42", 42, 2},           {u"0x2A0", 0x2A0, 5},     {u"0X2a0", 0x2A0, 5},
      {u"672", 672, 3},         {u"012", 10, 3},          {u" 42 ", 42, 3},
      {u"\t\n-7", -7, 4},       {u"+9", 9, 2},            {u"", 0, 0},
      {u"abc", 0, 0},           {u"0x", 0, 0},            {u"0xg", 0, 0},
      {u"-0x 5", 0, 0},         {u"0xx1", 0, 0},          {u"00x1", 0, 2},
      {u"09", 0, 1},            {u"-", 0, 0},             {u"2147483647", INT32_MAX, 10},
      {u"2147483648", INT32_MAX, 10},                     {u"-2147483648", INT32_MIN, 11},
      {u"-2147483649", INT32_MIN, 11},                    {u"99999999999999999999", INT32_MAX, 20},
      // The runtime's blanks and digits go beyond ASCII.
      {u"\u3000\u00A0\u2003" u"5", 5, 4},                  {u"\u0085" u"5", 0, 0},
      {u"\uFEFF" u"5", 0, 0},                              {u"\uFF11\uFF12", 12, 2},
      {u"\u0661\u0968" u"3", 123, 3},                      {u"\uFF10x1F", 0x1F, 4},
      {u"\uFF10\uFF58" u"1", 0, 1},                        {u"0\uFF17", 7, 2},
      {u"\uFF21", 0, 0},                                   {u"1\u4E2C" u"2", 1, 1},
  };
  for (const auto& c : cases) {
    std::size_t consumed = 99;
    EXPECT_EQ(kestrel::read_signed_auto(c.text.c_str(), c.text.size(), &consumed), c.value)
        << std::string(c.text.begin(), c.text.end());
    EXPECT_EQ(consumed, c.consumed) << std::string(c.text.begin(), c.text.end());
  }
}

TEST(ReadUnsignedAuto, NegatesModuloAndSaturates) {
  EXPECT_EQ(kestrel::read_unsigned_auto(u"0x10", 4), 16u);
  EXPECT_EQ(kestrel::read_unsigned_auto(u"-1", 2), 4294967295u);
  EXPECT_EQ(kestrel::read_unsigned_auto(u"-20", 3), 4294967276u);
  EXPECT_EQ(kestrel::read_unsigned_auto(u"4294967295", 10), 4294967295u);
  EXPECT_EQ(kestrel::read_unsigned_auto(u"4294967296", 10), 4294967295u);
  EXPECT_EQ(kestrel::read_unsigned_auto(u"-4294967295", 11), 1u);
  // Too large stays 4294967295 with a minus sign too; the coordinate reader keeps the runtime's
  // saturate-then-negate, which gives 1.
  EXPECT_EQ(kestrel::read_unsigned_auto(u"-4294967296", 11), 4294967295u);
  EXPECT_EQ(kestrel::read_unsigned_auto(u"-99999999999999999999", 21), 4294967295u);
  EXPECT_EQ(kestrel::read_coordinate(u"-4294967296", 11), 1);
  EXPECT_EQ(kestrel::read_coordinate(u"4294967296", 10), -1);
  EXPECT_EQ(kestrel::read_unsigned_auto(u"0x1000000000000000F", 19), 4294967295u);
  EXPECT_EQ(kestrel::read_unsigned_auto(u"name", 4), 0u);
}

TEST(ReadCoordinate, MinusGivesNegative) {
  EXPECT_EQ(kestrel::read_coordinate(u"-20", 3), -20);
  EXPECT_EQ(kestrel::read_coordinate(u"0x1E", 4), 30);
}

TEST(ReadAuto, StopsAtTheGivenEndAndAtNul) {
  const char16_t text[] = {u'1', u'2', u'3', u'4'};  // no terminator: the length bounds the read
  EXPECT_EQ(kestrel::read_signed_auto(text, 2), 12);
  EXPECT_EQ(kestrel::read_unsigned_auto(u"12\0" u"34", 5), 12u);
  EXPECT_EQ(kestrel::read_signed_auto(nullptr, 5), 0);
}

}  // namespace
