// Dialog resources of a window that hosts ActiveX controls: the dialog initialisation table
// (resource type 240) and the extended dialog template whose control items name a class
// identifier instead of a window class. Both are read from byte spans with their length.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace kestrel {

// Message of a dialog initialisation entry that carries a control's persisted state.
inline constexpr uint16_t kDlgInitOleControl = 0x376;

struct DlgInitEntry {
  uint16_t control;
  uint16_t message;
  const uint8_t* data;  // points into the parsed table
  uint32_t size;
};

// Entries up to the terminating zero control id. nullopt when an entry runs past the end.
// A table that ends without the terminator (end of the resource) is accepted.
std::optional<std::vector<DlgInitEntry>> parse_dlg_init(const uint8_t* bytes, std::size_t size);

struct AxTemplateItem {
  uint32_t id;
  std::u16string class_name;  // as the template names it, e.g. "{3523C2FB-...}"
};

struct AxTemplate {
  std::vector<uint8_t> bytes;          // the rewritten extended template
  std::vector<AxTemplateItem> controls;  // the items that were rewritten, in template order
};

// Copies an extended dialog template, giving every item whose class is a text starting with '{'
// the window class host_class and the creation data that creation_data returns for it (at most
// 65535 bytes). Other items are copied unchanged. nullopt for a template that is not extended
// or that runs past its end.
using CreationData = std::function<std::vector<uint8_t>(const AxTemplateItem&)>;
std::optional<AxTemplate> rewrite_ax_template(const uint8_t* bytes, std::size_t size,
                                              std::u16string_view host_class, const CreationData& creation_data);

}  // namespace kestrel
