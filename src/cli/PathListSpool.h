#pragma once
// The paths of --files-from (and those of the command line after them), read
// once before anything is touched and kept in a file without a name, private to
// this process: a list from a pipe cannot be read twice, and a list file may
// change or go while the run goes on. The run's look-ahead and the run itself
// each read that copy from its start, one path at a time, so that a list of a
// million paths never stands in memory.
#include <sys/types.h>

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

// Cuts a list into paths as its bytes come: one a line, or NUL-separated. Empty
// entries are skipped; a carriage return before a line break is kept, as a name
// may end with one.
class PathListSplitter {
  public:
    using Take = std::function<bool(const std::string&)>;
    // Longer than any path the system takes: a list without separators is cut off.
    static constexpr size_t kLongest = 65536;

    explicit PathListSplitter(bool nullSeparated) : separator_(nullSeparated ? '\0' : '\n') {}
    // Hands every path that `bytes` complete to `take`. False when `take` says
    // so or a path grows beyond kLongest (TooLong).
    bool Feed(std::string_view bytes, const Take& take);
    // The last path, when the list does not end with a separator.
    bool End(const Take& take);
    bool TooLong() const { return tooLong_; }

  private:
    char separator_;
    std::string path_;
    bool tooLong_ = false;
};

class PathListSpool {
  public:
    enum class Kind : char {
        kEntry = 'E',   // a file, link or special file, or anything refused
        kFolder = 'F',  // a folder to walk
    };

    PathListSpool() = default;
    PathListSpool(const PathListSpool&) = delete;
    PathListSpool& operator=(const PathListSpool&) = delete;
    ~PathListSpool();

    // Reads the list `source` ("-": standard input), then `more`. Each path must
    // name something (as the command line's paths must); it is kept absolute, as
    // the folders above it are now. False with a one-line `error` otherwise.
    bool Fill(const std::string& source, bool nullSeparated, const std::vector<std::string>& more,
              std::string& error);
    int64_t Count() const { return count_; }

    // One pass over the kept paths, in the order given.
    class Reader {
      public:
        explicit Reader(const PathListSpool& spool) : fd_(spool.fd_) {}
        bool Next(Kind& kind, std::u16string& path);

      private:
        int fd_;
        off_t offset_ = 0;
        std::string buffer_;
        size_t at_ = 0;
    };

  private:
    bool Keep(const std::string& given, std::string& error);
    bool Flush();

    int fd_ = -1;
    int64_t count_ = 0;
    std::string pending_;  // written out in blocks
};
