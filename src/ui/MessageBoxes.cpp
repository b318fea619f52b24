#include "ui/MessageBoxes.h"

#include <QPushButton>

namespace {
struct Hooks {
    std::deque<int> next;
    std::optional<int> fallback;
    std::vector<MessageBoxes::Shown> history;
};
Hooks& TheHooks() {
    static Hooks hooks;
    return hooks;
}
}  // namespace

std::optional<int> MessageBoxes::TakeAnswer(Kind kind, const QString& title, const QString& text) {
    Hooks& h = TheHooks();
    h.history.push_back(Shown{kind, title, text});
    if (!h.next.empty()) {
        int a = h.next.front();
        h.next.pop_front();
        return a;
    }
    return h.fallback;
}

void MessageBoxes::Information(QWidget* parent, const QString& title, const QString& text) {
    if (TakeAnswer(Kind::Information, title, text)) return;
    QMessageBox box(QMessageBox::Information, title, text, QMessageBox::Ok, parent);
    box.setTextFormat(Qt::PlainText);
    box.exec();
}

bool MessageBoxes::YesNo(QWidget* parent, const QString& title, const QString& text) {
    if (auto a = TakeAnswer(Kind::Question, title, text)) return *a == kYes;
    QMessageBox box(QMessageBox::Question, title, text, QMessageBox::Yes | QMessageBox::No, parent);
    box.setTextFormat(Qt::PlainText);
    return box.exec() == QMessageBox::Yes;
}

int MessageBoxes::Confirm(QWidget* parent, const QString& title, const QString& text) {
    if (auto a = TakeAnswer(Kind::Confirmation, title, text)) return *a;
    QMessageBox box(
        QMessageBox::Question, title, text,
        QMessageBox::Yes | QMessageBox::YesToAll | QMessageBox::No | QMessageBox::Cancel, parent);
    box.setTextFormat(Qt::PlainText);
    box.setEscapeButton(QMessageBox::Cancel);
    switch (box.exec()) {
        case QMessageBox::Yes:
            return kYes;
        case QMessageBox::YesToAll:
            return kYesToAll;
        case QMessageBox::No:
            return kNo;
        default:
            return kCancel;
    }
}

void MessageBoxes::SetNextAnswer(int answer) {
    TheHooks().next.push_back(answer);
}
void MessageBoxes::SetDefaultAnswer(std::optional<int> answer) {
    TheHooks().fallback = answer;
}
const std::vector<MessageBoxes::Shown>& MessageBoxes::History() {
    return TheHooks().history;
}
void MessageBoxes::ClearHistory() {
    TheHooks().history.clear();
}
void MessageBoxes::ResetHooks() {
    TheHooks() = Hooks{};
}
