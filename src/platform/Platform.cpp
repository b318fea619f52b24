#include "platform/Platform.h"

#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <ctime>
#include <vector>

#include "config/TextConv.h"

extern char** environ;

namespace {

// Starts a program without a shell (no quoting of the argument can go wrong) and
// does not wait for it; a double fork would hide failures to start, so we reap it
// in a detached way by letting init adopt nothing: posix_spawn and a non-blocking
// wait are enough for a short-lived launcher such as xdg-open.
bool Spawn(const std::vector<std::string>& argv) {
    std::vector<char*> args;
    for (const auto& a : argv) args.push_back(const_cast<char*>(a.c_str()));
    args.push_back(nullptr);
    pid_t pid = 0;
    if (posix_spawnp(&pid, args[0], nullptr, nullptr, args.data(), environ) != 0) return false;
    int status = 0;
    (void)waitpid(pid, &status, WNOHANG);
    return true;
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
