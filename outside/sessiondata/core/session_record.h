// The serialised form of the session parameters exchanged between the connector and its parent
// (layout in docs/session-record.md). Portable: no platform headers, UTF-16 as char16_t.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace session_record {

constexpr uint32_t kMagic = 0x444C534B;  // "KSLD" in byte order
constexpr uint16_t kVersion = 1;
constexpr uint32_t kHeaderSize = 16;
constexpr uint32_t kFixedSize = 52;           // the numeric fields after the header
constexpr uint32_t kMaxTextUnits = 32767;     // UTF-16 code units per text
constexpr uint32_t kNullText = 0xFFFFFFFFu;   // length prefix of a null text
constexpr uint32_t kTextCount = 4;
constexpr uint32_t kMinSize = kHeaderSize + kFixedSize + kTextCount * 4;
constexpr uint32_t kMaxSize = kMinSize + kTextCount * kMaxTextUnits * 2;

struct Record {
  int32_t SessionMode = 0;
  int32_t ImeEnabled = 0;
  int32_t ColorDepth = 0;
  uint32_t SessionWindowHandle = 0;
  int16_t RedirectPorts = 0;
  int16_t RedirectPrinters = 0;
  int32_t RdpPort = 0;
  unsigned char SessionIdentity[16] = {};
  std::optional<std::u16string> AppCommandLine;
  std::optional<std::u16string> Password;
  std::optional<std::u16string> UserName;
  std::optional<std::u16string> Server;
  int32_t DesktopHeight = 0;
  int32_t DesktopWidth = 0;
  int32_t FontSmoothing = 0;

  bool operator==(const Record& other) const;
  bool operator!=(const Record& other) const { return !(*this == other); }
};

// A text fits the record when it is at most kMaxTextUnits long and has no NUL (the texts are
// NUL-terminated on both sides of the exchange).
bool TextFits(const std::u16string& text);

// Exact number of bytes Encode produces, or nullopt when a text does not fit.
std::optional<size_t> EncodedSize(const Record& record);
// The serialised record, or nullopt when a text does not fit.
std::optional<std::vector<unsigned char>> Encode(const Record& record);

// The total length a record header at data declares, or nullopt when the bytes do not start with
// a header of this format. Reads at most the header.
std::optional<uint32_t> DeclaredSize(const unsigned char* data, size_t size);

// Decodes one whole record; nullopt when the bytes are foreign, truncated or inconsistent (also
// when the declared length is not size). Never reads outside [data, data + size).
std::optional<Record> Decode(const unsigned char* data, size_t size);

// Overwrites a buffer holding secret text so that the value does not linger after it is freed.
void Wipe(void* data, size_t size);
void Wipe(std::u16string& text);
void Wipe(std::vector<unsigned char>& bytes);

}  // namespace session_record
