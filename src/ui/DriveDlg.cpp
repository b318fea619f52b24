#include "ui/DriveDlg.h"

#include <QCheckBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QPushButton>
#include <QScreen>
#include <QTimer>
#include <QTreeWidget>
#include <QVBoxLayout>
#include <algorithm>
#include <mutex>
#include <optional>

#include "config/TextConv.h"
#include "filelist/StringTable.h"
#include "i18n/LanguageKeys.h"
#include "i18n/SafeFormat.h"
#include "platform/BoundedCall.h"
#include "platform/qt/QtText.h"
#include "ui/FontHolder.h"
#include "ui/ThemeColours.h"

namespace {

std::function<void(CDriveDlg&)>& NextAction() {
    static std::function<void(CDriveDlg&)> action;
    return action;
}

std::function<DriveOffer()>& OfferSource() {
    static std::function<DriveOffer()> source;
    return source;
}

}  // namespace

CDriveDlg::CDriveDlg(QWidget* parent) : CDialog(parent) {
    label_ = new QLabel(this);
    label_->setObjectName(QStringLiteral("m_LBLSelectDrive"));
    list_ = new QTreeWidget(this);
    list_->setObjectName(QStringLiteral("m_LISDrives"));
    list_->setRootIsDecorated(false);
    list_->setColumnCount(3);
    list_->setUniformRowHeights(true);
    list_->setSelectionMode(QAbstractItemView::SingleSelection);
    // Mount points that share a long beginning differ at their end.
    list_->setTextElideMode(Qt::ElideMiddle);
    leftOut_ = new QLabel(this);
    leftOut_->setObjectName(QStringLiteral("m_LBLLeftOut"));
    leftOut_->setWordWrap(true);
    leftOut_->setTextFormat(Qt::PlainText);
    allDrives_ = new QCheckBox(this);
    allDrives_->setObjectName(QStringLiteral("m_CHKAllDrives"));
    reserve_ = new QCheckBox(this);
    reserve_->setObjectName(QStringLiteral("m_CHKOverwriteReserve"));
    reserve_->setVisible(false);
    ok_ = new QPushButton(this);
    ok_->setObjectName(QStringLiteral("m_BTNOk"));
    ok_->setDefault(true);
    cancel_ = new QPushButton(this);
    cancel_->setObjectName(QStringLiteral("m_BTNCancel"));
    UsePanelColours(label_);
    UsePanelColours(allDrives_);
    UsePanelColours(reserve_);

    auto* buttons = new QHBoxLayout;
    buttons->addWidget(allDrives_);
    buttons->addStretch(1);
    buttons->addWidget(ok_);
    buttons->addWidget(cancel_);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(label_);
    layout->addWidget(list_, 1);
    layout->addWidget(leftOut_);
    layout->addWidget(reserve_);
    layout->addLayout(buttons);

    connect(allDrives_, &QCheckBox::clicked, this, [this] { OnAllDrivesClicked(); });
    connect(ok_, &QPushButton::clicked, this, [this] { OnOK(); });
    connect(cancel_, &QPushButton::clicked, this, [this] { OnCancel(); });
}

CDriveDlg::~CDriveDlg() = default;

void CDriveDlg::SetReserveChoice(bool offered, bool checked) {
    reserve_->setVisible(offered);
    reserve_->setChecked(offered && checked);
}

bool CDriveDlg::ReserveOffered() const {
    return !reserve_->isHidden();
}

bool CDriveDlg::Reserve() const {
    return reserve_->isChecked();
}

void CDriveDlg::SetNextAction(std::function<void(CDriveDlg&)> action) {
    NextAction() = std::move(action);
}

void CDriveDlg::SetDriveSource(std::function<std::vector<OfferedDrive>()> source) {
    if (!source) {
        OfferSource() = nullptr;
        return;
    }
    OfferSource() = [source = std::move(source)] { return DriveOffer{source(), {}}; };
}

void CDriveDlg::SetOfferSource(std::function<DriveOffer()> source) {
    OfferSource() = std::move(source);
}

std::u16string CDriveDlg::Text(std::string_view key) const {
    std::u16string text = lookup_ ? lookup_(key) : std::u16string();
    return text.empty() ? WideFromUtf8(BuiltInText(key)) : text;
}

int CDriveDlg::DoModal(FontHolder& fonts, StringTable& drives) {
    fonts_ = &fonts;
    drives_ = &drives;
    // The action acts once the drives are shown, as a user would.
    pendingAction_ = std::exchange(NextAction(), nullptr);
    const int result = CDialog::DoModal();
    fonts_ = nullptr;
    drives_ = nullptr;
    return result == IDOK ? IDOK : IDCANCEL;
}

