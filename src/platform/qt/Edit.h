#pragma once
// A single-line edit control with the program's UTF-16 texts.
#include <QLineEdit>
#include <string>

class CEdit : public QLineEdit {
    Q_OBJECT
  public:
    explicit CEdit(QWidget* parent = nullptr);

    void SetWindowText(const std::u16string& text);
    std::u16string GetWindowText() const;
    void SetReadOnly(bool readOnly = true) { setReadOnly(readOnly); }
};
