// The shredding log of the window: the run threads write through the RunWindow
// calls, the File menu views, switches and clears it.
#include <QAction>

#include "ui/KelvaneDlg.h"

void CKelvaneDlg::ConnectLog() {
    log_.SetStorageFolder(paths_.storageFolder);
    // The run threads read the switches; the check marks are the UI thread's, so the
    // log keeps its own copy that follows every change of a mark.
    for (int id : {ID_ENABLE_LOG, ID_ARCHIVE_LOG}) {
        QAction* a = MenuAction(id);
        if (!a) continue;
        auto follow = [this, id](bool on) {
            if (id == ID_ENABLE_LOG)
                logSwitches_.SetLogEnabled(on);
            else
                logSwitches_.SetArchiveEnabled(on);
        };
        follow(a->isChecked());
        connect(a, &QAction::toggled, this, follow);
    }
}

// Any thread: the log opens, writes and closes its file for each line.
void CKelvaneDlg::BeginRunLog() {
    log_.BeginRunLog();
}
void CKelvaneDlg::AppendLog(const std::u16string& text) {
    log_.AppendLog(text);
}

void CKelvaneDlg::OnViewLog() {
    (void)log_.ViewLog();
}
// Qt has already flipped the check mark, and the log follows it.
void CKelvaneDlg::OnEnableLog() {}
void CKelvaneDlg::OnArchiveLog() {}
void CKelvaneDlg::OnClearLog() {
    log_.ClearLog();
}
