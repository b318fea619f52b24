#pragma once
// Which rows of a listing a terminal run keeps: --exclude and --one-file-system.
// A folder that keeps something left out cannot become empty, so its folder row
// is left out too, and so is every folder above it up to the chosen one: the run
// would only report them as not removed.
#include <string>
#include <unordered_set>
#include <vector>

class ChosenRoots;

class RowFilter {
  public:
    enum class Verdict { kKeep, kExcluded, kOtherFileSystem, kHeldFolder };

    RowFilter(const ChosenRoots& roots, std::vector<std::string> globs, bool oneFileSystem)
        : roots_(roots), globs_(std::move(globs)), oneFileSystem_(oneFileSystem) {}

    bool Active() const { return !globs_.empty() || oneFileSystem_; }
    // `path` is the row's full path, `folderRow` whether it is a "FOLDER" row. Rows
    // come in listing order: a folder's row after everything inside it.
    Verdict Look(const std::u16string& path, bool folderRow);

  private:
    bool Excluded(const std::string& path, size_t rootLength) const;
    void HoldFoldersAbove(const std::string& path, size_t rootLength);

    const ChosenRoots& roots_;
    std::vector<std::string> globs_;
    bool oneFileSystem_;
    std::unordered_set<std::string> held_;  // folders ("/a/b/") that keep something
};
