#pragma once
// Filler files that an interrupted free-space run left behind (a kill, a power
// cut): found by name, owner and kind, and deleted. A run records the folders
// it fills in a file of the storage folder while it goes on, so that its files
// are found again even after the name setting changed.
#include <cstdint>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

// `fileName` is `tempName` followed by four or more digits and nothing else.
bool IsFillerName(std::string_view fileName, std::string_view tempName);

struct FillerFile {
    std::string path;
    uint64_t bytes = 0;
    int error = 0;  // 0: deleted; else the errno of the failed unlink
};

// Deletes the filler files directly in `folder`: regular files (never links or
// anything else) owned by this process's user, named IsFillerName.
std::vector<FillerFile> RemoveFillerFiles(const std::string& folder, const std::string& tempName);

// The record of runs in progress: pairs of folder and temporary file name.
std::string FillRecordPath(const std::string& storageFolder);
bool AddFillRecord(const std::string& recordPath, const std::string& folder,
                   const std::string& tempName);
std::vector<std::pair<std::string, std::string>> ReadFillRecord(const std::string& recordPath);
void ClearFillRecord(const std::string& recordPath);

// At start-up: the filler files of every recorded run, then those named
// `tempName` in each of `folders` (empty `tempName`: only the recorded runs).
// The record is cleared when every file found could be deleted.
std::vector<FillerFile> RecoverFillers(const std::string& recordPath, const std::string& tempName,
                                       const std::vector<std::string>& folders);
