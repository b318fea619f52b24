// The main window's controls, menu and keys, and where they stand after a resize:
// every control keeps its designed size and grows to what its font needs.
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
#include "ui/KelvaneDlg.h"
#include "ui/MainFileList.h"
#include "ui/MainRunFace.h"
#include "ui/QtTranslations.h"
#include "ui/ThemeColours.h"

namespace {

// Start geometry of each control in client pixels: x, y, width, height. The
// layout rules move most of them on every resize; these are the sizes they keep.
struct Geometry {
    int id, x, y, w, h;
};
constexpr Geometry kStartGeometry[] = {
    {CKelvaneDlg::IDC_PANEL, 5, 5, 650, 330},
    {CKelvaneDlg::IDC_LIST, 10, 10, 530, 210},
    {CKelvaneDlg::IDC_ADD, 550, 10, 105, 26},
    {CKelvaneDlg::IDC_ADD_FOLDER, 550, 40, 105, 26},
    {CKelvaneDlg::IDC_REMOVE, 550, 70, 105, 26},
    {CKelvaneDlg::IDC_CLEAR, 550, 100, 105, 26},
    {CKelvaneDlg::IDC_INDICATOR, 550, 136, 105, 20},
    {CKelvaneDlg::IDC_CLOCK, 550, 200, 105, 20},
    {CKelvaneDlg::IDC_ITERATIONS_LABEL, 15, 232, 640, 20},
    {CKelvaneDlg::IDC_ITERATIONS, 165, 229, 70, 24},
    {CKelvaneDlg::IDC_MODIFY_SIZE, 265, 229, 130, 24},
    {CKelvaneDlg::IDC_SIZE_TYPE, 400, 229, 100, 24},
    {CKelvaneDlg::IDC_RANDOM, 15, 258, 240, 20},
    {CKelvaneDlg::IDC_CONFIRM, 265, 255, 200, 24},
    {CKelvaneDlg::IDC_SHRED_NAMES, 15, 283, 240, 20},
    {CKelvaneDlg::IDC_END_ACTION_LABEL, 265, 283, 140, 20},
    {CKelvaneDlg::IDC_END_ACTION, 410, 280, 170, 24},
    {CKelvaneDlg::IDC_STATUS, 10, 308, 640, 18},
    {CKelvaneDlg::IDC_PROGRESS, 10, 330, 640, 16},
    {CKelvaneDlg::IDC_STOP, 10, 352, 90, 30},
    {CKelvaneDlg::IDC_SHRED, 175, 352, 150, 30},
    {CKelvaneDlg::IDC_SHRED_FREE, 335, 352, 150, 30},
};

}  // namespace

void CKelvaneDlg::Register(int id, QWidget* w) {
    w->setObjectName(QStringLiteral("ctl%1").arg(id));
    controls_[id] = w;
}

void CKelvaneDlg::CreateControls() {
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    layout->setMenuBar(menuBar_);
    client_ = new QWidget(this);
    client_->setObjectName(QStringLiteral("client"));
    client_->installEventFilter(this);
    layout->addWidget(client_);

    auto* panel = new QFrame(client_);
    panel->setFrameShape(QFrame::StyledPanel);
    panel->setAutoFillBackground(true);
    Register(IDC_PANEL, panel);

    // The list and its row store: the four columns of a file row. ApplyTexts sets
    // the headers again in the language in use.
    listView_ = new MainFileList(
        list_, [this](std::string_view key) { return Text(key); }, client_);
    listView_->SetLockedQuery([this] { return locked_; });
    connect(listView_, &MainFileList::RemoveRequested, this, [this] { OnRemoveHighlighted(); });
    Register(IDC_LIST, listView_);

    auto button = [this](int id, const char* text) {
        auto* b = new QPushButton(QString::fromUtf8(text), client_);
        b->setAutoDefault(false);
        Register(id, b);
        connect(b, &QPushButton::clicked, this, [this, id] { OnCommand(id); });
        return b;
    };
    auto label = [this](int id, const char* text) {
        auto* l = new QLabel(QString::fromUtf8(text), client_);
        Register(id, l);
        return l;
    };

    button(IDC_ADD, "Add file(s)");
    button(IDC_ADD_FOLDER, "Add folder");
    button(IDC_REMOVE, "Remove");
    button(IDC_CLEAR, "Clear");
    auto* indicator = label(IDC_INDICATOR, "");
    indicator->setAlignment(Qt::AlignCenter);
    indicator->hide();
    auto* clock = label(IDC_CLOCK, "00:00:00");
    clock->setAlignment(Qt::AlignCenter);
    clock->hide();

    options_ = std::make_unique<MainRunOptions>(client_,
                                                [this](std::string_view key) { return Text(key); });
    for (const auto& [id, w] : options_->Controls()) Register(id, w);

    auto* status = label(IDC_STATUS, "...");
    status->setTextFormat(Qt::PlainText);
    auto* progress = new QProgressBar(client_);
    progress->setRange(0, 100);
    progress->setValue(0);
    progress->setTextVisible(false);
    Register(IDC_PROGRESS, progress);

    button(IDC_STOP, "Stop")->hide();
    auto* shred = button(IDC_SHRED, "Shred files");
    shred->setDefault(true);
    button(IDC_SHRED_FREE, "Shred free space");

    for (const Geometry& g : kStartGeometry) controls_[g.id]->setGeometry(g.x, g.y, g.w, g.h);
    panel->lower();
    // Texts are plain: file names with "<" or "&" must show as they are.
    for (auto& [id, w] : controls_)
        if (auto* l = qobject_cast<QLabel*>(w)) l->setTextFormat(Qt::PlainText);
    face_ = std::make_unique<MainRunFace>(
        this, MainRunFace::Controls{status, progress, clock, indicator, Control(IDC_STOP)},
        [this](std::string_view key) { return Text(key); });
    SetFocusOrder();
    ApplyTexts();
}

