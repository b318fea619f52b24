// Command dispatch, storing the settings, exit and close.
#include <QAction>
#include <QCheckBox>
#include <QCloseEvent>
#include <QComboBox>
#include <QCoreApplication>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QElapsedTimer>
#include <QMenu>
#include <QMimeData>
#include <QUrl>
#include <chrono>
#include <thread>

#include "config/TextConv.h"
#include "platform/qt/QtText.h"
#include "runs/FinishWorkers.h"
#include "ui/FontHolder.h"
#include "ui/KelvaneDlg.h"

void CKelvaneDlg::OnCommand(int id) {
    // A command of a disabled pop-up (File, Edit, View while a run goes on) does
    // not run, whether it came from the menu or from an accelerator.
    if (QAction* a = MenuAction(id)) {
        for (int i = 0; i < 3; ++i)
            if (popups_[i]->actions().contains(a) && !popups_[i]->menuAction()->isEnabled()) return;
        if (!a->isEnabled()) return;
    }
    emit CommandIssued(id);
    switch (id) {
        case ID_VIEW_LOG:
            OnViewLog();
            break;
        case ID_ENABLE_LOG:
            OnEnableLog();
            break;
        case ID_ARCHIVE_LOG:
            OnArchiveLog();
            break;
        case ID_CLEAR_LOG:
            OnClearLog();
            break;
        case ID_EXIT:
            OnExit();
            break;
        case ID_ADD_FILES:
        case IDC_ADD:
            OnAddFiles();
            break;
        case ID_ADD_FOLDER:
        case IDC_ADD_FOLDER:
            OnAddFolder();
            break;
        case ID_REMOVE_SELECTED:
        case IDC_REMOVE:
            OnRemoveSelected();
            break;
        case ID_CLEAR_LIST:
        case IDC_CLEAR:
            OnClearList();
            break;
        case ID_SELECT_ALL:
            OnSelectAll();
            break;
        case ID_INVERT_SELECTION:
            OnInvertSelection();
            break;
        case ID_OPTIONS:
            OnOptions();
            break;
        case ID_LANGUAGE:
            OnLanguage();
            break;
        case ID_INFO:
            OnInfo();
            break;
        case ID_HELP:
            OnHelp();
            break;
        case ID_LICENSE:
            OnLicense();
            break;
        case ID_CHANGES:
            OnChanges();
            break;
        case ID_CHECK_UPDATE:
            OnCheckForUpdate();
            break;
        case IDC_SHRED:
            OnShredFiles();
            break;
        case IDC_SHRED_FREE:
            OnShredFreeSpace();
            break;
        case IDC_STOP:
            OnStop();
            break;
        default:
            break;  // Ctrl+O and Ctrl+S have no handler
    }
}

void CKelvaneDlg::OnStop() {
    state_.stop = true;
}

void CKelvaneDlg::OnModifySizeClicked() {
    auto* box = static_cast<QCheckBox*>(Control(IDC_MODIFY_SIZE));
    Control(IDC_SIZE_TYPE)->setEnabled(box->isChecked());
}

void CKelvaneDlg::OnColumnClick(int column) {
    if (locked_) return;
    // "Size" compares as numbers, every other column as text without case.
    int type = column == 1 ? CSortListCtrl::SortInteger : CSortListCtrl::SortTextNoCase;
    int result = 0;
    list_.OnColumnClick(column, type, result);
}

void CKelvaneDlg::WaitProcessingEvents(int milliseconds) {
    QElapsedTimer timer;
    timer.start();
    while (timer.elapsed() < milliseconds) {
        QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents, 10);
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
}

void CKelvaneDlg::JoinWorkers() {
    FinishWorkers(workers_, state_,
                  [] { QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents, 10); });
}

void CKelvaneDlg::StoreSettings() {
    if (!UiThreadCaller::OnUiThread()) {
        // A run ending because the window closes: the close stores them itself
        // once every worker has ended.
        caller_.Call([this] {
            if (!closing_) StoreSettings();
        });
        return;
    }
    state_.stop = true;
    WaitProcessingEvents(500);
    SaveSettingsFile();
    fonts_->Release();
    settingsStored_ = true;
}

void CKelvaneDlg::EndProgram() {
    if (!UiThreadCaller::OnUiThread()) {
        caller_.Call([this] {
            if (!closing_) EndProgram();
        });
        return;
    }
    EndDialog(IDOK);
}

void CKelvaneDlg::OnExit() {
    StoreSettings();
    closing_ = true;
    JoinWorkers();
    EndDialog(IDOK);
}

void CKelvaneDlg::closeEvent(QCloseEvent* event) {
    if (!closing_) {
        // A run finishes the entry it is on; its settings are stored after that.
        closing_ = true;
        JoinWorkers();
        StoreSettings();
    }
    event->accept();
    EndDialog(IDCANCEL);
}

void CKelvaneDlg::dragEnterEvent(QDragEnterEvent* event) {
    if (event->mimeData()->hasUrls() && !locked_) event->acceptProposedAction();
}

void CKelvaneDlg::dropEvent(QDropEvent* event) {
    if (locked_) return;
    std::vector<std::u16string> paths;
    for (const QUrl& url : event->mimeData()->urls())
        if (url.isLocalFile()) {
            // From the encoded bytes: a name that is not UTF-8 must reach the list
            // as the bytes it has on disk, not with replacement characters.
            QByteArray bytes =
                QByteArray::fromPercentEncoding(url.path(QUrl::FullyEncoded).toLatin1());
            paths.push_back(WideFromUtf8(std::string_view(bytes.constData(), bytes.size())));
        }
    event->acceptProposedAction();
    if (!paths.empty()) OnDropPaths(paths);
}
