#include "platform/Volumes.h"

#include <dirent.h>
#include <fcntl.h>
#include <linux/fs.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cctype>
#include <cerrno>
#include <climits>
#include <cstdio>
#include <fstream>
#include <mutex>
#include <set>
#include <sstream>

#include "config/TextConv.h"

namespace {

bool IsExistingFolder(const std::string& path) {
    struct stat st {};
    return !path.empty() && ::stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

}  // namespace

std::string DecodeMountField(const std::string& field) {
    std::string out;
    for (size_t i = 0; i < field.size(); ++i) {
        if (field[i] == '\\' && i + 3 < field.size()) {
            const char a = field[i + 1], b = field[i + 2], c = field[i + 3];
            if (a >= '0' && a <= '3' && b >= '0' && b <= '7' && c >= '0' && c <= '7') {
                out.push_back(static_cast<char>((a - '0') * 64 + (b - '0') * 8 + (c - '0')));
                i += 3;
                continue;
            }
        }
        out.push_back(field[i]);
    }
    return out;
}

namespace {

// udev names links in /dev/disk/by-label with \xHH escapes for unsafe bytes.
std::string DecodeUdevName(const std::string& name) {
    std::string out;
    for (size_t i = 0; i < name.size(); ++i) {
        if (name[i] == '\\' && i + 3 < name.size() && name[i + 1] == 'x' &&
            std::isxdigit(static_cast<unsigned char>(name[i + 2])) &&
            std::isxdigit(static_cast<unsigned char>(name[i + 3]))) {
            out.push_back(static_cast<char>(std::stoi(name.substr(i + 2, 2), nullptr, 16)));
            i += 3;
            continue;
        }
        out.push_back(name[i]);
    }
    return out;
}

// The mount entry that holds `path`: the longest mount point above it, the last
// one mounted when several share it (the later mount hides the earlier).
bool FindMountOf(const std::string& path, MountEntry& found) {
    char resolved[PATH_MAX];
    if (!::realpath(path.c_str(), resolved)) return false;
    const std::string real = resolved;
    size_t best = 0;
    bool any = false;
    for (const auto& e : ReadMountTable()) {
        const std::string& mp = e.mountPoint;
        bool above = mp == "/" || real == mp ||
                     (real.size() > mp.size() && real.compare(0, mp.size(), mp) == 0 &&
                      real[mp.size()] == '/');
        if (above && (!any || mp.size() >= best)) {
            best = mp.size();
            found = e;
            any = true;
        }
    }
    return any;
}

std::string LabelFromByLabelLinks(const std::string& root) {
    struct stat rootStat {};
    if (::stat(root.c_str(), &rootStat) != 0) return {};
    DIR* dir = ::opendir("/dev/disk/by-label");
    if (!dir) return {};
    std::string label;
    while (const dirent* e = ::readdir(dir)) {
        std::string name = e->d_name;
        if (name == "." || name == "..") continue;
        struct stat dev {};
        std::string link = "/dev/disk/by-label/" + name;
        if (::stat(link.c_str(), &dev) == 0 && S_ISBLK(dev.st_mode) &&
            dev.st_rdev == rootStat.st_dev) {
            label = DecodeUdevName(name);
            break;
        }
    }
    ::closedir(dir);
    return label;
}

// Creates a new empty file named `name` in `folder`, closes and deletes it. Only
// a file this call created is ever removed: O_EXCL leaves a file, link, FIFO or
// device already at that name alone, and the probe then tries a few other names.
int ProbeFile(const std::string& folder, const std::string& name, int access) {
    int err = EEXIST;
    for (int attempt = 0; attempt < 8 && err == EEXIST; ++attempt) {
        const std::string path =
            folder + name + (attempt == 0 ? std::string() : "." + std::to_string(attempt));
        int fd = ::open(path.c_str(), access | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600);
        if (fd < 0) {
            err = errno;
            continue;
        }
        ::close(fd);
        ::unlink(path.c_str());
        return 0;
    }
    return err;
}

std::mutex& DriveListMutex() {
    static std::mutex m;
    return m;
}

std::function<std::vector<std::u16string>()>& DriveListSource() {
    static std::function<std::vector<std::u16string>()> source;
    return source;
}

}  // namespace

DriveSpace QueryDriveSpace(const std::u16string& root) {
    DriveSpace space;
    const std::string path = Utf8FromWide(root);
    if (!IsExistingFolder(path)) return space;
    struct statvfs vfs {};
    if (::statvfs(path.c_str(), &vfs) != 0) return space;
    const uint64_t unit = vfs.f_frsize ? vfs.f_frsize : vfs.f_bsize;
    space.ok = true;
    space.freeToCaller = static_cast<uint64_t>(vfs.f_bavail) * unit;
    space.total = static_cast<uint64_t>(vfs.f_blocks) * unit;
    space.totalFree = static_cast<uint64_t>(vfs.f_bfree) * unit;
    space.blockSize = vfs.f_bsize ? static_cast<uint64_t>(vfs.f_bsize) : unit;
    return space;
}

std::u16string QueryVolumeLabel(const std::u16string& root) {
    const std::string path = Utf8FromWide(root);
    if (!IsExistingFolder(path)) return {};
    int fd = ::open(path.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd >= 0) {
        std::array<char, FSLABEL_MAX + 1> label{};
        int rc = ::ioctl(fd, FS_IOC_GETFSLABEL, label.data());
        ::close(fd);
        if (rc == 0) {
            label.back() = '\0';
            return WideFromUtf8(label.data());
        }
    }
    // File systems without the label request may still be listed by udev.
    return WideFromUtf8(LabelFromByLabelLinks(path));
}

DriveType QueryDriveType(const std::u16string& root) {
    const std::string path = Utf8FromWide(root);
    if (!IsExistingFolder(path)) return DriveType::NoRoot;
    MountEntry entry;
    bool known = FindMountOf(path, entry);
    struct statvfs vfs {};
    bool readOnly = (::statvfs(path.c_str(), &vfs) == 0 && (vfs.f_flag & ST_RDONLY)) ||
                    (known && entry.readOnly);
    if (readOnly || (known && (entry.fsType == "iso9660" || entry.fsType == "udf")))
        return DriveType::CdRom;
    if (!known) return DriveType::Fixed;
    static const std::set<std::string> network = {"nfs",   "nfs4",       "cifs", "smb3",
                                                  "smbfs", "fuse.sshfs", "9p",   "afs"};
    if (network.count(entry.fsType)) return DriveType::Network;
    if (entry.fsType == "tmpfs" || entry.fsType == "ramfs") return DriveType::RamDisk;
    return DriveType::Fixed;
}

int ProbeCreateFile(const std::u16string& root, const std::u16string& tempName) {
    return ProbeFile(Utf8FromWide(root), Utf8FromWide(tempName), O_WRONLY);
}

bool ProbeWritableForRun(const std::u16string& root, const std::u16string& tempName) {
    return ProbeCreateFile(root, tempName) == 0;
}

bool ProbeWritableForDialog(const std::u16string& root) {
    return ProbeFile(Utf8FromWide(root), Utf8FromWide(kDialogProbeName), O_RDWR) == 0;
}

std::vector<MountEntry> ParseMountTable(const std::string& text) {
    std::vector<MountEntry> entries;
    std::istringstream lines(text);
    std::string line;
    while (std::getline(lines, line)) {
        std::istringstream fields(line);
        std::string source, mountPoint, fsType, options;
        if (!(fields >> source >> mountPoint >> fsType >> options)) continue;
        MountEntry e;
        e.source = DecodeMountField(source);
        e.mountPoint = DecodeMountField(mountPoint);
        if (e.mountPoint.size() > 1 && e.mountPoint.back() == '/') e.mountPoint.pop_back();
        e.fsType = fsType;
        std::istringstream opts(options);
        std::string opt;
        while (std::getline(opts, opt, ','))
            if (opt == "ro") e.readOnly = true;
        entries.push_back(std::move(e));
    }
    return entries;
}

std::vector<MountEntry> ReadMountTable() {
    std::ifstream f("/proc/self/mounts");
    std::ostringstream ss;
    ss << f.rdbuf();
    return ParseMountTable(ss.str());
}

bool IsPseudoFileSystem(const std::string& fsType) {
    static const std::set<std::string> pseudo = {
        "proc",        "sysfs",       "cgroup",   "cgroup2",    "devpts",
        "devtmpfs",    "mqueue",      "debugfs",  "tracefs",    "securityfs",
        "pstore",      "bpf",         "configfs", "fusectl",    "hugetlbfs",
        "autofs",      "binfmt_misc", "efivarfs", "rpc_pipefs", "nsfs",
        "selinuxfs",   "tmpfs",       "ramfs",    "nfsd",       "fuse.gvfsd-fuse",
        "fuse.portal", "rootfs",      "none"};
    return pseudo.count(fsType) != 0;
}

std::vector<std::u16string> MountedDrives() {
    std::vector<std::u16string> drives;
    std::set<std::string> seen;
    for (const auto& e : ReadMountTable()) {
        if (IsPseudoFileSystem(e.fsType) || e.mountPoint.empty() || e.mountPoint[0] != '/')
            continue;
        std::string root = e.mountPoint == "/" ? "/" : e.mountPoint + "/";
        if (!seen.insert(root).second) continue;
        drives.push_back(WideFromUtf8(root));
    }
    return drives;
}

std::vector<std::u16string> ListDrives() {
    std::function<std::vector<std::u16string>()> source;
    {
        std::lock_guard<std::mutex> lock(DriveListMutex());
        source = DriveListSource();
    }
    return source ? source() : MountedDrives();
}

ScopedDriveList::ScopedDriveList(std::vector<std::u16string> drives) {
    std::lock_guard<std::mutex> lock(DriveListMutex());
    saved_ = DriveListSource();
    DriveListSource() = [drives = std::move(drives)] { return drives; };
}

ScopedDriveList::~ScopedDriveList() {
    std::lock_guard<std::mutex> lock(DriveListMutex());
    DriveListSource() = saved_;
}
