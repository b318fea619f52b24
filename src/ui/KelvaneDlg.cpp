// The main window: its life, its events, the place it is shown at, and the two
// states of the window: idle and locked for a run.
#include "ui/KelvaneDlg.h"

#include <QAction>
#include <QEvent>
#include <QFrame>
#include <QHeaderView>
#include <QLabel>
#include <QMenu>
#include <QMenuBar>
#include <QProgressBar>
#include <QPushButton>
#include <QResizeEvent>
#include <QShortcut>
#include <QStyle>
#include <QTimer>
#include <QVBoxLayout>

#include "platform/qt/QtText.h"
#include "ui/Accessibility.h"
#include "ui/FontHolder.h"
#include "ui/MainFileList.h"
#include "ui/MainRunFace.h"
#include "ui/MainRunOptions.h"
#include "ui/QtTranslations.h"
#include "ui/ThemeColours.h"

CKelvaneDlg::CKelvaneDlg(StorageLocations locations, QWidget* parent)
    : CDialog(parent), locations_(std::move(locations)) {
    setObjectName(QStringLiteral("KelvaneMainWindow"));
    setWindowFlags(Qt::Window | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                   Qt::WindowMinMaxButtonsHint | Qt::WindowCloseButtonHint);
    setSizeGripEnabled(true);
    setAcceptDrops(true);
    UseNamedComboBoxes();
    // The upper controls stand on a panel in the theme's base colour.
    UsePanelColours(this);

    CreateMenu();
    CreateControls();
    CreateAccelerators();
    fonts_ = std::make_unique<FontHolder>(this);
    setWindowTitle(QStringLiteral("Kelvane"));
    // The icon is the application's own (set by main), not a theme's stand-in.
    setMinimumSize(kMinWidth, kMinHeight);
    resize(660, 420 + menuBar_->sizeHint().height());

    updatesTimer_ = new QTimer(this);
    updatesTimer_->setSingleShot(true);
    connect(updatesTimer_, &QTimer::timeout, this, [this] { ShowWaitingUpdates(); });
    // A worker's call sees the window as the run left it.
    caller_.SetBeforeCall([this] { ShowWaitingUpdates(); });
    // "-exec" starts its run the moment the listing of its folders has ended, and
    // files handed over by a later start join the list the moment a run ends.
    workers_.SetOnAllDone([this] {
        caller_.Post([this] {
            PollUnattended();
            ApplyHandedPaths();
        });
    });
}

CKelvaneDlg::~CKelvaneDlg() {
    JoinWorkers();
    // Lines of the start-up clean-up that no run took stay in the log as it is.
    (void)WaitForCleanUp(false);
    log_.WriteCarried();
    caller_.Shutdown();
    // The list view reads the row store, a member that goes before the child
    // widgets would: the controls go first.
    controls_.clear();
    listView_ = nullptr;
    delete client_;
    client_ = nullptr;
    list_.SetObserver(nullptr);
    // The view reads the row store until it goes; the base class would hide and
    // delete it only after the store is gone, and a hide that re-measures the
    // header (after a font change, for one) would read freed rows.
    controls_.erase(IDC_LIST);
    delete listView_;
    listView_ = nullptr;
}

QWidget* CKelvaneDlg::Control(int id) const {
    auto it = controls_.find(id);
    return it == controls_.end() ? nullptr : it->second;
}

QAction* CKelvaneDlg::MenuAction(int id) const {
    auto it = actions_.find(id);
    return it == actions_.end() ? nullptr : it->second;
}

QMenu* CKelvaneDlg::MenuPopup(int position) const {
    return position >= 0 && position < static_cast<int>(popups_.size()) ? popups_[position]
                                                                        : nullptr;
}

void CKelvaneDlg::RemoveMenuItem(int id) {
    auto it = actions_.find(id);
    if (it == actions_.end()) return;
    for (QMenu* m : popups_) m->removeAction(it->second);
    it->second->deleteLater();
    actions_.erase(it);
}

void CKelvaneDlg::SetLanguageName(const std::string& name, bool chosen) {
    languageName_ = name;
    if (chosen) noLanguageChosen_ = false;
}

// Layout on resize, and the two states of the window: idle and locked for a run.
void CKelvaneDlg::resizeEvent(QResizeEvent* event) {
    CDialog::resizeEvent(event);
    // Too small: grow to the minimum; the resize that follows lays it out.
    const QSize s = event->size();
    const QSize least = minimumSize();
    if (s.width() < least.width() || s.height() < least.height()) resize(s.expandedTo(least));
    FitPendingFrame();
}

