// The control's record of what its host did to it (the format is described in standin_protocol.h).
#pragma once

#include <windows.h>
#include <oaidl.h>

#include <string>

namespace standin {

// Appends one line to the file named by KESTREL_RDP_JOURNAL; does nothing when it is not set.
void journal(const std::string& line);

// "Name=text", or "Name null" for a null text.
std::string journal_text(const char* name, const wchar_t* text);
// "Name=value" for a VARIANT of a type the control stores (text, integers, booleans).
std::string journal_value(const std::string& name, const VARIANT& value);

std::string utf8(const wchar_t* text);
std::string hex_bytes(const unsigned char* bytes, size_t count);
std::string guid_text(const GUID& guid);

}  // namespace standin
