#pragma once
// The command line: an optional first switch "-exec" or "-drives", then paths;
// or "-trash" alone. "-exec" may be followed by "--free-space-after".
#include <string>
#include <vector>

struct CommandLineFlags {
    bool exec = false;    // shred the list at once and end afterwards
    bool trash = false;   // "-exec" on the user's trash (exec is set too)
    bool drives = false;  // shred the free space of the given folders and end afterwards
    // "-exec --free-space-after": then the free space of the drives shredded on,
    // for this run only (the stored setting stays as it is).
    bool freeSpaceAfter = false;
    // "-trash --ask" (the desktop's "Shred the trash"): the summary is shown and
    // the run asked for once, whatever "Confirm delete" says; one click in a menu
    // is no decision to destroy the trash.
    bool askFirst = false;
};

// Where the paths of the command line go.
class CommandLineTarget {
  public:
    virtual ~CommandLineTarget() = default;
    // A path for the list (a file or a folder), as given.
    virtual void QueueEntry(const std::u16string& path) = 0;
    virtual void AddDrive(const std::string& rootUtf8) = 0;
};

// `args` is the whole argument vector, the program itself first. Only the first
// real argument can be a switch (exact, case-sensitive). The paths of a file run
// are handed on as given; those that name nothing add no row later, without a word.
CommandLineFlags ProcessCommandLine(const std::vector<std::u16string>& args,
                                    CommandLineTarget& target);

// Whether the last component of `path` (trailing "/" aside) is "." or "..".
bool EndsInDotOrDotDot(const std::u16string& path);

// The first path of a file run ("-exec", "-trash" aside, or a plain start) whose
// last component is "." or ".."; empty when there is none (and for "-drives",
// whose folders only name a drive). Such a command line lists nothing: "shred .."
// from a subfolder would take the folder above, working folder and all.
std::u16string FirstDotOperand(const std::vector<std::u16string>& args);

// The one line that refuses it, in English, for a terminal ("refusing to shred
// '..': name the folder itself").
std::string DotOperandMessage(const std::u16string& path);
