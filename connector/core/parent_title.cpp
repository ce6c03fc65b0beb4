#include "connector/core/parent_title.h"

namespace kestrel {
namespace {
char16_t fold(char16_t c) { return (c >= u'a' && c <= u'z') ? char16_t(c - u'a' + u'A') : c; }
}  // namespace

bool parent_title_accepted(std::u16string_view title) {
  if (title.empty()) return true;
  if (title.size() < kParentTitle.size()) return false;
  for (std::size_t i = 0; i < kParentTitle.size(); ++i) {
    if (fold(title[i]) != fold(kParentTitle[i])) return false;
  }
  return true;
}

}  // namespace kestrel
