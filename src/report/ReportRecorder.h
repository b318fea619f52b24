#pragma once
// Collects a run's record as the run goes: the run names each entry before it
// works on it (the facts about where its bytes lie are read then, while the file
// is still there) and says what became of it afterwards. An entry that ended
// goes to the part file at once (ReportSpool.h); memory holds only the entries
// under way, the counts and the first few for the PDF. Used by the run's own
// thread only; a recorder that was not begun ignores every call.
#include <cstdint>
#include <map>
#include <set>
#include <string>
#include <string_view>
#include <vector>

#include "platform/FileSystem.h"
#include "platform/StorageFacts.h"
#include "report/ReportRecord.h"

struct AppSettings;
struct FillOutcome;
class ShredCheck;

class ReportRecorder {
  public:
    // Starts a record ("files" or "free-space") with the method the settings give.
    // Ended entries go to a part file in the first of `partFolders` that takes
    // one; without any, they stay in memory.
    // With hidden names, `nameSecret` is the user's names secret (HiddenNames.h).
    void Begin(const std::string& kind, const AppSettings& settings, int passes, int64_t start,
               std::vector<std::string> partFolders = {}, const std::string& nameSecret = {});
    bool Active() const { return active_; }

    // Before the entry is touched; `folderRow`: listed as a folder (which may be
    // gone already, taken as the emptied parent of its files).
    void AddEntry(const std::u16string& path, bool folderRow = false);
    // A file the shredding will look at: its facts come with its end.
    void BeginFile(const std::u16string& path);
    // A file's end: `note` is what the log says after its name ("[done]", ...);
    // `check` is the check after the last pass, when verification was on.
    // `seen`, `facts`: the entry as the shredding saw it and, for a file it
    // opened, the file's own storage facts; without them it is looked at now
    // (it was not reached, so it is as it was).
    void FileEnded(const std::u16string& path, bool ok, uint64_t otherNames,
                   const ShredCheck* check, const std::u16string& note,
                   const fsys::Attributes* seen = nullptr,
                   const storage::StorageFacts* facts = nullptr);
    // A folder, link, special file or an entry never shredded (not listed, not
    // reached before a stop).
    void EntryEnded(const std::u16string& path, bool ok, const std::u16string& note);
    // An entry a stop or a Cancel left untouched (unless it is in the record already).
    void NotReached(const std::u16string& path, const std::u16string& note);
    void DriveEnded(const std::u16string& root, const FillOutcome& outcome,
                    const std::u16string& note);
    void DriveFailed(const std::u16string& root, const std::u16string& note);

    // A caveat of the whole run, as the run decided it for its log and summary:
    // the language key of its sentence, with the file system's kind (may be
    // empty: the sentence then names only the place) and the place it names,
    // which is hidden with the names. Each is said once, in English.
    void Caveat(std::string_view key, const std::u16string& fsType, const std::u16string& place);

    // The record as it stands; ends it (outcome: 0 done, 1 partly, 2 interrupted).
    RunRecord Finish(int outcome, int64_t end);

  private:
    struct Open {
        ReportEntry entry;
        bool looked = false;
    };
    Open& OpenOf(const std::u16string& path);
    ReportEntry& EntryOf(const std::u16string& path) { return OpenOf(path).entry; }
    void Look(ReportEntry& e, const std::u16string& path, bool folderRow);
    void Describe(ReportEntry& e, const std::u16string& path, const fsys::Attributes& attr,
                  storage::StorageFacts facts, bool folderRow);
    // The entry has ended: counted, and written out.
    void Close(const std::u16string& path);
    void FileOutcome(ReportEntry& e, bool ok, uint64_t otherNames, const ShredCheck* check,
                     const std::u16string& note);
    void Keep(ReportEntry e);
    ReportPlace PlaceOf(const storage::StorageFacts& facts);

    bool active_ = false;
    RunRecord record_;
    // Entries begun and not yet ended: the files in flight, and folder rows
    // waiting for their files.
    std::map<std::u16string, Open> open_;
    std::vector<std::string> partFolders_;
    bool spoolTried_ = false;
    std::string salt_;  // the report's names key, with hidden names
    struct CaveatLine {
        std::string key;
        std::u16string fsType, place;
        bool operator==(const CaveatLine&) const = default;
    };
    std::vector<CaveatLine> caveats_;
    // The file systems (st_dev) of the files the run overwrote: what lay there
    // before them (an editor's earlier saves) stays unless their free space is
    // erased afterwards.
    std::set<uint64_t> fileDevices_;
    storage::DeviceFactsCache cache_;
};

// The printable UTF-8 form of a path, as the log shows it.
std::string ReportPathText(const std::u16string& path);
