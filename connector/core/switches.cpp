#include "connector/core/switches.h"

#include <cstddef>

namespace kestrel {
namespace {

char16_t fold(char16_t c) { return (c >= u'A' && c <= u'Z') ? char16_t(c - u'A' + u'a') : c; }

bool same_name(std::u16string_view name, std::u16string_view lower) {
  if (name.size() != lower.size()) return false;
  for (std::size_t i = 0; i < name.size(); ++i) {
    if (fold(name[i]) != lower[i]) return false;
  }
  return true;
}

bool any_of(std::u16string_view name, std::initializer_list<std::u16string_view> names) {
  for (auto n : names) {
    if (same_name(name, n)) return true;
  }
  return false;
}

}  // namespace

StartupAction decide_startup(const std::vector<std::u16string_view>& args) {
  bool embedded = false;
  StartupAction shell = StartupAction::RunSession;
  for (auto arg : args) {
    if (arg.empty() || (arg[0] != u'/' && arg[0] != u'-')) continue;
    auto name = arg.substr(1);
    if (any_of(name, {u"regserver", u"register", u"regserverperuser", u"registerperuser"})) {
      shell = StartupAction::Register;
    } else if (any_of(name, {u"unregserver", u"unregister", u"unregserverperuser", u"unregisterperuser"})) {
      shell = StartupAction::Unregister;
    } else if (any_of(name, {u"embedding", u"automation"})) {
      embedded = true;
    }
  }
  return embedded ? StartupAction::Embedding : shell;
}

}  // namespace kestrel
