#include "runs/FileRunContext.h"

#include <algorithm>
#include <utility>

#include "i18n/SafeFormat.h"
#include "runs/RunState.h"

namespace {

int Percent(int64_t done, int64_t all) {
    // Rows appended during the run can take the work done past the total taken
    // at the start.
    if (all <= 0) return 100;
    return static_cast<int>(std::min<int64_t>(100LL * done / all, 100));
}

}  // namespace

FileRunContext::FileRunContext(RunWindow& window, RunState& state, const RunOptions& options,
                               TextLookup text, int total, int steps)
    : window(window),
      state(state),
      options(options),
      text(std::move(text)),
      verify(options.settings.verifyLastPass),
      report(state.report),
      total(total),
      steps(steps),
      shredding(window.MessageText("FrmMain.m_acMShredding")),
      stopping(window.MessageText("FrmMain.m_acMStopping")),
      clearJournals(options.file.shredNames),
      jobSettings{options.passes, options.file, verify, options.ignoreProtect, report.Active()},
      batch(window) {
    ops.KeepFolders(state.trash.Kept());
    ops.ScrambleFolderNames(options.file.shredNames);
}

std::u16string FileRunContext::StatusLine(int k, int64_t stepsDone,
                                          const std::u16string& path) const {
    return SafeFormat(
        u"%s [%d / %d - %d %c]: %s",
        {shredding, k, total, Percent(stepsDone, static_cast<int64_t>(total) * steps), u'%', path});
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
