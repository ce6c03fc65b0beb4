// What the connector does at start-up, decided from its arguments alone.
#pragma once

#include <string_view>
#include <vector>

namespace kestrel {

enum class StartupAction {
  RunSession,  // no switch of ours: open the session window
  Register,    // write the registration entries and end
  Unregister,  // remove them and end
  Embedding,   // started by COM: no window, run until WM_QUIT
};

// args: the arguments after the program name. A switch starts with '/' or '-'; names compare
// without regard to case. Embedding/Automation wins over the register switches; among register
// and unregister switches the last one counts. Any other argument (the bracketed parent handle
// included) leaves the decision alone.
StartupAction decide_startup(const std::vector<std::u16string_view>& args);

}  // namespace kestrel
