// kelvane-cli: the runs of Kelvane from a terminal, without Qt.
#include <csignal>
#include <string>
#include <vector>

#include "cli/CliRun.h"

int main(int argc, char** argv) {
    // A file-size limit (ulimit -f) must fail the write that exceeds it, so that
    // the run can say so, instead of ending the program.
    std::signal(SIGXFSZ, SIG_IGN);
    // A reader of the output that goes away (`| head`) must not end the program in
    // the middle of a file: the writes fail and the run goes on.
    std::signal(SIGPIPE, SIG_IGN);
    std::vector<std::string> args(argv, argv + argc);
    return RunCli(args);
}
