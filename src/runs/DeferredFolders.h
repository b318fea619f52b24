#pragma once
// The folders a file run could not remove when it met them, tried again at its
// end, and how a folder row's folder stands now.
#include <cstddef>
#include <string>
#include <unordered_map>
#include <vector>

#include "platform/ConfinedPath.h"

class FileOps;

// The folders that could not be removed yet, each once, in the order met, with
// the root each is confined to. A folder that its own row found gone leaves the
// list and its parent takes its place (the retry climbs from there, as it would
// have from the folder): on a run of a large tree the list keeps only what still
// waits, not every folder met.
class DeferredFolders {
  public:
    // `given`: a folder row's folder, not merely the one holding a file.
    void Add(const std::u16string& folder, const fsys::Root& root, bool given);
    void Gone(const std::u16string& folder, const fsys::Root& root);
    void RemoveAll(FileOps& ops) const;

  private:
    struct Waiting {
        std::u16string folder;  // empty: forgotten
        fsys::Root root;
        bool given = false;
    };
    void Compact();
    std::vector<Waiting> waiting_;
    std::unordered_map<std::u16string, size_t> index_;
};

enum class FolderNow { kGone, kThere, kChanged };

// A folder row's folder as it is now. One whose path leads through a link, or
// that turned into another kind of entry, is not the folder that was listed.
FolderNow LookAtFolder(const fsys::Root& root, const std::u16string& path);
