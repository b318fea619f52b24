#include "platform/qt/Dialog.h"

CDialog::CDialog(QWidget* parent) : QDialog(parent) {}

void CDialog::EnsureInitialised() {
    if (initialised_) return;
    initialised_ = true;
    OnInitDialog();
}

int CDialog::DoModal() {
    EnsureInitialised();
    result_ = 0;
    exec();
    return result_;
}

void CDialog::EndDialog(int result) {
    result_ = result;
    done(result);
}

void CDialog::showEvent(QShowEvent* event) {
    EnsureInitialised();
    QDialog::showEvent(event);
}
