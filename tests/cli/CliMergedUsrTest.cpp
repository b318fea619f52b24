// A merged-/usr system, as Debian, Ubuntu, Fedora and Arch have it: /bin, /sbin,
// /lib and /lib64 are links into /usr, and the loader every program needs is
// reached through /lib64. The system is built in a mount namespace of its own,
// on a tmpfs, with the real /usr bound into it read-only, and kelvane-cli runs
// there under chroot: the real "/" is never the one a run sees.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <sched.h>
#include <sys/mount.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <csignal>
#include <cstring>
#include <string>

#include "support/TempDir.h"

namespace {

// What the script printed and how it ended; `error` when the system could not
// be built (no right to make a mount namespace, say).
struct ChrootResult {
    std::string out, error;
    int status = -1;
};

[[noreturn]] void Fail(int pipeFd, const std::string& what) {
    const std::string line = "SETUP: " + what + ": " + std::strerror(errno) + "\n";
    (void)::write(pipeFd, line.data(), line.size());
    ::_exit(99);
}

void CopyFile(const std::string& from, const std::string& to, int pipeFd) {
    const int in = ::open(from.c_str(), O_RDONLY | O_CLOEXEC);
    const int out = ::open(to.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0755);
    if (in < 0 || out < 0) Fail(pipeFd, "copy " + from);
    char buf[1 << 16];
    ssize_t n;
    while ((n = ::read(in, buf, sizeof buf)) > 0)
        if (::write(out, buf, static_cast<size_t>(n)) != n) Fail(pipeFd, "copy " + to);
    ::close(in);
    ::close(out);
}

// Builds the system at `root` (a tmpfs) in a new mount namespace and runs
// `script` with /bin/sh in it. Runs in a child process: nothing here changes the
// test's own mounts.
ChrootResult RunInMergedUsr(const std::string& root, const std::string& script) {
    ChrootResult result;
    int fds[2];
    if (::pipe(fds) != 0) {
        result.error = "pipe";
        return result;
    }
    const pid_t pid = ::fork();
    if (pid == 0) {
        ::close(fds[0]);
        const int out = fds[1];
        if (::unshare(CLONE_NEWNS) != 0) Fail(out, "unshare");
        if (::mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) != 0)
            Fail(out, "private mounts");
        if (::mount("tmpfs", root.c_str(), "tmpfs", 0, "size=64m,mode=0755") != 0)
            Fail(out, "tmpfs");
        for (const char* d : {"usr", "proc", "tmp", "dev", "home", "home/t", "home/t/config"})
            if (::mkdir((root + "/" + d).c_str(), 0755) != 0) Fail(out, std::string("mkdir ") + d);
        (void)::chmod((root + "/tmp").c_str(), 01777);
        // The real /usr, read-only: even a run that followed a link could not
        // reach anything of this machine.
        if (::mount("/usr", (root + "/usr").c_str(), nullptr, MS_BIND | MS_REC, nullptr) != 0 ||
            ::mount(nullptr, (root + "/usr").c_str(), nullptr,
                    MS_BIND | MS_REMOUNT | MS_RDONLY | MS_REC, nullptr) != 0)
            Fail(out, "bind /usr");
        for (const char* l : {"bin", "sbin", "lib", "lib64"})
            if (::symlink((std::string("usr/") + l).c_str(), (root + "/" + l).c_str()) != 0)
                Fail(out, std::string("link ") + l);
        if (::mount("proc", (root + "/proc").c_str(), "proc", 0, nullptr) != 0) Fail(out, "proc");
        const int null = ::open((root + "/dev/null").c_str(), O_WRONLY | O_CREAT, 0666);
        if (null < 0) Fail(out, "dev/null");
        ::close(null);
        if (::mount("/dev/null", (root + "/dev/null").c_str(), nullptr, MS_BIND, nullptr) != 0)
            Fail(out, "bind /dev/null");
        CopyFile(KELVANE_CLI_EXE, root + "/kelvane-cli", out);
        if (::chroot(root.c_str()) != 0 || ::chdir("/") != 0) Fail(out, "chroot");
        ::dup2(out, 1);
        ::dup2(out, 2);
        const int in = ::open("/dev/null", O_RDONLY);
        ::dup2(in, 0);
        const char* argv[] = {"/bin/sh", "-c", script.c_str(), nullptr};
        const char* envp[] = {"PATH=/usr/bin:/bin",
                              "HOME=/home/t",
                              "XDG_CONFIG_HOME=/home/t/config",
                              "TMPDIR=/tmp",
                              "ASAN_OPTIONS=detect_leaks=0",
                              nullptr};
        ::execve(argv[0], const_cast<char* const*>(argv), const_cast<char* const*>(envp));
        Fail(out, "exec /bin/sh");
    }
    ::close(fds[1]);
    const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(120);
    char buf[4096];
    for (;;) {
        pollfd p{fds[0], POLLIN, 0};
        if (std::chrono::steady_clock::now() > end) break;
        if (::poll(&p, 1, 200) <= 0) continue;
        const ssize_t n = ::read(fds[0], buf, sizeof buf);
        if (n <= 0) break;
        result.out.append(buf, static_cast<size_t>(n));
    }
    ::close(fds[0]);
    int status = 0;
    if (::waitpid(pid, &status, WNOHANG) == 0) {
        ::kill(pid, SIGKILL);
        result.out += "[killed]";
    }
    ::waitpid(pid, &status, 0);
    result.status = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
    const size_t setup = result.out.find("SETUP: ");
    if (setup != std::string::npos) result.error = result.out.substr(setup);
    return result;
}

}  // namespace

