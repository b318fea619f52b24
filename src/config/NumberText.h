#pragma once
// Reading numbers from texts the way the C library's conversions do, without
// their undefined corners: leading white space, an optional sign, decimal digits
// up to the first non-digit.
#include <cstdint>
#include <string_view>

struct DecimalPrefix {
    bool hasDigits = false;
    bool negative = false;
    uint64_t magnitude = 0;  // saturates at UINT64_MAX
};

DecimalPrefix ReadDecimalPrefix(std::string_view text);
DecimalPrefix ReadDecimalPrefix(std::u16string_view text);

// strtol-like: no digits give 0; values outside 32 bits saturate.
int32_t ParseInt32(std::string_view text);
int32_t ParseInt32(std::u16string_view text);

// "%u"-like: the value modulo 2^32 (so "-1" gives 4294967295). Returns false, and
// leaves `out` alone, when the text has no digits.
bool ParseUInt32Modulo(std::string_view text, uint32_t& out);
bool ParseUInt32Modulo(std::u16string_view text, uint32_t& out);
