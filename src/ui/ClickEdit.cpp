#include "ui/ClickEdit.h"

#include <QMouseEvent>

#include "platform/Platform.h"

CClickEdit::CClickEdit(QWidget* parent) : CEdit(parent) {
    setReadOnly(true);
    setFrame(false);
    setMouseTracking(true);
    // A read-only field still takes the focus and shows a caret; the links are
    // meant to be read and double-clicked, not edited.
    setFocusPolicy(Qt::NoFocus);
}

void CClickEdit::SetText(const std::u16string& text) {
    SetWindowText(text);
    setCursorPosition(0);
}

void CClickEdit::SetLink(const std::u16string& target) {
    link_ = target;
}

void CClickEdit::mouseDoubleClickEvent(QMouseEvent* event) {
    // The shell's answer is not looked at: a missing handler simply opens nothing.
    if (!link_.empty() && Platform().shellOpen) (void)Platform().shellOpen(link_);
    CEdit::mouseDoubleClickEvent(event);
}

void CClickEdit::mouseMoveEvent(QMouseEvent* event) {
    if (!link_.empty()) setCursor(Qt::PointingHandCursor);
    CEdit::mouseMoveEvent(event);
}
