// Stand-in of the library that owns the session parameter record. The serialised form is the
// portable session_record; this class only converts between it and its plain members.
#include <windows.h>

#include <cwchar>
#include <initializer_list>
#include <new>

#include "outside/session_link_data.h"
#include "outside/sessiondata/core/session_record.h"

static_assert(sizeof(wchar_t) == sizeof(char16_t), "the record's texts are UTF-16 code units");

namespace {

using session_record::Record;

// The defaults of a fresh record: no texts, the standard port, 16-bit colour.
constexpr int32_t kDefaultPort = 3389;
constexpr int32_t kDefaultColorDepth = 16;

size_t TextLength(const wchar_t* text) { return text ? wcslen(text) : 0; }

void FreeText(wchar_t*& text, bool secret) {
  if (!text) return;
  if (secret) SecureZeroMemory(text, (wcslen(text) + 1) * sizeof(wchar_t));
  delete[] text;
  text = nullptr;
}

// A heap copy of units, or null (also on allocation failure, told apart by `ok`).
wchar_t* CopyText(const wchar_t* units, size_t count, bool& ok) {
  wchar_t* copy = new (std::nothrow) wchar_t[count + 1];
  if (!copy) {
    ok = false;
    return nullptr;
  }
  wmemcpy(copy, units, count);
  copy[count] = L'\0';
  return copy;
}

bool SetText(wchar_t*& member, const wchar_t* text, bool secret) {
  wchar_t* copy = nullptr;
  if (text) {
    size_t n = wcslen(text);
    if (n > session_record::kMaxTextUnits) return false;
    bool ok = true;
    copy = CopyText(text, n, ok);
    if (!ok) return false;
  }
  FreeText(member, secret);
  member = copy;
  return true;
}

std::optional<std::u16string> ToRecordText(const wchar_t* text) {
  if (!text) return std::nullopt;
  return std::u16string(reinterpret_cast<const char16_t*>(text), TextLength(text));
}

}  // namespace

SessionLinkData::SessionLinkData()
    : SessionMode(0),
      ImeEnabled(0),
      ColorDepth(kDefaultColorDepth),
      SessionWindowHandle(0),
      RedirectPorts(0),
      RedirectPrinters(0),
      RdpPort(kDefaultPort),
      SessionIdentity{},
      AppCommandLine(nullptr),
      Password(nullptr),
      UserName(nullptr),
      Server(nullptr),
      DesktopHeight(0),
      DesktopWidth(0),
      FontSmoothing(0) {}

SessionLinkData::~SessionLinkData() {
  FreeText(AppCommandLine, false);
  FreeText(Password, true);
  FreeText(UserName, false);
  FreeText(Server, false);
}

bool SessionLinkData::SetAppCommandLine(const wchar_t* text) { return SetText(AppCommandLine, text, false); }
bool SessionLinkData::SetPassword(const wchar_t* text) { return SetText(Password, text, true); }
bool SessionLinkData::SetUserName(const wchar_t* text) { return SetText(UserName, text, false); }
bool SessionLinkData::SetServer(const wchar_t* text) { return SetText(Server, text, false); }

int SessionLinkData::GetDataSize() {
  size_t size = session_record::kMinSize;
  for (const wchar_t* text : {AppCommandLine, Password, UserName, Server}) {
    size_t n = TextLength(text);
    if (n > session_record::kMaxTextUnits) return 0;
    size += n * sizeof(char16_t);
  }
  return static_cast<int>(size);
}

int SessionLinkData::GetData(char* buffer, unsigned long size) {
  try {
    Record r;
    r.SessionMode = SessionMode;
    r.ImeEnabled = ImeEnabled;
    r.ColorDepth = ColorDepth;
    r.SessionWindowHandle = SessionWindowHandle;
    r.RedirectPorts = RedirectPorts;
    r.RedirectPrinters = RedirectPrinters;
    r.RdpPort = RdpPort;
    memcpy(r.SessionIdentity, SessionIdentity, sizeof(SessionIdentity));
    r.AppCommandLine = ToRecordText(AppCommandLine);
    r.Password = ToRecordText(Password);
    r.UserName = ToRecordText(UserName);
    r.Server = ToRecordText(Server);
    r.DesktopHeight = DesktopHeight;
    r.DesktopWidth = DesktopWidth;
    r.FontSmoothing = FontSmoothing;
    std::optional<std::vector<unsigned char>> bytes = session_record::Encode(r);
    if (r.Password) session_record::Wipe(*r.Password);
    if (!bytes) return 0;
    int written = 0;
    if (buffer && bytes->size() <= size) {
      memcpy(buffer, bytes->data(), bytes->size());
      written = static_cast<int>(bytes->size());
    }
    session_record::Wipe(*bytes);
    return written;
  } catch (...) {
    return 0;
  }
}

unsigned long SessionLinkData::DeclaredSize(const char* data, unsigned long available) {
  std::optional<uint32_t> size = session_record::DeclaredSize(reinterpret_cast<const unsigned char*>(data), available);
  return size ? *size : 0;
}

int SessionLinkData::SetData(char* data) {
  if (!data) return 0;
  try {
    // The header tells the record's length; nothing past it is read.
    const auto* bytes = reinterpret_cast<const unsigned char*>(data);
    std::optional<uint32_t> declared = session_record::DeclaredSize(bytes, session_record::kHeaderSize);
    if (!declared || *declared < session_record::kMinSize || *declared > session_record::kMaxSize) return 0;
    std::optional<Record> r = session_record::Decode(bytes, *declared);
    if (!r) return 0;

    // Copy every text first, so that a failed allocation leaves the object as it was.
    const std::optional<std::u16string>* texts[] = {&r->AppCommandLine, &r->Password, &r->UserName, &r->Server};
    wchar_t* copies[4] = {};
    bool ok = true;
    for (int i = 0; i < 4 && ok; ++i) {
      if (*texts[i]) {
        copies[i] = CopyText(reinterpret_cast<const wchar_t*>((*texts[i])->data()), (*texts[i])->size(), ok);
      }
    }
    if (r->Password) session_record::Wipe(*r->Password);
    if (!ok) {
      for (int i = 0; i < 4; ++i) FreeText(copies[i], i == 1);
      return 0;
    }

    SessionMode = r->SessionMode;
    ImeEnabled = r->ImeEnabled;
    ColorDepth = r->ColorDepth;
    SessionWindowHandle = r->SessionWindowHandle;
    RedirectPorts = r->RedirectPorts;
    RedirectPrinters = r->RedirectPrinters;
    RdpPort = r->RdpPort;
    memcpy(SessionIdentity, r->SessionIdentity, sizeof(SessionIdentity));
    DesktopHeight = r->DesktopHeight;
    DesktopWidth = r->DesktopWidth;
    FontSmoothing = r->FontSmoothing;
    FreeText(AppCommandLine, false);
    FreeText(Password, true);
    FreeText(UserName, false);
    FreeText(Server, false);
    AppCommandLine = copies[0];
    Password = copies[1];
    UserName = copies[2];
    Server = copies[3];
    return 1;
  } catch (...) {
    return 0;
  }
}
