// Stand-in of the logging library. One UTF-8 line per message, appended to the file named by
// KESTREL_LOGBOOK_FILE (default %TEMP%\LogbookMain.log):
//   time <TAB> module file name <TAB> node name <TAB> level (hex) <TAB> text
// Line breaks and other control characters of the text (tabs excepted) are written as \r, \n,
// \xNN so that one message stays one line. Registering and releasing a node writes a line with
// the module "-", the level "ref" or "release" and the node's address as text.
// Nothing here may disturb the caller: failures to open or write are ignored.
#include <windows.h>

#include <cstdio>
#include <cwchar>

#include "outside/logbook.h"

namespace {

SRWLOCK g_lock = SRWLOCK_INIT;

constexpr DWORD kPathChars = 1024;

// Collects a line's UTF-8 bytes in a fixed buffer and writes it out when full; no heap use.
class LineWriter {
 public:
  explicit LineWriter(HANDLE file) : file_(file) {}
  ~LineWriter() { flush(); }

  void ascii(const char* text) {
    for (; *text; ++text) byte(static_cast<unsigned char>(*text));
  }

  // UTF-16 to UTF-8; a lone surrogate becomes U+FFFD. When escape is set, control characters
  // other than tab are written as escapes.
  void wide(const wchar_t* text, bool escape) {
    for (size_t i = 0; text[i]; ++i) {
      unsigned long c = static_cast<unsigned short>(text[i]);
      if (c >= 0xD800 && c <= 0xDBFF) {
        unsigned long low = static_cast<unsigned short>(text[i + 1]);
        if (low >= 0xDC00 && low <= 0xDFFF) {
          c = 0x10000 + ((c - 0xD800) << 10) + (low - 0xDC00);
          ++i;
        } else {
          c = 0xFFFD;
        }
      } else if (c >= 0xDC00 && c <= 0xDFFF) {
        c = 0xFFFD;
      }
      if (escape && c < 0x20 && c != '\t') {
        escaped(c);
      } else {
        code_point(c);
      }
    }
  }

 private:
  void escaped(unsigned long c) {
    if (c == '\n') {
      ascii("\\n");
    } else if (c == '\r') {
      ascii("\\r");
    } else {
      char hex[8];
      std::snprintf(hex, sizeof(hex), "\\x%02lx", c);
      ascii(hex);
    }
  }

  void code_point(unsigned long c) {
    if (c < 0x80) {
      byte(static_cast<unsigned char>(c));
    } else if (c < 0x800) {
      byte(static_cast<unsigned char>(0xC0 | (c >> 6)));
      byte(static_cast<unsigned char>(0x80 | (c & 0x3F)));
    } else if (c < 0x10000) {
      byte(static_cast<unsigned char>(0xE0 | (c >> 12)));
      byte(static_cast<unsigned char>(0x80 | ((c >> 6) & 0x3F)));
      byte(static_cast<unsigned char>(0x80 | (c & 0x3F)));
    } else {
      byte(static_cast<unsigned char>(0xF0 | (c >> 18)));
      byte(static_cast<unsigned char>(0x80 | ((c >> 12) & 0x3F)));
      byte(static_cast<unsigned char>(0x80 | ((c >> 6) & 0x3F)));
      byte(static_cast<unsigned char>(0x80 | (c & 0x3F)));
    }
  }

  void byte(unsigned char b) {
    if (used_ == sizeof(buffer_)) flush();
    buffer_[used_++] = b;
  }

  void flush() {
    if (used_ == 0) return;
    DWORD written = 0;
    WriteFile(file_, buffer_, used_, &written, nullptr);
    used_ = 0;
  }

  HANDLE file_;
  unsigned char buffer_[4096];
  DWORD used_ = 0;
};

bool LogFilePath(wchar_t (&path)[kPathChars]) {
  DWORD n = GetEnvironmentVariableW(L"KESTREL_LOGBOOK_FILE", path, kPathChars);
  if (n > 0 && n < kPathChars) return true;
  n = GetTempPathW(kPathChars, path);
  if (n == 0 || n >= kPathChars) return false;
  const wchar_t name[] = L"LogbookMain.log";
  if (n + wcslen(name) >= kPathChars) return false;
  wcscpy(path + n, name);
  return true;
}

// The file part of the module's path, or "?" when the handle names no module.
void ModuleName(HINSTANCE module, wchar_t (&name)[kPathChars]) {
  DWORD n = module ? GetModuleFileNameW(module, name, kPathChars) : 0;
  if (n == 0 || n >= kPathChars) {
    wcscpy(name, L"?");
    return;
  }
  const wchar_t* file = name;
  for (const wchar_t* p = name; *p; ++p) {
    if (*p == L'\\' || *p == L'/') file = p + 1;
  }
  if (file != name) wmemmove(name, file, wcslen(file) + 1);
}

const char* NodeName(const _LogbookNode* node) {
  if (!node) return "(no node)";
  return node->name ? node->name : "?";
}

// Writes one line under the lock; the file is opened for appending per line so that several
// processes may share it and a deleted file is simply created again.
void WriteLine(const wchar_t* module, const _LogbookNode* node, const char* level, const wchar_t* text) {
  wchar_t path[kPathChars];
  if (!LogFilePath(path)) return;
  SYSTEMTIME now;
  GetLocalTime(&now);
  char stamp[32];
  std::snprintf(stamp, sizeof(stamp), "%04u-%02u-%02u %02u:%02u:%02u.%03u", now.wYear, now.wMonth, now.wDay,
                now.wHour, now.wMinute, now.wSecond, now.wMilliseconds);

  AcquireSRWLockExclusive(&g_lock);
  HANDLE file = CreateFileW(path, FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                            OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file != INVALID_HANDLE_VALUE) {
    {
      LineWriter line(file);
      line.ascii(stamp);
      line.ascii("\t");
      line.wide(module, true);
      line.ascii("\t");
      line.ascii(NodeName(node));
      line.ascii("\t");
      line.ascii(level);
      line.ascii("\t");
      line.wide(text ? text : L"(null)", true);
      line.ascii("\r\n");
    }
    CloseHandle(file);
  }
  ReleaseSRWLockExclusive(&g_lock);
}

void WriteNodeLine(const _LogbookNode* node, const char* what) {
  wchar_t address[32];
  swprintf(address, 32, L"%p", static_cast<const void*>(node));
  WriteLine(L"-", node, what, address);
}

}  // namespace

extern "C" {

void __cdecl _LogbookMainRef(_LogbookNode* node) { WriteNodeLine(node, "ref"); }

void __cdecl _LogbookMainRelease(_LogbookNode* node) { WriteNodeLine(node, "release"); }

void __cdecl _LogbookMainMessageW(_LogbookNode* node, const wchar_t* text, unsigned long level, HINSTANCE module) {
  wchar_t name[kPathChars];
  ModuleName(module, name);
  char hex[16];
  std::snprintf(hex, sizeof(hex), "0x%08lx", level);
  WriteLine(name, node, hex, text);
}

}  // extern "C"
