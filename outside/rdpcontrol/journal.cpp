#include "outside/rdpcontrol/journal.h"

#include <cstdio>

#include "outside/rdpcontrol/standin_protocol.h"

namespace standin {
namespace {

// Several controls (and threads) of one process share the file; lines must not interleave.
struct JournalLock {
  CRITICAL_SECTION section;
  JournalLock() { InitializeCriticalSection(&section); }
  ~JournalLock() { DeleteCriticalSection(&section); }
};
JournalLock g_lock;

}  // namespace

void journal(const std::string& line) {
  wchar_t path[MAX_PATH * 2];
  DWORD length = GetEnvironmentVariableW(kJournalEnv, path, MAX_PATH * 2);
  if (length == 0 || length >= MAX_PATH * 2) return;
  std::string record = line + "\n";
  EnterCriticalSection(&g_lock.section);
  // Opened per line and written in one call: nothing waits in a buffer when the host process
  // ends with ExitProcess, and a test may repoint the variable between cases.
  HANDLE file = CreateFileW(path, FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                            nullptr, OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file != INVALID_HANDLE_VALUE) {
    DWORD written = 0;
    WriteFile(file, record.data(), static_cast<DWORD>(record.size()), &written, nullptr);
    CloseHandle(file);
  }
  LeaveCriticalSection(&g_lock.section);
}

std::string utf8(const wchar_t* text) {
  std::string out;
  if (!text) return out;
  std::wstring escaped;
  for (const wchar_t* p = text; *p; ++p) {
    if (*p < 0x20) {
      wchar_t code[8];
      swprintf(code, 8, L"\\x%02X", static_cast<unsigned>(*p));
      escaped += code;
    } else {
      escaped += *p;
    }
  }
  if (escaped.empty()) return out;
  int size = WideCharToMultiByte(CP_UTF8, 0, escaped.c_str(), static_cast<int>(escaped.size()), nullptr, 0,
                                 nullptr, nullptr);
  if (size <= 0) return out;
  out.resize(static_cast<size_t>(size));
  WideCharToMultiByte(CP_UTF8, 0, escaped.c_str(), static_cast<int>(escaped.size()), &out[0], size, nullptr,
                      nullptr);
  return out;
}

std::string journal_text(const char* name, const wchar_t* text) {
  if (!text) return std::string(name) + " null";
  return std::string(name) + "=" + utf8(text);
}

std::string journal_value(const std::string& name, const VARIANT& value) {
  char number[32];
  switch (V_VT(&value)) {
    case VT_BSTR:
      return journal_text(name.c_str(), V_BSTR(&value));
    case VT_I4:
      snprintf(number, sizeof number, "%ld", static_cast<long>(V_I4(&value)));
      break;
    case VT_I2:
      snprintf(number, sizeof number, "%d", static_cast<int>(V_I2(&value)));
      break;
    case VT_BOOL:
      snprintf(number, sizeof number, "%d", static_cast<int>(V_BOOL(&value)));
      break;
    default:
      snprintf(number, sizeof number, "(vt %u)", static_cast<unsigned>(V_VT(&value)));
      break;
  }
  return name + "=" + number;
}

std::string hex_bytes(const unsigned char* bytes, size_t count) {
  static const char digits[] = "0123456789ABCDEF";
  std::string out;
  out.reserve(count * 2);
  for (size_t i = 0; i < count; ++i) {
    out += digits[bytes[i] >> 4];
    out += digits[bytes[i] & 15];
  }
  return out;
}

std::string guid_text(const GUID& guid) {
  char text[40];
  snprintf(text, sizeof text, "{%08lX-%04X-%04X-%02X%02X-%02X%02X%02X%02X%02X%02X}",
           static_cast<unsigned long>(guid.Data1), guid.Data2, guid.Data3, guid.Data4[0], guid.Data4[1],
           guid.Data4[2], guid.Data4[3], guid.Data4[4], guid.Data4[5], guid.Data4[6], guid.Data4[7]);
  return text;
}

}  // namespace standin
