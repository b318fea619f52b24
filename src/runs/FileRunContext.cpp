#include "runs/FileRunContext.h"

#include <algorithm>
#include <utility>

#include "i18n/SafeFormat.h"
#include "runs/FilePoolChoice.h"
#include "runs/RunState.h"

namespace {

// A stop reaches the file under way: it ends after the write in progress.
FileJobSettings JobSettings(const RunOptions& options, const RunState& state, bool facts) {
    FileJobSettings s{options.passes, options.file, options.settings.verifyLastPass,
                      options.ignoreProtect, facts};
    s.file.stop = &state.stop;
    return s;
}

int Percent(int64_t done, int64_t all) {
    // Rows appended during the run can take the work done past the total taken
    // at the start.
    if (all <= 0) return 100;
    return static_cast<int>(std::min<int64_t>(100LL * done / all, 100));
}

}  // namespace

FileRunContext::FileRunContext(RunWindow& window, RunState& state, const RunOptions& options,
                               TextLookup text, int total, int64_t bytes, int64_t entries)
    : window(window),
      state(state),
      options(options),
      text(std::move(text)),
      verify(options.settings.verifyLastPass),
      report(state.report),
      total(total),
      workAll(std::max<int64_t>(bytes, 0) * std::max(options.passes, 1) +
              std::max<int64_t>(entries, 0) * kEntryWork),
      shredding(window.MessageText("FrmMain.m_acMShredding")),
      stopping(window.MessageText("FrmMain.m_acMStopping")),
      clearJournals(options.file.shredNames),
      jobSettings(JobSettings(options, state, report.Active())),
      batch(window) {
    ops.KeepFolders(state.trash.Kept());
    // Kept by identity, so that emptying a chosen folder never climbs past it.
    if (options.keepChosenFolders) ops.KeepFolders(state.chosenRoots.Identities());
    ops.ScrambleFolderNames(options.file.shredNames);
}

std::u16string FileRunContext::StatusLine(int k, const std::u16string& path, int64_t extra) const {
    return SafeFormat(u"%s [%d / %d - %d %c]: %s",
                      {shredding, k, total, Percent(workDone + extra, workAll), u'%', path});
}

int64_t FileRunContext::WorkOf(const std::u16string& listedSize) const {
    const int64_t bytes = ListedBytes(listedSize);
    return std::max<int64_t>(bytes, 0) * std::max(options.passes, 1) + kEntryWork;
}

int FileRunContext::Position(int64_t extra) const {
    // Rows appended during the run, or files grown since they were listed, can
    // take the work past what was counted at the start.
    if (workAll <= 0) return 0;
    const int64_t done = std::clamp<int64_t>(workDone + extra, 0, workAll);
    return static_cast<int>(static_cast<long double>(done) * kProgressSteps / workAll);
}

bool FileRunContext::FileEnded(const std::u16string& folder, bool gone, bool& anyGone) {
    const auto it = folderTally.find(folder);
    if (it == folderTally.end()) {
        anyGone = gone;
        return true;
    }
    it->second.anyGone = it->second.anyGone || gone;
    anyGone = it->second.anyGone;
    if (--it->second.underWay > 0) return false;
    folderTally.erase(it);
    return true;
}
