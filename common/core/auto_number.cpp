#include "common/core/auto_number.h"

namespace kestrel {
namespace {

bool is_blank(char16_t c) {
  return c == u' ' || (c >= u'\t' && c <= u'\r');
}

int digit_value(char16_t c) {
  if (c >= u'0' && c <= u'9') return c - u'0';
  if (c >= u'a' && c <= u'z') return c - u'a' + 10;
  if (c >= u'A' && c <= u'Z') return c - u'A' + 10;
  return 99;
}

struct Scan {
  bool negative = false;
  bool overflow = false;
  bool any_digit = false;
  uint64_t magnitude = 0;  // saturates just above 2^32, enough to tell every overflow
  std::size_t end = 0;
};

Scan scan(const char16_t* text, std::size_t length) {
  Scan s;
  if (!text) return s;
  length = bounded_length(text, length);
  std::size_t i = 0;
  while (i < length && is_blank(text[i])) ++i;
  if (i < length && (text[i] == u'+' || text[i] == u'-')) {
    s.negative = text[i] == u'-';
    ++i;
  }
  int base = 10;
  if (i < length && text[i] == u'0') {
    if (i + 1 < length && (text[i + 1] == u'x' || text[i + 1] == u'X')) {
      // "0x" without a hex digit after it reads as the single digit 0.
      if (i + 2 < length && digit_value(text[i + 2]) < 16) {
        base = 16;
        i += 2;
      } else {
        base = 8;
      }
    } else {
      base = 8;
    }
  }
  const uint64_t limit = uint64_t{1} << 33;
  while (i < length) {
    const int d = digit_value(text[i]);
    if (d >= base) break;
    s.any_digit = true;
    s.magnitude = s.magnitude * static_cast<uint64_t>(base) + static_cast<uint64_t>(d);
    if (s.magnitude > limit) {
      s.magnitude = limit;
      s.overflow = true;
    }
    ++i;
  }
  s.end = s.any_digit ? i : 0;
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
  if (!s.any_digit) return 0;
  if (s.negative) {
    if (s.overflow || s.magnitude > uint64_t{0x80000000}) return INT32_MIN;
    return static_cast<int32_t>(-static_cast<int64_t>(s.magnitude));
  }
  if (s.overflow || s.magnitude > uint64_t{0x7FFFFFFF}) return INT32_MAX;
  return static_cast<int32_t>(s.magnitude);
}

uint32_t read_unsigned_auto(const char16_t* text, std::size_t length, std::size_t* consumed) {
  const Scan s = scan(text, length);
  if (consumed) *consumed = s.end;
  if (!s.any_digit) return 0;
  if (s.overflow || s.magnitude > uint64_t{0xFFFFFFFF}) return UINT32_MAX;
  const uint32_t v = static_cast<uint32_t>(s.magnitude);
  return s.negative ? static_cast<uint32_t>(0u - v) : v;
}

int32_t read_coordinate(const char16_t* text, std::size_t length) {
  return static_cast<int32_t>(read_unsigned_auto(text, length));
}

}  // namespace kestrel
