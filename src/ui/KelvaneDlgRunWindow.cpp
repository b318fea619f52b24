// The window as the worker threads see it. Each call runs on the UI thread and the
// worker waits for it; a call made on the UI thread runs directly. When the
// window is gone the calls do nothing and return neutral values.
#include <unistd.h>

#include <QLabel>
#include <QTimer>
#include <algorithm>
#include <cstdio>
#include <mutex>

#include "config/NumberText.h"
#include "config/TextConv.h"
#include "platform/qt/QtText.h"
#include "runs/TerminalConfirm.h"
#include "ui/KelvaneDlg.h"
#include "ui/MainRunFace.h"
#include "ui/MainRunOptions.h"
#include "ui/MessageBoxes.h"
#include "ui/RunSummaryDlg.h"
#include "ui/XMessageBox.h"

int CKelvaneDlg::RowCount() {
    return caller_.Get<int>([this] { return list_.GetItemCount(); }, 0);
}

bool CKelvaneDlg::RowChecked(int row) {
    return caller_.Get<bool>([this, row] { return list_.GetCheck(row); }, false);
}

std::u16string CKelvaneDlg::RowText(int row, int column) {
    return caller_.Get<std::u16string>([&] { return list_.GetItemText(row, column); }, {});
}

void CKelvaneDlg::DeleteRow(int row) {
    caller_.Call([this, row] { list_.DeleteItem(row); });
}

void CKelvaneDlg::SetRowText(int row, int column, const std::u16string& text) {
    caller_.Call([&] { list_.SetItemText(row, column, text); });
}

void CKelvaneDlg::SetRowFailure(int row, const std::u16string& reason) {
    caller_.Call([&] {
        if (row >= 0 && row < list_.GetItemCount() && listView_)
            listView_->NoteFailure(list_.GetItemText(row, MainFileList::kPathColumn), reason);
    });
}

void CKelvaneDlg::NoteRowOrigins(
    const std::vector<std::pair<std::u16string, std::u16string>>& origins) {
    caller_.Call([&] {
        if (!listView_) return;
        for (const auto& [path, folder] : origins) listView_->NoteOrigin(path, folder);
    });
}

void CKelvaneDlg::AppendRow(const std::u16string& name, const std::u16string& size,
                            const std::u16string& date, const std::u16string& path) {
    caller_.Call([&] {
        int i = list_.InsertItem(list_.GetItemCount(), name);
        if (i < 0) return;
        list_.SetItemText(i, 1, size);
        list_.SetItemText(i, 2, date);
        list_.SetItemText(i, 3, path);
        list_.SetCheck(i, true);
    });
}

void CKelvaneDlg::AppendRows(const std::vector<NewRow>& rows, const std::u16string& status) {
    // The rows are packed here, so the window's thread only moves them in.
    auto batch = std::make_shared<RowTextArena::Batch>();
    for (const NewRow& r : rows) batch->Add({r.name, r.size, r.date, r.path});
    auto apply = [this, batch, status, count = rows.size()]() mutable {
        list_.AppendBatch(std::move(*batch), CListCtrl::kChecked);
        if (!status.empty()) face_->SetStatus(PrintableText(status));
        rowsInFlight_ -= count;
    };
    // The walk goes on while the window takes the rows in and paints; it waits
    // only when the window falls far behind, so the rows never pile up.
    rowsInFlight_ += rows.size();
    if (rowsInFlight_ > kMaxRowsInFlight)
        caller_.Call(apply);
    else
        caller_.Post(apply);
}

int CKelvaneDlg::ReadRows(int first, int maxCount, std::vector<RunRow>& out, bool& confirm) {
    out.clear();
    confirm = true;
    return caller_.Get<int>(
        [&] {
            const int count = list_.GetItemCount();
            for (int i = std::max(first, 0); i < count && i - first < maxCount; ++i)
                out.push_back({list_.GetCheck(i), list_.GetItemText(i, 2), list_.GetItemText(i, 3),
                               list_.GetItemText(i, 1)});
            confirm = options_->Confirm();
            return count;
        },
        0);
}

