#include "report/ReportRecorder.h"

#include <sys/stat.h>

#include <algorithm>
#include <fstream>

#include "config/AppSettings.h"
#include "config/NumberText.h"
#include "config/TextConv.h"
#include "engine/FillDrive.h"
#include "engine/ShredCheck.h"
#include "engine/StorageVerdict.h"
#include "i18n/LanguageKeys.h"
#include "i18n/SafeFormat.h"
#include "platform/FileSystem.h"
#include "report/HiddenNames.h"
#include "report/ReportCrypto.h"
#include "report/ReportJson.h"
#include "report/ReportSpool.h"

namespace {

std::string ReadSysText(const std::string& path) {
    std::ifstream in(path);
    std::string line;
    std::getline(in, line);
    while (!line.empty() && (line.back() == ' ' || line.back() == '\n' || line.back() == '\r'))
        line.pop_back();
    while (!line.empty() && line.front() == ' ') line.erase(0, 1);
    return Utf8FromWide(PrintableText(WideFromUtf8(line)));
}

// What the system tells about a physical device; nothing is guessed.
ReportDevice DescribeDevice(const std::string& name, const storage::BlockFacts& block) {
    ReportDevice d;
    d.name = Utf8FromWide(PrintableText(WideFromUtf8(name)));
    if (name == "memory" || block.memory) {
        d.medium = "memory";
        return d;
    }
    const std::string base = storage::CurrentRoots().sys + "/class/block/" + name;
    d.model = ReadSysText(base + "/device/model");
    d.serial = ReadSysText(base + "/device/serial");
    if (d.serial.empty()) d.serial = ReadSysText(base + "/serial");
    const std::string rotational = ReadSysText(base + "/queue/rotational");
    d.medium = rotational == "1" ? "rotational" : rotational == "0" ? "flash" : "unknown";
    return d;
}

const char* ReasonName(VerdictReason r) {
    switch (r) {
        case VerdictReason::kCopyOnWrite:
            return "copy-on-write";
        case VerdictReason::kShared:
            return "shared-extents";
        case VerdictReason::kCompressed:
            return "compressed";
        case VerdictReason::kInline:
            return "inline-data";
        case VerdictReason::kDataJournal:
            return "data-journal";
        case VerdictReason::kFlash:
            return "flash";
        case VerdictReason::kNetwork:
            return "network";
        case VerdictReason::kUnknown:
            break;
    }
    return "unknown";
}

const char* KindName(fsys::Kind k) {
    switch (k) {
        case fsys::Kind::kFile:
            return "file";
        case fsys::Kind::kFolder:
            return "folder";
        case fsys::Kind::kMissing:
        case fsys::Kind::kUnreadable:
            return "missing";
        default:
            break;
    }
    return "link-or-special";
}

// The log's note without its brackets: "[done, verified]" gives "done, verified".
std::string NoteText(const std::u16string& note) {
    std::u16string t = note;
    const size_t open = t.find(u'[');
    if (open != std::u16string::npos && !t.empty() && t.back() == u']')
        t = t.substr(open + 1, t.size() - open - 2);
    return Utf8FromWide(PrintableText(t));
}

}  // namespace

std::string ReportPathText(const std::u16string& path) {
    return Utf8FromWide(PrintableText(path));
}

void ReportRecorder::Begin(const std::string& kind, const AppSettings& s, int passes, int64_t start,
                           std::vector<std::string> partFolders, const std::string& nameSecret) {
    *this = ReportRecorder();
    active_ = true;
    partFolders_ = std::move(partFolders);
    record_.id = reportcrypto::NewUuid();
    // Names are hidden as each entry is written out, so the part file never
    // holds one either.
    if (s.reportHideNames) {
        std::string secret = nameSecret;
        // Without a secret of the user's the names are hidden all the same,
        // with one that nobody keeps.
        if (secret.empty() && !reportcrypto::RandomBytes(32, secret)) secret = record_.id;
        salt_ = ReportNameKey(secret, record_.id);
        record_.namesHidden = true;
        record_.nameKeyId = NameKeyId(secret);
    }
    record_.kind = kind;
    record_.start = start;
    ReportMethod& m = record_.method;
    m.passes = passes;
    if (s.random == 0 && !s.shredValue.empty()) {
        struct stat st {};
        if (::stat(s.shredValue.c_str(), &st) == 0 && S_ISREG(st.st_mode)) {
            m.pattern = "pattern-file";
            m.patternSha256 = reportcrypto::FileSha256(s.shredValue);
        } else {
            m.pattern = "fixed-byte";
            m.fixedByte = ParseInt32(std::string_view(s.shredValue)) & 0xff;
        }
    }
    m.namesScrambled = kind == "files" && s.shredNames != 0;
    m.sizeChanged = kind == "files" && s.modifySize != 0;
    m.verification = kind == "files" && s.verifyLastPass;
}

