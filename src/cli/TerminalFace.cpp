#include "cli/TerminalFace.h"

#include <sys/ioctl.h>
#include <unistd.h>

#include <algorithm>

#include "cli/ChosenListRows.h"
#include "cli/JsonLines.h"
#include "cli/RowFilter.h"
#include "config/TextConv.h"
#include "filelist/FileListOps.h"
#include "filelist/FolderRowWalk.h"
#include "i18n/LanguageKeys.h"
#include "log/ShredLog.h"
#include "runs/FillOutcomeText.h"
#include "runs/RunClock.h"
#include "runs/RunSummary.h"
#include "runs/TerminalConfirm.h"

namespace {

std::string Amount(double bytes) {
    static const char* units[] = {"B", "KiB", "MiB", "GiB", "TiB"};
    int u = 0;
    while (bytes >= 1024 && u < 4) {
        bytes /= 1024;
        ++u;
    }
    char buf[32];
    std::snprintf(buf, sizeof buf, u == 0 ? "%.0f %s" : "%.1f %s", bytes, units[u]);
    return buf;
}

int TerminalWidth() {
    struct winsize ws {};
    if (::ioctl(STDERR_FILENO, TIOCGWINSZ, &ws) == 0 && ws.ws_col >= 20) return ws.ws_col;
    return 80;
}

}  // namespace

TerminalFace::TerminalFace(FaceSetup setup, ShredLog* log, std::FILE* extraLog, RowFilter* filter)
    : setup_(std::move(setup)), log_(log), extraLog_(extraLog), filter_(filter) {}

TerminalFace::~TerminalFace() = default;

void TerminalFace::SetStatusText(const std::u16string& text) {
    {
        std::lock_guard<std::mutex> lock(mutex_);
        status_ = text;
    }
    // The window program's headless runs echo the status line as its data.
    if (setup_.windowEcho && !text.empty()) Say(text, true);
}

std::u16string TerminalFace::StatusText() {
    std::lock_guard<std::mutex> lock(mutex_);
    return status_;
}

void TerminalFace::ShowReportNote(const std::u16string& note) {
    if (setup_.quiet || std::find(lastSaid_.begin(), lastSaid_.end(), note) != lastSaid_.end())
        return;
    Say(note, setup_.windowEcho);
}

void TerminalFace::ReportFilesWritten(const ReportOutcome& o) {
    // A report place that could not be written is said on standard error
    // whatever else is shown, as a script relies on the report.
    {
        std::lock_guard<std::mutex> out(outMutex_);
        ClearProgressLocked();
        for (const std::string& p : o.problems)
            std::fprintf(stderr, "kelvane-cli: report not written: %s\n",
                         Utf8FromWide(PrintableText(WideFromUtf8(p))).c_str());
        std::fflush(stderr);
    }
    if (!setup_.json) return;
    auto wide = [](const std::vector<std::string>& list) {
        std::vector<std::u16string> out;
        for (const std::string& s : list) out.push_back(WideFromUtf8(s));
        return out;
    };
    JsonObject e;
    e.Add("event", "report").AddBool("written", !o.json.empty());
    if (!o.json.empty()) e.Add("json", WideFromUtf8(o.json));
    if (!o.pdf.empty()) e.Add("pdf", WideFromUtf8(o.pdf));
    if (!o.signature.empty()) e.Add("signature", WideFromUtf8(o.signature));
    e.Add("files", wide(o.files)).Add("problems", wide(o.problems));
    if (o.json.empty())
        e.Add("reason", WideFromUtf8(o.problems.empty() ? std::string("no place to write it")
                                                        : o.problems.front()));
    Emit(e);
}

void TerminalFace::SetProgressPos(int pos) {
    std::lock_guard<std::mutex> lock(mutex_);
    // Back to 0 after some progress: the run has ended and shows its last text.
    if (pos == 0 && pos_ > 0) ended_ = true;
    pos_ = pos;
}

int TerminalFace::ProgressUpper() {
    std::lock_guard<std::mutex> lock(mutex_);
    return upper_;
}

int TerminalFace::ProgressPos() {
    std::lock_guard<std::mutex> lock(mutex_);
    return pos_;
}

std::u16string TerminalFace::IterationsText() {
    return WideFromUtf8(std::to_string(setup_.passes));
}

