#pragma once
// The built kelvane-cli as a separate process, as a script starts it: standard
// input from /dev/null (no terminal) or a file or pipe given, its configuration under a folder of
// the test, standard output and standard error kept apart.
#include <sys/types.h>

#include <sstream>
#include <string>
#include <vector>

struct CliResult {
    int exitCode = -1;
    std::string out, err;
    long peakKib = 0;  // the program's peak resident memory
};

class CliProcess {
  public:
    // The program runs in the C locale (English) unless `env` names the locale
    // variables ("LANG=de_DE.UTF-8"); `env` is added to the environment.
    // `asUser`: not 0, the program runs as that user and group (through setpriv).
    CliProcess(const std::string& configHome, const std::vector<std::string>& args,
               const std::string& input = "/dev/null", const std::vector<std::string>& env = {},
               uid_t asUser = 0);
    ~CliProcess();
    CliProcess(const CliProcess&) = delete;
    CliProcess& operator=(const CliProcess&) = delete;

    // Reads until standard output holds `text` (true), the program ends or 60 s pass.
    bool WaitForOutput(const std::string& text);
    void Signal(int sig);
    // Reads to the end and reaps the program (killed after two minutes).
    CliResult Finish();

  private:
    bool ReadSome(int ms);
    pid_t pid_ = -1;
    int out_ = -1, err_ = -1;
    bool reaped_ = false;
    CliResult result_;
};

CliResult RunCli(const std::string& configHome, const std::vector<std::string>& args,
                 const std::string& input = "/dev/null", const std::vector<std::string>& env = {});
// The same as the ordinary user `uid` (group `uid` too, no other groups).
CliResult RunCliAs(uid_t uid, const std::string& configHome, const std::vector<std::string>& args);

// The lines of a program's output, empty ones left out.
inline std::vector<std::string> Lines(const std::string& text) {
    std::vector<std::string> out;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);)
        if (!line.empty()) out.push_back(line);
    return out;
}
