// The parent window's handle as the parent writes it on the connector's command line.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string_view>

namespace kestrel {

// The most text taken between the brackets; anything longer is refused rather than cut, so a
// long text never turns into some other window's handle.
constexpr std::size_t kMaxBracketedText = 35;

// Finds the first '[' of the whole command line (program path included) and the first ']' after
// it, and reads the text between as a signed number with automatic base, as wcstol(.., 0) does:
// "[0x2A0]" and "[672]" give 672, "[012]" 10, "[ 42 ]" 42, "[]" and "[abc]" 0.
// nullopt when there is no '[', when the first '[' is the line's very first character, when no
// ']' follows it, or when more than kMaxBracketedText units stand between them.
std::optional<int32_t> parse_bracketed_handle(std::u16string_view command_line);

}  // namespace kestrel
