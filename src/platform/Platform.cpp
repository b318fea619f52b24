#include "platform/Platform.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <ctime>
#include <string>
#include <vector>

#include "config/TextConv.h"

extern char** environ;

namespace {

// The file execvp would run for `name`: a name holding a "/" as it is, else the
// first executable file of that name in $PATH. Looked up before forking, because
// the child of a threaded process may only make async-signal-safe calls.
std::string FindProgram(const std::string& name) {
    if (name.empty() || name.find('/') != std::string::npos) return name;
    const char* env = std::getenv("PATH");
    const std::string path = env && *env ? env : "/usr/local/bin:/usr/bin:/bin";
    size_t start = 0;
    for (;;) {
        const size_t end = path.find(':', start);
        const size_t length = end == std::string::npos ? path.size() - start : end - start;
        // An empty entry means the current folder, as for the shell.
        const std::string candidate =
            (length == 0 ? std::string(".") : path.substr(start, length)) + "/" + name;
        struct stat st {};
        if (::stat(candidate.c_str(), &st) == 0 && S_ISREG(st.st_mode) &&
            ::access(candidate.c_str(), X_OK) == 0)
            return candidate;
        if (end == std::string::npos) return {};
        start = end + 1;
    }
}

void ReportErrno(int fd) {
    const int err = errno;
    (void)!::write(fd, &err, sizeof err);
}

// Starts a program without a shell (no quoting of the argument can go wrong) and
// without waiting for it to end. A launcher such as xdg-open is often short-lived:
// as our child it would stay a zombie until the program ends. So it is started by
// an intermediate child that ends at once and is reaped here; the launcher itself
// is then adopted and reaped by init. A pipe closed on exec tells whether the
// launcher really started, so failures to start are still reported.
bool Spawn(const std::vector<std::string>& argv) {
    if (argv.empty()) return false;
    const std::string program = FindProgram(argv[0]);
    if (program.empty()) return false;
    std::vector<char*> args;
    for (const auto& a : argv) args.push_back(const_cast<char*>(a.c_str()));
    args.push_back(nullptr);

    int report[2];
    if (::pipe2(report, O_CLOEXEC) != 0) return false;
    const pid_t middle = ::fork();
    if (middle < 0) {
        ::close(report[0]);
        ::close(report[1]);
        return false;
    }
    if (middle == 0) {
        ::close(report[0]);
        const pid_t launcher = ::fork();
        if (launcher == 0) {
            ::execve(program.c_str(), args.data(), environ);
            ReportErrno(report[1]);
            ::_exit(127);
        }
        if (launcher < 0) ReportErrno(report[1]);
        ::_exit(launcher < 0 ? 1 : 0);
    }
    ::close(report[1]);
    int status = 0;
    while (::waitpid(middle, &status, 0) < 0 && errno == EINTR) {
    }
    int err = 0;
    ssize_t n;
    do {
        n = ::read(report[0], &err, sizeof err);
    } while (n < 0 && errno == EINTR);
    ::close(report[0]);
    return n == 0 && WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

}  // namespace

PlatformServices DefaultPlatformServices() {
    PlatformServices s;
    s.shellOpen = [](const std::u16string& target) {
        if (target.empty()) return false;
        return Spawn({"xdg-open", Utf8FromWide(target)});
    };
    s.shutdown = [] { return Spawn({"systemctl", "poweroff"}); };
    s.now = [] { return static_cast<int64_t>(std::time(nullptr)); };
    return s;
}

PlatformServices& Platform() {
    static PlatformServices services = DefaultPlatformServices();
    return services;
}