std::u16string TerminalFace::MessageText(std::string_view key) {
    if (setup_.texts) return setup_.texts(key);
    return WideFromUtf8(std::string(BuiltInText(key)));
}

int TerminalFace::AskConfirmation(const std::u16string& text) {
    // Only asked when standard input is a terminal (the run refuses to start
    // otherwise); should it be gone by now, nobody answers: Cancel.
    if (!::isatty(STDIN_FILENO)) return kAnswerCancel;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        asking_ = true;
    }
    int answer;
    {
        std::lock_guard<std::mutex> out(outMutex_);
        ClearProgressLocked();
        answer = AskOnTerminal(text, stdin, stderr, MessageText("FrmMain.m_acMTerminalAnswers"));
    }
    std::lock_guard<std::mutex> lock(mutex_);
    asking_ = false;
    return answer;
}

void TerminalFace::ShowInfoMessage(const std::u16string& text) {
    if (setup_.json)
        Emit(JsonObject().Add("event", "message").Add("text", text));
    else if (!setup_.quiet)
        Say(text, false);
}

bool TerminalFace::ShowRunSummary(const RunSummary& summary, bool wanted) {
    const TextLookup text = [this](std::string_view key) { return MessageText(key); };
    if (setup_.json) {
        Emit(JsonObject()
                 .Add("event", "summary")
                 .Add("files", summary.files)
                 .Add("folders", summary.folders)
                 .Add("bytes", summary.bytes)
                 .Add("warnings", WarningLines(summary, text)));
        return true;
    }
    if (setup_.askSummary && wanted) {
        for (const std::u16string& line : SummaryLines(summary, text)) Say(line, true);
        return ::isatty(STDIN_FILENO) &&
               AskOnTerminal(MessageText("FrmMain.m_acMShredTrashAsk"), stdin, stderr,
                             u"[y]es / [n]o") == kAnswerYes;
    }
    // As an unattended window run: tell what cannot be guaranteed, then go on.
    if (!setup_.quiet && (!summary.groups.empty() || setup_.windowEcho))
        for (const std::u16string& line : SummaryLines(summary, text)) Say(line, false);
    return true;
}

void TerminalFace::BeginRunLog() {
    if (log_) log_->BeginRunLog();
}

void TerminalFace::AppendLogHeader(const std::u16string& title) {
    if (log_) (void)log_->AppendRunHeader(title);
    if (extraLog_) {
        std::fprintf(extraLog_, "%s\n", Utf8FromWide(PrintableText(title)).c_str());
        std::fflush(extraLog_);
    }
}

void TerminalFace::CarryLog(const std::vector<std::u16string>& lines) {
    if (log_) log_->CarryToNextRun(lines);
    for (const std::u16string& line : lines) ShowLogLine(line);
}

void TerminalFace::FillingFreeSpaceOf(const std::vector<std::u16string>& roots) {
    // Set on the run's thread, which alone shows log lines.
    drives_ = roots;
    filling_ = true;
}

void TerminalFace::AppendLog(const std::u16string& text) {
    if (log_) (void)log_->AppendLog(text);
    ShowLogLine(text);
}

void TerminalFace::ShowLogLine(const std::u16string& text) {
    if (extraLog_) {
        std::fprintf(extraLog_, "%s\n", Utf8FromWide(PrintableText(text)).c_str());
        std::fflush(extraLog_);
    }
    const LogLineMeaning m = MeaningOfLogLine(text, drives_);
    if (m.failure) ++failures_;
    if (setup_.json) {
        JsonObject o;
        switch (m.kind) {
            case LogLineMeaning::Kind::kEntry:
                o.Add("event", "entry").AddPath("path", m.path).Add("result", m.result.c_str());
                break;
            case LogLineMeaning::Kind::kDrive:
                o.Add("event", "drive").AddPath("root", m.path).Add("result", m.result.c_str());
                break;
            case LogLineMeaning::Kind::kTemporaryFile:
                o.Add("event", "temporary-file").AddPath("path", m.path);
                break;
            case LogLineMeaning::Kind::kOther:
                o.Add("event", "log");
                break;
        }
        Emit(o.Add("line", text));
        return;
    }
    if (setup_.windowEcho || (setup_.quiet && !m.failure)) return;
    // The line naming the drive that holds a folder counts as the drive's own.
    bool drive = m.kind == LogLineMeaning::Kind::kDrive;
    for (const std::u16string& root : drives_) drive = drive || IsDriveOfFolderLine(text, root);
    // Failures always; a drive's outcome, as there are few; everything with -v.
    if (!(m.failure || drive || setup_.verbose)) return;
    // With -v every entry's line is data, in order; without it a failure is a
    // message (standard error), a drive's outcome the data of a free-space run.
    // The run's other lines (its report, notes) are messages.
    const bool entry = m.kind != LogLineMeaning::Kind::kOther;
    Say(text, entry && (setup_.verbose || !m.failure));
    lastSaid_.push_back(text);
    if (lastSaid_.size() > 8) lastSaid_.pop_front();
}

