#pragma once
// Reading what a device holds, not what the page cache remembers of it.
//
// A loop device writes its image file in its own way (by direct I/O, say), so
// pages of the image read before a run can stay in the cache after the run
// overwrote the blocks below them: a count of old data through the cache then
// finds data that is gone from the device. Every count of copies in an image or
// on a device reads through here.
#include <cstddef>
#include <functional>
#include <string>

// Reads the file or block device at `path` past the page cache: with O_DIRECT
// where the file system takes it, else after a sync and a
// POSIX_FADV_DONTNEED of the whole file. `chunk` gets the bytes in order, a
// piece at a time. False (and `error` says why) when it cannot be read.
bool ReadDeviceBytes(const std::string& path,
                     const std::function<void(const char* data, size_t size)>& chunk,
                     std::string* error = nullptr);

// Everything at `path`, read past the page cache; empty when it cannot be read.
std::string ReadDeviceWhole(const std::string& path);

// How often `needle` occurs at `path` (overlapping occurrences too), read past
// the page cache.
size_t CountOnDevice(const std::string& path, const std::string& needle);