// Tab follows the layout as it reads: the list, the buttons beside it, the
// options row by row, left to right, then the run buttons.
void CKelvaneDlg::SetFocusOrder() {
    const int order[] = {IDC_LIST,   IDC_ADD,        IDC_ADD_FOLDER,  IDC_REMOVE,
                         IDC_CLEAR,  IDC_ITERATIONS, IDC_MODIFY_SIZE, IDC_SIZE_TYPE,
                         IDC_RANDOM, IDC_CONFIRM,    IDC_SHRED_NAMES, IDC_END_ACTION,
                         IDC_STOP,   IDC_SHRED,      IDC_SHRED_FREE};
    for (size_t i = 1; i < std::size(order); ++i)
        QWidget::setTabOrder(controls_.at(order[i - 1]), controls_.at(order[i]));
}

QAction* CKelvaneDlg::AddMenuItem(QMenu* menu, int id, bool checkable) {
    QAction* a = menu->addAction(QString());
    a->setObjectName(QStringLiteral("menu%1").arg(id));
    a->setCheckable(checkable);
    actions_[id] = a;
    connect(a, &QAction::triggered, this, [this, id] { OnCommand(id); });
    return a;
}

void CKelvaneDlg::CreateMenu() {
    menuBar_ = new QMenuBar(this);
    menuBar_->setNativeMenuBar(false);
    QMenu* file = menuBar_->addMenu(QStringLiteral("File"));
    AddMenuItem(file, ID_VIEW_LOG);
    AddMenuItem(file, ID_REPORTS);
    AddMenuItem(file, ID_VERIFY_REPORT);
    AddMenuItem(file, ID_SCHEDULE);
    AddMenuItem(file, ID_ENABLE_LOG, true);
    AddMenuItem(file, ID_ARCHIVE_LOG, true);
    AddMenuItem(file, ID_CLEAR_LOG);
    file->addSeparator();
    AddMenuItem(file, ID_EXIT);
    QMenu* edit = menuBar_->addMenu(QStringLiteral("Edit"));
    AddMenuItem(edit, ID_ADD_FILES);
    AddMenuItem(edit, ID_ADD_FOLDER);
    AddMenuItem(edit, ID_ADD_TRASH);
    AddMenuItem(edit, ID_REMOVE_SELECTED);
    AddMenuItem(edit, ID_CLEAR_LIST);
    AddMenuItem(edit, ID_UNDO_REMOVE)->setShortcut(QKeySequence(QKeySequence::Undo));
    edit->addSeparator();
    AddMenuItem(edit, ID_SELECT_ALL);
    AddMenuItem(edit, ID_INVERT_SELECTION);
    QMenu* view = menuBar_->addMenu(QStringLiteral("View"));
    AddMenuItem(view, ID_OPTIONS);
    AddMenuItem(view, ID_LANGUAGE);
    view->addSeparator();
    AddMenuItem(view, ID_SORT_NAME);
    AddMenuItem(view, ID_SORT_SIZE);
    AddMenuItem(view, ID_SORT_DATE);
    QMenu* help = menuBar_->addMenu(QStringLiteral("&?"));
    AddMenuItem(help, ID_HELP);
    AddMenuItem(help, ID_LICENSE);
    AddMenuItem(help, ID_CHANGES);
    AddMenuItem(help, ID_CHECK_UPDATE);
    help->addSeparator();
    AddMenuItem(help, ID_INFO);
    popups_ = {file, edit, view, help};
}

