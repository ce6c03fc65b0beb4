#include "connector/messaging/core/field_splitter.h"

#include "common/core/auto_number.h"

namespace kestrel {

FieldSplitter::FieldSplitter(std::u16string_view text, std::u16string_view separators)
    : text_(text), separators_(separators) {}

FieldSplitter::FieldSplitter(const char16_t* text, std::size_t max_length, std::u16string_view separators)
    : FieldSplitter(std::u16string_view(text ? text : u"", bounded_length(text, max_length)), separators) {}

bool FieldSplitter::IsSeparator(char16_t c) const {
  return separators_.find(c) != std::u16string::npos;
}

bool FieldSplitter::NextField(std::u16string& field) {
  field.clear();
  while (position_ < text_.size() && IsSeparator(text_[position_])) ++position_;
  if (position_ >= text_.size()) return false;
  const std::size_t start = position_;
  while (position_ < text_.size() && !IsSeparator(text_[position_])) ++position_;
  field.assign(text_, start, position_ - start);
  return true;
}

}  // namespace kestrel