ReportPlace ReportRecorder::PlaceOf(const storage::StorageFacts& facts) {
    ReportPlace p;
    p.fsType = facts.fsType;
    p.mountPoint = Utf8FromWide(PrintableText(WideFromUtf8(facts.mountPoint)));
    for (const storage::MountEntry& m : cache_.Mounts())
        if (m.mountPoint == facts.mountPoint) p.device = ReportPathText(WideFromUtf8(m.source));
    for (const std::string& name : facts.block.devices)
        p.devices.push_back(DescribeDevice(name, facts.block));
    p.encrypted = facts.block.encrypted;
    return p;
}

ReportRecorder::Open& ReportRecorder::OpenOf(const std::u16string& path) {
    auto [it, added] = open_.try_emplace(path);
    if (added) it->second.entry.path = ReportPathText(path);
    return it->second;
}

void ReportRecorder::Close(const std::u16string& path) {
    auto it = open_.find(path);
    if (it == open_.end()) return;
    ReportEntry e = std::move(it->second.entry);
    open_.erase(it);
    Keep(std::move(e));
}

void ReportRecorder::Keep(ReportEntry e) {
    if (!salt_.empty()) HideEntryNames(e, salt_);
    record_.tally.Count(e);
    if (!spoolTried_) {
        spoolTried_ = true;
        auto spool = std::make_shared<ReportSpool>();
        if (spool->Open(partFolders_)) record_.spool = std::move(spool);
    }
    if (!record_.spool) {
        record_.entries.push_back(std::move(e));
        return;
    }
    record_.spool->Append(record_.tally.entries > 1 ? ",\n    " : "    ");
    record_.spool->Append(WriteJsonItem(EntryToJson(e), 2));
    // Memory keeps the entries a reader must see first: those not erased, then
    // those with exceptions, then the others, each in run order.
    if (record_.entries.size() < kReportShownEntries) {
        record_.entries.push_back(std::move(e));
        return;
    }
    const int rank = ReportResultRank(e.result);
    for (size_t i = record_.entries.size(); i-- > 0;)
        if (ReportResultRank(record_.entries[i].result) > rank) {
            record_.entries.erase(record_.entries.begin() + static_cast<std::ptrdiff_t>(i));
            record_.entries.push_back(std::move(e));
            return;
        }
}

void ReportRecorder::AddEntry(const std::u16string& path, bool folderRow) {
    if (!active_) return;
    Open& o = OpenOf(path);
    Look(o.entry, path, folderRow);
    o.looked = true;
}

void ReportRecorder::BeginFile(const std::u16string& path) {
    if (active_) (void)OpenOf(path);
}

void ReportRecorder::Look(ReportEntry& e, const std::u16string& path, bool folderRow) {
    fsys::Attributes attr;
    (void)fsys::GetAttributes(path, attr);
    std::string os;
    storage::StorageFacts facts;
    if (attr.kind == fsys::Kind::kFile && fsys::OsPath(path, os))
        facts = storage::GatherStorageFacts(os, &cache_);
    Describe(e, path, attr, std::move(facts), folderRow);
}

void ReportRecorder::Describe(ReportEntry& e, const std::u16string& path,
                              const fsys::Attributes& attr, storage::StorageFacts facts,
                              bool folderRow) {
    e.kind = folderRow && attr.kind == fsys::Kind::kMissing ? "folder" : KindName(attr.kind);
    if (attr.kind == fsys::Kind::kMissing || attr.kind == fsys::Kind::kUnreadable) return;
    e.size = attr.kind == fsys::Kind::kFile ? attr.size : -1;
    e.device = attr.device;
    e.inode = attr.inode;
    // A folder's link count is its subfolders plus two: no other names of it.
    e.links = attr.kind == fsys::Kind::kFile ? attr.links : 0;
    if (attr.kind != fsys::Kind::kFile || !facts.known) return;
    // What is the same for the whole file system comes from the cache.
    if (facts.fsType.empty()) {
        std::string os;
        (void)fsys::OsPath(path, os);
        // The file (and its emptied folders) may be gone by now; the nearest
        // folder still there is on the same file system, as the removal of
        // emptied folders stops at its root.
        struct stat st {};
        while (!cache_.Has(attr.device) && os.size() > 1 && ::lstat(os.c_str(), &st) != 0) {
            const size_t slash = os.find_last_of('/');
            if (slash == std::string::npos) break;
            os.resize(std::max<size_t>(slash, 1));
        }
        storage::TakeDeviceFacts(facts, cache_.Lookup(attr.device, os));
    }
    e.place = PlaceOf(facts);
    const Verdict v = DecideVerdict(facts);
    e.verdictKnown = true;
    e.inPlace = v.InPlace();
    for (VerdictReason r : v.reasons) e.reasons.push_back(ReasonName(r));
}