void CKelvaneDlg::CreateAccelerators() {
    const std::pair<QKeySequence, int> table[] = {
        {QKeySequence(Qt::CTRL | Qt::Key_L), ID_VIEW_LOG},
        {QKeySequence(Qt::CTRL | Qt::Key_Q), ID_EXIT},
        {QKeySequence(Qt::Key_F1), ID_HELP},
        {QKeySequence(Qt::CTRL | Qt::Key_O), ID_ACCEL_CTRL_O},
        {QKeySequence(Qt::CTRL | Qt::Key_S), ID_ACCEL_CTRL_S},
        {QKeySequence(Qt::CTRL | Qt::Key_1), ID_SORT_NAME},
        {QKeySequence(Qt::CTRL | Qt::Key_2), ID_SORT_SIZE},
        {QKeySequence(Qt::CTRL | Qt::Key_3), ID_SORT_DATE},
    };
    for (const auto& [keys, id] : table) {
        auto* s = new QShortcut(keys, this);
        s->setContext(Qt::WindowShortcut);
        s->setObjectName(QStringLiteral("accel%1").arg(id));
        connect(s, &QShortcut::activated, this, [this, id] { OnCommand(id); });
        shortcuts_.push_back(s);
    }
}

namespace {

// The room a control's font needs: a label the lines of its text with room for
// accents and descenders, any other control its own size hint. The clock and the
// busy indicator are measured on the longest texts a run gives them.
QSize NeededSize(int id, QWidget* w) {
    auto* l = qobject_cast<QLabel*>(w);
    if (!l) return w->sizeHint();
    QString sample = l->text();
    if (id == CKelvaneDlg::IDC_CLOCK) sample = QStringLiteral("00:00:00\n(~00:00:00)");
    if (id == CKelvaneDlg::IDC_INDICATOR)
        sample = QStringLiteral("ffffffff\nffffffff\nffffffff\nffffffff");
    if (sample.isEmpty()) sample = QStringLiteral("Xg");
    const QRect r = l->fontMetrics().boundingRect(QRect(0, 0, 100000, 100000), 0, sample);
    return {r.width() + 8, std::max(r.height(), l->fontMetrics().height()) + 4};
}

const Geometry& StartGeometry(int id) {
    for (const Geometry& g : kStartGeometry)
        if (g.id == id) return g;
    return kStartGeometry[0];
}

}  // namespace

// Every control keeps at least its designed size and grows to what its font and
// caption need, so that a larger font or a longer translation is never cut.
void CKelvaneDlg::FitControls() {
    for (const Geometry& g : kStartGeometry) {
        if (g.id == IDC_PANEL || g.id == IDC_LIST) continue;
        QWidget* w = controls_.at(g.id);
        const QSize need = NeededSize(g.id, w);
        // The iterations label and the status line span the window.
        const bool spans = g.id == IDC_ITERATIONS_LABEL || g.id == IDC_STATUS;
        w->resize(spans ? g.w : std::max(g.w, need.width()), std::max(g.h, need.height()));
    }
    // The buttons of the right column share one width, the clock and indicator too.
    const int column[] = {IDC_ADD, IDC_ADD_FOLDER, IDC_REMOVE, IDC_CLEAR, IDC_INDICATOR, IDC_CLOCK};
    int columnWidth = 0;
    for (int id : column) columnWidth = std::max(columnWidth, controls_.at(id)->width());
    for (int id : column) controls_.at(id)->resize(columnWidth, controls_.at(id)->height());
    // The run buttons share one height.
    const int bottom[] = {IDC_STOP, IDC_SHRED, IDC_SHRED_FREE};
    int bottomHeight = 0;
    for (int id : bottom) bottomHeight = std::max(bottomHeight, controls_.at(id)->height());
    for (int id : bottom) controls_.at(id)->resize(controls_.at(id)->width(), bottomHeight);

    // The smallest window that shows every control whole.
    QSize need = ArrangeRows(kMinWidth, 10000);
    setMinimumSize(std::max(kMinWidth, need.width()),
                   std::max(kMinHeight, need.height() + menuBar_->sizeHint().height()));
    if (client_->width() > 0 && client_->height() > 0)
        LayoutClient(client_->width(), client_->height());
}