void CKelvaneDlg::ApplyUpdates(const std::vector<WindowUpdate>& updates) {
    // Log lines and the echoed status go out here, in order, as the single calls
    // would send them, each kind in one write.
    std::vector<std::u16string> lines;
    std::u16string echo;  // printable status lines, each but the last ended here
    for (const WindowUpdate& u : updates) {
        if (u.kind == WindowUpdate::Kind::kLog) lines.push_back(u.text);
        if (!unattended_ || u.kind != WindowUpdate::Kind::kStatus || u.text.empty()) continue;
        if (!echo.empty()) echo += u'\n';
        echo += PrintableText(u.text);
    }
    if (!lines.empty()) log_.AppendLogLines(lines);
    EchoUnattended(stdout, echo);
    if (UiThreadCaller::OnUiThread()) {
        ShowWaitingUpdates();
        ShowUpdates(updates);
        return;
    }
    // The run does not wait for the window. The updates join those not shown yet,
    // and the window shows what has gathered at most every kUpdatesEveryMs, or
    // before the next call of a worker (SetBeforeCall), so the run always reads
    // and asks a window whose rows are as it counts them. A run of many small
    // files thus costs the window a few visits a second, not one per file.
    bool post = false;
    {
        std::lock_guard<std::mutex> lock(waitingMutex_);
        waitingUpdates_.insert(waitingUpdates_.end(), updates.begin(), updates.end());
        post = !waitingPosted_;
        waitingPosted_ = true;
    }
    if (post) caller_.Post([this] { ScheduleWaitingUpdates(); });
}

void CKelvaneDlg::ScheduleWaitingUpdates() {
    const qint64 since = updatesShown_.isValid() ? updatesShown_.elapsed() : kUpdatesEveryMs;
    if (since >= kUpdatesEveryMs)
        ShowWaitingUpdates();
    else if (!updatesTimer_->isActive())
        updatesTimer_->start(static_cast<int>(kUpdatesEveryMs - since));
}

void CKelvaneDlg::ShowWaitingUpdates() {
    std::vector<WindowUpdate> updates;
    {
        std::lock_guard<std::mutex> lock(waitingMutex_);
        if (waitingUpdates_.empty()) return;
        updates.swap(waitingUpdates_);
        waitingPosted_ = false;
    }
    updatesTimer_->stop();
    updatesShown_.restart();
    ShowUpdates(updates);
}

void CKelvaneDlg::ShowUpdates(const std::vector<WindowUpdate>& updates) {
    const std::u16string* status = nullptr;
    int progress = -1;
    for (size_t i = 0; i < updates.size(); ++i) {
        const WindowUpdate& u = updates[i];
        if (u.kind == WindowUpdate::Kind::kStatus) status = &u.text;
        if (u.kind == WindowUpdate::Kind::kProgressPos) progress = u.number;
        if (u.kind != WindowUpdate::Kind::kDeleteRow) continue;
        // A run takes its finished rows out one after another at the same index:
        // such a series goes as one block.
        int count = 1;
        for (size_t j = i + 1; j < updates.size(); ++j) {
            const WindowUpdate& next = updates[j];
            if (next.kind == WindowUpdate::Kind::kDeleteRow && next.number != u.number) break;
            if (next.kind == WindowUpdate::Kind::kDeleteRow) ++count;
            if (next.kind == WindowUpdate::Kind::kStatus) status = &next.text;
            if (next.kind == WindowUpdate::Kind::kProgressPos) progress = next.number;
            i = j;
        }
        list_.DeleteItemRange(u.number, count);
    }
    // Nothing is painted within this visit: the last text and position are all
    // anyone could see.
    if (status) face_->SetStatus(PrintableText(*status));
    if (progress >= 0) face_->SetPos(progress);
}

// Status texts carry file names: shown printable, so a name cannot break the line
// or write terminal control sequences when the status is echoed.
void CKelvaneDlg::SetStatusText(const std::u16string& text) {
    const std::u16string shown = PrintableText(text);
    EchoUnattended(stdout, shown);
    caller_.Call([&] { face_->SetStatus(shown); });
}

std::u16string CKelvaneDlg::StatusText() {
    return caller_.Get<std::u16string>([this] { return face_->Status(); }, {});
}

void CKelvaneDlg::SetProgressRange(int upper) {
    caller_.Call([&] { face_->SetRange(upper); });
}

void CKelvaneDlg::SetProgressPos(int pos) {
    caller_.Call([&] { face_->SetPos(pos); });
}

int CKelvaneDlg::ProgressUpper() {
    return caller_.Get<int>([this] { return face_->Upper(); }, 0);
}

int CKelvaneDlg::ProgressPos() {
    return caller_.Get<int>([this] { return face_->Pos(); }, 0);
}

void CKelvaneDlg::SetClockText(const std::u16string& text) {
    caller_.Call([&] { face_->SetClock(text); });
}

void CKelvaneDlg::SetIndicatorText(const std::u16string& text) {
    caller_.Call([&] { face_->SetIndicator(text); });
}