void ReportRecorder::FileEnded(const std::u16string& path, bool ok, uint64_t otherNames,
                               const ShredCheck* check, const std::u16string& note,
                               const fsys::Attributes* seen, const storage::StorageFacts* facts) {
    if (!active_) return;
    Open& o = OpenOf(path);
    if (seen)
        Describe(o.entry, path, *seen, facts ? *facts : storage::StorageFacts{}, false);
    else if (!o.looked)
        Look(o.entry, path, false);
    FileOutcome(o.entry, ok, otherNames, check, note);
    Close(path);
}

void ReportRecorder::FileOutcome(ReportEntry& e, bool ok, uint64_t otherNames,
                                 const ShredCheck* check, const std::u16string& note) {
    if (e.kind.empty()) e.kind = "file";
    if (check) {
        if (check->failure() != ShredCheck::Failure::kNone) {
            e.verification = "failed";
        } else if (check->passed()) {
            e.verification =
                check->limit() == ShredCheck::Limit::kNone ? "passed" : "not-verifiable";
        } else {
            e.verification = "not-run";
        }
    }
    if (e.verification != "passed" && e.verification != "not-checked")
        e.verificationNote = NoteText(note);
    if (!ok) {
        e.result = "not-erased";
        e.error = NoteText(note);
        return;
    }
    if (e.kind == "missing") {
        // Nothing was left to overwrite: the run counts it done, and so does the report.
        e.result = "erased";
        e.error = "gone before the run reached it";
        e.verification = "not-run";
        e.verificationNote.clear();
        return;
    }
    if (e.device != 0) fileDevices_.insert(e.device);
    const bool exceptions = (e.verdictKnown && !e.inPlace) || !e.verdictKnown || otherNames > 0 ||
                            e.verification == "not-verifiable";
    e.result = exceptions ? "erased-with-exceptions" : "erased";
    if (otherNames > 0 && e.links < otherNames + 1) e.links = otherNames + 1;
    if (exceptions) e.error = NoteText(note);
}

void ReportRecorder::EntryEnded(const std::u16string& path, bool ok, const std::u16string& note) {
    if (!active_) return;
    ReportEntry& e = EntryOf(path);
    if (e.kind.empty()) e.kind = "missing";
    e.result = ok ? "erased" : "not-erased";
    e.error = ok ? std::string() : NoteText(note);
    e.verification = ok ? "not-checked" : "not-run";
    Close(path);
}

void ReportRecorder::NotReached(const std::u16string& path, const std::u16string& note) {
    // An entry under way has its own end to come.
    if (!active_ || open_.count(path) != 0) return;
    AddEntry(path);
    EntryEnded(path, false, note);
}

void ReportRecorder::DriveFailed(const std::u16string& root, const std::u16string& note) {
    if (!active_) return;
    ReportDrive d;
    d.mountPoint = ReportPathText(root);
    d.error = NoteText(note);
    if (!salt_.empty()) HideDriveNames(d, salt_);
    record_.drives.push_back(std::move(d));
}

void ReportRecorder::DriveEnded(const std::u16string& root, const FillOutcome& o,
                                const std::u16string& note) {
    if (!active_) return;
    ReportDrive d;
    d.mountPoint = ReportPathText(root);
    std::string os;
    struct stat st {};
    if (fsys::OsPath(root, os) && ::stat(os.c_str(), &st) == 0) {
        d.deviceId = st.st_dev;
        const storage::DeviceFactsCache::Device& dev = cache_.Lookup(st.st_dev, os);
        storage::StorageFacts facts;
        facts.fsType = dev.fsType;
        facts.mountPoint = dev.mountPoint;
        facts.block = dev.block;
        d.place = PlaceOf(facts);
    }
    d.freeBytes = o.freeBytes;
    d.bytesWritten = o.written;
    d.smallFiles = o.smallFiles;
    d.smallBytes = o.smallBytes;
    d.longNames = o.longNames;
    d.fillerFilesLeft = o.filesLeft;
    d.reserveNotReached = o.reserveNotReached;
    d.reserveReached = o.reserveNotReached == 0;
    if (o.reserveNotReached > 0) d.notReached.emplace_back("root-reserve", o.reserveNotReached);
    if (o.keptBack.bytes > 0) d.notReached.emplace_back(o.keptBack.what, o.keptBack.bytes);
    if (o.leftUnwritten > 0) d.notReached.emplace_back("still-free", o.leftUnwritten);
    d.reserveWritten = o.reserveWritten;
    d.reserveWhy = o.reserveWhy;
    d.trim = o.trimmed ? "done" : "not-done";
    d.onePass = o.onePass;
    // "Erased" only when no free block the run could know of was left unwritten.
    d.result = !o.Ok() || !o.started                             ? "not-erased"
               : o.filesLeft > 0 || !o.AllReached() || o.onePass ? "erased-with-exceptions"
                                                                 : "erased";
    if (d.result != "erased") d.error = NoteText(note);
    if (!salt_.empty()) HideDriveNames(d, salt_);
    record_.drives.push_back(std::move(d));
}

