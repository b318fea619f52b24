#pragma once
// The entries of a report as they end, kept in a private part file rather than
// in memory, so that a run of a million files holds no more than one run of ten.
// The file has no name from the start (O_TMPFILE, or a name removed the moment
// it was made): whatever becomes of the run, nothing of it is left behind, and
// no walk of the folder meets it.
#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

class ReportSpool {
  public:
    ReportSpool() = default;
    ~ReportSpool();
    ReportSpool(const ReportSpool&) = delete;
    ReportSpool& operator=(const ReportSpool&) = delete;

    // In the first of `folders` (existing folders of this user) that takes one.
    bool Open(const std::vector<std::string>& folders);
    bool IsOpen() const { return fd_ >= 0; }
    // False once any write failed; the report then says so instead of lying.
    bool Good() const { return fd_ >= 0 && good_; }

    void Append(std::string_view text);
    // Writes out what is still buffered.
    bool Flush();
    uint64_t Size() const { return written_ + buffer_.size(); }
    // Hands the text back in order, in pieces; false when reading or `sink` failed.
    bool ReadBack(const std::function<bool(std::string_view)>& sink) const;

  private:
    int fd_ = -1;
    bool good_ = true;
    uint64_t written_ = 0;
    std::string buffer_;
};
