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
