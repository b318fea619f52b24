#pragma once
#include <cstdint>
#include <string>

// The drive's root folder, held open while a fill works on it: every file is
// made, deleted and trimmed through it, so a drive that goes away (a lazy
// unmount) can never send the fill into the folder that was underneath.
class HeldDrive {
  public:
    HeldDrive() = default;
    ~HeldDrive();
    HeldDrive(const HeldDrive&) = delete;
    HeldDrive& operator=(const HeldDrive&) = delete;

    // `root` ends with "/". Returns 0 or the errno.
    int Open(const std::string& root);
    int Fd() const { return fd_; }
    const std::string& Path() const { return path_; }
    uint64_t Dev() const { return dev_; }
    uint64_t Ino() const { return ino_; }
    // The root's path still leads to the folder held open.
    bool StillThere() const;

  private:
    int fd_ = -1;
    std::string path_;
    uint64_t dev_ = 0, ino_ = 0;
};
