#include "common/core/auto_number.h"

namespace kestrel {
namespace {

// The runtime's blanks (msvcrt, observed under Wine over every UTF-16 unit). U+0085 is not one
// of them, although ucrtbase counts it.
bool is_blank(char16_t c) {
  if ((c >= 0x09 && c <= 0x0D) || c == 0x20) return true;
  if (c < 0x80) return false;
  return c == 0x00A0 || c == 0x1680 || (c >= 0x2000 && c <= 0x200A) || c == 0x2028 || c == 0x2029 ||
         c == 0x202F || c == 0x205F || c == 0x3000;
}

// Zeros of the scripts whose decimal digits the runtime reads as 0 to 9. Sorted.
constexpr char16_t kScriptZeros[] = {0x0660, 0x06F0, 0x0966, 0x09E6, 0x0A66, 0x0AE6,
                                     0x0B66, 0x0C66, 0x0CE6, 0x0D66, 0x0E50, 0x0ED0,
                                     0x0F20, 0x1040, 0x17E0, 0x1810, 0xFF10};

constexpr int kNotDigit = 99;

int digit_value(char16_t c) {
  if (c >= u'0' && c <= u'9') return c - u'0';
  if (c >= u'a' && c <= u'z') return c - u'a' + 10;
  if (c >= u'A' && c <= u'Z') return c - u'A' + 10;
  for (char16_t zero : kScriptZeros) {
    if (c < zero) break;
    if (c <= zero + 9) return c - zero;
  }
  return kNotDigit;
}

struct Scan {
  bool negative = false;
  bool overflow = false;  // the magnitude does not fit 32 bits
  uint32_t magnitude = 0;
  std::size_t end = 0;    // 0 when no digit was read
};

Scan scan(const char16_t* text, std::size_t length) {
  Scan s;
  length = bounded_length(text, length);
  std::size_t i = 0;
  while (i < length && is_blank(text[i])) ++i;
  if (i < length && (text[i] == u'+' || text[i] == u'-')) {
    s.negative = text[i] == u'-';
    ++i;
  }
  int base = 10;
  if (i < length && digit_value(text[i]) == 0) {
    // Any zero before x/X is a prefix, whatever follows it: "0xg" reads no digit at all.
    if (i + 1 < length && (text[i + 1] == u'x' || text[i + 1] == u'X')) {
      base = 16;
      i += 2;
    } else {
      base = 8;
    }
  }
  bool any_digit = false;
  for (; i < length; ++i) {
    const int d = digit_value(text[i]);
    if (d >= base) break;
    any_digit = true;
    if (s.overflow) continue;
    const uint64_t next = uint64_t{s.magnitude} * static_cast<uint64_t>(base) + static_cast<uint64_t>(d);
    s.overflow = next > UINT32_MAX;
    s.magnitude = static_cast<uint32_t>(next);
  }
  s.end = any_digit ? i : 0;
  return s;
}

}  // namespace

std::size_t bounded_length(const char16_t* text, std::size_t max_length) {
  std::size_t n = 0;
  if (!text) return 0;
  while (n < max_length && text[n] != u'\0') ++n;
  return n;
}

int32_t read_signed_auto(const char16_t* text, std::size_t length, std::size_t* consumed) {
  const Scan s = scan(text, length);
  if (consumed) *consumed = s.end;
  if (s.negative) {
    if (s.overflow || s.magnitude > uint32_t{0x80000000}) return INT32_MIN;
    return static_cast<int32_t>(-static_cast<int64_t>(s.magnitude));
  }
  if (s.overflow || s.magnitude > uint32_t{INT32_MAX}) return INT32_MAX;
  return static_cast<int32_t>(s.magnitude);
}

uint32_t read_unsigned_auto(const char16_t* text, std::size_t length, std::size_t* consumed) {
  const Scan s = scan(text, length);
  if (consumed) *consumed = s.end;
  // Too large for 32 bits is 4294967295 whatever the sign: an id out of range stays the one
  // value no real id has.
  if (s.overflow) return UINT32_MAX;
  return s.negative ? 0u - s.magnitude : s.magnitude;
}

int32_t read_coordinate(const char16_t* text, std::size_t length) {
  const Scan s = scan(text, length);
  // Exactly the runtime's wcstoul: it saturates first and then negates, so a negated value too
  // large for 32 bits reads as 1.
  const uint32_t v = s.overflow ? UINT32_MAX : s.magnitude;
  return static_cast<int32_t>(s.negative ? 0u - v : v);
}

}  // namespace kestrel
