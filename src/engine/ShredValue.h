#pragma once
// The one reading of a fixed "ShredValue" that both kinds of run share.
#include <string_view>

// The low 8 bits of the decimal integer that starts the text (leading white
// space, an optional sign; 0 when there is none). The value is kept modulo 256
// as the digits are read, so any number of digits gives its exact low byte:
// "255" and "-1" give 0xFF, "256" and "4294967296" give 0x00.
unsigned char ShredValueByte(std::u16string_view text);
