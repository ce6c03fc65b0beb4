#include "connector/parent_link.h"

#include <string_view>

#include "connector/core/parent_handle.h"

ParentLinkRecord ParentLink;

BOOL ParseParentWindow(ParentLinkRecord& link, HWND session_window) {
  link.SessionWindow = session_window;
  const wchar_t* line = GetCommandLineW();
  link.CommandLine = line ? line : L"";
  if (link.CommandLine.empty()) return FALSE;
  std::u16string_view text(reinterpret_cast<const char16_t*>(link.CommandLine.c_str()), link.CommandLine.size());
  auto number = kestrel::parse_bracketed_handle(text);
  if (!number) return FALSE;
  // A handle written as a 32-bit number: widened with its sign, as the system widens handles.
  HWND window = reinterpret_cast<HWND>(static_cast<INT_PTR>(*number));
  link.ParentWindow = window;
  if (*number != 0 && IsWindow(window)) return TRUE;
  link.ParentWindow = nullptr;
  return FALSE;
}