void CKelvaneDlg::changeEvent(QEvent* event) {
    CDialog::changeEvent(event);
    if (event->type() == QEvent::FontChange && client_) FitControls();
}

void CKelvaneDlg::moveEvent(QMoveEvent* event) {
    CDialog::moveEvent(event);
    FitPendingFrame();
}

namespace {
// How long after the first show a window manager may take to put its frame around.
constexpr int kFrameSettleMs = 1500;
}  // namespace

void CKelvaneDlg::showEvent(QShowEvent* event) {
    CDialog::showEvent(event);  // start-up runs here on the first show
    if (!pendingFrame_) return;
    FitPendingFrame();
    QTimer::singleShot(kFrameSettleMs, this, [this] { pendingFrame_.reset(); });
}

// The settings keep the outer rectangle, frame included, while Qt sizes the inside.
// The frame is known only once the window is shown, under a window manager even
// later, when it has been decorated; so the rectangle is fitted again whenever the
// frame seen changes until it has settled. Fitting it once before the frame was
// known made the window grow by the frame at every start.
void CKelvaneDlg::RestoreFrame(const QRect& frame) {
    pendingFrame_ = frame;
    fittedMargins_.reset();
    FitPendingFrame();
    if (isVisible()) QTimer::singleShot(kFrameSettleMs, this, [this] { pendingFrame_.reset(); });
}

QMargins CKelvaneDlg::FrameMargins() const {
    const QRect outer = frameGeometry(), inner = geometry();
    return {inner.left() - outer.left(), inner.top() - outer.top(), outer.right() - inner.right(),
            outer.bottom() - inner.bottom()};
}

void CKelvaneDlg::FitPendingFrame() {
    if (!pendingFrame_) return;
    const QMargins m = FrameMargins();
    if (fittedMargins_ == m) return;
    fittedMargins_ = m;
    const QRect f = *pendingFrame_;
    move(f.topLeft());  // a window's position is that of its frame
    resize(f.width() - m.left() - m.right(), f.height() - m.top() - m.bottom());
}

bool CKelvaneDlg::eventFilter(QObject* watched, QEvent* event) {
    if (watched == client_ && event->type() == QEvent::Resize) {
        const QSize s = static_cast<QResizeEvent*>(event)->size();
        if (width() >= minimumWidth() && height() >= minimumHeight())
            LayoutClient(s.width(), s.height());
    }
    return CDialog::eventFilter(watched, event);
}

namespace {
// Every control that a run disables and the unlock enables again.
constexpr int kLockedControls[] = {
    CKelvaneDlg::IDC_SHRED,      CKelvaneDlg::IDC_LIST,   CKelvaneDlg::IDC_ADD,
    CKelvaneDlg::IDC_ADD_FOLDER, CKelvaneDlg::IDC_REMOVE, CKelvaneDlg::IDC_CLEAR,
    CKelvaneDlg::IDC_SHRED_FREE,
};
}  // namespace

void CKelvaneDlg::LockForRun() {
    if (!UiThreadCaller::OnUiThread()) {
        caller_.Call([this] { LockForRun(); });
        return;
    }
    locked_ = true;
    removed_.Forget();  // the rows a removal took are no choice of this run
    face_->Begin();
    for (int i = 0; i < 3; ++i) popups_[i]->menuAction()->setEnabled(false);
    for (int id : kLockedControls) controls_.at(id)->setEnabled(false);
    options_->SetRunning(true);
    update();
    menuBar_->update();
}

void CKelvaneDlg::UnlockAfterRun() {
    if (!UiThreadCaller::OnUiThread()) {
        caller_.Call([this] { UnlockAfterRun(); });
        return;
    }
    locked_ = false;
    listView_->ForgetVerdicts();  // the files may have changed, or be gone
    ForgetUnlistedRoots();
    face_->End();
    AnnounceRunEnd();
    if (!unattended_)
        AnnounceToScreenReaders(Control(IDC_STATUS),
                                static_cast<QLabel*>(Control(IDC_STATUS))->text());
    for (int i = 0; i < 3; ++i) popups_[i]->menuAction()->setEnabled(true);
    for (int id : kLockedControls) controls_.at(id)->setEnabled(true);
    options_->SetRunning(false);
    update();
    menuBar_->update();
    // The keyboard goes back to the list, not to the first control left enabled
    // (the end action, where an arrow key would change what follows the next run).
    FocusList();
}
