#include "ScratchMount.h"

#include <fcntl.h>
#include <spawn.h>
#include <sys/mount.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <vector>

extern char** environ;

int RunProgram(const std::string& program, const std::string& a1, const std::string& a2,
               const std::string& a3, const std::string& a4, const std::string& a5) {
    std::vector<std::string> args{program};
    for (const std::string* a : {&a1, &a2, &a3, &a4, &a5})
        if (!a->empty()) args.push_back(*a);
    std::vector<char*> argv;
    for (auto& a : args) argv.push_back(a.data());
    argv.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
    posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
    pid_t pid = 0;
    int rc = posix_spawnp(&pid, program.c_str(), &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    if (rc != 0) return -1;
    int status = 0;
    while (waitpid(pid, &status, 0) < 0) {
        if (errno != EINTR) return -1;
    }
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

ScratchMount ScratchMount::Tmpfs(const std::string& folder, uint64_t sizeBytes) {
    ScratchMount m;
    m.folder_ = folder;
    ::mkdir(folder.c_str(), 0700);
    const std::string opts = "size=" + std::to_string(sizeBytes) + ",mode=0700";
    if (::mount("kelvane-test", folder.c_str(), "tmpfs", MS_NOSUID | MS_NODEV, opts.c_str()) != 0)
        m.why_ = std::string("mounting a tmpfs is not allowed here: ") + std::strerror(errno);
    else
        m.mounted_ = true;
    return m;
}

ScratchMount ScratchMount::LoopExt4(const std::string& image, const std::string& folder,
                                    int sizeMiB) {
    ScratchMount m;
    m.folder_ = folder;
    ::mkdir(folder.c_str(), 0700);
    if (::truncate(image.c_str(), 0) != 0) {
        int fd = ::open(image.c_str(), O_CREAT | O_WRONLY, 0600);
        if (fd >= 0) ::close(fd);
    }
    if (::truncate(image.c_str(), static_cast<off_t>(sizeMiB) << 20) != 0) {
        m.why_ = "cannot create the image file";
        return m;
    }
    // No journal: every data block of the image is then the file system's own.
    if (RunProgram("mkfs.ext4", "-q", "-F", "-O", "^has_journal", image) != 0) {
        m.why_ = "mkfs.ext4 is missing or failed";
        return m;
    }
    if (RunProgram("mount", "-o", "loop", image, folder) != 0) {
        m.why_ = "loop mounts are not allowed here";
        return m;
    }
    m.mounted_ = true;
    return m;
}

ScratchMount::ScratchMount(ScratchMount&& other) noexcept
    : folder_(std::move(other.folder_)), why_(std::move(other.why_)), mounted_(other.mounted_) {
    other.mounted_ = false;
}

bool ScratchMount::Unmount() {
    if (!mounted_) return true;
    for (int attempt = 0; attempt < 50; ++attempt) {
        if (::umount2(folder_.c_str(), 0) == 0) {
            mounted_ = false;
            return true;
        }
        if (errno != EBUSY) break;
        ::usleep(100000);
    }
    // Never leave a mount behind in a folder that is about to be removed.
    if (::umount2(folder_.c_str(), MNT_DETACH) == 0) mounted_ = false;
    return false;
}

ScratchMount::~ScratchMount() {
    Unmount();
}