TEST(CliMergedUsr, LinksAtTheTopAndLinksToSystemPlacesAreSystemPlaces) {
    if (::geteuid() != 0) GTEST_SKIP() << "a mount namespace and chroot need root";
    TempDir tmp;
    tmp.MakeDir("root");
    // Each command's status follows its output; then which links are still there,
    // and whether a program still starts through /lib64.
    const std::string script =
        "/kelvane-cli check /lib64 /bin/; echo \"check=$?\"\n"
        "/kelvane-cli shred -y /lib64 /bin/; echo \"shred=$?\"\n"
        "D=; /kelvane-cli shred -y \"$D/sbin\"; echo \"empty=$?\"\n"
        "/bin/ln -s /usr /home/t/u; /bin/ln -s / /home/t/top\n"
        "/kelvane-cli shred -y /home/t/u /home/t/top/; echo \"followed=$?\"\n"
        "/bin/ln -s /tmp/x /home/t/plain; /kelvane-cli shred -y /home/t/plain; echo \"plain=$?\"\n"
        "for l in /lib64 /bin /sbin /home/t/u /home/t/top /home/t/plain; do\n"
        "  [ -L \"$l\" ] && echo \"kept $l\"; done\n"
        "/bin/true && echo \"programs still start\"\n";
    const ChrootResult r = RunInMergedUsr(tmp.Sub("root"), script);
    if (!r.error.empty()) GTEST_SKIP() << "no merged-/usr system to test in: " << r.error;
    const std::string& out = r.out;

    EXPECT_NE(out.find("/lib64 [NOT SHREDDED: a system place, never shredded]"), std::string::npos)
        << out;
    EXPECT_NE(out.find("/bin [NOT SHREDDED: a system place, never shredded]"), std::string::npos)
        << out;
    EXPECT_EQ(out.find("removed only"), std::string::npos) << out;
    for (const char* l : {"/lib64", "/bin", "/sbin", "/home/t/u", "/home/t/top"})
        EXPECT_NE(out.find(std::string("kept ") + l + "\n"), std::string::npos) << l << "\n" << out;
    EXPECT_NE(out.find("check=5"), std::string::npos) << out;
    EXPECT_NE(out.find("shred=1"), std::string::npos) << out;
    EXPECT_NE(out.find("empty=1"), std::string::npos) << out;
    EXPECT_NE(out.find("followed=1"), std::string::npos) << out;
    // A link to an ordinary place is removed as a link, as ever.
    EXPECT_NE(out.find("plain=0"), std::string::npos) << out;
    EXPECT_EQ(out.find("kept /home/t/plain"), std::string::npos) << out;
    EXPECT_NE(out.find("programs still start"), std::string::npos) << out;
}
