#pragma once
// The file-system calls of the engine. Paths come in as UTF-16 and reach the
// operating system through Utf8FromWide, so any name on disk can be handled.
// Nothing here follows a symbolic link in the last path component, and nothing
// opens a FIFO, socket or device node: those are only ever renamed or removed.
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

struct stat;

namespace fsys {

enum class Kind {
    kMissing,     // no such entry (or a path component is not a folder)
    kUnreadable,  // the entry could not be examined (access denied, I/O error, bad path)
    kFile,        // a regular file
    kFolder,
    kLink,   // a symbolic link, whatever it points to
    kOther,  // FIFO, socket, device node
};

struct Attributes {
    Kind kind = Kind::kMissing;
    uint32_t mode = 0;  // permission bits (07777)
    int64_t size = 0;
    int64_t modified = 0;  // seconds since the epoch
    uint64_t device = 0;
    uint64_t inode = 0;
    uint64_t links = 1;       // names of a file (hard links)
    uint32_t owner = 0;       // user id
    bool deviceNode = false;  // a kOther that is a character or block device
};

// The attributes of an lstat/fstat result.
void FillAttributes(const struct stat& st, Attributes& out);

// The path as the operating system sees it. False for a path that cannot name
// anything (empty, or holding a NUL character that would cut it short).
bool OsPath(const std::u16string& path, std::string& out);

// Attributes of the entry itself (lstat). Returns kind != kMissing/kUnreadable.
bool GetAttributes(const std::u16string& path, Attributes& out);

// A file without any write permission bit counts as read-only. Such a file is
// never written, even by root, who could otherwise open it anyway.
inline bool IsReadOnlyMode(uint32_t mode) {
    return (mode & 0222) == 0;
}

// Sets the permission bits of a file or folder. A symbolic link is left alone
// (changing it would change its target) and reported as failure.
bool SetPermissions(const std::u16string& path, uint32_t mode);

// Renames or moves an entry; never replaces an existing one.
bool RenameNoReplace(const std::u16string& from, const std::u16string& to);

// Removes a file, link or special file (never a folder).
bool RemoveFile(const std::u16string& path);

// Removes an empty folder.
bool RemoveFolder(const std::u16string& path);

// Renames `from` to `to` inside one open folder, without replacing, where the
// kernel cannot refuse the replacement itself: by a hard link, or where there are
// none by renaming over an entry just made under `to` (so a taken name fails with
// EEXIST, and nothing but that entry is ever replaced).
bool LinkAndUnlinkAt(int folderFd, const std::string& from, const std::string& to);

// True when the folder is the root of a mounted file system: its device differs
// from its parent's, or it is its own parent ("/").
bool IsMountPoint(const std::u16string& path);

// A private (0600) file in `folder` that no walk can meet and that goes when its
// descriptor is closed, however the program ends: nameless from the start, or
// where the file system has no such files, named `stem`XXXXXX for a moment and
// unlinked at once. -1 with errno set when neither works.
int OpenNamelessFile(const std::string& folder, const char* stem);

// Writes all of `bytes`, going on after short writes and interruptions.
bool WriteAll(int fd, std::string_view bytes);

// An open regular file. Opening refuses links, special files, and (for writing)
// read-only files. Closed by the destructor if not closed before.
class File {
  public:
    enum class Mode {
        kRead,                // never through a link
        kReadFollowingLinks,  // for files the user names as input only
        kWrite,               // in place: no truncation, no creation
        kAppend,
        kReadWrite,  // as kWrite, and readable: one descriptor to look, write and read back
    };

    File() = default;
    ~File();
    File(const File&) = delete;
    File& operator=(const File&) = delete;

    bool Open(const std::u16string& path, Mode mode);
    // The same, for the entry `name` of an open folder. `opened`, when given,
    // gets the attributes of the file opened (from the look the open makes).
    bool OpenAt(int folderFd, const std::string& name, Mode mode, Attributes* opened = nullptr);
    bool IsOpen() const { return fd_ >= 0; }
    int Descriptor() const { return fd_; }
    bool GetAttributes(Attributes& out) const;
    // Reads up to `count` bytes at the current position; -1 on failure.
    int64_t Read(void* data, size_t count);
    // Writes all `count` bytes (at `offset`, or at the position for Write);
    // false when not everything could be stored.
    bool WriteAt(const void* data, size_t count, int64_t offset);
    // One gathering write of the pieces, in order, at `offset`. Returns the bytes
    // stored, which may be fewer than asked (a full disk), or -1 on failure.
    struct Piece {
        const void* data;
        size_t size;
    };
    int64_t WritePiecesAt(const Piece* pieces, size_t count, int64_t offset);
    bool Write(const void* data, size_t count);
    bool Truncate(int64_t length);
    // Forces the written data to the device.
    bool Sync();
    // False when the system reports a failure on closing (delayed write errors).
    bool Close();

  private:
    int fd_ = -1;
};

}  // namespace fsys
