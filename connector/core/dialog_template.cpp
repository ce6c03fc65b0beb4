#include "connector/core/dialog_template.h"

namespace kestrel {
namespace {

class Reader {
 public:
  Reader(const uint8_t* bytes, std::size_t size) : bytes_(bytes), size_(size) {}

  bool ok() const { return ok_; }
  std::size_t pos() const { return pos_; }
  std::size_t left() const { return ok_ ? size_ - pos_ : 0; }

  uint16_t u16() {
    if (!need(2)) return 0;
    uint16_t v = uint16_t(bytes_[pos_] | (bytes_[pos_ + 1] << 8));
    pos_ += 2;
    return v;
  }
  uint32_t u32() {
    uint32_t lo = u16();
    uint32_t hi = u16();
    return lo | (hi << 16);
  }
  void skip(std::size_t n) {
    if (need(n)) pos_ += n;
  }
  // Items start on 4-byte boundaries; the last one may end the resource without padding.
  void align4() {
    std::size_t pad = (4 - pos_ % 4) % 4;
    pos_ += pad < left() ? pad : left();
  }

  // A sz_Or_Ord field: none, 0xFFFF + ordinal, or a NUL-terminated text (returned in text).
  void name(std::u16string* text) {
    uint16_t first = u16();
    if (first == 0xFFFF) {
      u16();
      return;
    }
    for (uint16_t c = first; ok_ && c != 0; c = u16()) {
      if (text) text->push_back(char16_t(c));
    }
  }

 private:
  bool need(std::size_t n) {
    if (ok_ && size_ - pos_ >= n) return true;
    ok_ = false;
    return false;
  }

  const uint8_t* bytes_;
  std::size_t size_;
  std::size_t pos_ = 0;
  bool ok_ = true;
};

void put16(std::vector<uint8_t>& out, uint16_t v) {
  out.push_back(uint8_t(v));
  out.push_back(uint8_t(v >> 8));
}

}  // namespace

std::optional<std::vector<DlgInitEntry>> parse_dlg_init(const uint8_t* bytes, std::size_t size) {
  std::vector<DlgInitEntry> entries;
  Reader in(bytes, size);
  while (in.left() >= 2) {
    uint16_t control = in.u16();
    if (control == 0) break;
    uint16_t message = in.u16();
    uint32_t length = in.u32();
    if (!in.ok() || in.left() < length) return std::nullopt;
    entries.push_back({control, message, bytes + in.pos(), length});
    in.skip(length);
  }
  if (in.left() == 1) return std::nullopt;
  return entries;
}

std::optional<AxTemplate> rewrite_ax_template(const uint8_t* bytes, std::size_t size,
                                              std::u16string_view host_class, const CreationData& creation_data) {
  Reader in(bytes, size);
  if (in.u16() != 1 || in.u16() != 0xFFFF) return std::nullopt;
  in.u32();  // help id
  in.u32();  // extended style
  uint32_t style = in.u32();
  uint16_t count = in.u16();
  in.skip(8);  // x, y, cx, cy
  in.name(nullptr);  // menu
  in.name(nullptr);  // class
  in.name(nullptr);  // title
  constexpr uint32_t kSetFont = 0x40, kShellFont = 0x48;
  if (style & (kSetFont | kShellFont)) {
    in.skip(6);  // point size, weight, italic, character set
    in.name(nullptr);
  }
  if (!in.ok()) return std::nullopt;

  AxTemplate result;
  auto& out = result.bytes;
  out.assign(bytes, bytes + in.pos());
  for (uint16_t i = 0; i < count; ++i) {
    in.align4();
    while (out.size() % 4) out.push_back(0);
    std::size_t fixed = in.pos();
    in.skip(20);  // help id, extended style, style, x, y, cx, cy
    uint32_t id = in.u32();
    std::size_t class_start = in.pos();
    std::u16string class_name;
    in.name(&class_name);
    std::size_t class_end = in.pos();
    in.name(nullptr);  // title
    std::size_t title_end = in.pos();
    uint16_t extra = in.u16();
    in.skip(extra);
    if (!in.ok()) return std::nullopt;

    if (class_name.empty() || class_name[0] != u'{') {
      out.insert(out.end(), bytes + fixed, bytes + in.pos());
      continue;
    }
    AxTemplateItem item{id, class_name};
    std::vector<uint8_t> data = creation_data(item);
    if (data.size() > 0xFFFF) return std::nullopt;
    out.insert(out.end(), bytes + fixed, bytes + class_start);
    for (char16_t c : host_class) put16(out, uint16_t(c));
    put16(out, 0);
    out.insert(out.end(), bytes + class_end, bytes + title_end);
    put16(out, uint16_t(data.size()));
    out.insert(out.end(), data.begin(), data.end());
    result.controls.push_back(std::move(item));
  }
  return result;
}

}  // namespace kestrel
