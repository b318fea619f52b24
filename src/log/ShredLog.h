#pragma once
// The shredding log of the runs: "KelvaneLog.txt" in the storage folder, holding the
// lines of the last run, with time-stamped archive copies of earlier runs.
//
// The storage folder is set once at start-up, before any run; afterwards the log is
// used from the run threads (BeginRunLog, AppendLog) and from the window (View,
// Clear), which a run keeps locked, so the two never meet.
#include <ctime>
#include <string>

#include "log/LogSwitches.h"

class ShredLog {
  public:
    static constexpr const char* kBaseName = "KelvaneLog";
    static constexpr const char* kExtension = ".txt";

    explicit ShredLog(const LogSwitches& switches) : switches_(switches) {}

    // `folder` ends with a separator (one is added when it does not).
    void SetStorageFolder(const std::string& folder);
    const std::string& StorageFolder() const { return folder_; }
    const std::string& LogPath() const { return logPath_; }

    // Writes the line when logging is enabled; a line that cannot be written is
    // dropped and the run goes on. Returns whether the line reached the file.
    bool AppendLog(const std::u16string& text) const;

    // Disposes of the previous log (archived when archiving is on, else deleted)
    // and writes the time stamp line of a new run.
    void BeginRunLog() const;

    // Deletes the log and every archive copy in the storage folder.
    void ClearLog() const;

    // Opens the log with the desktop's viewer; nothing happens when there is no log.
    bool ViewLog() const;

    // Archive copy name for a run that began its log at `t`; `attempt` > 1 adds a
    // counter so that two runs in the same second keep both logs.
    static std::string ArchivePath(const std::string& folder, const std::tm& t, int attempt);
    static std::u16string TimeStampLine(const std::tm& t);

  private:
    bool ArchiveOldLog(const std::tm& t) const;

    const LogSwitches& switches_;
    std::string folder_;
    std::string logPath_;
};
