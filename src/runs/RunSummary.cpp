#include "runs/RunSummary.h"

#include <algorithm>
#include <cerrno>
#include <cstring>

#include "config/AppSettings.h"
#include "config/TextConv.h"
#include "engine/EarlierVersions.h"
#include "engine/ShredCheck.h"
#include "i18n/SafeFormat.h"
#include "platform/FileSystem.h"
#include "platform/NameJournal.h"
#include "runs/RunBatch.h"
#include "runs/RunWindow.h"

namespace {

std::u16string Number(int64_t n) {
    return WideFromUtf8(std::to_string(n));
}

}  // namespace

void RunSummary::Add(const std::u16string& path, const Verdict& verdict) {
    if (verdict.encrypted) ++encrypted;
    for (VerdictReason r : verdict.reasons) {
        auto it = std::find_if(groups.begin(), groups.end(),
                               [r](const Group& g) { return g.reason == r; });
        if (it == groups.end()) {
            Group g;
            g.reason = r;
            it = groups.insert(std::upper_bound(groups.begin(), groups.end(), g,
                                                [](const Group& a, const Group& b) {
                                                    return a.reason < b.reason;
                                                }),
                               g);
        }
        ++it->count;
        if (it->examples.size() < kExamples) it->examples.push_back(path);
    }
}

void RunSummary::AddNames(const NameNote& note) {
    if (note.kept == NamesKept::kNone) return;
    if (std::find(names.begin(), names.end(), note) == names.end()) names.push_back(note);
}

uint32_t RunSummary::WarningMask() const {
    uint32_t mask = 0;
    for (const Group& g : groups) mask |= 1u << static_cast<unsigned>(g.reason);
    return mask;
}

bool RunSummary::EarlierVersions() const {
    return EarlierVersionsRemain(filesOnDisk, freeSpaceAfter);
}

EntryVerdict VerdictOfEntry(const std::u16string& path, storage::DeviceFactsCache* cache) {
    EntryVerdict out;
    fsys::Attributes attr;
    std::string os;
    if (!fsys::GetAttributes(path, attr) || attr.kind != fsys::Kind::kFile ||
        !fsys::OsPath(path, os))
        return out;
    out.applies = true;
    out.size = attr.size;
    const storage::StorageFacts facts = storage::GatherStorageFacts(os, cache);
    out.verdict = DecideVerdict(facts);
    out.names = {WideFromUtf8(facts.mountPoint), WideFromUtf8(facts.fsType),
                 // An ext4 journal is cleared with the rights and written over
                 // without them; a run where that fails says so at its end.
                 DecideNames(facts, true)};
    return out;
}

void CountInSummary(RunSummary& s, const std::u16string& kind, const std::u16string& path,
                    storage::DeviceFactsCache* cache, bool names) {
    if (kind == u"FOLDER") {
        ++s.folders;
        return;
    }
    ++s.files;
    EntryVerdict v = VerdictOfEntry(path, cache);
    if (!v.applies) return;
    s.bytes += v.size;
    if (!v.verdict.memory) ++s.filesOnDisk;
    s.Add(path, v.verdict);
    if (names) s.AddNames(v.names);
}

RunSummary CollectRunSummary(RunWindow& window, int32_t passes, int endAction, bool verify) {
    RunSummary s;
    // A window that lists as the run goes has looked ahead already: reading its
    // rows here would list them all.
    if (!window.SummaryAhead(s)) {
        const bool names = window.CurrentSettings().shredNames != 0;
        storage::DeviceFactsCache cache;
        // Read in blocks, like the run itself: one visit to the window per block of rows.
        RunBatch batch(window);
        RunRow row;
        for (int i = 0; batch.Row(i, row); ++i)
            if (row.checked) CountInSummary(s, row.kind, row.path, &cache, names);
    }
    s.passes = passes;
    s.endAction = endAction;
    s.verify = verify;
    return s;
}

bool SummaryWanted(const RunSummary& summary, const AppSettings& settings) {
    if (settings.showSummary) return true;
    const uint32_t mask = summary.WarningMask();
    if (mask == 0) return false;
    if (!settings.hideSeenWarnings) return true;
    return (mask & ~settings.seenWarnings) != 0;
}

std::u16string VerdictText(const Verdict& verdict, const TextLookup& text) {
    std::u16string out;
    if (verdict.InPlace()) {
        out = text(verdict.memory ? "FrmSummary.m_acMVerdictMemory"
                                  : "FrmSummary.m_acMVerdictInPlace");
    } else {
        std::u16string reasons;
        for (VerdictReason r : verdict.reasons) {
            if (!reasons.empty()) reasons += u"; ";
            reasons += text(ReasonTextKey(r));
        }
        out = SafeFormat(text("FrmSummary.m_acMVerdictNotInPlace"), {reasons});
    }
    if (verdict.encrypted) out += u" " + text("FrmSummary.m_acMEncrypted");
    return out;
}

std::string_view EndActionKey(int endAction) {
    // The drop-down lists "shut down" first and "do nothing" last.
    switch (endAction) {
        case 2:
            return "FrmMain.m_CBBEndAction0";
        case 1:
            return "FrmMain.m_CBBEndAction1";
        default:
            return "FrmMain.m_CBBEndAction2";
    }
}

