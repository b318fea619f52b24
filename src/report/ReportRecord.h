#pragma once
// The plain record of one run that a report is made from: what was asked, what
// each entry and drive became, and the facts known about where its bytes lay.
// Filled by the runs as they go (RunReport.h), read by the JSON and PDF writers.
#include <cstdint>
#include <map>
#include <memory>
#include <string>
#include <vector>

class ReportSpool;

struct ReportDevice {
    std::string name;  // "sda", "nvme0n1"
    std::string model, serial;
    std::string medium;  // "rotational", "flash", "memory" or "unknown"
};

// Where an entry's or a drive's bytes lie.
struct ReportPlace {
    std::string fsType, mountPoint, device;  // device: the mount's source
    std::vector<ReportDevice> devices;
    bool encrypted = false;
};

struct ReportEntry {
    std::string path;  // UTF-8, printable (escapes as in the log)
    std::string kind;  // "file", "folder", "link", "special", "missing"
    int64_t size = -1;
    uint64_t device = 0, inode = 0;
    uint64_t links = 0;  // hard-link count before the run (0: unknown)
    ReportPlace place;
    bool verdictKnown = false;
    bool inPlace = false;
    std::vector<std::string> reasons;  // "copy-on-write", "flash", ...
    // "erased", "erased-with-exceptions" or "not-erased".
    std::string result = "not-erased";
    std::string error;  // what went wrong, or the exceptions, as the log says it
    // "passed", "failed", "not-verifiable", "not-checked" (verification off) or
    // "not-run" (the entry was not overwritten).
    std::string verification = "not-checked";
    std::string verificationNote;
};

struct ReportDrive {
    std::string mountPoint;
    ReportPlace place;
    std::string result = "not-erased";
    std::string error;
    uint64_t freeBytes = 0, bytesWritten = 0;
    uint32_t longNames = 0, fillerFilesLeft = 0;
    uint32_t smallFiles = 0;
    uint64_t smallBytes = 0;
    bool reserveReached = true;
    uint64_t reserveNotReached = 0;
    // Every kind of free space the run knew of and did not write, with its size:
    // "root-reserve", "xfs-free-lists", "btrfs-unallocated", "still-free".
    std::vector<std::pair<std::string, uint64_t>> notReached;
    uint64_t deviceId = 0;          // st_dev of its root (not written out)
    uint64_t reserveWritten = 0;    // by kelvane-helper, for a run that is not root
    std::string reserveWhy;         // why the helper did not reach it, when asked
    std::string trim = "not-done";  // "done" or "not-done"
    bool onePass = false;
};

struct ReportMethod {
    int passes = 0;
    std::string pattern = "random";  // "random", "fixed-byte" or "pattern-file"
    int fixedByte = -1;
    std::string patternSha256;
    bool namesScrambled = false;
    bool sizeChanged = false;
    bool verification = false;
};

// The counts of a run's entries, kept as they end.
struct ReportTally {
    int64_t entries = 0, erased = 0, exceptions = 0, notErased = 0, bytesErased = 0;
    std::map<std::string, int64_t> reasons;  // files per verdict reason
    int64_t links = 0, unverifiable = 0;
    void Count(const ReportEntry& e);
};

// How much a result needs a reader's attention: 0 not erased, 1 erased with
// exceptions, 2 erased.
inline int ReportResultRank(const std::string& result) {
    return result == "not-erased" ? 0 : result == "erased" ? 2 : 1;
}

// How many entries a record keeps in memory for the PDF once the others go to
// the part file (those that most need attention); the PDF says how many more
// there are.
inline constexpr size_t kReportShownEntries = 40;

struct RunRecord {
    std::string id;                       // UUID
    std::string kind;                     // "files" or "free-space"
    int64_t start = 0, end = 0;           // seconds since 1970, UTC
    std::string outcome = "interrupted";  // "done", "partly-done", "interrupted"
    int exitStatus = 2;
    ReportMethod method;
    // Every entry; or, with `spool`, only kReportShownEntries of them (those
    // most needing attention),
    // the spool holding the written text of all (counted in `tally`).
    std::vector<ReportEntry> entries;
    std::shared_ptr<ReportSpool> spool;
    ReportTally tally;
    std::vector<ReportDrive> drives;
    std::vector<std::string> warnings;
    // Filled in as the report is written.
    std::string host, user, timeZone;
    std::string organisation, operatorName, customer;
    bool namesHidden = false;
    // With hidden names: which names secret hid them (HiddenNames.h).
    std::string nameKeyId;
};
