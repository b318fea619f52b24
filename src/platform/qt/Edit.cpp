#include "platform/qt/Edit.h"

#include "platform/qt/QtText.h"

CEdit::CEdit(QWidget* parent) : QLineEdit(parent) {}

void CEdit::SetWindowText(const std::u16string& text) {
    setText(ToQ(text));
}

std::u16string CEdit::GetWindowText() const {
    return FromQ(text());
}
