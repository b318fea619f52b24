#include "ui/MainRunFace.h"

#include <QGuiApplication>
#include <QLabel>
#include <QProgressBar>
#include <QWidget>
#include <algorithm>
#include <utility>

#include "i18n/SafeFormat.h"
#include "platform/qt/DesktopNotify.h"
#include "platform/qt/QtText.h"

namespace {

// The language texts a status line is made of when the window sits idle: the
// list's count and the ends of runs.
constexpr std::string_view kStatusKeys[] = {
    "FrmMain.m_acMAmountOfFile",    "FrmMain.m_acMShreddingDone",
    "FrmMain.m_acMShreddingPartly", "FrmMain.m_acMShreddingInterrupted",
    "FrmSummary.m_acMCancelled",    "FrmMain.m_acMStopping",
};

// The run's texts end their lines with CR LF; a label wants LF, and no empty line
// after the last.
QString LabelLines(const std::u16string& text) {
    QString q = ToQ(text);
    q.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
    while (q.endsWith(u'\n')) q.chop(1);
    return q;
}

// Where the one "%d" or "%s" of a language text stands; npos when it has none.
size_t FillPoint(const std::u16string& t) {
    const size_t at = t.find(u'%');
    if (at == std::u16string::npos || at + 1 >= t.size()) return std::u16string::npos;
    return t[at + 1] == u'd' || t[at + 1] == u's' ? at : std::u16string::npos;
}

}  // namespace

MainRunFace::MainRunFace(QWidget* window, const Controls& controls, TextLookup text)
    : window_(window),
      status_(controls.status),
      bar_(controls.bar),
      clock_(controls.clock),
      indicator_(controls.indicator),
      stop_(controls.stop),
      text_(std::move(text)) {}

void MainRunFace::SetStatus(const std::u16string& text) {
    // After Stop the line keeps saying so until the run has ended; what the run
    // says meanwhile (its last file, its end) is kept for then.
    if (stopping_) {
        heldStatus_ = text;
        return;
    }
    status_->setText(ToQ(text));
    statusKey_.clear();
    statusArg_.clear();
    for (std::string_view key : kStatusKeys) {
        const std::u16string t = text_(key);
        if (t.empty()) continue;
        const size_t fill = FillPoint(t);
        if (fill == std::u16string::npos) {
            if (text.compare(0, t.size(), t) != 0) continue;
            statusArg_ = text.substr(t.size());
            argFills_ = false;
        } else {
            const std::u16string head = t.substr(0, fill), tail = t.substr(fill + 2);
            if (text.size() < head.size() + tail.size() ||
                text.compare(0, head.size(), head) != 0 ||
                text.compare(text.size() - tail.size(), tail.size(), tail) != 0)
                continue;
            statusArg_ = text.substr(head.size(), text.size() - head.size() - tail.size());
            argFills_ = true;
        }
        statusKey_ = key;
        return;
    }
}

std::u16string MainRunFace::Status() const {
    return stopping_ ? heldStatus_ : FromQ(status_->text());
}

void MainRunFace::Retranslate() {
    if (stopping_) {
        status_->setText(ToQ(text_("FrmMain.m_acMStopping")));
        return;
    }
    if (statusKey_.empty()) return;
    const std::u16string t = text_(statusKey_);
    if (!argFills_) return SetStatus(t + statusArg_);
    if (t.find(u"%d") == std::u16string::npos) return SetStatus(SafeFormat(t, {statusArg_}));
    int number = 0;
    for (char16_t c : statusArg_)
        if (c >= u'0' && c <= u'9' && number < 100000000) number = number * 10 + (c - u'0');
    SetStatus(SafeFormat(t, {number}));
}

void MainRunFace::SetRange(int upper) {
    bar_->setRange(0, upper);
    ShowTitle();
}

void MainRunFace::SetPos(int pos) {
    bar_->setValue(pos);
    ShowTitle();
}

int MainRunFace::Upper() const {
    return bar_->maximum();
}

int MainRunFace::Pos() const {
    return std::max(bar_->value(), bar_->minimum());
}

void MainRunFace::SetClock(const std::u16string& text) {
    clock_->setText(LabelLines(text));
}

void MainRunFace::SetIndicator(const std::u16string& text) {
    indicator_->setText(LabelLines(text));
}

void MainRunFace::Begin() {
    running_ = true;
    stopping_ = false;
    held_ = false;
    stop_->setEnabled(true);
    runTimer_.start();
    ShowTitle();
    for (QWidget* w : {stop_, static_cast<QWidget*>(clock_), static_cast<QWidget*>(indicator_)})
        w->show();
}

void MainRunFace::End() {
    running_ = false;
    held_ = false;
    if (stopping_) {
        stopping_ = false;
        SetStatus(std::exchange(heldStatus_, {}));
    }
    stop_->setEnabled(true);
    ShowTitle();
    for (QWidget* w : {stop_, static_cast<QWidget*>(clock_), static_cast<QWidget*>(indicator_)})
        w->hide();
}

void MainRunFace::Hold(bool held) {
    if (!running_ || held_ == held) return;
    held_ = held;
    for (QWidget* w : {stop_, static_cast<QWidget*>(clock_), static_cast<QWidget*>(indicator_)})
        w->setVisible(!held);
    ShowTitle();
}

void MainRunFace::ShowStopping() {
    if (!running_ || stopping_) return;
    heldStatus_ = Status();
    SetStatus(text_("FrmMain.m_acMStopping"));
    stopping_ = true;
    stop_->setEnabled(false);
}

// The task bar and the window switcher show the title: during a run it leads with
// the share done.
void MainRunFace::ShowTitle() {
    if (!running_ || held_ || bar_->maximum() <= 0) {
        window_->setWindowTitle(QStringLiteral("Kelvane"));
        return;
    }
    const qint64 done = std::clamp<qint64>(bar_->value(), 0, bar_->maximum());
    window_->setWindowTitle(QStringLiteral("%1 % - Kelvane").arg(done * 100 / bar_->maximum()));
}

// A longer run that ended while the user was elsewhere is told on the desktop:
// the outcome as the summary, what the status line adds to it as the body.
void MainRunFace::Announce(std::string_view key, int afterMs) {
    const bool timed = runTimer_.isValid() && runTimer_.elapsed() >= afterMs;
    runTimer_.invalidate();
    if (key.empty() || !timed || window_->isActiveWindow()) return;
    const QString summary = ToQ(text_(key));
    QString body = status_->text();
    if (body.startsWith(summary)) body = body.mid(summary.size()).trimmed();
    if (body.startsWith(u'(') && body.endsWith(u')')) body = body.mid(1, body.size() - 2);
    (void)NotifyDesktop(summary, body);
}
