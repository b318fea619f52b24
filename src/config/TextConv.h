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
inline std::u16string U16(std::string_view utf8) {
    return WideFromUtf8(utf8);
}

// A text as it may be shown to people or written into the log: control characters
// become visible escapes ("\n", "\r", "\t", "\x1b", "\u0085"), the bytes carried by
// U+DC80..U+DCFF become "\xNN", other lone surrogates "\uXXXX", and line separators
// and bidirectional overrides (which can make one line look like two, or reorder a
// name on screen) "\uXXXX" too. A backslash becomes "\\", so two different texts
// never look alike. Everything else stays. For display only: the list and the file
// calls keep the exact name.
std::u16string PrintableText(std::u16string_view text);

// A text that was made printable when it was stored (the log's lines), shown the
// same way again: whatever PrintableText escapes is escaped (a line written by an
// older version, or by another hand, cannot break the screen either), but a
// backslash stays as it is, being the stored form's own escape.
std::u16string PrintableStoredText(std::u16string_view text);
