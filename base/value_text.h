// Value texts: how integers, floating-point numbers and FILETIMEs read from a store are shown.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

namespace bm {

// Signed decimal, e.g. "-42".
std::u16string Int32Text(std::int32_t value);

// Hexadecimal with the 0x prefix and eight lower-case digits, e.g. "0x0000002a".
std::u16string Hex32Text(std::uint32_t value);

// A 64-bit floating-point value as decimal text of at most 31 characters.
std::u16string FloatText(double value);

// A FILETIME (100 ns ticks since 1601-01-01 UTC) as "Jan 05, 2013 14:03:22.123456700".
// Nothing for a value whose year does not fit four digits.
std::optional<std::u16string> FiletimeText(std::uint64_t filetime);

// Civil date and time of a FILETIME, UTC.
struct CivilTime {
  int year, month, day, hour, minute, second;
  std::uint32_t nanoseconds;
};
CivilTime FiletimeToCivil(std::uint64_t filetime);

}  // namespace bm
