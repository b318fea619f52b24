#pragma once
// How many log archives and reports are kept. Each one Kelvane makes is noted in
// a record in the storage folder (its kind, its group, when it was made, its
// device, inode, size and modification time, and its path); only a file whose
// record still matches what is on disk is ever deleted, and only to keep within
// a limit the user set. A file that merely has the name of an archive or a report
// is never touched, nor one made before the record was kept.
#include <cstdint>
#include <string>
#include <vector>

struct KeepLimits {
    int count = 0;  // at most this many (0: no limit)
    int days = 0;   // none older than this many days (0: no limit)
    bool Any() const { return count > 0 || days > 0; }
};

class MadeFiles {
  public:
    static constexpr const char* kRecordName = "KelvaneMadeFiles.txt";

    // `storageFolder` ends with a separator; empty: nothing is recorded or deleted.
    explicit MadeFiles(std::string storageFolder);

    // Notes `path` (just made, complete) as made at `now`, under `kind` ("log",
    // "report") and `group` (the files of one report: its JSON's path). False
    // when it could not be noted: such a file is then never deleted.
    bool Note(const std::string& kind, const std::string& group, const std::string& path,
              int64_t now) const;

    // Deletes the oldest groups of `kind` in `folder` (ending with "/") beyond
    // `limits`, counting by group, and forgets the records whose file is no longer
    // the one made. Returns the paths deleted.
    std::vector<std::string> Prune(const std::string& kind, const std::string& folder,
                                   KeepLimits limits, int64_t now) const;

  private:
    std::string recordPath_;
};
