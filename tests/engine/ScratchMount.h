#pragma once
// Small file systems that a test mounts itself, so that full disks, mount points
// and the raw blocks of a file can be examined without touching a real disk.
// Mounting needs privileges; when it is refused, Ok() is false and Why() says so.
#include <cstdint>
#include <string>

class ScratchMount {
  public:
    // A tmpfs of `sizeBytes` at `folder` (created if missing).
    static ScratchMount Tmpfs(const std::string& folder, uint64_t sizeBytes);
    // An ext4 image file of `sizeMiB` at `image`, mounted through a loop device.
    static ScratchMount LoopExt4(const std::string& image, const std::string& folder, int sizeMiB);

    ScratchMount(ScratchMount&& other) noexcept;
    ScratchMount& operator=(ScratchMount&&) = delete;
    ScratchMount(const ScratchMount&) = delete;
    ScratchMount& operator=(const ScratchMount&) = delete;
    ~ScratchMount();

    bool Ok() const { return mounted_; }
    const std::string& Why() const { return why_; }
    // The mount folder, ending with "/".
    std::string Path() const { return folder_ + "/"; }
    // Unmounts now (flushing everything to the image); true on success.
    bool Unmount();

  private:
    ScratchMount() = default;
    std::string folder_;
    std::string why_;
    bool mounted_ = false;
};

// Runs a program with arguments (no shell) and returns its exit status, -1 when
// it could not be started.
int RunProgram(const std::string& program, const std::string& a1 = {}, const std::string& a2 = {},
               const std::string& a3 = {}, const std::string& a4 = {}, const std::string& a5 = {});
