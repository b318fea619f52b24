#pragma once
// The shredding log of the runs: "KelvaneLog.txt" in the storage folder, holding the
// lines of the last run, with time-stamped archive copies of earlier runs.
//
// The storage folder is set once at start-up, before any run; afterwards the log is
// used from the run threads (BeginRunLog, AppendLog) and from the window (View,
// Clear), which a run keeps locked, so the two never meet.
#include <cstddef>
#include <ctime>
#include <mutex>
#include <string>
#include <string_view>
#include <vector>

#include "log/LogSwitches.h"
#include "log/MadeFiles.h"

class ShredLog {
  public:
    static constexpr const char* kBaseName = "KelvaneLog";
    static constexpr const char* kExtension = ".txt";

    explicit ShredLog(const LogSwitches& switches) : switches_(switches) {}

    // `folder` ends with a separator (one is added when it does not).
    void SetStorageFolder(const std::string& folder);
    // How many archive copies are kept (MadeFiles): each one made is recorded,
    // and the oldest recorded ones beyond the limits go when the next is made.
    void SetArchiveLimits(KeepLimits limits) { archiveLimits_ = limits; }
    const std::string& StorageFolder() const { return folder_; }
    const std::string& LogPath() const { return logPath_; }

    // Writes the line when logging is enabled; a line that cannot be written is
    // dropped and the run goes on. Returns whether the line reached the file.
    // The text is made printable first (PrintableText): a line break or a byte
    // that is not UTF-8 in a file name must not forge a line or leave the file
    // undecodable. Every line is therefore exactly one line of the log.
    bool AppendLog(const std::u16string& text) const;
    // Several such lines in one write; false when they did not reach the file.
    bool AppendLogLines(const std::vector<std::u16string>& lines) const;

    // Writes a run's header block (RunLogHeaderText) around the printable `title`.
    bool AppendRunHeader(std::u16string_view title) const;

    // Disposes of the previous log (archived when archiving is on, else deleted)
    // and writes the time stamp line of a new run.
    void BeginRunLog() const;

    // Lines that belong to no run yet (the clean-up at start-up). Written into the
    // previous run's log, they would leave with it when the next run archives or
    // deletes that log; so they wait and go into the next run's log, right after
    // its time stamp. WriteCarried appends them to the log as it is (when the
    // program ends with no run), so a trace always remains. Each line is written once.
    void CarryToNextRun(const std::vector<std::u16string>& lines) const;
    void WriteCarried() const;

    // Deletes the log and every archive copy in the storage folder.
    void ClearLog() const;

    // The log as the log viewer shows it (ReadableLogText), at most its last
    // kMaxViewedBytes; false, with `text` empty, when there is no log. The file
    // itself stays UTF-16LE as it always was.
    static constexpr size_t kMaxViewedBytes = 32u << 20;
    bool ReadForViewing(std::u16string& text, bool& truncated) const;

    // Archive copy name for a run that began its log at `t`; `attempt` > 1 adds a
    // counter so that two runs in the same second keep both logs.
    static std::string ArchivePath(const std::string& folder, const std::tm& t, int attempt);
    static std::u16string TimeStampLine(const std::tm& t);

  private:
    // Our own text, written as it is (it may hold the line breaks of a block).
    bool AppendOwnText(const std::u16string& text) const;
    bool ArchiveOldLog(const std::tm& t) const;

    std::vector<std::u16string> TakeCarried() const;

    const LogSwitches& switches_;
    mutable std::mutex carriedMutex_;
    mutable std::vector<std::u16string> carried_;
    std::string folder_;
    std::string logPath_;
    KeepLimits archiveLimits_;
};
