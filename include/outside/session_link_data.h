// The session parameter record of the outside library DllKestrelMain, as the connector and its
// parent exchange it. The members the connector reads stand first, in this order.
#pragma once

#include <cstddef>
#include <cstdint>

#ifdef DLLKESTRELMAIN_BUILD
#define DLLKESTRELMAIN_API __declspec(dllexport)
#else
#define DLLKESTRELMAIN_API __declspec(dllimport)
#endif

class DLLKESTRELMAIN_API SessionLinkData {
 public:
  SessionLinkData();
  ~SessionLinkData();
  SessionLinkData(const SessionLinkData&) = delete;
  SessionLinkData& operator=(const SessionLinkData&) = delete;

  // Bytes GetData writes.
  int GetDataSize();
  // Writes exactly GetDataSize() bytes; returns that count, or 0 (writing nothing) when size is smaller.
  int GetData(char* buffer, unsigned long size);
  // Reads one whole serialised record; returns 1, or 0 leaving the object unchanged when the record
  // is foreign, truncated or inconsistent. Never reads past the record's declared length.
  int SetData(char* data);

  // The record's declared length when data starts with a record header, else 0. Reads at most
  // `available` bytes, so a caller can check the declared length against what it received.
  static unsigned long DeclaredSize(const char* data, unsigned long available);

  // Texts are copied; a null text stays null. The old password is wiped before it is freed.
  // Return false (leaving the member as it was) when the text is too long for the record.
  bool SetAppCommandLine(const wchar_t* text);
  bool SetPassword(const wchar_t* text);
  bool SetUserName(const wchar_t* text);
  bool SetServer(const wchar_t* text);

  int32_t SessionMode;
  int32_t ImeEnabled;
  int32_t ColorDepth;
  uint32_t SessionWindowHandle;  // a window handle's 32 significant bits
  int16_t RedirectPorts;         // 0 off, -1 on
  int16_t RedirectPrinters;      // 0 off, -1 on
  int32_t RdpPort;
  unsigned char SessionIdentity[16];
  wchar_t* AppCommandLine;
  wchar_t* Password;
  wchar_t* UserName;
  wchar_t* Server;
  int32_t DesktopHeight;
  int32_t DesktopWidth;
  int32_t FontSmoothing;
};

// The connector reads these members straight from the library's object: both sides must agree on
// where they stand, on either architecture (texts are pointer-sized).
static_assert(offsetof(SessionLinkData, SessionWindowHandle) == 12, "SessionLinkData layout");
static_assert(offsetof(SessionLinkData, RedirectPorts) == 16, "SessionLinkData layout");
static_assert(offsetof(SessionLinkData, RdpPort) == 20, "SessionLinkData layout");
static_assert(offsetof(SessionLinkData, SessionIdentity) == 24, "SessionLinkData layout");
static_assert(offsetof(SessionLinkData, AppCommandLine) == 40, "SessionLinkData layout");
static_assert(offsetof(SessionLinkData, Server) == 40 + 3 * sizeof(void*), "SessionLinkData layout");
static_assert(offsetof(SessionLinkData, DesktopHeight) == 40 + 4 * sizeof(void*), "SessionLinkData layout");
static_assert(offsetof(SessionLinkData, FontSmoothing) == 48 + 4 * sizeof(void*), "SessionLinkData layout");
