#pragma once
// What the main window shows of a run: the status line, the progress bar, the
// share done in the title, the clock and the busy indicator, and the desktop
// notice at the end of a run nobody watched. UI thread only; the window hands
// the worker's calls over to it.
#include <QElapsedTimer>
#include <QString>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

class QLabel;
class QProgressBar;
class QWidget;

class MainRunFace final {
  public:
    using TextLookup = std::function<std::u16string(std::string_view key)>;

    struct Controls {
        QLabel* status;
        QProgressBar* bar;
        QLabel* clock;
        QLabel* indicator;
        QWidget* stop;  // shown with the clock and the indicator during a run only
    };
    MainRunFace(QWidget* window, const Controls& controls, TextLookup text);

    // Shows a status text (already printable). A text made from one of the
    // window's language texts is remembered as such, so Retranslate can say it
    // again in another language.
    void SetStatus(const std::u16string& text);
    std::u16string Status() const;
    // After a language change: the status line in the new language.
    void Retranslate();

    void SetRange(int upper);
    void SetPos(int pos);
    int Upper() const;
    int Pos() const;
    void SetClock(const std::u16string& text);
    void SetIndicator(const std::u16string& text);

    // A run begins or ends: the title leads with the share done meanwhile, and
    // Stop, the clock and the indicator show.
    void Begin();
    void End();
    bool Running() const { return running_; }
    // While the summary before a run asks, nothing is under way yet: the window
    // does not look busy (no Stop, clock, indicator or share in the title).
    void Hold(bool held);
    // After Stop: "Stopping..." stays on the status line and Stop is disabled
    // until the run has ended; then the run's own last status shows.
    void ShowStopping();
    bool Stopping() const { return stopping_; }
    // The desktop notice for a run that ended after at least `afterMs` while the
    // window was elsewhere; `key` names the outcome's text ("" for none).
    void Announce(std::string_view key, int afterMs);

  private:
    void ShowTitle();

    QWidget* window_;
    QLabel* status_;
    QProgressBar* bar_;
    QLabel* clock_;
    QLabel* indicator_;
    QWidget* stop_;
    TextLookup text_;
    bool running_ = false;
    bool stopping_ = false;
    bool held_ = false;
    std::u16string heldStatus_;  // the run's status while "Stopping..." shows
    QElapsedTimer runTimer_;
    // The language text the status was made from and what it was filled with.
    std::string statusKey_;
    std::u16string statusArg_;
    bool argFills_ = false;  // the argument goes into the text's one "%d" or "%s"
};
