#include "connector/messaging/core/field_splitter.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

using Fields = std::vector<std::u16string>;

std::string narrow(const std::u16string& text) {
  std::string out;
  for (char16_t c : text) out += c < 0x80 ? static_cast<char>(c) : '?';
  return out;
}

// Every field until NextField says no more; also checks that the final call empties a field
// that held something and that the splitter stays exhausted.
Fields all_fields(kestrel::FieldSplitter& splitter) {
  Fields fields;
  std::u16string field = u"sentinel";
  while (splitter.NextField(field)) {
    fields.push_back(field);
    field = u"sentinel";
  }
  EXPECT_EQ(field, u"");
  EXPECT_FALSE(splitter.NextField(field));
  return fields;
}

struct SplitCase {
  std::u16string text;
  std::u16string separators;
  Fields fields;
};

TEST(FieldSplitter, YieldsTheNonEmptyFields) {
  const SplitCase cases[] = {
      {u",,a,,b,", u",", {u"a", u"b"}},
      {u"", u",", {}},
      {u",,,", u",", {}},
      {u"HELLO", u",", {u"HELLO"}},
      {u"1,0x2A,name,tip", u",", {u"1", u"0x2A", u"name", u"tip"}},
      {u" a , b ", u",", {u" a ", u" b "}},
      // Whole units compare: U+4E2C shares its low byte with ',' and is no separator.
      {u"\u4E2C,\u4E2Ca\u4E2C", u",", {u"\u4E2C", u"\u4E2Ca\u4E2C"}},
      {u"a;b,c;;", u",;", {u"a", u"b", u"c"}},
      {u"a,b", u"", {u"a,b"}},
  };
  for (const auto& c : cases) {
    kestrel::FieldSplitter splitter(c.text, c.separators);
    EXPECT_EQ(all_fields(splitter), c.fields) << narrow(c.text);
  }
}

TEST(FieldSplitter, KeepsItsOwnCopyOfTheText) {
  std::u16string text = u"a,b";
  kestrel::FieldSplitter splitter(text, u",");
  text.assign(u"x,y,z");
  EXPECT_EQ(all_fields(splitter), (Fields{u"a", u"b"}));
}

// A payload span: the text ends at its NUL or at the span's end, and nothing beyond is read
// (the spans are exact-size heap buffers, so the sanitizer sees any read past them).
TEST(FieldSplitter, BoundedTextEndsAtNulOrAtTheSpanEnd) {
  struct SpanCase {
    std::vector<char16_t> span;
    std::size_t max_length;
    Fields fields;
  };
  const SpanCase cases[] = {
      {{u'a', u',', u'b', 0, u',', u'c'}, 6, {u"a", u"b"}},
      {{u'a', u',', u'b', u',', u'c'}, 5, {u"a", u"b", u"c"}},
      {{u'a', u',', u'b', u',', u'c'}, 3, {u"a", u"b"}},
      {{0, u'a'}, 2, {}},
      {{u'a'}, 0, {}},
  };
  for (const auto& c : cases) {
    std::vector<char16_t> span(c.span);  // exact size, no terminator unless the case has one
    kestrel::FieldSplitter splitter(span.data(), c.max_length, u",");
    EXPECT_EQ(all_fields(splitter), c.fields);
  }
  kestrel::FieldSplitter none(nullptr, 10, u",");
  EXPECT_EQ(all_fields(none), Fields{});
}

}  // namespace
