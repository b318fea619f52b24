// The file list commands of the main window: Add files, Add folder, paths dropped
// on the window, Remove selected, Clear list, Select all and Invert selection.
#include <sys/stat.h>

#include <QLabel>
#include <QStringList>

#include "config/DialogFilter.h"
#include "config/TextConv.h"
#include "filelist/FileListOps.h"
#include "filelist/ListSources.h"
#include "platform/qt/QtText.h"
#include "ui/FileDialogs.h"
#include "ui/KelvaneDlg.h"

namespace {

bool IsExistingFolder(const std::string& path) {
    struct stat st {};
    return !path.empty() && ::stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

}  // namespace

void CKelvaneDlg::OnAddFiles() {
    const QString filter = ToQ(DialogFilterFromText(Text("FrmMain.m_acMAddFileDlg")));
    const QStringList chosen = FileDialogs::OpenFiles(this, QString(), QString(), filter);
    std::vector<std::u16string> paths;
    paths.reserve(chosen.size());
    for (const QString& f : chosen) paths.push_back(FromQ(f));
    AddChosenFiles(*this, paths);
}

void CKelvaneDlg::OnAddFolder() {
    QString start;
    if (IsExistingFolder(rememberedFolder_)) start = ToQ(WideFromUtf8(rememberedFolder_));
    const QString chosen =
        FileDialogs::ChooseFolder(this, ToQ(Text("FrmMain.m_acMSelectFolder")), start);
    AddChosenFolder(workers_, *this, state_, FromQ(chosen), rememberedFolder_);
}

void CKelvaneDlg::OnDropPaths(const std::vector<std::u16string>& paths) {
    // A drop during a run or an expansion would empty the folder queue under the
    // expansion and change the list under the run.
    if (locked_) return;
    AddDroppedPaths(workers_, *this, state_, paths);
}

void CKelvaneDlg::OnRemoveSelected() {
    RemoveSelectedRows(list_, *this);
}

void CKelvaneDlg::OnClearList() {
    ClearList(list_, *this);
}

void CKelvaneDlg::OnSelectAll() {
    SelectAllRows(list_);
}

void CKelvaneDlg::OnInvertSelection() {
    InvertRowSelection(list_);
}

void CKelvaneDlg::AppendRowWithStatus(const std::u16string& name, const std::u16string& size,
                                      const std::u16string& date, const std::u16string& path,
                                      const std::u16string& status) {
    // One visit to the UI thread per file instead of two: a worker waits for each.
    caller_.Call([&] {
        int i = list_.InsertItem(list_.GetItemCount(), name);
        if (i >= 0) {
            list_.SetItemText(i, 1, size);
            list_.SetItemText(i, 2, date);
            list_.SetItemText(i, 3, path);
            list_.SetCheck(i, true);
        }
        static_cast<QLabel*>(Control(IDC_STATUS))->setText(ToQ(status));
    });
}
