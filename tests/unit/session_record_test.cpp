#include "outside/sessiondata/core/session_record.h"

#include <gtest/gtest.h>

#include <cstring>
#include <memory>

namespace sr = session_record;

namespace {

sr::Record Filled() {
  sr::Record r;
  r.SessionMode = 3;
  r.ImeEnabled = 1;
  r.ColorDepth = 24;
  r.SessionWindowHandle = 0x80010203u;
  r.RedirectPorts = -1;
  r.RedirectPrinters = 0;
  r.RdpPort = 33891;
  for (int i = 0; i < 16; ++i) r.SessionIdentity[i] = static_cast<unsigned char>(0xF0 + i);
  r.AppCommandLine = u"\"C:\\Program Files\\App\\app.exe\" /x";
  r.Password = u"p\u00e4ss \U0001F511";
  r.UserName = u"\u7528\u6237";
  r.Server = u"10.0.0.7";
  r.DesktopHeight = -1;
  r.DesktopWidth = 1920;
  r.FontSmoothing = INT32_MIN;
  return r;
}

std::vector<unsigned char> Bytes(const sr::Record& r) {
  std::optional<std::vector<unsigned char>> b = sr::Encode(r);
  EXPECT_TRUE(b.has_value());
  return b.value_or(std::vector<unsigned char>{});
}

// Decodes from a heap block of exactly `size` bytes, so that a read past it trips the sanitizer.
std::optional<sr::Record> DecodeExact(const std::vector<unsigned char>& bytes, size_t size) {
  std::unique_ptr<unsigned char[]> block(new unsigned char[size ? size : 1]);
  if (size) std::memcpy(block.get(), bytes.data(), size);
  return sr::Decode(block.get(), size);
}

uint32_t Get32(const std::vector<unsigned char>& b, size_t at) {
  return b[at] | (b[at + 1] << 8) | (b[at + 2] << 16) | (static_cast<uint32_t>(b[at + 3]) << 24);
}

void Put32(std::vector<unsigned char>& b, size_t at, uint32_t v) {
  for (int i = 0; i < 4; ++i) b[at + i] = static_cast<unsigned char>(v >> (8 * i));
}

constexpr size_t kTotalAt = 8;
constexpr size_t kFirstTextAt = sr::kHeaderSize + sr::kFixedSize;

}  // namespace

TEST(SessionRecord, RoundTripsEveryMemberIncludingNullEmptyAndMaximalTexts) {
  sr::Record defaults;
  sr::Record empties = Filled();
  empties.AppCommandLine = u"";
  empties.Password = u"";
  empties.UserName = std::nullopt;
  empties.Server = u"";
  sr::Record maximal = Filled();
  std::u16string longest(sr::kMaxTextUnits, u'\u4e2d');
  longest[0] = 0xD83D;  // surrogates and all are carried as plain code units
  longest[1] = 0xDE00;
  longest.back() = 0xDC00;
  maximal.AppCommandLine = maximal.Password = maximal.UserName = maximal.Server = longest;

  for (const sr::Record& r : {defaults, Filled(), empties, maximal}) {
    std::vector<unsigned char> b = Bytes(r);
    EXPECT_EQ(sr::EncodedSize(r), b.size());
    EXPECT_EQ(sr::DeclaredSize(b.data(), b.size()), b.size());
    std::optional<sr::Record> back = DecodeExact(b, b.size());
    ASSERT_TRUE(back.has_value());
    EXPECT_TRUE(*back == r);
  }
  EXPECT_EQ(Bytes(defaults).size(), sr::kMinSize);
  EXPECT_EQ(Bytes(maximal).size(), sr::kMaxSize);
}

TEST(SessionRecord, NullAndEmptyTextsAreToldApart) {
  sr::Record a = Filled();
  sr::Record b = Filled();
  a.UserName = std::nullopt;
  b.UserName = u"";
  const std::vector<unsigned char> ba = Bytes(a);
  const std::vector<unsigned char> bb = Bytes(b);
  EXPECT_EQ(ba.size(), bb.size());  // only the length prefix differs
  EXPECT_NE(ba, bb);
  std::optional<sr::Record> da = DecodeExact(ba, ba.size());
  std::optional<sr::Record> db = DecodeExact(bb, bb.size());
  ASSERT_TRUE(da && db);
  EXPECT_FALSE(da->UserName.has_value());
  ASSERT_TRUE(db->UserName.has_value());
  EXPECT_TRUE(db->UserName->empty());
}

TEST(SessionRecord, FieldsAreLittleEndianAtTheDocumentedOffsets) {
  sr::Record r = Filled();
  r.AppCommandLine = u"A\u0102";
  std::vector<unsigned char> b = Bytes(r);
  EXPECT_EQ(0, std::memcmp(b.data(), "KSLD\x01\x00\x10\x00", 8));
  EXPECT_EQ(Get32(b, kTotalAt), b.size());
  EXPECT_EQ(Get32(b, 12), 0u);
  EXPECT_EQ(Get32(b, 16), 3u);            // SessionMode
  EXPECT_EQ(Get32(b, 28), 0x80010203u);   // SessionWindowHandle
  EXPECT_EQ(b[32], 0xFF);                  // RedirectPorts -1
  EXPECT_EQ(b[33], 0xFF);
  EXPECT_EQ(Get32(b, 36), 33891u);        // RdpPort
  EXPECT_EQ(b[40], 0xF0);                  // SessionIdentity
  EXPECT_EQ(b[55], 0xFF);
  EXPECT_EQ(Get32(b, 60), 1920u);         // DesktopWidth
  EXPECT_EQ(Get32(b, kFirstTextAt), 2u);  // AppCommandLine: two code units
  const unsigned char text[] = {'A', 0, 0x02, 0x01};
  EXPECT_EQ(0, std::memcmp(&b[kFirstTextAt + 4], text, 4));
}

