#pragma once
// What a file run is about to do, gathered before it starts: how many files and
// folders, how many bytes, and which entries cannot be guaranteed to be erased by
// overwriting, grouped by reason. Shown in a window, printed on standard error
// when there is no screen, and written to the log.
#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "engine/StorageVerdict.h"

struct AppSettings;
class RunWindow;

struct RunSummary {
    static constexpr size_t kExamples = 3;  // example paths kept per reason

    struct Group {
        VerdictReason reason{};
        int count = 0;
        std::vector<std::u16string> examples;
    };

    int files = 0;
    int filesOnDisk = 0;  // files whose drive keeps its free space on a disk
    int folders = 0;
    int64_t bytes = 0;
    int32_t passes = 0;
    int endAction = 0;  // 0 nothing, 1 end the program, 2 shut down
    bool verify = false;
    int encrypted = 0;            // files with dm-crypt underneath
    bool freeSpaceAfter = false;  // the free space of the drives is overwritten afterwards
    // The root reserve too, through kelvane-helper; offered only to a run that
    // cannot take it itself.
    bool overwriteReserve = false;
    bool reserveOffered = false;
    std::vector<Group> groups;  // in the order of VerdictReason, only those present

    // With scrambled names: each file system where old names will survive, once.
    struct NameNote {
        std::u16string mountPoint;
        std::u16string fsType;
        NamesKept kept = NamesKept::kNone;
        bool operator==(const NameNote&) const = default;
    };
    std::vector<NameNote> names;

    void Add(const std::u16string& path, const Verdict& verdict);
    void AddNames(const NameNote& note);
    uint32_t WarningMask() const;
    // Earlier versions of the files will remain (engine/EarlierVersions.h).
    bool EarlierVersions() const;
};

using TextLookup = std::function<std::u16string(std::string_view key)>;

// The verdict of one entry of the list; entries that get no passes (folders,
// links, special files, vanished ones) have none: nullopt-like `applies` false.
struct EntryVerdict {
    bool applies = false;
    int64_t size = 0;
    Verdict verdict;
    RunSummary::NameNote names;  // where old names of the entry survive
};
EntryVerdict VerdictOfEntry(const std::u16string& path, storage::DeviceFactsCache* cache);

// Counts one ticked row (`kind` is its date column) into `s`; with `names`, also
// where the old names of its file system survive.
void CountInSummary(RunSummary& s, const std::u16string& kind, const std::u16string& path,
                    storage::DeviceFactsCache* cache, bool names);

// Walks the ticked rows of the list (or takes the window's RunWindow::SummaryAhead).
RunSummary CollectRunSummary(RunWindow& window, int32_t passes, int endAction, bool verify);

// Whether the window should show it: always when asked for, else when it warns
// about something the user has not accepted before (or always, when seen warnings
// are not to be hidden).
bool SummaryWanted(const RunSummary& summary, const AppSettings& settings);

// "In place", "In place (memory)" or "Cannot be guaranteed: reason, reason", with
// the note about encryption underneath.
std::u16string VerdictText(const Verdict& verdict, const TextLookup& text);

// The summary as lines of text (standard error, the log).
std::vector<std::u16string> SummaryLines(const RunSummary& summary, const TextLookup& text);
// Only the warnings, for the log.
std::vector<std::u16string> WarningLines(const RunSummary& summary, const TextLookup& text);
// The language key of the sentence about where a file system keeps old names
// (for NamesKept::kNone, the journal's).
std::string_view NamesKeptKey(NamesKept kept);
// One sentence per file system where old names survive.
std::vector<std::u16string> NameLines(const RunSummary& summary, const TextLookup& text);
// The log line of a shredded file: "[done]", "[done, verified]", "[done, not
// verifiable: reason]", "[FAILED!]" or "[FAILED! reason]": why the check after
// the last pass failed, else the system's error (`error`, 0 when none is known).
class ShredCheck;
// What a passed check adds after "done": ", verified", or ", not verifiable: ..."
// when the file's data lies where reading it back proves nothing; empty without
// a passed check.
std::u16string VerifiedNote(const ShredCheck* check, const TextLookup& text);
std::u16string ShredLogLine(const std::u16string& path, bool ok, const ShredCheck* check,
                            const TextLookup& text, int error = 0);
// The system's error number as words: the language's text for the errors a
// shredding meets most, the system's own text for the others; "" for 0.
std::u16string ErrorText(int error, const TextLookup& text);
// The end action's caption as the main window's drop-down shows it.
std::string_view EndActionKey(int endAction);
