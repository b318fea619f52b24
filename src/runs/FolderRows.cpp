#include "runs/FolderRows.h"

#include "filelist/FileListOps.h"
#include "i18n/SafeFormat.h"
#include "log/LogLines.h"
#include "runs/FileRunContext.h"
#include "runs/RunState.h"
#include "runs/RunWindow.h"
#include "runs/TrashInfoEnd.h"

void EndFolderRow(FileRunContext& run, const fsys::Root& root, const std::u16string& path) {
    const RunOptions& options = run.options;
    ReportRecorder& report = run.report;
    RunBatch& batch = run.batch;
    FileOps& ops = run.ops;
    DeferredFolders& deferred = run.deferred;
    int& i = run.i;

    ops.ConfineTo(root);
    // Listed before it became one (a mount since), or never checked.
    if (const std::u16string why = ops.RefusedPlace(path); !why.empty()) {
        run.allDone = false;
        batch.AppendLog(SafeFormat(u"%s [NOT SHREDDED: %s]", {path, why}));
        return;
    }
    if (options.ignoreProtect) {
        (void)ops.MakeWritable(path);
        (void)ops.UnlockHoldingFolder(path);
    }
    const bool removed = ops.RemoveFolderChain(path);
    ops.RelockHoldingFolder();
    const FolderNow now = removed ? FolderNow::kGone : LookAtFolder(root, path);
    if (removed) {
        deferred.Gone(path, root);
        batch.DeleteRow(i--);
        batch.AppendLog(SafeFormat(u"%s [FOLDER, removed]", {path}));
        report.EntryEnded(path, true, u"[FOLDER, removed]");
        ShredTrashInfoOf(run, root, path);
    } else if (now == FolderNow::kGone) {
        // Already gone, usually as the emptied parent of an earlier file: the
        // log says so as for any folder removed, as the report does.
        deferred.Gone(path, root);
        batch.DeleteRow(i--);
        batch.AppendLog(SafeFormat(u"%s [FOLDER, removed]", {path}));
        report.EntryEnded(path, true, u"[FOLDER, removed]");
        ShredTrashInfoOf(run, root, path);
    } else if (now == FolderNow::kChanged) {
        run.allDone = false;
        batch.AppendLog(LogFolderChangedLine(path));
        report.EntryEnded(path, false, LogFolderChangedLine(u""));
    } else {
        deferred.Add(path, root, true);
        run.waitingFolderRows.insert(path);
    }
}

void RetryWaitingFolders(FileRunContext& run) {
    RunWindow& window = run.window;
    RunState& state = run.state;
    ReportRecorder& report = run.report;

    run.deferred.RemoveAll(run.ops);
    // Folder rows whose folder went in the retry leave the list; the others
    // stay, still in use (or a mount point or one of the user's own folders).
    for (int r = 0; r < window.RowCount(); ++r) {
        if (window.RowText(r, kKindColumn) != kFolderMarker) continue;
        const std::u16string path = window.RowText(r, kPathColumn);
        if (run.waitingFolderRows.count(path) == 0) continue;
        const fsys::Root root = state.chosenRoots.RootOf(path);
        const FolderNow now = LookAtFolder(root, path);
        if (now == FolderNow::kGone) {
            window.DeleteRow(r--);
            window.AppendLog(SafeFormat(u"%s [FOLDER, removed]", {path}));
            report.EntryEnded(path, true, u"[FOLDER, removed]");
            run.batch.Flush();
            ShredTrashInfoOf(run, root, path);
            run.batch.Flush();
        } else {
            run.allDone = false;
            window.AppendLog(SafeFormat(u"%s [FOLDER, not removed]", {path}));
            report.EntryEnded(path, false, u"[FOLDER, not removed]");
        }
    }
}