void ReportRecorder::Caveat(std::string_view key, const std::u16string& fsType,
                            const std::u16string& place) {
    if (!active_) return;
    CaveatLine c{std::string(key), fsType, place};
    if (std::find(caveats_.begin(), caveats_.end(), c) == caveats_.end())
        caveats_.push_back(std::move(c));
}

namespace {

std::string NotReachedText(const std::string& what) {
    if (what == "root-reserve") return "the blocks ext2/3/4 keeps back for root";
    if (what == "xfs-free-lists")
        return "the blocks xfs sets aside in every allocation group for its free lists";
    if (what == "btrfs-unallocated") return "the space btrfs has given to no chunk";
    if (what == "ext4-reserved-clusters")
        return "the clusters ext4 keeps for its own metadata, which no file is given";
    return "space still free when the fill could take no more";
}

}  // namespace

RunRecord ReportRecorder::Finish(int outcome, int64_t end) {
    // Entries begun and never ended (a folder row refused at the last moment)
    // are in the report as they stand.
    while (!open_.empty()) Close(open_.begin()->first);
    RunRecord r = std::move(record_);
    active_ = false;
    if (r.spool) (void)r.spool->Flush();
    r.end = end;
    r.exitStatus = outcome;
    r.outcome = outcome == 0 ? "done" : outcome == 1 ? "partly-done" : "interrupted";
    // The warnings name how many entries each reason touched, never which.
    const std::map<std::string, int64_t>& reasons = r.tally.reasons;
    const int64_t links = r.tally.links, unverifiable = r.tally.unverifiable;
    for (const auto& [reason, count] : reasons)
        r.warnings.push_back(std::to_string(count) +
                             " file(s): overwriting cannot be guaranteed (" + reason + ")");
    if (links > 0)
        r.warnings.push_back(std::to_string(links) +
                             " file(s) had other names (hard links): their data was overwritten, "
                             "the other names remain");
    if (unverifiable > 0)
        r.warnings.push_back(std::to_string(unverifiable) +
                             " file(s): reading back could not prove the overwrite");
    for (const ReportDrive& d : r.drives)
        for (const auto& [what, bytes] : d.notReached)
            r.warnings.push_back(
                "drive " + std::to_string(&d - r.drives.data() + 1) + ": " + std::to_string(bytes) +
                " bytes not reached (" + NotReachedText(what) + "): deleted data may remain there" +
                (what == "root-reserve" && !d.reserveWhy.empty() ? " (" + d.reserveWhy + ")"
                                                                 : std::string()));
    // The sentences of the log and the summary, in the report's language.
    for (const CaveatLine& c : caveats_) {
        std::string place = ReportPathText(c.place);
        if (!salt_.empty()) HidePlaceName(place, salt_);
        const std::u16string wplace = WideFromUtf8(place);
        const std::string_view text = BuiltInText(c.key);
        r.warnings.push_back(Utf8FromWide(c.fsType.empty() ? SafeFormat(text, {wplace})
                                                           : SafeFormat(text, {c.fsType, wplace})));
    }
    // Earlier versions of the files stay in the free space of every drive the
    // run overwrote files on and did not fill afterwards; of a drive it filled,
    // its own warnings name the space that was not reached.
    bool earlier = false;
    for (uint64_t dev : fileDevices_) {
        bool filled = false;
        for (const ReportDrive& d : r.drives)
            filled = filled || (d.deviceId == dev && d.result != "not-erased");
        earlier = earlier || !filled;
    }
    if (earlier) r.warnings.push_back(std::string(BuiltInText("FrmSummary.m_acMEarlierCopies")));
    return r;
}
