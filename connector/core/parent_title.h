// The parent engine's window is recognised by the start of its title.
#pragma once

#include <cstddef>
#include <string_view>

namespace kestrel {

inline constexpr std::u16string_view kParentTitle = u"VeloxVirtualAppWinClientServer";

// title: the text the window gave back (possibly empty). An empty title is accepted (nothing
// could be read); otherwise its first 30 units must match kParentTitle, folding only A-Z.
bool parent_title_accepted(std::u16string_view title);

}  // namespace kestrel
