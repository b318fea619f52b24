#include "CliProcess.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <string>

extern char** environ;

CliProcess::CliProcess(const std::string& configHome, const std::vector<std::string>& args,
                       const std::string& input, const std::vector<std::string>& extraEnv,
                       uid_t asUser) {
    std::vector<std::string> env;
    for (char** e = environ; *e; ++e) {
        const std::string v = *e;
        // ASAN_OPTIONS: ours below must be the one the program reads; the locale
        // is the test's to choose.
        if (v.rfind("XDG_CONFIG_HOME=", 0) == 0 || v.rfind("ASAN_OPTIONS=", 0) == 0 ||
            v.rfind("LANG=", 0) == 0 || v.rfind("LC_", 0) == 0 || v.rfind("LANGUAGE=", 0) == 0)
            continue;
        env.push_back(v);
    }
    env.push_back("XDG_CONFIG_HOME=" + configHome);
    env.push_back("ASAN_OPTIONS=detect_leaks=0");
    bool locale = false;
    for (const std::string& v : extraEnv) {
        env.push_back(v);
        locale = locale || v.rfind("LANG=", 0) == 0 || v.rfind("LC_", 0) == 0;
    }
    if (!locale) env.push_back("LC_ALL=C");
    std::vector<std::string> argv;
    if (asUser != 0)
        argv = {"/usr/bin/setpriv", "--reuid=" + std::to_string(asUser),
                "--regid=" + std::to_string(asUser), "--clear-groups"};
    argv.push_back(KELVANE_CLI_EXE);
    argv.insert(argv.end(), args.begin(), args.end());

    int o[2], e[2];
    if (::pipe(o) != 0 || ::pipe(e) != 0) return;
    posix_spawn_file_actions_t fa;
    posix_spawn_file_actions_init(&fa);
    posix_spawn_file_actions_addopen(&fa, 0, input.c_str(), O_RDONLY, 0);
    posix_spawn_file_actions_adddup2(&fa, o[1], 1);
    posix_spawn_file_actions_adddup2(&fa, e[1], 2);
    posix_spawn_file_actions_addclose(&fa, o[0]);
    posix_spawn_file_actions_addclose(&fa, e[0]);
    std::vector<char*> a, en;
    for (auto& s : argv) a.push_back(s.data());
    a.push_back(nullptr);
    for (auto& s : env) en.push_back(s.data());
    en.push_back(nullptr);
    if (posix_spawn(&pid_, a[0], &fa, nullptr, a.data(), en.data()) != 0) pid_ = -1;
    posix_spawn_file_actions_destroy(&fa);
    ::close(o[1]);
    ::close(e[1]);
    out_ = o[0];
    err_ = e[0];
}

CliProcess::~CliProcess() {
    if (out_ >= 0) ::close(out_);
    if (err_ >= 0) ::close(err_);
    if (pid_ > 0 && !reaped_) {
        ::kill(pid_, SIGKILL);
        ::waitpid(pid_, nullptr, 0);
    }
}

bool CliProcess::ReadSome(int ms) {
    pollfd p[2] = {{out_, POLLIN, 0}, {err_, POLLIN, 0}};
    if (out_ < 0 && err_ < 0) return false;
    if (::poll(p, 2, ms) <= 0) return true;
    int* fds[2] = {&out_, &err_};
    std::string* into[2] = {&result_.out, &result_.err};
    for (int k = 0; k < 2; ++k) {
        if (*fds[k] < 0 || !(p[k].revents & (POLLIN | POLLHUP))) continue;
        char buf[4096];
        const ssize_t n = ::read(*fds[k], buf, sizeof buf);
        if (n <= 0) {
            ::close(*fds[k]);
            *fds[k] = -1;
        } else {
            into[k]->append(buf, static_cast<size_t>(n));
        }
    }
    return out_ >= 0 || err_ >= 0;
}

bool CliProcess::WaitForOutput(const std::string& text) {
    const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(60);
    while (result_.out.find(text) == std::string::npos) {
        if (std::chrono::steady_clock::now() > end || !ReadSome(200)) return false;
    }
    return true;
}

void CliProcess::Signal(int sig) {
    if (pid_ > 0) ::kill(pid_, sig);
}

CliResult CliProcess::Finish() {
    const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(120);
    while (std::chrono::steady_clock::now() < end && ReadSome(200)) {
    }
    if (pid_ <= 0) return result_;
    int status = 0;
    // The output may end a moment before the program does.
    pid_t r = 0;
    rusage usage{};
    while ((r = ::wait4(pid_, &status, WNOHANG, &usage)) == 0 &&
           std::chrono::steady_clock::now() < end)
        ::usleep(10000);
    if (r == 0) {
        ::kill(pid_, SIGKILL);  // it hangs: the test fails instead of hanging too
        result_.err += "\n[killed: still running after two minutes]";
        r = ::waitpid(pid_, &status, 0);
    }
    if (r == pid_) {
        reaped_ = true;
        result_.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
        result_.peakKib = usage.ru_maxrss;
    }
    return result_;
}

CliResult RunCli(const std::string& configHome, const std::vector<std::string>& args,
                 const std::string& input, const std::vector<std::string>& env) {
    CliProcess p(configHome, args, input, env);
    return p.Finish();
}

CliResult RunCliAs(uid_t uid, const std::string& configHome, const std::vector<std::string>& args) {
    CliProcess p(configHome, args, "/dev/null", {}, uid);
    return p.Finish();
}
