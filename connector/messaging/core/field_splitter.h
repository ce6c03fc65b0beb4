// Cuts a command text into its non-empty fields.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace kestrel {

// Holds its own copy of the text, so the caller's buffer (a message payload) may go away.
// Separators at the start, at the end and in runs yield no field: ",,a,,b," gives "a", "b".
// Separators compare as whole UTF-16 units: U+4E2C does not split at ",".
class FieldSplitter {
 public:
  FieldSplitter(std::u16string_view text, std::u16string_view separators);
  // A text that ends at its first NUL or after max_length units, whichever comes first, as
  // texts in message payloads do; nothing past that is read. A null text has no fields.
  FieldSplitter(const char16_t* text, std::size_t max_length, std::u16string_view separators);

  // Puts the next field into field and returns true; once the fields are used up, leaves field
  // empty and returns false.
  bool NextField(std::u16string& field);

 private:
  bool IsSeparator(char16_t c) const;

  std::u16string text_;
  std::u16string separators_;
  std::size_t position_ = 0;
};

}  // namespace kestrel