TEST(SessionRecord, EveryTruncationFails) {
  std::vector<unsigned char> b = Bytes(Filled());
  for (size_t n = 0; n < b.size(); ++n) {
    EXPECT_FALSE(DecodeExact(b, n)) << "cut to " << n;
    // Also with the header claiming the cut length, so the texts run past the record's end.
    if (n >= sr::kHeaderSize) {
      std::vector<unsigned char> cut(b.begin(), b.begin() + n);
      Put32(cut, kTotalAt, static_cast<uint32_t>(n));
      EXPECT_FALSE(DecodeExact(cut, n)) << "cut and relabelled to " << n;
    }
  }
}

TEST(SessionRecord, ForeignAndInconsistentRecordsFail) {
  const std::vector<unsigned char> good = Bytes(Filled());
  const size_t size = good.size();
  const uint32_t app_units = Get32(good, kFirstTextAt);
  struct Case {
    const char* name;
    void (*spoil)(std::vector<unsigned char>&, uint32_t app_units);
  };
  const Case cases[] = {
      {"magic", [](std::vector<unsigned char>& b, uint32_t) { b[0] = 'X'; }},
      {"version 2", [](std::vector<unsigned char>& b, uint32_t) { b[4] = 2; }},
      {"header size", [](std::vector<unsigned char>& b, uint32_t) { b[6] = 20; }},
      {"reserved word", [](std::vector<unsigned char>& b, uint32_t) { b[12] = 1; }},
      {"total one more", [](std::vector<unsigned char>& b, uint32_t) { Put32(b, kTotalAt, Get32(b, kTotalAt) + 1); }},
      {"total one less", [](std::vector<unsigned char>& b, uint32_t) { Put32(b, kTotalAt, Get32(b, kTotalAt) - 1); }},
      {"total zero", [](std::vector<unsigned char>& b, uint32_t) { Put32(b, kTotalAt, 0); }},
      {"total huge", [](std::vector<unsigned char>& b, uint32_t) { Put32(b, kTotalAt, 0xFFFFFFF0u); }},
      {"text longer than the record",
       [](std::vector<unsigned char>& b, uint32_t n) { Put32(b, kFirstTextAt, n + 1); }},
      {"text shorter, bytes left over",
       [](std::vector<unsigned char>& b, uint32_t n) { Put32(b, kFirstTextAt, n - 1); }},
      {"text over the maximum",
       [](std::vector<unsigned char>& b, uint32_t) { Put32(b, kFirstTextAt, sr::kMaxTextUnits + 1); }},
      {"null marker with text after it",
       [](std::vector<unsigned char>& b, uint32_t) { Put32(b, kFirstTextAt, sr::kNullText); }},
      {"NUL inside a text",
       [](std::vector<unsigned char>& b, uint32_t) { b[kFirstTextAt + 4] = 0, b[kFirstTextAt + 5] = 0; }},
      {"trailing byte counted in total",
       [](std::vector<unsigned char>& b, uint32_t) {
         b.push_back(0);
         Put32(b, kTotalAt, static_cast<uint32_t>(b.size()));
       }},
  };
  for (const Case& c : cases) {
    std::vector<unsigned char> b = good;
    c.spoil(b, app_units);
    EXPECT_FALSE(DecodeExact(b, b.size())) << c.name;
  }
  // A record followed by more bytes than it declares is not one whole record either.
  std::vector<unsigned char> longer = good;
  longer.push_back(0);
  EXPECT_FALSE(DecodeExact(longer, longer.size()));
  EXPECT_TRUE(DecodeExact(longer, size));
  EXPECT_FALSE(sr::Decode(nullptr, 0));
}

TEST(SessionRecord, DeclaredSizeReadsOnlyAWholeHeader) {
  std::vector<unsigned char> b = Bytes(Filled());
  for (size_t n = 0; n < sr::kHeaderSize; ++n) {
    std::unique_ptr<unsigned char[]> block(new unsigned char[n ? n : 1]);
    std::memcpy(block.get(), b.data(), n);
    EXPECT_FALSE(sr::DeclaredSize(block.get(), n)) << n;
  }
  std::unique_ptr<unsigned char[]> header(new unsigned char[sr::kHeaderSize]);
  std::memcpy(header.get(), b.data(), sr::kHeaderSize);
  EXPECT_EQ(sr::DeclaredSize(header.get(), sr::kHeaderSize), b.size());
  b[0] = 'k';
  EXPECT_FALSE(sr::DeclaredSize(b.data(), b.size()));
}

TEST(SessionRecord, TextsThatDoNotFitAreRefused) {
  sr::Record too_long = Filled();
  too_long.Server = std::u16string(sr::kMaxTextUnits + 1, u'x');
  sr::Record with_nul = Filled();
  with_nul.Password = std::u16string(u"ab\0cd", 5);
  for (const sr::Record& r : {too_long, with_nul}) {
    EXPECT_FALSE(sr::EncodedSize(r));
    EXPECT_FALSE(sr::Encode(r));
  }
}

TEST(SessionRecord, WipeClearsSecretText) {
  std::u16string secret = u"a rather long secret that lives on the heap";
  sr::Wipe(secret);
  EXPECT_EQ(secret, std::u16string(secret.size(), u'\0'));
}