std::vector<std::u16string> WarningLines(const RunSummary& s, const TextLookup& text) {
    std::vector<std::u16string> lines;
    for (const RunSummary::Group& g : s.groups) {
        lines.push_back(SafeFormat(text("FrmSummary.m_acMWarningLine"),
                                   {text(ReasonTextKey(g.reason)), Number(g.count)}));
        lines.push_back(u"    " + text(ReasonAdviceKey(g.reason)));
        for (const std::u16string& p : g.examples) lines.push_back(u"    " + p);
        if (g.count > static_cast<int>(g.examples.size()))
            lines.push_back(u"    " +
                            SafeFormat(text("FrmSummary.m_acMMoreFiles"),
                                       {Number(g.count - static_cast<int>(g.examples.size()))}));
    }
    if (s.encrypted > 0)
        lines.push_back(SafeFormat(text("FrmSummary.m_acMEncryptedCount"), {Number(s.encrypted)}));
    for (std::u16string& l : NameLines(s, text)) lines.push_back(std::move(l));
    return lines;
}

std::string_view NamesKeptKey(NamesKept kept) {
    if (kept == NamesKept::kCopyOnWrite) return "FrmSummary.m_acMNamesCopyOnWrite";
    if (kept == NamesKept::kFolderEntries) return "FrmSummary.m_acMNamesFolderEntries";
    return "FrmSummary.m_acMNamesJournal";
}

std::vector<std::u16string> NameLines(const RunSummary& s, const TextLookup& text) {
    std::vector<std::u16string> lines;
    for (const RunSummary::NameNote& n : s.names)
        lines.push_back(SafeFormat(text(NamesKeptKey(n.kept)), {n.fsType, n.mountPoint}));
    return lines;
}

std::vector<std::u16string> SummaryLines(const RunSummary& s, const TextLookup& text) {
    std::vector<std::u16string> lines;
    lines.push_back(text("FrmSummary.Caption"));
    lines.push_back(SafeFormat(text("FrmSummary.m_acMCounts"),
                               {Number(s.files), Number(s.folders), Number(s.bytes)}));
    lines.push_back(SafeFormat(text("FrmSummary.m_acMPasses"),
                               {Number(s.passes), text(EndActionKey(s.endAction))}));
    if (s.verify) lines.push_back(text("FrmOptions.m_CHKVerifyLastPass"));
    if (s.groups.empty()) {
        lines.push_back(text("FrmSummary.m_acMNoWarnings"));
    } else {
        lines.push_back(text("FrmSummary.m_acMWarnings"));
        for (std::u16string& l : WarningLines(s, text)) lines.push_back(u"  " + l);
    }
    if (s.groups.empty() && s.encrypted > 0)
        lines.push_back(SafeFormat(text("FrmSummary.m_acMEncryptedCount"), {Number(s.encrypted)}));
    if (s.EarlierVersions()) lines.push_back(text("FrmSummary.m_acMEarlierCopies"));
    if (s.filesOnDisk > 0 && s.freeSpaceAfter)
        lines.push_back(text("FrmSummary.m_acMFreeSpaceAfter"));
    if (s.groups.empty())
        for (std::u16string& l : NameLines(s, text)) lines.push_back(std::move(l));
    return lines;
}

std::u16string VerifiedNote(const ShredCheck* check, const TextLookup& text) {
    if (!check || !check->passed()) return {};
    switch (check->limit()) {
        case ShredCheck::Limit::kNone:
            return u", verified";
        case ShredCheck::Limit::kInline:
            return u", " + text("FrmSummary.m_acMVerifyNotInline");
        case ShredCheck::Limit::kCompressed:
            return u", " + text("FrmSummary.m_acMVerifyNotCompressed");
        case ShredCheck::Limit::kUnknownExtents:
            return u", " + text("FrmSummary.m_acMVerifyNotUnknown");
    }
    return {};
}

std::u16string ErrorText(int error, const TextLookup& text) {
    switch (error) {
        case 0:
            return {};
        case EACCES:
        case EPERM:
            return text("FrmMain.m_acMErrAccess");
        case EROFS:
            return text("FrmMain.m_acMErrReadOnly");
        case EBUSY:
        case ETXTBSY:
            return text("FrmMain.m_acMErrBusy");
        case ENOSPC:
            return text("FrmMain.m_acMErrNoSpace");
        case EIO:
            return text("FrmMain.m_acMErrIo");
        default:
            return WideFromUtf8(std::strerror(error));
    }
}

std::u16string ShredLogLine(const std::u16string& path, bool ok, const ShredCheck* check,
                            const TextLookup& text, int error) {
    if (ok) return SafeFormat(u"%s [done%s]", {path, VerifiedNote(check, text)});
    const std::u16string because = ErrorText(error, text);
    const std::u16string bare = because.empty() ? SafeFormat(u"%s [FAILED!]", {path})
                                                : SafeFormat(u"%s [FAILED! %s]", {path, because});
    if (!check) return bare;
    std::u16string why;
    switch (check->failure()) {
        case ShredCheck::Failure::kNone:
            return bare;
        case ShredCheck::Failure::kReadBack:
            why = text("FrmSummary.m_acMVerifyReadBack");
            break;
        case ShredCheck::Failure::kMismatch:
            why = SafeFormat(text("FrmSummary.m_acMVerifyMismatch"), {Number(check->offset())});
            break;
        case ShredCheck::Failure::kExtentsMoved:
            why = text("FrmSummary.m_acMVerifyMoved");
            break;
    }
    return SafeFormat(u"%s [FAILED! %s]", {path, why});
}