void TerminalFace::Emit(const JsonObject& object) {
    std::lock_guard<std::mutex> out(outMutex_);
    ClearProgressLocked();
    std::fprintf(stdout, "%s\n", object.Text().c_str());
    std::fflush(stdout);
}

void TerminalFace::Say(const std::u16string& text, bool data) {
    std::lock_guard<std::mutex> out(outMutex_);
    ClearProgressLocked();
    std::FILE* stream = data && !setup_.json ? stdout : stderr;
    std::fprintf(stream, "%s\n", Utf8FromWide(PrintableText(text)).c_str());
    std::fflush(stream);
}

void TerminalFace::ClearProgressLocked() {
    if (!barShown_) return;
    std::fputs("\r\033[K", stderr);
    std::fflush(stderr);
    barShown_ = false;
}

void TerminalFace::DrawProgress(bool last) {
    if (!setup_.progressBar) return;
    int upper, pos;
    int64_t total, done;
    double seconds;
    std::u16string status;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        if (asking_) return;
        upper = ended_ ? 0 : upper_;
        pos = pos_;
        total = totalBytes_;
        done = doneBytes_;
        status = status_;
        seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - since_).count();
    }
    // Never waits for a question to be answered: the caller also watches for signals.
    std::unique_lock<std::mutex> out(outMutex_, std::defer_lock);
    if (last)
        out.lock();
    else if (!out.try_lock())
        return;
    if (last || upper <= 0) {
        ClearProgressLocked();
        return;
    }
    // The free-space run counts kilobytes written; the file run counts rows, and
    // the bytes of the rows it finished give the rate.
    if (setup_.mode == FaceSetup::Mode::kFreeSpace || filling_.load()) {
        total = int64_t{upper} * 1024;
        done = int64_t{pos} * 1024;
    }
    const double share = std::clamp(static_cast<double>(pos) / upper, 0.0, 1.0);
    const double rate = seconds > 0.5 ? done / seconds : 0;
    std::string line = std::to_string(static_cast<int>(share * 100)) + "% ";
    constexpr int kBar = 20;
    const int filled = static_cast<int>(share * kBar);
    line += "[" + std::string(filled, '#') + std::string(kBar - filled, '.') + "] ";
    if (rate > 0) {
        line += Amount(rate) + "/s ";
        if (total > done) {
            const int64_t left = static_cast<int64_t>((total - done) / rate);
            line += Utf8FromWide(ClockTimeText(left)) + " left ";
        }
    }
    std::string shown = Utf8FromWide(PrintableText(status));
    const size_t width = static_cast<size_t>(TerminalWidth()) - 1;
    if (line.size() < width) {
        // The end of the status names the entry: keep that when cutting.
        if (line.size() + shown.size() > width && width > line.size() + 3) {
            size_t from = shown.size() - (width - line.size() - 3);
            while (from < shown.size() && (static_cast<unsigned char>(shown[from]) & 0xC0) == 0x80)
                ++from;
            shown = "..." + shown.substr(from);
        }
        line += shown;
    }
    // Cut at a character boundary.
    if (line.size() > width) line.resize(width);
    while (!line.empty() && (static_cast<unsigned char>(line.back()) & 0xC0) == 0x80)
        line.pop_back();
    if (!line.empty() && static_cast<unsigned char>(line.back()) >= 0xC0) line.pop_back();
    std::fprintf(stderr, "\r\033[K%s", line.c_str());
    std::fflush(stderr);
    barShown_ = true;
}
