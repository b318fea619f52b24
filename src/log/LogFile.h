#pragma once
// Appending to the shredding log: UTF-16 little-endian text without a byte-order
// mark, every text followed by CR LF. Each call opens, writes and closes the file,
// so worker threads and the window never share a handle.
#include <string>
#include <string_view>
#include <vector>

// Appends `text` and CR LF to the file at `path` (UTF-8 bytes of the path), creating
// the file private to its owner (0600) when it is missing and taking the group's
// and others' permissions from an existing one. Returns false, having written nothing, when the
// file cannot be opened or is not a regular file of the effective user (or root); a
// write that stops short also returns false.
bool AppendTextToFile(const std::string& path, const std::u16string& text);
// The same for several lines, in one opening and one write.
bool AppendLinesToFile(const std::string& path, const std::vector<std::u16string>& lines);

// The bytes AppendTextToFile writes for `text`.
std::string LogBytes(const std::u16string& text);

// The log's bytes as people read them: the UTF-16LE units decoded, each line in
// the printable form it was written in (PrintableStoredText, so a lone surrogate
// written by an older version shows as "\xNN", and a name's "\\" stays as written),
// lines joined by "\n". A last odd byte is dropped.
std::u16string ReadableLogText(std::string_view bytes);

// Reads at most `maxBytes` of the file's end (from a line start) into `bytes`; false
// when it is no regular file or cannot be read. `truncated` says whether the start
// was left out.
bool ReadLogTail(const std::string& path, size_t maxBytes, std::string& bytes, bool& truncated);
