#pragma once
// Files the program reads or writes by a name someone gave it, outside its
// private storage folder: report copies, "--log", "-report PATH", exported keys,
// pattern files, report files to verify, lists of paths.
//
// Such a name may lie in a folder other users can write to, and the program may
// run as root. So:
// - the folder is reached without following a link that another user could
//   have placed (a link is followed only when it and the folder holding it
//   belong to root or to the effective user, and that folder is not writable by
//   others, or is sticky);
// - a new file is made with O_CREAT|O_EXCL|O_NOFOLLOW in that folder and written
//   only through the descriptor returned, never opened again by name;
// - appending goes only to a regular file with one name, owned by the effective
//   user and writable by nobody else, never to a FIFO, device or link;
// - a file read by name is looked at before it is opened for reading, and
//   opened without blocking: a FIFO, device or socket is refused, never opened
//   (only a list of paths may be a pipe, as "<(find ...)" makes one).
// Every refusal comes with a short reason for the message ("a FIFO, not a
// regular file", "belongs to another user", or the system's word).
#include <sys/types.h>

#include <string>

namespace fsys {

// The folder, as an O_PATH descriptor for the *at calls, reached as said above;
// -1 with `error` set otherwise. A relative path starts at the working folder.
int OpenFolderSafely(const std::string& folder, std::string& error);

// A file made here, new, by its descriptor. Dropping it closes the descriptor;
// Discard removes the file again when the name still leads to it.
class NewFile {
  public:
    NewFile() = default;
    ~NewFile();
    NewFile(const NewFile&) = delete;
    NewFile& operator=(const NewFile&) = delete;

    // Makes `path` (the last component must be a name, not "." or "..") with
    // the permission bits `mode`; false with `error` set when anything is there
    // already or the folder cannot be reached safely.
    bool Create(const std::string& path, mode_t mode, std::string& error);
    int Fd() const { return fd_; }
    // Syncs the data; false (errno set) when it may not have reached the disk.
    bool Sync();
    // Removes the file made (only while the name still names it) and closes it.
    void Discard();
    // Whether the name still leads to the file made: in a folder others can write
    // to, another user may have moved it away or put something else there.
    bool NameLeadsHere() const;

  private:
    void Close();
    int folder_ = -1;
    int fd_ = -1;
    std::string name_;
};

// Appends to `path`: made new and private (0600) when missing, else opened only
// when it is a regular file with one name, owned by the effective user and
// writable by neither group nor others. -1 with `error` set otherwise.
int OpenForAppend(const std::string& path, std::string& error);

// Opens `path` for reading (links are followed), refusing anything but a regular
// file, or a regular file or a pipe when `pipeAllowed`, before it is opened for
// reading: nothing here waits for a FIFO's writer or wakes a device. The
// descriptor is in blocking mode. -1 with `error` set otherwise.
int OpenForReading(const std::string& path, std::string& error, bool pipeAllowed = false);

// The whole of a regular file read by OpenForReading, at most `maxBytes`
// (a longer file is an error).
bool ReadRegularFile(const std::string& path, std::string& out, size_t maxBytes,
                     std::string& error);

// "a FIFO", "a folder", "a device", "a socket", "a link", "a regular file".
const char* KindName(mode_t mode);

}  // namespace fsys
