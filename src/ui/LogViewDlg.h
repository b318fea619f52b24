#pragma once
// The log viewer: the shredding log decoded from its UTF-16LE file and shown as
// read-only text, with a find field (Ctrl+F, Enter or F3 for the next hit) and a
// copy button. Ordinary desktop editors show that file as bytes with NULs, so
// "View log" opens this window instead of handing the file to the desktop.
#include <QDialog>
#include <functional>
#include <string>
#include <string_view>

class QLabel;
class QLineEdit;
class QPlainTextEdit;
class QPushButton;

class CLogViewDlg final : public QDialog {
    Q_OBJECT
  public:
    // `text` gives the language text of a key (or its built-in default).
    using TextLookup = std::function<std::u16string(std::string_view key)>;
    CLogViewDlg(QWidget* parent, TextLookup text);

    // Shows `log` (already readable text); `exists` false shows that there is no
    // log, `truncated` that only its end is shown.
    void SetLogText(const std::u16string& log, bool exists, bool truncated);
    // Applies the language texts again (after the language changed).
    void ApplyTexts();

    // Selects the next occurrence of the find field's text after the cursor,
    // wrapping at the end, case-insensitive. Returns whether one was found.
    bool FindNext();
    // Copies the selection, or the whole log when nothing is selected.
    void CopyText();

    QPlainTextEdit* TextView() const { return view_; }
    QLineEdit* FindField() const { return find_; }
    QLabel* Note() const { return note_; }

  private:
    QString Text(std::string_view key) const;
    void UpdateNote();

    TextLookup text_;
    QPlainTextEdit* view_ = nullptr;
    QLabel* findLabel_ = nullptr;
    QLineEdit* find_ = nullptr;
    QPushButton* findNext_ = nullptr;
    QPushButton* copy_ = nullptr;
    QPushButton* close_ = nullptr;
    QLabel* note_ = nullptr;
    bool exists_ = false;
    bool truncated_ = false;
    bool notFound_ = false;
};
