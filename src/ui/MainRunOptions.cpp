#include "ui/MainRunOptions.h"

#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>

#include "config/NumberText.h"
#include "config/SettingsFile.h"
#include "platform/qt/QtText.h"
#include "ui/Accessibility.h"

namespace {
// An index outside the list leaves no selection.
void SelectIndex(QComboBox* c, int index) {
    c->setCurrentIndex(index >= 0 && index < c->count() ? index : -1);
}

// Items in the language in use; the chosen one stays chosen.
void SetItems(QComboBox* c, const QStringList& items) {
    const int index = c->currentIndex();
    c->clear();
    c->addItems(items);
    c->setCurrentIndex(index);
}
}  // namespace

MainRunOptions::MainRunOptions(QWidget* parent, TextLookup text) : text_(std::move(text)) {
    // The label spans the window; the controls of its row are drawn over it.
    iterationsLabel_ = new QLabel(QStringLiteral("Number of iterations"), parent);
    iterationsLabel_->setTextFormat(Qt::PlainText);
    iterations_ = new QComboBox(parent);
    iterations_->setEditable(true);
    iterations_->setInsertPolicy(QComboBox::NoInsert);
    for (const char* n : {"1", "2", "3", "5", "7", "10", "15", "20", "30", "50", "75", "100"})
        iterations_->addItem(QString::fromLatin1(n));
    iterations_->setCurrentIndex(-1);
    iterations_->setEditText(QStringLiteral("3"));
    iterationsLabel_->setBuddy(iterations_);

    random_ = new QCheckBox(QStringLiteral("Random number writing"), parent);
    shredNames_ = new QCheckBox(QStringLiteral("Shred filenames"), parent);
    modifySize_ = new QCheckBox(QStringLiteral("Modify size"), parent);
    sizeType_ = new QComboBox(parent);
    sizeType_->addItems({QStringLiteral("zero"), QStringLiteral("random")});
    sizeType_->setCurrentIndex(0);
    sizeType_->setEnabled(false);
    QObject::connect(modifySize_, &QCheckBox::toggled, sizeType_, [this] { FollowModifySize(); });
    confirm_ = new QCheckBox(QStringLiteral("Confirm delete"), parent);
    endActionLabel_ = new QLabel(QStringLiteral("When processing is done:"), parent);
    endActionLabel_->setTextFormat(Qt::PlainText);
    endAction_ = new QComboBox(parent);
    endAction_->addItems({QStringLiteral("Do nothing"), QStringLiteral("Shut down program"),
                          QStringLiteral("Shut down windows")});
    endAction_->setCurrentIndex(0);
    endActionLabel_->setBuddy(endAction_);
}

std::vector<std::pair<int, QWidget*>> MainRunOptions::Controls() const {
    return {{kIterationsLabel, iterationsLabel_},
            {kIterations, iterations_},
            {kRandom, random_},
            {kShredNames, shredNames_},
            {kModifySize, modifySize_},
            {kSizeType, sizeType_},
            {kConfirm, confirm_},
            {kEndActionLabel, endActionLabel_},
            {kEndAction, endAction_}};
}

void MainRunOptions::SetDefaults() {
    random_->setChecked(true);
    confirm_->setChecked(true);
    iterations_->setEditText(QStringLiteral("3"));
}

void MainRunOptions::Load(const AppSettings& s) {
    // Check boxes take the stored number as their state; any state but "cleared"
    // shows as ticked, as any such state is saved as ticked.
    random_->setChecked(s.random != 0);
    SelectIndex(endAction_, s.endAction);
    shredNames_->setChecked(s.shredNames != 0);
    confirm_->setChecked(s.confirm != 0);
    modifySize_->setChecked(s.modifySize != 0);
    SelectIndex(sizeType_, s.modifySizeType);
    FollowModifySize();
    iterations_->setEditText(QString::number(ClampIterations(s.iterations)));
}

void MainRunOptions::Store(AppSettings& s) const {
    s.random = random_->isChecked() ? 1 : 0;
    s.endAction = endAction_->currentIndex();
    s.shredNames = shredNames_->isChecked() ? 1 : 0;
    s.confirm = confirm_->isChecked() ? 1 : 0;
    s.modifySize = modifySize_->isChecked() ? 1 : 0;
    s.modifySizeType = sizeType_->currentIndex();
    s.iterations = ClampIterations(ParseInt32(FromQ(iterations_->currentText())));
}

void MainRunOptions::SetRunning(bool running) {
    for (QWidget* w : {static_cast<QWidget*>(iterationsLabel_), static_cast<QWidget*>(iterations_),
                       static_cast<QWidget*>(random_), static_cast<QWidget*>(shredNames_),
                       static_cast<QWidget*>(modifySize_), static_cast<QWidget*>(confirm_)})
        w->setEnabled(!running);
    if (running)
        sizeType_->setEnabled(false);
    else
        FollowModifySize();
}

void MainRunOptions::FollowModifySize() {
    sizeType_->setEnabled(modifySize_->isChecked() && modifySize_->isEnabled());
}

void MainRunOptions::ApplyTexts() {
    auto text = [this](std::string_view key) { return ToQ(text_(key)); };
    iterationsLabel_->setText(text("FrmMain.m_LBLIterations"));
    random_->setText(text("FrmMain.m_CHKRandom"));
    shredNames_->setText(text("FrmMain.m_CHKShredNames"));
    modifySize_->setText(text("FrmMain.m_CHKModifySize"));
    confirm_->setText(text("FrmMain.m_CHKConfirmDelete"));
    endActionLabel_->setText(text("FrmMain.m_LBLEndAction"));
    SetItems(endAction_, {text("FrmMain.m_CBBEndAction2"), text("FrmMain.m_CBBEndAction1"),
                          text("FrmMain.m_CBBEndAction0")});
    SetItems(sizeType_, {text("FrmMain.m_CBBModifySize0"), text("FrmMain.m_CBBModifySize1")});

    // The drop-downs have no caption of their own for a screen reader to take.
    const QString iterationsName = SpokenCaption(text("FrmMain.m_LBLIterations"));
    iterations_->setAccessibleName(iterationsName);
    if (iterations_->lineEdit()) iterations_->lineEdit()->setAccessibleName(iterationsName);
    endAction_->setAccessibleName(SpokenCaption(text("FrmMain.m_LBLEndAction")));
    sizeType_->setAccessibleName(text("FrmMain.m_ACCSizeType"));
}

QString MainRunOptions::IterationsText() const {
    return iterations_->currentText();
}

bool MainRunOptions::Confirm() const {
    return confirm_->isChecked();
}

int MainRunOptions::EndAction() const {
    return endAction_->currentIndex();
}
