#include "connector/core/registry_script.h"

#include "common/core/auto_number.h"

namespace kestrel {
namespace {

bool fold_equal(std::u16string_view a, std::u16string_view b) {
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i) {
    char16_t x = a[i], y = b[i];
    if (x >= u'A' && x <= u'Z') x = char16_t(x + 32);
    if (y >= u'A' && y <= u'Z') y = char16_t(y + 32);
    if (x != y) return false;
  }
  return true;
}

class Parser {
 public:
  Parser(std::u16string_view text, const std::map<std::u16string, std::u16string>& replacements)
      : text_(text), replacements_(replacements) {}

  std::optional<std::vector<RegistryKey>> script() {
    std::vector<RegistryKey> roots;
    while (ok_) {
      std::u16string word;
      if (!token(word)) break;  // end of text
      RegistryKey root;
      root.name = word;
      if (!body(root)) return std::nullopt;
      roots.push_back(std::move(root));
    }
    if (!ok_) return std::nullopt;
    return roots;
  }

 private:
  // Next token into out: a quoted text (replacements applied), a brace or '=', or a bare word.
  // false at the end of the text; ok_ turns false on a malformed token.
  bool token(std::u16string& out, bool* quoted = nullptr) {
    out.clear();
    if (quoted) *quoted = false;
    while (pos_ < text_.size() && (text_[pos_] == u' ' || text_[pos_] == u'\t' || text_[pos_] == u'\r' ||
                                   text_[pos_] == u'\n' || text_[pos_] == 0xFEFF)) {
      ++pos_;
    }
    if (pos_ >= text_.size()) return false;
    char16_t c = text_[pos_];
    if (c == u'{' || c == u'}' || c == u'=') {
      out.push_back(c);
      ++pos_;
      return true;
    }
    if (c == u'\'') {
      if (quoted) *quoted = true;
      ++pos_;
      for (;;) {
        if (pos_ >= text_.size()) return fail();
        char16_t q = text_[pos_++];
        if (q == u'\'') {
          if (pos_ < text_.size() && text_[pos_] == u'\'') {  // '' is a quote inside a text
            out.push_back(u'\'');
            ++pos_;
            continue;
          }
          break;
        }
        out.push_back(q);
      }
      return replace(out);
    }
    while (pos_ < text_.size()) {
      c = text_[pos_];
      if (c == u' ' || c == u'\t' || c == u'\r' || c == u'\n' || c == u'{' || c == u'}' || c == u'=' ||
          c == u'\'') {
        break;
      }
      out.push_back(c);
      ++pos_;
    }
    return replace(out);
  }

  bool replace(std::u16string& text) {
    std::u16string result;
    for (std::size_t i = 0; i < text.size(); ++i) {
      if (text[i] != u'%') {
        result.push_back(text[i]);
        continue;
      }
      std::size_t end = text.find(u'%', i + 1);
      if (end == std::u16string::npos) return fail();
      if (end == i + 1) {  // %% stands for one %
        result.push_back(u'%');
      } else {
        auto found = replacements_.find(text.substr(i + 1, end - i - 1));
        if (found == replacements_.end()) return fail();
        result += found->second;
      }
      i = end;
    }
    text = std::move(result);
    return true;
  }

  bool fail() {
    ok_ = false;
    return false;
  }

  bool expect(char16_t c) {
    std::u16string t;
    bool quoted = false;
    if (!token(t, &quoted) || quoted || t.size() != 1 || t[0] != c) return fail();
    return true;
  }

  // After '=': 's' text or 'd' number.
  bool value(RegistryValue& v) {
    std::u16string type, data;
    bool quoted = false;
    if (!token(type) || !token(data, &quoted) || !quoted) return fail();
    if (fold_equal(type, u"s")) {
      v.text = data;
      return true;
    }
    if (fold_equal(type, u"d")) {
      std::size_t used = 0;
      v.is_dword = true;
      v.number = read_unsigned_auto(data.c_str(), data.size(), &used);
      return used == data.size() && used > 0 ? true : fail();
    }
    return fail();
  }

  // '{' entries '}' after a key name.
  bool body(RegistryKey& key) {
    if (!expect(u'{')) return false;
    for (;;) {
      std::u16string word;
      bool quoted = false;
      if (!token(word, &quoted)) return fail();
      if (!quoted && word == u"}") return true;
      if (!quoted && fold_equal(word, u"val")) {
        RegistryValue v;
        if (!token(v.name) || !expect(u'=') || !value(v)) return fail();
        key.values.push_back(std::move(v));
        continue;
      }
      RegistryKey child;
      if (!quoted && fold_equal(word, u"NoRemove")) {
        child.no_remove = true;
        if (!token(word)) return fail();
      } else if (!quoted && fold_equal(word, u"ForceRemove")) {
        child.force_remove = true;
        if (!token(word)) return fail();
      }
      child.name = word;
      if (!subkey_tail(child)) return false;
      key.children.push_back(std::move(child));
    }
  }

  // Optional '= s default' and optional body after a nested key's name.
  bool subkey_tail(RegistryKey& key) {
    std::size_t mark = pos_;
    std::u16string t;
    bool quoted = false;
    if (!token(t, &quoted)) return fail();
    if (!quoted && t == u"=") {
      RegistryValue v;
      if (!value(v)) return false;
      key.values.push_back(std::move(v));
      mark = pos_;
      if (!token(t, &quoted)) return fail();
    }
    if (!quoted && t == u"{") {
      pos_ = mark;
      return body(key);
    }
    pos_ = mark;
    return true;
  }

  std::u16string_view text_;
  const std::map<std::u16string, std::u16string>& replacements_;
  std::size_t pos_ = 0;
  bool ok_ = true;
};

}  // namespace

std::optional<std::vector<RegistryKey>> parse_registry_script(
    std::u16string_view script, const std::map<std::u16string, std::u16string>& replacements) {
  return Parser(script, replacements).script();
}

}  // namespace kestrel
