#pragma once
// A path given to this process, named so that another process means the same.
//
// A second start hands its files to the window that is open already, which has
// another working folder, and whose /proc/self is another process. So the start
// names each path itself: absolute, through the folder it actually opened (its
// descriptor's link in /proc/self/fd), never by gluing a name onto whatever
// getcwd gives. getcwd fails in a folder deeper than PATH_MAX or one that was
// removed, and "/" + "notes.txt" is a different file.
#include <string>

struct PathHere {
    std::u16string path;  // absolute; empty when it could not be named
    std::string problem;  // why not, for the user
};

// The last component is kept as given ("link/" names the link), the folders
// above it are opened and named by where they are.
PathHere NamePathHere(const std::u16string& arg);
