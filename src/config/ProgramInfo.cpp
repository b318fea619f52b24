#include "config/ProgramInfo.h"

#include <cstring>

namespace {
constexpr const char* kHelp = R"(Usage: kelvane [PATH...]
       kelvane -exec [--free-space-after] PATH...
       kelvane -drives MOUNTPOINT...
       kelvane -trash [--ask]
       kelvane --help | --version

Kelvane securely deletes files: it overwrites each file in place, scrambles its
name and size, removes it, and removes the folders that became empty. It can also
overwrite the free space of mounted file systems.

  PATH...              put these files and folders in the list of the window (of
                       the window already open for this user and display)
  -exec PATH...        shred these files and folders at once, then end
  -exec --free-space-after PATH...  then also overwrite the free space of the
                       drives they were on, where earlier versions of them may
                       remain (this run only)
  -drives MOUNTPOINT...  overwrite the free space of these file systems, then end
  -trash [--ask]       shred every item of your trash, then end; with --ask (the
                       desktop's "Shred the trash") the summary is shown and the
                       run asked for once, whatever "Confirm delete" says
  -h, --help           show this help and end
  --version            show the version and end

A switch is recognised only as the first argument. Without a display, -exec and
-drives run on the terminal: the status line goes to standard output, the question
before each file (when "Confirm delete" is on) is asked on the terminal, and
without one such a run does not start; SIGINT or SIGTERM stops after the files
under way. The options of a run are those stored by the window; for a run with options
of its own, and for scripts, use kelvane-cli(1). A path ending in '.' or '..' is
refused (nothing listed, nothing handed to an open window).

Exit status: 0 done, 1 partly done, 2 interrupted, 3 nothing to shred, 4 not
started (no terminal to ask on, a '.' or '..' path, a -report path taken already).
)";
}  // namespace

bool AnswerInfoSwitch(int argc, char** argv, std::FILE* out) {
    if (argc < 2 || !argv[1]) return false;
    const char* a = argv[1];
    if (std::strcmp(a, "--help") == 0 || std::strcmp(a, "-h") == 0) {
        std::fputs(kHelp, out);
        return true;
    }
    if (std::strcmp(a, "--version") == 0) {
        std::fprintf(out, "kelvane %s\n", KELVANE_VERSION);
        return true;
    }
    return false;
}
