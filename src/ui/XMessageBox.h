#pragma once
// The confirmation box of the file run: Yes, Yes to all, No and Cancel with
// captions from the language texts and a question icon. It is built in code,
// answers with the classic button codes, and can be asked from a worker thread:
// the box then runs modally on the UI thread while the worker waits.
#include <QDialog>
#include <QString>
#include <QStringList>
#include <functional>

class QLabel;
class QPushButton;

struct XMessageBoxCaptions {
    QString yes = QStringLiteral("Yes");
    QString yesToAll = QStringLiteral("Yes to all");
    QString no = QStringLiteral("No");
    QString cancel = QStringLiteral("Cancel");
};

class XMessageBox final : public QDialog {
    Q_OBJECT
  public:
    static constexpr int kIdYes = 6;
    static constexpr int kIdYesToAll = 19;
    static constexpr int kIdNo = 7;
    static constexpr int kIdCancel = 2;

    // An empty caption shows "Error"; without an owner the active window owns it.
    XMessageBox(QWidget* owner, const QString& text, const QString& caption,
                const XMessageBoxCaptions& captions);

    // Beeps, centres the box over its owner and runs it; returns the code of the
    // button pressed (Escape and the close box give kIdCancel).
    int Run();

    // The box as text: caption, message and button captions between dash lines.
    QString ClipboardText() const;

    QPushButton* Button(int code) const;
    QLabel* MessageLabel() const { return message_; }
    // The widest a line of the message may be, in pixels.
    int WrapWidth() const { return wrapWidth_; }

    // Shows the box and returns its code. Safe from any thread: off the UI thread
    // the call is carried over to it and the calling thread waits for the answer.
    static int Ask(QWidget* owner, const QString& text, const QString& caption,
                   const XMessageBoxCaptions& captions);

    // Test hooks: when set, Ask hands the box to this function right after it is
    // shown (to press a button or a key); a queued answer makes Ask return it
    // without showing anything. Every text asked is recorded.
    static void SetOnShown(std::function<void(XMessageBox*)> hook);
    static void QueueAnswer(int code);
    static void ClearTestHooks();
    static QStringList AskedTexts();

    void reject() override;  // Escape, the close box

  protected:
    void keyPressEvent(QKeyEvent* event) override;
    void showEvent(QShowEvent* event) override;

  private:
    void Build(const QString& text);
    void CentreOverOwner();

    QWidget* owner_;
    QString text_;
    QString caption_;
    QStringList buttonCaptions_;
    QList<QPushButton*> buttons_;
    QLabel* icon_ = nullptr;
    QLabel* message_ = nullptr;
    int wrapWidth_ = 0;
};
