#pragma once
// The command line: an optional first switch "-exec" or "-drives", then paths.
#include <string>
#include <vector>

struct CommandLineFlags {
    bool exec = false;    // shred the list at once and end afterwards
    bool drives = false;  // shred the free space of the given folders and end afterwards
};

// Where the paths of the command line go.
class CommandLineTarget {
  public:
    virtual ~CommandLineTarget() = default;
    virtual void AddFileRow(const std::u16string& path) = 0;
    virtual void QueueFolder(const std::u16string& path) = 0;
    virtual void AddDrive(const std::string& rootUtf8) = 0;
};

// `args` is the whole argument vector, the program itself first. Only the first
// real argument can be a switch (exact, case-sensitive). Paths that name nothing
// are skipped without a word.
CommandLineFlags ProcessCommandLine(const std::vector<std::u16string>& args,
                                    CommandLineTarget& target);
