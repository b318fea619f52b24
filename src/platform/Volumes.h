#pragma once
// Drives on this platform: the mounted file systems of the mount table, each
// named by its mount point with a trailing "/". Every query also works on any
// existing folder, which stands for the file system that holds it.
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

struct DriveSpace {
    bool ok = false;
    uint64_t freeToCaller = 0;  // bytes this process may still write
    uint64_t total = 0;
    uint64_t totalFree = 0;     // including the blocks kept back for root
    uint64_t blockSize = 4096;  // the file system's allocation unit
};

enum class DriveType {
    NoRoot,   // not an existing folder
    Fixed,    // a writable disk file system
    Network,  // nfs, cifs, sshfs ...
    RamDisk,  // tmpfs, ramfs
    CdRom,    // iso9660, udf, or anything mounted read-only
};

// Free and total bytes of the file system that holds `root` (statvfs). Fails, all
// zero, when `root` is not an existing folder or the query fails.
DriveSpace QueryDriveSpace(const std::u16string& root);

// The label of the file system that holds `root`, or "" when it has none or
// `root` is not an existing folder.
std::u16string QueryVolumeLabel(const std::u16string& root);

DriveType QueryDriveType(const std::u16string& root);

// The two writability probes: each creates a new file in `root`, closes it and
// deletes it again. The run's probe uses the fill's temporary file name, the
// drive dialog's the fixed name kDialogProbeName. Whatever already exists at
// that name (a user's file, a link, a FIFO) is never opened, written or
// removed; the probe then tries the name with ".1", ".2", ... appended.
// ProbeCreateFile returns 0 or the errno of the failed creation.
int ProbeCreateFile(const std::u16string& root, const std::u16string& tempName);
bool ProbeWritableForRun(const std::u16string& root, const std::u16string& tempName);
bool ProbeWritableForDialog(const std::u16string& root);
inline constexpr char16_t kDialogProbeName[] = u"Morvik.$$$temp$$$";

// One entry of the mount table.
struct MountEntry {
    std::string source;
    std::string mountPoint;  // as the table has it, decoded, without a trailing "/"
    std::string fsType;
    bool readOnly = false;
};

// A field of the mount table, whose blanks, tabs, new lines and backslashes are
// escaped as \ooo.
std::string DecodeMountField(const std::string& field);

// Parses the text of /proc/self/mounts (octal escapes such as \040 decoded).
std::vector<MountEntry> ParseMountTable(const std::string& text);
std::vector<MountEntry> ReadMountTable();

// True for file systems that hold no user data on a disk (proc, sysfs, cgroup,
// devpts, devtmpfs, ... and the memory file systems tmpfs and ramfs, whose
// "free space" is the computer's memory).
bool IsPseudoFileSystem(const std::string& fsType);

// The mount points of the real file systems, each once, ending with "/", in
// mount-table order.
std::vector<std::u16string> MountedDrives();

// The drive list that callers use: MountedDrives(), unless a test replaced it.
std::vector<std::u16string> ListDrives();

// Replaces the drive list for the lifetime of the object (tests).
class ScopedDriveList {
  public:
    explicit ScopedDriveList(std::vector<std::u16string> drives);
    ~ScopedDriveList();
    ScopedDriveList(const ScopedDriveList&) = delete;
    ScopedDriveList& operator=(const ScopedDriveList&) = delete;

  private:
    std::function<std::vector<std::u16string>()> saved_;
};
