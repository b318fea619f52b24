#include "support/TestMount.h"

#include <fcntl.h>
#include <linux/loop.h>
#include <sched.h>
#include <spawn.h>
#include <sys/ioctl.h>
#include <sys/mount.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <thread>
#include <vector>

#include "config/TextConv.h"

extern char** environ;

namespace {

std::string ErrnoText(const std::string& what) {
    return what + ": " + std::strerror(errno);
}

// Runs a program (no shell) with its output thrown away; true when it exits with 0.
bool RunQuiet(const std::vector<std::string>& argv) {
    std::vector<char*> args;
    for (const auto& a : argv) args.push_back(const_cast<char*>(a.c_str()));
    args.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
    posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
    pid_t pid = 0;
    int rc = posix_spawnp(&pid, args[0], &actions, nullptr, args.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    if (rc != 0) return false;
    int status = 0;
    while (waitpid(pid, &status, 0) < 0 && errno == EINTR) {
    }
    return WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

bool FindMkfs(std::string& out, const std::string& fsType = "ext4") {
    for (const char* dir : {"/usr/sbin/", "/sbin/", "/usr/bin/"}) {
        std::string p = dir + ("mkfs." + fsType);
        if (::access(p.c_str(), X_OK) == 0) {
            out = p;
            return true;
        }
    }
    return false;
}

// The mounts of a test belong to the test process (and the programs it starts)
// alone. In the machine's shared mount table every other process sees them, and
// a start of this program anywhere -- another test, another build's suite, a
// desktop -- deletes the filler files it finds on each mounted drive: fill
// tests then read back files that were gone, or found their drive half empty.
// This runs before main, while the process has one thread, as unshare requires.
bool EnterOwnMountTable() {
    if (::unshare(CLONE_NEWNS) != 0) return false;
    // Where "/" is shared (systemd), mounts made here would still show outside.
    return ::mount(nullptr, "/", nullptr, MS_REC | MS_SLAVE, nullptr) == 0;
}

[[maybe_unused]] const bool kOwnMountTable = EnterOwnMountTable();

}  // namespace

TestMount::TestMount(Kind kind, uint64_t sizeKiB, const std::string& label,
                     const std::string& imageFolder)
    : imageFolder_(imageFolder) {
    mountPoint_ = dir_.Sub("mnt/");
    if (::mkdir(mountPoint_.c_str(), 0755) != 0) {
        error_ = ErrnoText("mkdir " + mountPoint_);
        return;
    }
    mounted_ = kind == Kind::Tmpfs ? MountTmpfs(sizeKiB) : MountImage(kind, sizeKiB, label);
}

TestMount::TestMount(const std::string& fsType, uint64_t sizeKiB,
                     const std::vector<std::string>& mkfsArgs, const std::string& mountData) {
    mountPoint_ = dir_.Sub("mnt/");
    if (::mkdir(mountPoint_.c_str(), 0755) != 0) {
        error_ = ErrnoText("mkdir " + mountPoint_);
        return;
    }
    mounted_ = MountAnyImage(fsType, sizeKiB, mkfsArgs, mountData);
}

TestMount::~TestMount() {
    Unmount();
}

std::u16string TestMount::WPath() const {
    return WideFromUtf8(mountPoint_);
}

bool TestMount::MountTmpfs(uint64_t sizeKiB) {
    std::string options = "size=" + std::to_string(sizeKiB) + "k,mode=0755";
    if (::mount("kelvane-test", mountPoint_.c_str(), "tmpfs", MS_NOSUID | MS_NODEV,
                options.c_str()) != 0) {
        error_ = ErrnoText("mount tmpfs on " + mountPoint_);
        return false;
    }
    return true;
}

bool TestMount::MountImage(Kind kind, uint64_t sizeKiB, const std::string& label) {
    if (kind == Kind::FatImage) {
        if (MountAnyImage("vfat", sizeKiB, {}, "")) return true;
        // A kernel without vfat: the FUSE driver on the same image.
        if (image_.empty() || !RunQuiet({"fusefat", "-o", "rw+", image_, mountPoint_})) {
            error_ += "; fusefat not there or failed";
            return false;
        }
        error_.clear();
        return true;
    }
    if (kind == Kind::XfsImage) {
        std::vector<std::string> args = {"-q", "-f", "-K"};
        if (!label.empty()) args.insert(args.end(), {"-L", label});
        return MountAnyImage("xfs", sizeKiB, args, "");
    }
    // No lazy initialisation: a background thread writing inode tables would keep
    // the file system busy and change the raw image under a test that reads it.
    // No blocks reserved for root (Ext4Image): what statvfs offers is all there is.
    std::vector<std::string> args = {"-q", "-F"};
    if (kind == Kind::Ext4Image) args.insert(args.end(), {"-m", "0"});
    if (kind == Kind::Ext4Inline) args.insert(args.end(), {"-O", "inline_data"});
    args.insert(args.end(), {"-E", "lazy_itable_init=0,lazy_journal_init=0,nodiscard"});
    if (!label.empty()) args.insert(args.end(), {"-L", label});
    return MountAnyImage("ext4", sizeKiB, args, "");
}

bool TestMount::MountAnyImage(const std::string& fsType, uint64_t sizeKiB,
                              const std::vector<std::string>& mkfsArgs,
                              const std::string& mountData) {
    std::string mkfs;
    if (!FindMkfs(mkfs, fsType)) {
        error_ = "mkfs." + fsType + " not found";
        return false;
    }
    image_ = (imageFolder_.empty() ? dir_.Path() : imageFolder_) + "image." + fsType;
    int fd = ::open(image_.c_str(), O_RDWR | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
    if (fd < 0) {
        error_ = ErrnoText("create " + image_);
        return false;
    }
    bool sized = ::ftruncate(fd, static_cast<off_t>(sizeKiB * 1024)) == 0;
    ::close(fd);
    if (!sized) {
        error_ = ErrnoText("size " + image_);
        return false;
    }
    std::vector<std::string> argv = {mkfs};
    argv.insert(argv.end(), mkfsArgs.begin(), mkfsArgs.end());
    argv.push_back(image_);
    if (!RunQuiet(argv)) {
        error_ = "mkfs." + fsType + " failed on " + image_;
        return false;
    }
    std::string device;
    int loopFd = AttachLoop(device);
    if (loopFd < 0) return false;
    // The device must stay open until the mount holds it: auto-clear would free it
    // the moment the last descriptor closes.
    bool ok = ::mount(device.c_str(), mountPoint_.c_str(), fsType.c_str(), MS_NOSUID | MS_NODEV,
                      mountData.c_str()) == 0;
    if (ok) {
        loopDevice_ = device;
    } else {
        error_ = ErrnoText("mount " + fsType + " " + device + " on " + mountPoint_);
        ::ioctl(loopFd, LOOP_CLR_FD, 0);
    }
    ::close(loopFd);
    return ok;
}

// Finds a free loop device and binds the image to it. The device lets go of the
// image by itself when the file system on it is unmounted (auto-clear).
int TestMount::AttachLoop(std::string& device) {
    int control = ::open("/dev/loop-control", O_RDWR | O_CLOEXEC);
    if (control < 0) {
        error_ = ErrnoText("open /dev/loop-control");
        return -1;
    }
    int image = ::open(image_.c_str(), O_RDWR | O_CLOEXEC);
    if (image < 0) {
        error_ = ErrnoText("open " + image_);
        ::close(control);
        return -1;
    }
    int attached = -1;
    // Other test programs may grab the same free device at the same moment; the
    // loser sees EBUSY and asks again.
    for (int attempt = 0; attempt < 20 && attached < 0; ++attempt) {
        int n = ::ioctl(control, LOOP_CTL_GET_FREE);
        if (n < 0) {
            error_ = ErrnoText("no free loop device");
            break;
        }
        device = "/dev/loop" + std::to_string(n);
        int lfd = ::open(device.c_str(), O_RDWR | O_CLOEXEC);
        if (lfd < 0) {
            error_ = ErrnoText("open " + device);
            break;
        }
        if (::ioctl(lfd, LOOP_SET_FD, image) == 0) {
            loop_info64 info{};
            std::strncpy(reinterpret_cast<char*>(info.lo_file_name), image_.c_str(),
                         LO_NAME_SIZE - 1);
            info.lo_flags = LO_FLAGS_AUTOCLEAR;
            if (::ioctl(lfd, LOOP_SET_STATUS64, &info) == 0) {
                attached = lfd;
                break;
            }
            error_ = ErrnoText("loop status " + device);
            ::ioctl(lfd, LOOP_CLR_FD, 0);
        } else if (errno != EBUSY) {
            error_ = ErrnoText("attach " + device);
            ::close(lfd);
            break;
        }
        ::close(lfd);
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    ::close(image);
    ::close(control);
    return attached;
}

void TestMount::Sync() const {
    int fd = ::open(mountPoint_.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0) return;
    ::syncfs(fd);
    ::close(fd);
}

bool TestMount::Unmount() {
    if (!mounted_) return true;
    Sync();
    bool done = false;
    for (int attempt = 0; attempt < 50 && !done; ++attempt) {
        done = ::umount2(mountPoint_.c_str(), 0) == 0;
        if (!done && errno != EBUSY) break;
        if (!done) std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    // A file system that stays busy is detached so that nothing of it outlives the
    // test; the kernel lets it go once the last user closes it.
    if (!done) done = ::umount2(mountPoint_.c_str(), MNT_DETACH) == 0;
    mounted_ = !done;
    if (done && !loopDevice_.empty()) {
        // Auto-clear releases the device asynchronously; make sure the image holds
        // every block before a caller reads it.
        int fd = ::open(image_.c_str(), O_RDONLY | O_CLOEXEC);
        if (fd >= 0) {
            ::fsync(fd);
            ::close(fd);
        }
    }
    return done;
}
