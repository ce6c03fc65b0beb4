// The field splitter on arbitrary UTF-16 text. The first unit chooses how many of the following
// units (0 to 3) form the separator set; the rest is the text, in an exact-size buffer.
#include "connector/messaging/core/field_splitter.h"

#include "common/core/auto_number.h"

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

namespace {

// Splits to the end, checking each field; returns the fields joined.
std::u16string split_all(kestrel::FieldSplitter& splitter, std::u16string_view separators, std::size_t text_size) {
  std::u16string joined;
  std::u16string field;
  std::size_t count = 0;
  while (splitter.NextField(field)) {
    if (field.empty()) std::abort();
    if (field.find_first_of(separators) != std::u16string::npos) std::abort();
    joined += field;
    // Each field takes at least one unit and a separator lies between fields.
    if (++count > text_size / 2 + 1) std::abort();
  }
  if (!field.empty()) std::abort();
  if (splitter.NextField(field) || !field.empty()) std::abort();
  return joined;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::vector<char16_t> units(size / 2);
  if (!units.empty()) std::memcpy(units.data(), data, units.size() * 2);
  std::size_t separator_count = units.empty() ? 0 : units[0] % 4;
  std::size_t at = units.empty() ? 0 : 1;
  if (separator_count > units.size() - at) separator_count = units.size() - at;
  const std::u16string separators(units.begin() + static_cast<std::ptrdiff_t>(at),
                                  units.begin() + static_cast<std::ptrdiff_t>(at + separator_count));
  at += separator_count;
  std::vector<char16_t> span(units.begin() + static_cast<std::ptrdiff_t>(at), units.end());

  // The joined fields are the text without its separators.
  const std::u16string_view text(span.data(), span.size());
  std::u16string expected;
  for (char16_t c : text) {
    if (separators.find(c) == std::u16string::npos) expected += c;
  }
  kestrel::FieldSplitter whole(text, separators);
  if (split_all(whole, separators, text.size()) != expected) std::abort();

  // As a payload span the text ends at its first NUL; the fields are those of that prefix.
  const std::size_t bounded = kestrel::bounded_length(span.data(), span.size());
  kestrel::FieldSplitter from_span(span.data(), span.size(), separators);
  kestrel::FieldSplitter from_prefix(text.substr(0, bounded), separators);
  std::u16string a;
  std::u16string b;
  bool more_a = true;
  bool more_b = true;
  while (more_a || more_b) {
    more_a = from_span.NextField(a);
    more_b = from_prefix.NextField(b);
    if (more_a != more_b || a != b) std::abort();
  }
  return 0;
}
