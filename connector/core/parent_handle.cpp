#include "connector/core/parent_handle.h"

#include "common/core/auto_number.h"

namespace kestrel {

std::optional<int32_t> parse_bracketed_handle(std::u16string_view command_line) {
  const std::size_t open = command_line.find(u'[');
  // Only the first '[' is considered; at the very start of the line it disqualifies the line.
  if (open == std::u16string_view::npos || open == 0) return std::nullopt;
  const std::size_t close = command_line.find(u']', open + 1);
  if (close == std::u16string_view::npos) return std::nullopt;
  const std::u16string_view inner = command_line.substr(open + 1, close - open - 1);
  if (inner.size() > kMaxBracketedText) return std::nullopt;
  return read_signed_auto(inner.data(), inner.size());
}

}  // namespace kestrel
