// The automatic-base readers on arbitrary UTF-16 text (the input's bytes taken in pairs), held in
// an exact-size buffer without terminator so that any read past the end is caught.
#include "common/core/auto_number.h"

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::vector<char16_t> text(size / 2);
  if (!text.empty()) std::memcpy(text.data(), data, text.size() * 2);
  const std::size_t length = text.size();

  std::size_t signed_end = 0;
  std::size_t unsigned_end = 0;
  const int32_t s = kestrel::read_signed_auto(text.data(), length, &signed_end);
  const uint32_t u = kestrel::read_unsigned_auto(text.data(), length, &unsigned_end);

  // Both read the same units, never past the first NUL or the end.
  if (signed_end != unsigned_end) std::abort();
  if (signed_end > kestrel::bounded_length(text.data(), length)) std::abort();
  // Without digits there is no value.
  if (signed_end == 0 && (s != 0 || u != 0)) std::abort();
  // The two agree modulo 2^32 unless the signed one had to clamp.
  if (static_cast<uint32_t>(s) != u && s != INT32_MIN && s != INT32_MAX) std::abort();
  // The coordinate is the same reading, except that a negated overflow gives 1 there.
  const int32_t c = kestrel::read_coordinate(text.data(), length);
  if (c != static_cast<int32_t>(u) && !(u == UINT32_MAX && c == 1 && s == INT32_MIN)) std::abort();

  // What follows the number does not change it: the consumed prefix alone reads the same.
  if (signed_end > 0) {
    std::vector<char16_t> prefix(text.begin(), text.begin() + static_cast<std::ptrdiff_t>(signed_end));
    std::size_t prefix_end = 0;
    if (kestrel::read_signed_auto(prefix.data(), prefix.size(), &prefix_end) != s) std::abort();
    if (prefix_end != signed_end) std::abort();
    if (kestrel::read_unsigned_auto(prefix.data(), prefix.size()) != u) std::abort();
  }
  return 0;
}
