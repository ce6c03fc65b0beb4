// The bracketed parent handle on arbitrary UTF-16 command lines in an exact-size buffer.
#include "connector/core/parent_handle.h"

#include "common/core/auto_number.h"

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string_view>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::vector<char16_t> units(size / 2);
  if (!units.empty()) std::memcpy(units.data(), data, units.size() * 2);
  const std::u16string_view line(units.data(), units.size());

  const auto handle = kestrel::parse_bracketed_handle(line);
  const std::size_t open = line.find(u'[');
  const std::size_t close = open == std::u16string_view::npos ? open : line.find(u']', open);
  const bool usable = open != std::u16string_view::npos && open > 0 && close != std::u16string_view::npos &&
                      close - open - 1 <= kestrel::kMaxBracketedText;
  if (handle.has_value() != usable) std::abort();
  if (!handle) return 0;

  // Nothing after the first pair matters, nor anything before its '[' but that something is there.
  if (kestrel::parse_bracketed_handle(line.substr(0, close + 1)) != handle) std::abort();
  if (kestrel::parse_bracketed_handle(line.substr(open - 1)) != handle) std::abort();
  // The value is what the number reader makes of the text between the brackets, and never more
  // than that text supplies.
  std::size_t consumed = 0;
  const std::u16string_view inner = line.substr(open + 1, close - open - 1);
  if (kestrel::read_signed_auto(inner.data(), inner.size(), &consumed) != *handle) std::abort();
  if (consumed > inner.size()) std::abort();
  return 0;
}
