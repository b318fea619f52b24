#pragma once
// Appending to the shredding log: UTF-16 little-endian text without a byte-order
// mark, every text followed by CR LF. Each call opens, writes and closes the file,
// so worker threads and the window never share a handle.
#include <string>

// Appends `text` and CR LF to the file at `path` (UTF-8 bytes of the path), creating
// the file when it is missing. Returns false, having written nothing, when the file
// cannot be opened; a write that stops short also returns false.
bool AppendTextToFile(const std::string& path, const std::u16string& text);

// The bytes AppendTextToFile writes for `text`.
std::string LogBytes(const std::u16string& text);
