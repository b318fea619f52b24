#pragma once
// Filler files that an interrupted free-space run left behind (a kill, a power
// cut): deleted only where the run's record proves we made them. A file is
// deleted when, reached through its drive's folder (the same folder the run
// filled), it is still a regular file of this user with the recorded name,
// device, inode and birth time, and carries our mark where the run set one.
// No folder is searched for names.
#include <cstdint>
#include <string>
#include <vector>

#include "engine/FillRecord.h"

struct FillerFile {
    std::string path;
    uint64_t bytes = 0;
    int error = 0;  // 0: deleted; else the errno of the failed unlink
};

struct FillerRecovery {
    RecordTrust trust = RecordTrust::Missing;
    std::vector<FillerFile> deleted;  // deleted, or failed with `error`
    // Recorded files that are no longer the ones the run made (replaced,
    // changed owner or kind), or whose drive is not the one filled: left alone.
    std::vector<std::string> kept;
};

std::string FillRecordPath(const std::string& storageFolder);

// Deletes what a trusted record proves to be ours. Entries that could not be
// deleted stay recorded; the rest are forgotten (the record goes when empty).
// An untrusted record is left as it is and nothing is deleted; one of an older
// version (names only, no proof) is cleared.
FillerRecovery RecoverFillers(const std::string& recordPath);
