// How tests see and steer the stand-in Remote Desktop control (RdpControlStandIn.dll), shared by
// the DLL and by every test that drives it.
//
// Journal
//   When the environment variable KESTREL_RDP_JOURNAL names a file, the control appends one UTF-8
//   line per recorded call. Each line is written with one WriteFile on a handle opened for append
//   and closed again, so nothing is buffered in the process and a host that ends with ExitProcess
//   loses no line. The variable is read at every line, so a test may point it elsewhere between
//   cases. Lines (names as the caller spelt them are normalised to the names below):
//     Load <count> <HEX>             IPersistStreamInit::Load: byte count and the bytes, upper-case hex
//     InitNew                        IPersistStreamInit::InitNew
//     SetClientSite set|null
//     DoVerb <verb>                  e.g. "DoVerb -5"
//     Activate <l>,<t>,<r>,<b>       the control window was created in place over this rectangle
//     Close
//     Advise {IID}                   a sink was connected to the event connection point
//     Unadvise <cookie>
//     put <Name>=<value>             a dispatch property was set; <Name> is the control's own
//                                    property, or Settings.Property for the two settings objects:
//                                    "put SecuredSettings.StartProgram=...",
//                                    "put AdvancedSettings3.PerformanceFlags=239"
//     put <Name> null                the same with a null text (an empty text is "put <Name>=")
//     put ClearTextPassword=<text>   the non-scriptable password interface (null as above)
//     get <Name>                     a dispatch property was read, e.g. "get Connected"
//     call <Method>                  Connect, Disconnect, RequestClose
//     fire <Event>[ <reason>]        an event was delivered to the sinks: "fire OnConnected",
//                                    "fire OnLoginComplete", "fire OnDisconnected 4"
//   Numbers are decimal (a VARIANT_BOOL is -1 or 0). In texts, characters below U+0020 are written
//   as \xHH; everything else, backslashes included, is written as it is.
//
// Commands
//   A test posts these to a window of class "KestrelRdpStandIn": the control window inside the
//   host (found among the host's child windows), or the control's message-only window
//   (FindWindowEx(HWND_MESSAGE, ...)). Each is acted on from that window's message handling, never
//   inside a caller's call into the control:
//     CmdFireDisconnected   wParam = reason: Connected becomes 0, OnDisconnected(reason) fires
//     CmdFireConnected      Connected becomes 1, OnConnected fires
//     CmdFireLoginComplete  OnLoginComplete fires
//     CmdSetCloseStatus     wParam = the status RequestClose returns from now on (default 0)
//     CmdSetConnected       wParam = the value get Connected returns from now on (a short)
//     CmdSetConnectResult   wParam = the HRESULT Connect returns from now on (default S_OK)
//
// Start-up settings, read when the control is created (so a test can set them before it starts
// the host process):
//   KESTREL_RDP_CLOSE_STATUS    the initial RequestClose status (automatic-base number)
//   KESTREL_RDP_CONNECT_RESULT  the initial HRESULT of Connect (e.g. 0x80004005)
//   KESTREL_RDP_AUTO_EVENTS     "0": Connect and Disconnect fire nothing by themselves. Otherwise a
//                               successful Connect sets Connected to 1 and then fires OnConnected
//                               and OnLoginComplete, and Disconnect of a connected control sets it
//                               to 0 and fires OnDisconnected(1), all from posted messages.
//   KESTREL_RDP_FAIL            "create": the class factory refuses to create the control;
//                               "load": IPersistStreamInit::Load fails (E_FAIL).
#pragma once

#include <windows.h>

#include <string>
#include <vector>

namespace standin {

constexpr wchar_t kWindowClass[] = L"KestrelRdpStandIn";

constexpr wchar_t kJournalEnv[] = L"KESTREL_RDP_JOURNAL";
constexpr wchar_t kCloseStatusEnv[] = L"KESTREL_RDP_CLOSE_STATUS";
constexpr wchar_t kConnectResultEnv[] = L"KESTREL_RDP_CONNECT_RESULT";
constexpr wchar_t kAutoEventsEnv[] = L"KESTREL_RDP_AUTO_EVENTS";
constexpr wchar_t kFailEnv[] = L"KESTREL_RDP_FAIL";

// Commands a test posts to the control's windows.
constexpr UINT CmdFireDisconnected = WM_APP + 0x301;
constexpr UINT CmdFireConnected = WM_APP + 0x302;
constexpr UINT CmdFireLoginComplete = WM_APP + 0x303;
constexpr UINT CmdSetCloseStatus = WM_APP + 0x304;
constexpr UINT CmdSetConnected = WM_APP + 0x305;
constexpr UINT CmdSetConnectResult = WM_APP + 0x306;

// The journal's lines without their line ends; empty when the file does not exist.
inline std::vector<std::string> read_journal(const std::wstring& path) {
  std::vector<std::string> lines;
  HANDLE file = CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                            nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) return lines;
  std::string text;
  char chunk[4096];
  DWORD got = 0;
  while (ReadFile(file, chunk, sizeof chunk, &got, nullptr) && got > 0) text.append(chunk, got);
  CloseHandle(file);
  size_t start = 0;
  while (start < text.size()) {
    size_t end = text.find('\n', start);
    if (end == std::string::npos) end = text.size();
    size_t stop = end;
    if (stop > start && text[stop - 1] == '\r') --stop;
    lines.emplace_back(text, start, stop - start);
    start = end + 1;
  }
  return lines;
}

// Removes the journal so the next run starts from an empty one.
inline void clear_journal(const std::wstring& path) { DeleteFileW(path.c_str()); }

}  // namespace standin
