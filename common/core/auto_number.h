// Number readers with automatic base, as the Windows C runtime's wcstol/wcstoul read with base 0.
// Texts are UTF-16 and end at their NUL or at the given end, whichever comes first.
#pragma once

#include <cstddef>
#include <cstdint>

namespace kestrel {

// Reads like msvcrt's wcstol(text, &end, 0) with its 32-bit long: optional blanks, one sign,
// 0x/0X for hexadecimal, a leading 0 for octal, else decimal; stops at the first unit that is
// not a digit of the base; clamps to INT32_MIN/INT32_MAX on overflow. Returns 0 for a text
// without digits. When consumed is given it receives the number of units read, 0 when no digit
// was read (so also for "0x" with no hexadecimal digit after it).
// As in the runtime, blanks include the Unicode spaces and digits include the decimal digits
// of several scripts (Arabic-Indic, Devanagari, fullwidth, ...).
int32_t read_signed_auto(const char16_t* text, std::size_t length, std::size_t* consumed = nullptr);

// Reads like msvcrt's wcstoul(text, &end, 0) with a 32-bit unsigned long: as above, but a '-'
// negates the value modulo 2^32, and a value too large for 32 bits gives 4294967295, also with a
// '-' (where the runtime would negate its saturated value to 1).
uint32_t read_unsigned_auto(const char16_t* text, std::size_t length, std::size_t* consumed = nullptr);

// A screen coordinate as the IME channel writes it: the runtime's wcstoul reading exactly (a
// negated value too large for 32 bits gives 1) taken as signed 32 bits, so "-20" is -20.
int32_t read_coordinate(const char16_t* text, std::size_t length);

// Units before the first NUL, at most max_length.
std::size_t bounded_length(const char16_t* text, std::size_t max_length);

}  // namespace kestrel
