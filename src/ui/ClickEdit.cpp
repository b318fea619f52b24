#include "ui/ClickEdit.h"

#include <QKeyEvent>
#include <QMouseEvent>

#include "platform/Platform.h"

CClickEdit::CClickEdit(QWidget* parent) : CEdit(parent) {
    setReadOnly(true);
    setFrame(false);
    setMouseTracking(true);
    // Reached with Tab (not by a click, which would only show a caret): Enter or
    // Space opens the link as a double click does.
    setFocusPolicy(Qt::TabFocus);
}

void CClickEdit::keyPressEvent(QKeyEvent* event) {
    const int key = event->key();
    if (!link_.empty() && event->modifiers() == Qt::NoModifier &&
        (key == Qt::Key_Return || key == Qt::Key_Enter || key == Qt::Key_Space)) {
        OpenLink();
        return;
    }
    CEdit::keyPressEvent(event);
}

void CClickEdit::OpenLink() {
    // The shell's answer is not looked at: a missing handler simply opens nothing.
    if (!link_.empty() && Platform().shellOpen) (void)Platform().shellOpen(link_);
}

void CClickEdit::SetText(const std::u16string& text) {
    SetWindowText(text);
    setCursorPosition(0);
}

void CClickEdit::SetLink(const std::u16string& target) {
    link_ = target;
}

void CClickEdit::mouseDoubleClickEvent(QMouseEvent* event) {
    OpenLink();
    CEdit::mouseDoubleClickEvent(event);
}

void CClickEdit::mouseMoveEvent(QMouseEvent* event) {
    if (!link_.empty()) setCursor(Qt::PointingHandCursor);
    CEdit::mouseMoveEvent(event);
}