AppSettings CKelvaneDlg::CurrentSettings() {
    return caller_.Get<AppSettings>(
        [this] {
            AppSettings s = GatherSettings();
            // Asked for on the command line: for these runs, never stored.
            if (flags_.freeSpaceAfter) s.freeSpaceAfter = true;
            // "-trash --ask": the summary is the question, whatever is stored.
            if (flags_.askFirst) s.showSummary = true;
            return s;
        },
        fields_);
}

std::u16string CKelvaneDlg::IterationsText() {
    return caller_.Get<std::u16string>([this] { return FromQ(options_->IterationsText()); }, u"3");
}

bool CKelvaneDlg::ConfirmChecked() {
    return caller_.Get<bool>([this] { return options_->Confirm(); }, true);
}

int CKelvaneDlg::EndAction() {
    // A run stopped by closing the window must not shut the computer down: the
    // user ended the program, nothing else.
    return caller_.Get<int>(
        [this] {
            if (closing_) return 0;
            return options_->EndAction();
        },
        0);
}

std::u16string CKelvaneDlg::MessageText(std::string_view key) {
    return caller_.Get<std::u16string>([&] { return Text(key); }, DefaultText(key));
}

int CKelvaneDlg::AskConfirmation(const std::u16string& question) {
    const std::u16string text = PrintableText(question);
    if (unattended_) {
        // Nobody can answer a box without a display: ask on the terminal, or
        // cancel when there is none, so the run never hangs.
        if (!::isatty(STDIN_FILENO)) return XMessageBox::kIdCancel;
        return AskOnTerminal(text, stdin, stderr, Text("FrmMain.m_acMTerminalAnswers"));
    }
    // Closing: no new box, the run is stopping anyway.
    return caller_.Get<int>(
        [&] {
            if (closing_) return XMessageBox::kIdCancel;
            XMessageBoxCaptions captions;
            captions.yes = ToQ(Text("FrmMain.m_acMYes"));
            captions.yesToAll = ToQ(Text("FrmMain.m_acMYesToAll"));
            captions.no = ToQ(Text("FrmMain.m_acMNo"));
            captions.cancel = ToQ(Text("FrmMain.m_acMCancel"));
            return XMessageBox::Ask(this, ToQ(text), ToQ(Text("FrmMain.m_acMConfirm")), captions);
        },
        XMessageBox::kIdCancel);
}

bool CKelvaneDlg::ShowRunSummary(const RunSummary& summary, bool wanted) {
    const TextLookup text = [this](std::string_view key) { return MessageText(key); };
    if (unattended_) {
        // A script asked for the run: tell what cannot be guaranteed, then go on.
        for (const std::u16string& line : SummaryLines(summary, text))
            std::fprintf(stderr, "%s\n", Utf8FromWide(PrintableText(line)).c_str());
        std::fflush(stderr);
        return true;
    }
    if (!wanted) return true;
    return caller_.Get<bool>(
        [&] {
            if (closing_) return false;
            const TextLookup uiText = [this](std::string_view key) { return Text(key); };
            CRunSummaryDlg dlg(summary, uiText, fields_.hideSeenWarnings, this);
            face_->Hold(true);
            const bool start = dlg.exec() == QDialog::Accepted;
            face_->Hold(false);
            if (start) {
                fields_.seenWarnings |= summary.WarningMask();
                fields_.hideSeenWarnings = dlg.HideSeen();
                fields_.freeSpaceAfter = dlg.FreeSpaceAfter();
                fields_.overwriteReserve = dlg.OverwriteReserve();
            }
            return start;
        },
        false);
}

void CKelvaneDlg::ShowInfoMessage(const std::u16string& text) {
    if (unattended_) {
        EchoUnattended(stderr, text);
        return;
    }
    caller_.Call([&] {
        if (!closing_)
            MessageBoxes::Information(this, ToQ(Text("FrmMain.m_acMInfoTitle")), ToQ(text));
    });
}

// A longer run that ended while the user was elsewhere is told on the desktop.
void CKelvaneDlg::AnnounceRunEnd() {
    std::string_view key;
    switch (state_.lastOutcome.load()) {
        case RunOutcome::Done:
            key = "FrmMain.m_acMShreddingDone";
            break;
        case RunOutcome::Partly:
            key = "FrmMain.m_acMShreddingPartly";
            break;
        case RunOutcome::Interrupted:
            key = "FrmMain.m_acMShreddingInterrupted";
            break;
        default:
            break;
    }
    if (unattended_ || closing_) key = {};
    face_->Announce(key, notifyAfterMs_);
}
