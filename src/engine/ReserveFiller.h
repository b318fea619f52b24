#pragma once
// Filling the blocks a file system keeps back for root from a run that is not
// root: somebody with the right to take them (kelvane-helper) writes into a
// filler file the run made. The fill only sees this interface; tests put in
// their own.
#include <atomic>
#include <cstdint>
#include <string>

struct ReserveFillAnswer {
    bool reached = false;  // written until the file system was full, synced
    uint64_t bytes = 0;    // written into the file
    std::string why;       // when not reached: what happened, for the log
};

class ReserveFiller {
  public:
    virtual ~ReserveFiller() = default;
    // `dirFd`: the drive's root folder held by the run; `fileFd`: a new, empty
    // filler file in it, open for writing. Returns when the file holds the
    // reserve, or at once when that cannot be had.
    virtual ReserveFillAnswer Fill(int dirFd, int fileFd, int passes, bool random, uint8_t value,
                                   const std::atomic<bool>& stop) = 0;
    // TRIM of the file system of `dirFd` after a Fill that reached its
    // reserve, once the run deleted its files, for a run that may not trim
    // itself: 0 or the errno.
    virtual int Trim(int dirFd) = 0;
};
