#include "runs/FileJobEnd.h"

#include <algorithm>
#include <cerrno>
#include <string>

#include "filelist/FileListOps.h"
#include "i18n/SafeFormat.h"
#include "log/LogLines.h"
#include "platform/ConfinedPath.h"
#include "runs/FileRunContext.h"
#include "runs/RunState.h"
#include "runs/RunWindow.h"
#include "runs/TrashInfoEnd.h"

namespace {

std::u16string DoneText(uint64_t otherNames) {
    if (otherNames == 0) return u"[done]";
    return SafeFormat(u"[done, %d other %s]",
                      {static_cast<int>(std::min<uint64_t>(otherNames, 1u << 30)),
                       std::u16string(otherNames == 1 ? u"name" : u"names")});
}

}  // namespace

bool FinishFileJob(FileRunContext& run, FileJob& job, int row) {
    RunWindow& window = run.window;
    const RunOptions& options = run.options;
    const TextLookup& text = run.text;
    const bool verify = run.verify;
    ReportRecorder& report = run.report;
    RunBatch& batch = run.batch;
    FileOps& ops = run.ops;

    const std::u16string folder = FolderOfPath(job.path);
    run.touched.Add(job.report.device, folder);
    // The folder is tried once, when no other file of it is under way: then it
    // is empty for good or holds what stays, and no file of it can go between
    // the look at it and its removal.
    bool anyGone = false;
    const bool lastInFolder = run.FileEnded(folder, job.ok, anyGone);
    if (!job.ok && lastInFolder && anyGone && !options.keepFolders)
        run.deferred.Add(folder, job.root, false);
    if (job.ok) {
        // The folder is reached as the file was, never through a link below
        // the root: the metadata may be overwritten from it at the end.
        fsys::Place place;
        if (run.clearJournals && run.journals.Wants(job.report.device) &&
            fsys::Locate(job.root, job.path, place) == fsys::LocateResult::kFound)
            run.journals.Note(job.report.device, place.folder->Fd(), folder);
        if (!options.keepFolders && lastInFolder) {
            ops.ConfineTo(job.root);
            if (!ops.RemoveFolderChain(folder, false)) run.deferred.Add(folder, job.root, false);
        }
        if (job.report.otherNames > 0) ++run.withOtherNames;
        batch.DeleteRow(row);
        std::u16string done = DoneText(job.report.otherNames);
        done.insert(done.size() - 1, VerifiedNote(&job.check, text));
        report.FileEnded(job.path, true, job.report.otherNames, verify ? &job.check : nullptr, done,
                         job.seen ? &job.seenAttr : nullptr, &job.seenFacts);
        batch.AppendLog(SafeFormat(u"%s %s", {job.path, done}));
        ShredTrashInfoOf(run, job.root, job.path);
        return true;
    }
    run.allDone = false;
    if (job.report.interrupted) {
        // Left where it was, under its own name: the row stays ticked for a later run.
        const std::u16string note = SafeFormat(u"[interrupted after pass %d of %d]",
                                               {job.report.passesDone, options.passes});
        batch.AppendLog(SafeFormat(u"%s %s", {job.path, note}));
        report.FileEnded(job.path, false, job.report.otherNames, nullptr, note,
                         job.seen ? &job.seenAttr : nullptr, &job.seenFacts);
        return false;
    }
    if ((job.report.error == EACCES || job.report.error == EPERM) && !options.ignoreProtect)
        ++run.permissionDenied;
    batch.Flush();
    // The row follows the file to its scrambled name, where a later run finds it.
    if (job.report.path != job.path) {
        window.SetRowText(row, kPathColumn, job.report.path);
        window.SetRowText(row, kNameColumn, FileNameOfPath(job.report.path));
    }
    const ShredCheck* check = verify ? &job.check : nullptr;
    // The log line of the entry; with an empty path, what the report keeps.
    auto lineOf = [&](const std::u16string& path) {
        if (!job.report.refused.empty())
            return SafeFormat(u"%s [NOT SHREDDED: %s]", {path, job.report.refused});
        return job.report.folderChanged ? LogFolderChangedLine(path)
                                        : ShredLogLine(path, false, check, text, job.report.error);
    };
    const std::u16string line = lineOf(job.report.refused.empty() ? job.report.path : job.path);
    // The list tells why, in the words the log uses.
    const size_t why = line.rfind(u" [FAILED");
    if (why != std::u16string::npos)
        window.SetRowFailure(row, line.substr(why + 2, line.size() - why - 3));
    batch.AppendLog(line);
    report.FileEnded(job.path, false, job.report.otherNames, check, lineOf(u""),
                     job.seen ? &job.seenAttr : nullptr, &job.seenFacts);
    return false;
}
