#pragma once
// The program's message boxes, with hooks for tests: a queued answer is returned
// without showing a box, and every box asked for is recorded. A test that wants
// no box at all sets a default answer.
#include <QMessageBox>
#include <QString>
#include <deque>
#include <optional>
#include <vector>

class MessageBoxes {
  public:
    enum class Kind { Information, Warning, Question, Confirmation };
    struct Shown {
        Kind kind;
        QString title;
        QString text;
    };

    // An information box with an OK button.
    static void Information(QWidget* parent, const QString& title, const QString& text);
    // A question with Yes and No; returns true for Yes.
    static bool YesNo(QWidget* parent, const QString& title, const QString& text);
    // The run's confirmation: Yes, Yes to all, No, Cancel. Returns the program's
    // answer codes 6, 19, 7 or 2 (closing the box is Cancel).
    static int Confirm(QWidget* parent, const QString& title, const QString& text);

    static constexpr int kYes = 6;
    static constexpr int kYesToAll = 19;
    static constexpr int kNo = 7;
    static constexpr int kCancel = 2;
    static constexpr int kOk = 1;

    // ---- test hooks ----
    // The next box returns `answer` (one of the codes above) without showing.
    static void SetNextAnswer(int answer);
    // Every box without a queued answer returns this without showing (nullopt:
    // show them again).
    static void SetDefaultAnswer(std::optional<int> answer);
    static const std::vector<Shown>& History();
    static void ClearHistory();
    static void ResetHooks();  // no answers, no default, empty history

  private:
    static std::optional<int> TakeAnswer(Kind kind, const QString& title, const QString& text);
};
