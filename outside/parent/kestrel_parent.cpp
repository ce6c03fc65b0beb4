// The parent engine for the demo: starts the connector with its window handle, answers the
// session request with session data from its arguments, prints every message that crosses, and
// ends when the connector ends (or on time-out, ending the connector).
//
//   KestrelParent.exe [--connector PATH] [--server S] [--user U] [--password P] [--port N]
//                     [--app TEXT] [--mode N] [--ime N] [--color N] [--width N] [--height N]
//                     [--font-smoothing N] [--redirect-ports N] [--redirect-printers N]
//                     [--title T] [--deferred] [--close-after MS] [--exit-after MS]
//                     [--timeout MS] [--transcript FILE]
// --close-after sends the close request (code 5); --exit-after ends the session as a user
// would: Esc in the session window, then OK on the exit question.
#include <windows.h>
#include <shellapi.h>

#include <cstdio>
#include <cwchar>
#include <string>
#include <vector>

#include "outside/parent/parent_standin.h"
#include "outside/parent/ui_probe.h"
#include "outside/session_link_data.h"

namespace {

struct Options {
  std::wstring connector = parent::ParentStandIn::sibling_path(parent::kConnectorExe);
  std::wstring server = L"127.0.0.1";
  std::wstring user = L"demo";
  std::wstring password = L"demo";
  std::wstring app = L"notepad.exe";
  std::wstring title = parent::kDefaultTitle;
  std::wstring transcript;
  long port = 3389, mode = 0, ime = 0, color = 32, width = 0, height = 0, font_smoothing = 1;
  long redirect_ports = 0, redirect_printers = 0;
  bool deferred = false;
  DWORD close_after = 0;
  DWORD exit_after = 0;
  DWORD timeout = 60000;
};

FILE* g_transcript = nullptr;
DWORD g_start = 0;

std::string utf8(const std::wstring& text) {
  if (text.empty()) return std::string();
  int size = WideCharToMultiByte(CP_UTF8, 0, text.c_str(), static_cast<int>(text.size()), nullptr, 0, nullptr,
                                 nullptr);
  std::string out(static_cast<size_t>(size > 0 ? size : 0), '\0');
  if (size > 0)
    WideCharToMultiByte(CP_UTF8, 0, text.c_str(), static_cast<int>(text.size()), &out[0], size, nullptr, nullptr);
  return out;
}

void say(const std::string& line) {
  char stamp[32];
  snprintf(stamp, sizeof stamp, "[%6lu ms] ", static_cast<unsigned long>(parent::now_ms() - g_start));
  std::string text = stamp + line + "\n";
  fwrite(text.data(), 1, text.size(), stdout);
  fflush(stdout);
  if (g_transcript) {
    fwrite(text.data(), 1, text.size(), g_transcript);
    fflush(g_transcript);
  }
}

const char* code_name(ULONG_PTR code) {
  switch (code) {
    case 1: return "CdSessionRequest";
    case 2: return "CdSessionData";
    case 3: return "CdChannelText";
    case 4: return "CdAppStarted";
    case 5: return "CdSessionEnded";
    case 6: return "CdProbe";
    case 7: return "CdShellHello";
    default: return "unknown";
  }
}

std::string hex(const unsigned char* bytes, size_t count) {
  std::string out;
  char two[4];
  for (size_t i = 0; i < count; ++i) {
    snprintf(two, sizeof two, "%02X", bytes[i]);
    out += two;
  }
  return out;
}

std::string quoted(const wchar_t* text) { return text ? "\"" + utf8(text) + "\"" : "(null)"; }

// The session record as the connector's copy of SessionLinkData reads it.
std::string describe_record(const std::vector<unsigned char>& payload) {
  std::vector<unsigned char> copy(payload);
  SessionLinkData data;
  if (copy.empty() || SessionLinkData::DeclaredSize(reinterpret_cast<char*>(copy.data()), copy.size()) == 0 ||
      SessionLinkData::DeclaredSize(reinterpret_cast<char*>(copy.data()), copy.size()) > copy.size() ||
      !data.SetData(reinterpret_cast<char*>(copy.data())))
    return "not a session record: " + hex(payload.data(), payload.size() < 64 ? payload.size() : 64);
  char window[32];
  snprintf(window, sizeof window, "0x%08lX", static_cast<unsigned long>(data.SessionWindowHandle));
  return std::string("SessionWindowHandle=") + window + " AppCommandLine=" + quoted(data.AppCommandLine) +
         " Server=" + quoted(data.Server) + " UserName=" + quoted(data.UserName) +
         " RdpPort=" + std::to_string(data.RdpPort) + " SessionMode=" + std::to_string(data.SessionMode) +
         " ImeEnabled=" + std::to_string(data.ImeEnabled) + " Password=" + (data.Password ? "(set)" : "(null)") +
         " SessionIdentity=" + hex(data.SessionIdentity, 16);
}

std::string describe(const parent::CopyDataRecord& record) {
  const std::vector<unsigned char>& p = record.payload;
  char head[96];
  snprintf(head, sizeof head, "code %lu %s wParam=0x%08lX %zu bytes: ", static_cast<unsigned long>(record.code),
           code_name(record.code), static_cast<unsigned long>(record.wparam), p.size());
  std::string text = head;
  if (record.code == 1 || record.code == 2) return text + describe_record(p);
  if (record.code >= 4 && record.code <= 7 && p.size() == 24) {
    unsigned size = p[0] | p[1] << 8 | p[2] << 16 | static_cast<unsigned>(p[3]) << 24;
    unsigned reserved = p[20] | p[21] << 8 | p[22] << 16 | static_cast<unsigned>(p[23]) << 24;
    return text + "notice Size=" + std::to_string(size) + " SessionIdentity=" + hex(&p[4], 16) +
           " Reserved=" + std::to_string(reserved);
  }
  return text + hex(p.data(), p.size() < 64 ? p.size() : 64);
}

bool parse(int argc, wchar_t** argv, Options& o) {
  for (int i = 1; i < argc; ++i) {
    std::wstring a = argv[i];
    auto next = [&](std::wstring& out) {
      if (i + 1 >= argc) return false;
      out = argv[++i];
      return true;
    };
    auto number = [&](long& out) {
      std::wstring t;
      if (!next(t)) return false;
      out = wcstol(t.c_str(), nullptr, 0);
      return true;
    };
    long value = 0;
    bool ok = true;
    if (a == L"--connector") ok = next(o.connector);
    else if (a == L"--server") ok = next(o.server);
    else if (a == L"--user") ok = next(o.user);
    else if (a == L"--password") ok = next(o.password);
    else if (a == L"--app") ok = next(o.app);
    else if (a == L"--title") ok = next(o.title);
    else if (a == L"--transcript") ok = next(o.transcript);
    else if (a == L"--port") ok = number(o.port);
    else if (a == L"--mode") ok = number(o.mode);
    else if (a == L"--ime") ok = number(o.ime);
    else if (a == L"--color") ok = number(o.color);
    else if (a == L"--width") ok = number(o.width);
    else if (a == L"--height") ok = number(o.height);
    else if (a == L"--font-smoothing") ok = number(o.font_smoothing);
    else if (a == L"--redirect-ports") ok = number(o.redirect_ports);
    else if (a == L"--redirect-printers") ok = number(o.redirect_printers);
    else if (a == L"--deferred") o.deferred = true;
    else if (a == L"--close-after") { ok = number(value); o.close_after = static_cast<DWORD>(value); }
    else if (a == L"--exit-after") { ok = number(value); o.exit_after = static_cast<DWORD>(value); }
    else if (a == L"--timeout") { ok = number(value); o.timeout = static_cast<DWORD>(value); }
    else ok = false;
    if (!ok) {
      fprintf(stderr, "KestrelParent: bad argument %s\n", utf8(a).c_str());
      return false;
    }
  }
  return true;
}

std::vector<unsigned char> session_data(const Options& o) {
  SessionLinkData data;
  data.SetServer(o.server.c_str());
  data.SetUserName(o.user.c_str());
  data.SetPassword(o.password.c_str());
  data.SetAppCommandLine(o.app.c_str());
  data.RdpPort = o.port;
  data.SessionMode = o.mode;
  data.ImeEnabled = o.ime;
  data.ColorDepth = o.color;
  data.DesktopWidth = o.width;
  data.DesktopHeight = o.height;
  data.FontSmoothing = o.font_smoothing;
  data.RedirectPorts = static_cast<int16_t>(o.redirect_ports);
  data.RedirectPrinters = static_cast<int16_t>(o.redirect_printers);
  for (int i = 0; i < 16; ++i) data.SessionIdentity[i] = static_cast<unsigned char>(0xA0 + i);
  std::vector<unsigned char> bytes(static_cast<size_t>(data.GetDataSize()));
  data.GetData(reinterpret_cast<char*>(bytes.data()), static_cast<unsigned long>(bytes.size()));
  return bytes;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
  g_start = parent::now_ms();
  Options o;
  if (!parse(argc, argv, o)) return 3;
  if (!o.transcript.empty()) g_transcript = _wfopen(o.transcript.c_str(), L"wb");

  parent::ParentStandIn host(o.title);
  if (!host.hwnd()) {
    say("cannot create the parent window");
    return 3;
  }
  std::vector<unsigned char> reply = session_data(o);
  bool answered = false;
  DWORD answered_at = 0;
  host.on_copy_data([&](parent::ParentStandIn& self, const parent::CopyDataRecord& record) -> LRESULT {
    say("connector -> parent  " + describe(record));
    if (record.code != 1 || answered) return 1;
    answered = true;
    HWND target = reinterpret_cast<HWND>(record.wparam);
    auto answer = [&self, target, reply, &answered_at] {
      parent::CopyDataRecord sent{2, reinterpret_cast<WPARAM>(self.hwnd()), reply};
      say("parent -> connector  " + describe(sent));
      LRESULT result = 0;
      bool ok = self.send(2, reply.data(), static_cast<DWORD>(reply.size()), &result, target);
      say(std::string("  code 2 ") + (ok ? "delivered, result " + std::to_string(result) : "not delivered"));
      answered_at = parent::now_ms();
    };
    if (o.deferred)
      self.defer(answer);
    else
      answer();
    return 1;
  });

  std::wstring command = parent::ParentStandIn::command_line(o.connector, host.hwnd());
  char window[32];
  snprintf(window, sizeof window, "0x%08lX", static_cast<unsigned long>(reinterpret_cast<ULONG_PTR>(host.hwnd())));
  say(std::string("parent window ") + window + " title \"" + utf8(o.title) + "\"");
  say("starting " + utf8(command));
  if (!host.start(command)) {
    say("cannot start the connector (error " + std::to_string(GetLastError()) + ")");
    return 3;
  }

  bool close_sent = false;
  bool escape_sent = false;
  bool exit_answered = false;
  DWORD exit_code = 0;
  for (;;) {
    if (host.wait_exit(50, &exit_code)) break;
    if (parent::now_ms() - g_start > o.timeout) {
      say("time-out: ending the connector");
      host.kill();
      return 2;
    }
    if (o.close_after && answered_at && !close_sent && parent::now_ms() - answered_at >= o.close_after) {
      close_sent = true;
      say("parent -> connector  code 5 CdSessionEnded (close request)");
      LRESULT result = 0;
      bool ok = host.send(5, "", 1, &result);
      say(std::string("  code 5 ") + (ok ? "delivered" : "not delivered (the connector may have ended)"));
    }
    if (o.exit_after && answered_at && !escape_sent && parent::now_ms() - answered_at >= o.exit_after) {
      escape_sent = true;
      say("user: Esc in the session window");
      parent::press_key(host.session_window(), VK_ESCAPE);
    }
    if (escape_sent && !exit_answered) {
      if (HWND box = parent::find_process_window(host.process_id(), L"#32770", L"\u6CE8\u610F")) {
        exit_answered = true;
        say("user: \"" + utf8(parent::message_box_text(box)) + "\" answered OK");
        parent::click_button(box, IDOK);
      }
    }
  }
  say("connector ended with exit code " + std::to_string(exit_code));
  if (g_transcript) fclose(g_transcript);
  return static_cast<int>(exit_code);
}