bool CDriveDlg::OnInitDialog() {
    if (fonts_) fonts_->Apply(this, true);
    setWindowTitle(ToQ(Text("FrmDrive.Caption")));
    label_->setText(ToQ(Text("FrmDrive.m_LBLSelectDrive")));
    list_->setAccessibleName(label_->text());
    allDrives_->setText(ToQ(Text("FrmDrive.m_CHKAllDrives")));
    reserve_->setText(ToQ(Text("FrmMain.m_CHKOverwriteReserve")));
    ok_->setText(ToQ(Text("FrmDrive.m_BTNOk")));
    cancel_->setText(ToQ(Text("FrmDrive.m_BTNCancel")));

    list_->setHeaderLabels({ToQ(Text("FrmDrive.m_LISDrives0")), ToQ(Text("FrmDrive.m_LISDrives1")),
                            ToQ(Text("FrmDrive.m_LISDrives2"))});
    list_->headerItem()->setTextAlignment(2, Qt::AlignRight | Qt::AlignVCenter);
    const int dpi = logicalDpiX();
    for (int c = 0; c < 3; ++c)
        list_->setColumnWidth(c, dpi > 96 ? kColumnWidths[c] * dpi / 96 : kColumnWidths[c]);
    list_->header()->setStretchLastSection(false);
    // 328 x 175 dialog units, in pixels of the dialog's font.
    const QFontMetrics fm(font());
    resize(328 * fm.averageCharWidth() / 4, 175 * fm.height() / 8);

    allDrives_->setChecked(false);
    list_->setEnabled(true);
    LookAtDrives();
    return true;
}

// Looking at a drive touches it, and a dead mount never answers: the drives are
// looked at on a worker (each within a bound), and the dialog shows them when
// they are known. The worker may outlive the dialog, so it fills a box the two
// share, which the dialog looks into, instead of calling the dialog.
void CDriveDlg::LookAtDrives() {
    list_->clear();
    leftOut_->setText(ToQ(Text("FrmDrive.m_acMLooking")));
    leftOut_->setVisible(true);
    struct Box {
        std::mutex mutex;
        std::optional<DriveOffer> offer;
    };
    auto box = std::make_shared<Box>();
    bounded::Start([box, source = OfferSource()] {
        DriveOffer offer = source ? source() : OfferDrives();
        std::lock_guard<std::mutex> lock(box->mutex);
        box->offer = std::move(offer);
    });
    auto* poll = new QTimer(this);
    connect(poll, &QTimer::timeout, this, [this, poll, box] {
        std::optional<DriveOffer> offer;
        {
            std::lock_guard<std::mutex> lock(box->mutex);
            offer.swap(box->offer);
        }
        if (!offer) return;
        poll->stop();
        poll->deleteLater();
        FillList(*offer);
        if (auto action = std::exchange(pendingAction_, nullptr)) action(*this);
    });
    poll->start(kPollMs);
}

void CDriveDlg::FillList(const DriveOffer& offer) {
    list_->clear();
    // A drive missing from the list without a word looks like a fault of ours.
    QString leftOut;
    for (const LeftOutDrive& d : offer.leftOut) {
        std::u16string why = d.reason;
        if (d.notAnswering)
            why = Text("FrmDrive.m_acMNotAnswering");
        else if (!d.reasonKey.empty())
            why = SafeFormat(Text(d.reasonKey), {d.detail});
        leftOut +=
            (leftOut.isEmpty() ? ToQ(Text("FrmDrive.m_acMNotOffered")) : QStringLiteral("; ")) +
            ToQ(d.root) + QStringLiteral(" (") + ToQ(why) + QStringLiteral(")");
    }
    leftOut_->setText(leftOut);
    leftOut_->setVisible(!leftOut.isEmpty());
    for (const OfferedDrive& d : offer.offered) {
        auto* item = new QTreeWidgetItem(list_);
        item->setText(0, ToQ(d.root));
        item->setText(1, ToQ(d.label));
        item->setText(2, ToQ(d.freeMiB));
        item->setTextAlignment(2, Qt::AlignRight | Qt::AlignVCenter);
        // The info tip: long mount points and labels do not fit their columns.
        for (int c = 0; c < 3; ++c) item->setToolTip(c, item->text(c));
        item->setFlags(item->flags() | Qt::ItemIsUserCheckable);
        item->setCheckState(0, Qt::Unchecked);
    }
    // The drive column grows to its longest mount point as far as the other two
    // columns leave room; beyond that the middle gives way.
    const int designed = list_->columnWidth(0);
    int room = list_->viewport()->width() - list_->columnWidth(1) - list_->columnWidth(2);
    list_->resizeColumnToContents(0);
    const int need = list_->columnWidth(0);
    // Too narrow: the dialog widens as far as the screen allows.
    if (need > room && isVisible()) {
        int wider = width() + need - room;
        if (screen()) wider = std::min(wider, screen()->availableGeometry().width());
        room += wider - width();
        resize(wider, height());
    }
    list_->setColumnWidth(0, std::max(designed, std::min(need, room)));
}

void CDriveDlg::OnAllDrivesClicked() {
    list_->setEnabled(!allDrives_->isChecked());
}

void CDriveDlg::OnOK() {
    if (drives_) {
        drives_->SetSize(1, 0);
        const bool all = allDrives_->isChecked();
        for (int i = 0; i < list_->topLevelItemCount(); ++i) {
            QTreeWidgetItem* item = list_->topLevelItem(i);
            if (all || item->checkState(0) == Qt::Checked)
                drives_->AppendRow(Utf8FromWide(FromQ(item->text(0))));
        }
    }
    EndDialog(IDOK);
}
