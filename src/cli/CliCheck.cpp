#include "cli/CliCheck.h"

#include "cli/CliRun.h"
#include "cli/JsonLines.h"
#include "cli/TerminalFace.h"
#include "config/TextConv.h"
#include "engine/WriteBlock.h"
#include "filelist/FileListOps.h"
#include "i18n/SafeFormat.h"
#include "platform/FileSystem.h"
#include "platform/StopSignals.h"
#include "platform/StorageFacts.h"
#include "runs/RunState.h"
#include "runs/RunSummary.h"

namespace {

std::vector<std::u16string> ReasonNames(const Verdict& v, const TextLookup& text) {
    std::vector<std::u16string> out;
    for (VerdictReason r : v.reasons) out.push_back(text(ReasonTextKey(r)));
    return out;
}

}  // namespace

int CheckListedEntries(TerminalFace& face) {
    const TextLookup text = [&face](std::string_view key) { return face.MessageText(key); };
    const bool json = face.Setup().json;
    const bool quiet = face.Setup().quiet;
    const bool ignoreProtect = face.Setup().settings.ignoreProtect;
    storage::DeviceFactsCache cache;
    int files = 0, folders = 0, notGuaranteed = 0, notListed = 0;
    int64_t bytes = 0;

    auto tell = [&](const RunRow& row) {
        const std::u16string& path = row.path;
        if (row.kind == kFolderMarker) {
            ++folders;
            if (json)
                face.Emit(JsonObject()
                              .Add("event", "verdict")
                              .AddPath("path", path)
                              .Add("kind", "folder"));
            else if (face.Setup().verbose)
                face.Say(path + u": folder", true);
            return;
        }
        if (row.kind == kNotListedMarker) {
            ++notListed;
            const std::u16string& why = row.size;  // a row not listed says why there
            if (json)
                face.Emit(JsonObject()
                              .Add("event", "verdict")
                              .AddPath("path", path)
                              .Add("kind", "not-listed")
                              .Add("text", why));
            else if (!quiet)
                face.Say(path + u": NOT LISTED: " + why, false);
            return;
        }
        ++files;
        const EntryVerdict v = VerdictOfEntry(path, &cache);
        // A link or a special file has no data to overwrite: it is only removed.
        std::u16string shown = v.applies ? VerdictText(v.verdict, text) : u"no data (removed only)";
        // What a shred could not write, rename or remove fails there: said first.
        WriteBlock block = WriteBlock::kNone;
        if (v.applies) {
            std::string os;
            if (fsys::OsPath(path, os))
                block = DecideWriteBlock(fsys::GatherWriteFacts(os), ignoreProtect);
            if (block != WriteBlock::kNone) shown = text(WriteBlockTextKey(block)) + u"; " + shown;
            bytes += v.size;
            if (!v.verdict.InPlace() || block != WriteBlock::kNone) ++notGuaranteed;
        }
        if (json) {
            JsonObject o;
            o.Add("event", "verdict")
                .AddPath("path", path)
                .Add("kind", v.applies ? "file" : "other");
            if (v.applies) {
                o.Add("bytes", v.size)
                    .AddBool("in_place", v.verdict.InPlace())
                    .Add("reasons", ReasonNames(v.verdict, text))
                    .AddBool("writable", block == WriteBlock::kNone);
                if (block != WriteBlock::kNone)
                    o.Add("write_block", std::string(WriteBlockName(block)).c_str());
            }
            face.Emit(o.Add("text", shown));
        } else if (!quiet) {
            face.Say(path + u": " + shown, true);
        }
    };

    // Each row is told as the walk meets it and then let go: a tree of any size
    // is checked with no more than one read of rows in memory.
    constexpr int kRowsAtOnce = 256;
    int count = 0;
    std::vector<RunRow> rows;
    bool confirm = false;
    for (;;) {
        // The walk goes on here, on the program's own thread: a signal ends it.
        if (StopSignalReceived()) {
            face.SetStatusText(face.MessageText("FrmMain.m_acMShreddingInterrupted"));
            return static_cast<int>(RunOutcome::Interrupted);
        }
        face.ReadRows(0, kRowsAtOnce, rows, confirm);
        if (rows.empty()) break;
        for (size_t k = 0; k < rows.size(); ++k) face.DeleteRow(0);
        count += static_cast<int>(rows.size());
        for (const RunRow& row : rows) tell(row);
    }

    const std::u16string total = SafeFormat(
        u"%d files, %d folders, %s bytes; %d cannot be guaranteed or written, %d not "
        u"listed",
        {files, folders, WideFromUtf8(std::to_string(bytes)), notGuaranteed, notListed});
    if (json)
        face.Emit(JsonObject()
                      .Add("event", "totals")
                      .Add("files", files)
                      .Add("folders", folders)
                      .Add("bytes", bytes)
                      .Add("not_guaranteed", notGuaranteed)
                      .Add("not_listed", notListed));
    face.SetStatusText(total);
    if (count == 0) return 3;
    return notGuaranteed + notListed > 0 ? kExitNotGuaranteed : 0;
}
