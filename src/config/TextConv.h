#pragma once
// Conversions between the program's UTF-16 strings and the UTF-8 of its files,
// tables and file names.
//
// Both directions are lossless for any byte sequence: a byte that is not part of
// valid UTF-8 becomes the lone surrogate U+DC80 + byte, and such a surrogate turns
// back into that byte. File names on Linux are bytes, so every name on disk can be
// listed, shown and shredded.
#include <cstdint>
#include <string>
#include <string_view>

std::string Utf8FromWide(std::u16string_view wide);
std::u16string WideFromUtf8(std::string_view bytes);

// Convenience for literals and tests: ASCII/UTF-8 source text to UTF-16.
inline std::u16string U16(std::string_view utf8) { return WideFromUtf8(utf8); }
