#pragma once
// Shared pieces of the engine tests: a fixed calendar clock (so random data can be
// predicted), an independent model of the generator, and small file helpers.
#include <sys/stat.h>

#include <string>
#include <vector>

#include "engine/FileOps.h"
#include "platform/Platform.h"

// Freezes Platform().now; shell open and shutdown fail without doing anything.
class FixedClock {
  public:
    explicit FixedClock(int64_t seconds) : scoped_(Make(seconds)) {}

  private:
    static PlatformServices Make(int64_t seconds) {
        PlatformServices s;
        s.now = [seconds] { return seconds; };
        s.shellOpen = [](const std::u16string&) { return false; };
        s.shutdown = [] { return false; };
        return s;
    }
    ScopedPlatform scoped_;
};

// The generator written out independently of the code under test.
class ModelRandom {
  public:
    explicit ModelRandom(uint32_t seed) : state_(seed) {}
    int Next() {
        state_ = state_ * 214013u + 2531011u;
        return static_cast<int>((state_ >> 16) & 0x7FFF);
    }

  private:
    uint32_t state_;
};

// The block buffer of random mode for a call seeded with `seed`.
inline std::string RandomBlock(uint32_t seed, size_t size) {
    ModelRandom r(seed);
    std::string s(size, '\0');
    for (auto& c : s) c = static_cast<char>(r.Next() % 255);
    return s;
}

inline ShredFileOptions KeepOptions(const std::u16string& path) {
    ShredFileOptions o;
    o.path = path;
    o.shredNames = false;
    o.modifySize = false;
    o.deleteAfter = false;
    return o;
}

inline int64_t SizeOf(const std::string& path) {
    struct stat st {};
    return ::lstat(path.c_str(), &st) == 0 ? static_cast<int64_t>(st.st_size) : -1;
}

inline ino_t InodeOf(const std::string& path) {
    struct stat st {};
    return ::lstat(path.c_str(), &st) == 0 ? st.st_ino : 0;
}

// The names in a folder, sorted, without "." and "..".
std::vector<std::string> NamesIn(const std::string& folder);
