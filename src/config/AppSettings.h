#pragma once
// Everything the program remembers between starts, one field per key of the
// settings file "Kelvane.ini", in the order in which the file stores them.
// The defaults are those of a first start.
#include <cstdint>
#include <string>

struct AppSettings {
    int32_t random = 1;  // check state of "Random number writing"
    std::string shredValue = "0";
    bool ignoreProtect = false;
    int32_t endAction = 0;
    int32_t shredNames = 1;
    int32_t confirm = 1;
    int32_t modifySize = 0;
    int32_t modifySizeType = 0;
    int32_t enableLog = 1;
    int32_t archiveLog = 1;
    int32_t iterations = 5;
    uint32_t shredBlockSize = 102400;
    uint32_t diskShredBlockSize = 524288;
    uint32_t diskShredFileSize = 1073741824;
    std::string diskShredFileName = "Morvik.$$$temp$$$";
    bool diskShredLeaveFiles = false;
    bool fileShredLeaveFiles = false;
    bool fileShredFileShred = false;
    // Shred what the chosen folders hold and keep the folders themselves.
    bool keepChosenFolders = false;
    bool useBuildInFont = false;
    bool useFontSettings = true;
    bool useFontHeight = false;
    std::string fontDefName;
    int32_t fontDefCharset = 0;
    int32_t fontDefHeight = 0;
    int32_t fontDefPitch = 0;
    std::string winPos;
    std::string languageName;
    bool showSummary = false;      // a summary before every file run, not only on warnings
    bool hideSeenWarnings = true;  // no summary when every warning in it was accepted before
    bool verifyLastPass = false;   // read the last pass back and compare extents
    uint32_t seenWarnings = 0;     // bit per VerdictReason accepted with Start
    // After a file run, the free space of the drives it shredded on is overwritten
    // too: earlier versions of the files (an editor's saves) may lie there.
    bool freeSpaceAfter = false;
    // A user's free-space fill asks kelvane-helper (with the password) to
    // overwrite the blocks ext4 keeps back for root as well.
    bool overwriteReserve = false;
    // The signed report every run leaves.
    bool reportsOn = true;
    bool reportHideNames = false;  // salted SHA-256 of each path in place of the path
    std::string reportFolder;      // empty: "Reports" in the storage folder
    std::string reportKeyFile;     // empty: the key made in the storage folder
    std::string reportOrganisation, reportOperator, reportCustomer;
    // How many log archives and reports (of the reports folder) are kept, by count
    // and by age in days; 0 is no limit. Only files Kelvane recorded making are
    // ever deleted. The archives' defaults keep a year of nightly runs small;
    // reports stay until a limit is set.
    int logArchivesKeep = 30;
    int logArchivesDays = 90;
    int reportsKeep = 0;
    int reportsDays = 0;
};
