#include "support/FakeRunWindow.h"

#include <sys/stat.h>

#include <string>

#include "config/TextConv.h"
#include "i18n/LanguageKeys.h"

FakeRunWindow::FakeRunWindow() {
    list.InsertColumn(0, u"Filename");
    list.InsertColumn(1, u"Size");
    list.InsertColumn(2, u"Date");
    list.InsertColumn(3, u"");
}

int FakeRunWindow::RowCount() {
    std::lock_guard<std::mutex> l(mutex);
    return list.GetItemCount();
}
bool FakeRunWindow::RowChecked(int row) {
    std::lock_guard<std::mutex> l(mutex);
    return list.GetCheck(row);
}
std::u16string FakeRunWindow::RowText(int row, int column) {
    std::lock_guard<std::mutex> l(mutex);
    return list.GetItemText(row, column);
}
void FakeRunWindow::DeleteRow(int row) {
    std::lock_guard<std::mutex> l(mutex);
    list.DeleteItem(row);
}
void FakeRunWindow::SetRowText(int row, int column, const std::u16string& text) {
    std::lock_guard<std::mutex> l(mutex);
    list.SetItemText(row, column, text);
}
void FakeRunWindow::AppendRow(const std::u16string& name, const std::u16string& size,
                              const std::u16string& date, const std::u16string& path) {
    int rows = 0;
    {
        std::lock_guard<std::mutex> l(mutex);
        int i = list.InsertItem(list.GetItemCount(), name);
        list.SetItemText(i, 1, size);
        list.SetItemText(i, 2, date);
        list.SetItemText(i, 3, path);
        list.SetCheck(i, true);
        rows = list.GetItemCount();
    }
    if (onAppend) onAppend(rows);
}
void FakeRunWindow::SetStatusText(const std::u16string& text) {
    std::lock_guard<std::mutex> l(mutex);
    status = text;
    statusHistory.push_back(text);
}
std::u16string FakeRunWindow::StatusText() {
    std::lock_guard<std::mutex> l(mutex);
    return status;
}
void FakeRunWindow::SetProgressRange(int upper) {
    std::lock_guard<std::mutex> l(mutex);
    progressUpper = upper;
}
void FakeRunWindow::SetProgressPos(int pos) {
    std::lock_guard<std::mutex> l(mutex);
    progressPos = pos;
    progressHistory.push_back(pos);
}
int FakeRunWindow::ProgressUpper() {
    std::lock_guard<std::mutex> l(mutex);
    return progressUpper;
}
int FakeRunWindow::ProgressPos() {
    std::lock_guard<std::mutex> l(mutex);
    return progressPos;
}
void FakeRunWindow::SetClockText(const std::u16string& text) {
    std::lock_guard<std::mutex> l(mutex);
    clockText = text;
}
void FakeRunWindow::SetIndicatorText(const std::u16string& text) {
    std::lock_guard<std::mutex> l(mutex);
    indicatorText = text;
}
AppSettings FakeRunWindow::CurrentSettings() {
    std::lock_guard<std::mutex> l(mutex);
    return settings;
}
std::u16string FakeRunWindow::IterationsText() {
    std::lock_guard<std::mutex> l(mutex);
    return iterationsText;
}
bool FakeRunWindow::ConfirmChecked() {
    std::lock_guard<std::mutex> l(mutex);
    return settings.confirm != 0;
}
int FakeRunWindow::EndAction() {
    std::lock_guard<std::mutex> l(mutex);
    return endAction;
}
std::u16string FakeRunWindow::MessageText(std::string_view key) {
    std::lock_guard<std::mutex> l(mutex);
    auto o = texts.find(std::string(key));
    if (o != texts.end() && !o->second.empty()) return o->second;
    return WideFromUtf8(BuiltInText(key));
}
int FakeRunWindow::AskConfirmation(const std::u16string& text) {
    std::lock_guard<std::mutex> l(mutex);
    questions.push_back(text);
    if (answers.empty()) return 2;
    int a = answers.front();
    answers.pop_front();
    return a;
}
void FakeRunWindow::ShowInfoMessage(const std::u16string& text) {
    std::lock_guard<std::mutex> l(mutex);
    infoMessages.push_back(text);
}
bool FakeRunWindow::ShowRunSummary(const RunSummary& summary, bool wanted) {
    std::lock_guard<std::mutex> l(mutex);
    summaries.push_back(summary);
    summariesWanted.push_back(wanted);
    // Like the window: accepting a shown summary marks its warnings as seen.
    if (wanted && summaryAnswer) settings.seenWarnings |= summary.WarningMask();
    return !wanted || summaryAnswer;
}
void FakeRunWindow::LockForRun() {
    std::lock_guard<std::mutex> l(mutex);
    ++lockCalls;
    locked = true;
}
void FakeRunWindow::UnlockAfterRun() {
    std::lock_guard<std::mutex> l(mutex);
    ++unlockCalls;
    locked = false;
}
void FakeRunWindow::BeginRunLog() {
    std::lock_guard<std::mutex> l(mutex);
    ++beginRunLogCalls;
    logLines.clear();
}
void FakeRunWindow::AppendLog(const std::u16string& text) {
    std::lock_guard<std::mutex> l(mutex);
    logLines.push_back(text);
}
void FakeRunWindow::StoreSettings() {
    std::lock_guard<std::mutex> l(mutex);
    ++storeCalls;
}
void FakeRunWindow::EndProgram() {
    std::lock_guard<std::mutex> l(mutex);
    ++endCalls;
}

void FakeRunWindow::AddRow(const std::u16string& path, const std::u16string& kind) {
    // The display name is only for show here; the workers go by the full path.
    size_t end = path.size() > 1 && path.back() == u'/' ? path.size() - 1 : path.size();
    size_t slash = path.find_last_of(u'/', end == 0 ? 0 : end - 1);
    // The size as the window lists it, so a large file is seen as one.
    struct stat st {};
    const bool there = ::lstat(Utf8FromWide(path).c_str(), &st) == 0 && S_ISREG(st.st_mode);
    const std::u16string size = WideFromUtf8(std::to_string(there ? st.st_size : 0));
    AppendRow(slash == std::u16string::npos ? path : path.substr(slash + 1), size, kind, path);
}

std::vector<std::u16string> FakeRunWindow::Paths() {
    std::lock_guard<std::mutex> l(mutex);
    std::vector<std::u16string> out;
    for (int i = 0; i < list.GetItemCount(); ++i) out.push_back(list.GetItemText(i, 3));
    return out;
}
