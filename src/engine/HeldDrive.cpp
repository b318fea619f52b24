#include "engine/HeldDrive.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

#include "engine/FillDrive.h"

HeldDrive::~HeldDrive() {
    if (fd_ >= 0) ::close(fd_);
}

int HeldDrive::Open(const std::string& root) {
    path_ = root;
    fd_ = ::open(root.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
    if (fd_ < 0) return errno;
    struct stat st {};
    if (::fstat(fd_, &st) != 0) return errno;
    dev_ = st.st_dev;
    ino_ = st.st_ino;
    return 0;
}

bool HeldDrive::StillThere() const {
    struct stat st {};
    return fd_ >= 0 && ::stat(path_.c_str(), &st) == 0 && st.st_dev == dev_ && st.st_ino == ino_;
}

void FillRun::Created(const HeldDrive& drive, const std::string& name, int fd, bool mark,
                      bool syncRecord) {
    tempFiles.AppendRow(name);
    if (!record.IsOpen()) return;
    FillerEntry entry{drive.Path(), drive.Dev(), drive.Ino(), name};
    // A file we cannot describe is not recorded: it is deleted by this run but
    // never by a later one.
    if (DescribeNewFiller(fd, mark, entry)) record.Add(entry, syncRecord);
}