// Places the rows of options, the status line, the progress bar and the run buttons
// from the bottom of a W x H client up; returns the smallest client that fits them
// with the right column and a list of a few rows.
QSize CKelvaneDlg::ArrangeRows(int W, int H) {
    auto at = [this](int id) { return controls_.at(id); };

    // Across: the second column of options starts after the widest first one.
    QWidget* iterLabel = at(IDC_ITERATIONS_LABEL);
    QWidget* iterations = at(IDC_ITERATIONS);
    const int labelEnd =
        iterLabel->x() +
        iterLabel->fontMetrics().horizontalAdvance(static_cast<QLabel*>(iterLabel)->text()) + 10;
    // The label spans the row; the controls of its row stand on it after its text.
    iterations->move(std::max(StartGeometry(IDC_ITERATIONS).x, labelEnd), iterations->y());
    int second = StartGeometry(IDC_MODIFY_SIZE).x;
    second = std::max(second, iterations->geometry().right() + 15);
    for (int id : {IDC_RANDOM, IDC_SHRED_NAMES})
        second = std::max(second, at(id)->geometry().right() + 10);
    for (int id : {IDC_MODIFY_SIZE, IDC_CONFIRM, IDC_END_ACTION_LABEL})
        at(id)->move(second, at(id)->y());
    QWidget* sizeType = at(IDC_SIZE_TYPE);
    sizeType->move(
        std::max(StartGeometry(IDC_SIZE_TYPE).x, at(IDC_MODIFY_SIZE)->geometry().right() + 6),
        sizeType->y());
    QWidget* endAction = at(IDC_END_ACTION);
    endAction->move(
        std::max(StartGeometry(IDC_END_ACTION).x, at(IDC_END_ACTION_LABEL)->geometry().right() + 6),
        endAction->y());
    int rowsRight = 0;
    for (int id : {IDC_SIZE_TYPE, IDC_CONFIRM, IDC_END_ACTION})
        rowsRight = std::max(rowsRight, at(id)->geometry().right());

    // Up from the bottom.
    QWidget* shred = at(IDC_SHRED);
    shred->move(W / 2 - shred->width() - 5, H - shred->height() - 5);
    int top = shred->y();
    at(IDC_SHRED_FREE)->move(W / 2 + 5, top);
    at(IDC_STOP)->move(StartGeometry(IDC_STOP).x, top);
    // The run buttons sit either side of the middle, clear of Stop.
    const int buttonsWidth = std::max(2 * (at(IDC_STOP)->geometry().right() + 15 + shred->width()),
                                      2 * (at(IDC_SHRED_FREE)->width() + 10));

    QWidget* progress = at(IDC_PROGRESS);
    progress->setGeometry(progress->x(), top - progress->height() - 5, W - 2 * progress->x(),
                          progress->height());
    top = progress->y();
    QWidget* panel = at(IDC_PANEL);
    panel->setGeometry(panel->x(), panel->y(), W - 2 * panel->x(), top - 3);
    QWidget* status = at(IDC_STATUS);
    status->setGeometry(status->x(), top - status->height() - 3, W - 2 * status->x(),
                        status->height());
    top = status->y();
    // A row of options: the check boxes and labels share a line, the drop-downs
    // stand 3 pixels above it and may reach 1 below; the line is as high as the
    // highest of them needs. `gap` lies between the row and what is below it.
    auto row = [&](std::initializer_list<int> onLine, std::initializer_list<int> raised, int gap) {
        int line = 0;
        for (int id : onLine) line = std::max(line, at(id)->height());
        for (int id : raised) line = std::max(line, at(id)->height() - 4);
        top -= line + gap;
        for (int id : onLine) at(id)->move(at(id)->x(), top + (line - at(id)->height()) / 2);
        for (int id : raised) at(id)->move(at(id)->x(), top - 3);
    };
    row({IDC_SHRED_NAMES, IDC_END_ACTION_LABEL}, {IDC_END_ACTION}, 5);
    row({IDC_RANDOM}, {IDC_CONFIRM}, 3);
    row({IDC_ITERATIONS_LABEL}, {IDC_ITERATIONS, IDC_MODIFY_SIZE, IDC_SIZE_TYPE}, 6);
    iterLabel->resize(W - 2 * iterLabel->x(), iterLabel->height());
    const int rowsHeight = H - top;

    // The right column: buttons stacked from the top, the clock at the list's foot.
    QWidget* add = at(IDC_ADD);
    const int C = W - add->width() - 5;
    int y = StartGeometry(IDC_ADD).y;
    for (int id : {IDC_ADD, IDC_ADD_FOLDER, IDC_REMOVE, IDC_CLEAR}) {
        at(id)->move(C, y);
        y += at(id)->height() + 4;
    }
    at(IDC_INDICATOR)->move(C, y + 6);
    const int columnHeight = at(IDC_INDICATOR)->geometry().bottom() + 4 + at(IDC_CLOCK)->height();

    QWidget* list = at(IDC_LIST);
    list->setGeometry(list->x(), list->y(), C - list->x() - 5, top - list->y() - 5);
    QWidget* clock = at(IDC_CLOCK);
    clock->move(C, list->geometry().bottom() + 1 - clock->height());

    const int topWidth = list->x() + 150 + 5 + add->width() + 5;
    return {std::max({rowsRight + 15, buttonsWidth, topWidth}),
            std::max(columnHeight, list->y() + 80) + 5 + rowsHeight};
}

void CKelvaneDlg::LayoutClient(int W, int H) {
    if (W <= 0 || H <= 0) return;
    (void)ArrangeRows(W, H);
    client_->update();
}
