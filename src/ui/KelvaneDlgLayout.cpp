// Layout on resize, and the two states of the window: idle and locked for a run.
#include <QAction>
#include <QEvent>
#include <QMenu>
#include <QMenuBar>
#include <QResizeEvent>

#include "ui/KelvaneDlg.h"

void CKelvaneDlg::resizeEvent(QResizeEvent* event) {
    CDialog::resizeEvent(event);
    // Too small: grow to the minimum; the resize that follows lays it out.
    const QSize s = event->size();
    if (s.width() < kMinWidth || s.height() < kMinHeight)
        resize(std::max(s.width(), kMinWidth), std::max(s.height(), kMinHeight));
}

bool CKelvaneDlg::eventFilter(QObject* watched, QEvent* event) {
    if (watched == client_ && event->type() == QEvent::Resize) {
        const QSize s = static_cast<QResizeEvent*>(event)->size();
        if (width() >= kMinWidth && height() >= kMinHeight) LayoutClient(s.width(), s.height());
    }
    return CDialog::eventFilter(watched, event);
}

void CKelvaneDlg::LayoutClient(int W, int H) {
    if (W <= 0 || H <= 0) return;
    auto at = [this](int id) { return controls_.at(id); };
    auto move = [](QWidget* w, int x, int y) { w->move(x, y); };

    QWidget* shred = at(IDC_SHRED);
    move(shred, W / 2 - shred->width() - 5, H - shred->height() - 5);
    QRect R = shred->geometry();
    move(at(IDC_SHRED_FREE), W / 2 + 5, R.top());
    move(at(IDC_STOP), at(IDC_STOP)->x(), R.top());

    QWidget* progress = at(IDC_PROGRESS);
    progress->setGeometry(progress->x(), R.top() - progress->height() - 5, W - 2 * progress->x(),
                          progress->height());
    R = progress->geometry();

    QWidget* panel = at(IDC_PANEL);
    panel->setGeometry(panel->x(), panel->y(), W - 2 * panel->x(), R.top() - 3);

    QWidget* status = at(IDC_STATUS);
    status->setGeometry(status->x(), R.top() - status->height() - 3, W - 2 * status->x(),
                        status->height());
    R = status->geometry();

    QWidget* names = at(IDC_SHRED_NAMES);
    move(names, names->x(), R.top() - names->height() - 5);
    R = names->geometry();
    move(at(IDC_END_ACTION), at(IDC_END_ACTION)->x(), R.top() - 3);
    move(at(IDC_END_ACTION_LABEL), at(IDC_END_ACTION_LABEL)->x(), R.top());

    QWidget* random = at(IDC_RANDOM);
    move(random, random->x(), R.top() - random->height() - 3);
    R = random->geometry();
    move(at(IDC_CONFIRM), at(IDC_CONFIRM)->x(), R.top() - 3);

    QWidget* iterLabel = at(IDC_ITERATIONS_LABEL);
    iterLabel->setGeometry(iterLabel->x(), R.top() - iterLabel->height() - 6,
                           W - 2 * iterLabel->x(), iterLabel->height());
    R = iterLabel->geometry();
    for (int id : {IDC_ITERATIONS, IDC_MODIFY_SIZE, IDC_SIZE_TYPE})
        move(at(id), at(id)->x(), R.top() - 3);

    QWidget* add = at(IDC_ADD);
    const int C = W - add->width() - 5;
    for (int id : {IDC_ADD, IDC_ADD_FOLDER, IDC_REMOVE, IDC_CLEAR, IDC_INDICATOR})
        move(at(id), C, at(id)->y());

    QWidget* list = at(IDC_LIST);
    list->setGeometry(list->x(), list->y(), C - list->x() - 5, R.top() - list->y() - 5);
    QWidget* clock = at(IDC_CLOCK);
    move(clock, C, list->geometry().bottom() + 1 - clock->height());

    client_->update();
}

namespace {
// Every control that a run disables and the unlock enables again.
constexpr int kLockedControls[] = {
    CKelvaneDlg::IDC_SHRED,       CKelvaneDlg::IDC_LIST,       CKelvaneDlg::IDC_ADD,
    CKelvaneDlg::IDC_ADD_FOLDER,  CKelvaneDlg::IDC_REMOVE,     CKelvaneDlg::IDC_CLEAR,
    CKelvaneDlg::IDC_RANDOM,      CKelvaneDlg::IDC_CONFIRM,    CKelvaneDlg::IDC_SHRED_NAMES,
    CKelvaneDlg::IDC_MODIFY_SIZE, CKelvaneDlg::IDC_ITERATIONS, CKelvaneDlg::IDC_ITERATIONS_LABEL,
    CKelvaneDlg::IDC_SHRED_FREE,  CKelvaneDlg::IDC_SIZE_TYPE,
};
constexpr int kRunOnlyControls[] = {CKelvaneDlg::IDC_STOP, CKelvaneDlg::IDC_CLOCK,
                                    CKelvaneDlg::IDC_INDICATOR};
}  // namespace

void CKelvaneDlg::LockForRun() {
    if (!UiThreadCaller::OnUiThread()) {
        caller_.Call([this] { LockForRun(); });
        return;
    }
    locked_ = true;
    for (int i = 0; i < 3; ++i) popups_[i]->menuAction()->setEnabled(false);
    for (int id : kRunOnlyControls) controls_.at(id)->show();
    for (int id : kLockedControls) controls_.at(id)->setEnabled(false);
    update();
    menuBar_->update();
}

void CKelvaneDlg::UnlockAfterRun() {
    if (!UiThreadCaller::OnUiThread()) {
        caller_.Call([this] { UnlockAfterRun(); });
        return;
    }
    locked_ = false;
    for (int i = 0; i < 3; ++i) popups_[i]->menuAction()->setEnabled(true);
    // The size combo too, whatever "Modify size" says; the next click on the box
    // brings it back in line.
    for (int id : kLockedControls) controls_.at(id)->setEnabled(true);
    for (int id : kRunOnlyControls) controls_.at(id)->hide();
    update();
    menuBar_->update();
}
