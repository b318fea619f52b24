#include "ui/ScheduleDlg.h"

#include <QButtonGroup>
#include <QComboBox>
#include <QCoreApplication>
#include <QDateTime>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QProcess>
#include <QPushButton>
#include <QRadioButton>
#include <QTimeEdit>
#include <QTimer>
#include <QTreeWidget>
#include <QVBoxLayout>
#include <utility>

#include "config/TextConv.h"
#include "i18n/LanguageKeys.h"
#include "i18n/SafeFormat.h"
#include "platform/qt/QtText.h"
#include "ui/FontHolder.h"

namespace {

std::function<void(CScheduleDlg&)>& NextAction() {
    static std::function<void(CScheduleDlg&)> action;
    return action;
}

QString TimeOf(const QJsonValue& seconds) {
    const qint64 s = seconds.toInteger();
    return s > 0 ? QDateTime::fromSecsSinceEpoch(s).toString(QStringLiteral("yyyy-MM-dd HH:mm"))
                 : QStringLiteral("-");
}

}  // namespace

void CScheduleDlg::SetNextAction(std::function<void(CScheduleDlg&)> action) {
    NextAction() = std::move(action);
}

CScheduleDlg::CScheduleDlg(QWidget* parent) : CDialog(parent) {
    auto* layout = new QVBoxLayout(this);
    jobs_ = new QTreeWidget(this);
    jobs_->setRootIsDecorated(false);
    jobs_->setColumnCount(6);
    jobs_->setSelectionMode(QAbstractItemView::SingleSelection);
    layout->addWidget(jobs_, 1);
    auto* jobButtons = new QHBoxLayout;
    runNow_ = new QPushButton(this);
    remove_ = new QPushButton(this);
    jobButtons->addStretch(1);
    jobButtons->addWidget(runNow_);
    jobButtons->addWidget(remove_);
    layout->addLayout(jobButtons);

    auto* add = new QGroupBox(this);
    add->setObjectName(QStringLiteral("newJob"));
    auto* grid = new QGridLayout(add);
    ticked_ = new QRadioButton(add);
    trash_ = new QRadioButton(add);
    drives_ = new QRadioButton(add);
    what_ = new QButtonGroup(this);
    for (QRadioButton* b : {ticked_, trash_, drives_}) what_->addButton(b);
    chooseDrivesButton_ = new QPushButton(add);
    drivesLabel_ = new QLabel(add);
    every_ = new QComboBox(add);
    at_ = new QTimeEdit(QTime(3, 0), add);
    at_->setDisplayFormat(QStringLiteral("HH:mm"));
    calendar_ = new QLineEdit(add);
    add_ = new QPushButton(add);
    grid->addWidget(ticked_, 0, 0, 1, 3);
    grid->addWidget(trash_, 1, 0, 1, 3);
    grid->addWidget(drives_, 2, 0);
    grid->addWidget(chooseDrivesButton_, 2, 1);
    grid->addWidget(drivesLabel_, 2, 2);
    grid->addWidget(every_, 3, 0);
    grid->addWidget(at_, 3, 1);
    grid->addWidget(calendar_, 3, 2);
    grid->addWidget(add_, 4, 2, Qt::AlignRight);
    layout->addWidget(add);

    messages_ = new QPlainTextEdit(this);
    messages_->setReadOnly(true);
    messages_->setMaximumBlockCount(200);
    layout->addWidget(messages_);
    close_ = new QPushButton(this);
    auto* closeRow = new QHBoxLayout;
    closeRow->addStretch(1);
    closeRow->addWidget(close_);
    layout->addLayout(closeRow);

    connect(add_, &QPushButton::clicked, this, [this] { OnAdd(); });
    connect(remove_, &QPushButton::clicked, this, [this] { OnRemove(); });
    connect(runNow_, &QPushButton::clicked, this, [this] { OnRunNow(); });
    connect(close_, &QPushButton::clicked, this, [this] { OnCancel(); });
    connect(chooseDrivesButton_, &QPushButton::clicked, this, [this] {
        if (!chooseDrives_) return;
        chosenDrives_ = chooseDrives_();
        QStringList shown;
        for (const std::string& d : chosenDrives_) shown << QString::fromStdString(d);
        drivesLabel_->setText(shown.join(QStringLiteral(", ")));
        if (!chosenDrives_.empty()) drives_->setChecked(true);
        UpdateControls();
    });
    connect(what_, &QButtonGroup::buttonToggled, this, [this] { UpdateControls(); });
    connect(every_, &QComboBox::currentIndexChanged, this, [this] { UpdateControls(); });
    connect(jobs_, &QTreeWidget::itemSelectionChanged, this, [this] { UpdateControls(); });
}

CScheduleDlg::~CScheduleDlg() {
    if (process_) {
        process_->disconnect();
        process_->kill();
        process_->waitForFinished(2000);
    }
}

std::u16string CScheduleDlg::Text(std::string_view key) const {
    std::u16string text = lookup_ ? lookup_(key) : std::u16string();
    return text.empty() ? WideFromUtf8(BuiltInText(key)) : text;
}

int CScheduleDlg::DoModal(FontHolder& fonts, std::vector<std::string> ticked, int passes) {
    fonts_ = &fonts;
    tickedPaths_ = std::move(ticked);
    passes_ = passes;
    pendingAction_ = std::exchange(NextAction(), nullptr);
    const int result = CDialog::DoModal();
    fonts_ = nullptr;
    return result;
}

bool CScheduleDlg::OnInitDialog() {
    if (fonts_) fonts_->Apply(this, true);
    setWindowTitle(ToQ(Text("FrmSchedule.Caption")));
    jobs_->setHeaderLabels(
        {ToQ(Text("FrmSchedule.m_LISJobs0")), ToQ(Text("FrmSchedule.m_LISJobs1")),
         ToQ(Text("FrmSchedule.m_LISJobs2")), ToQ(Text("FrmSchedule.m_LISJobs3")),
         ToQ(Text("FrmSchedule.m_LISJobs4")), ToQ(Text("FrmSchedule.m_LISJobs5"))});
    jobs_->setAccessibleName(ToQ(Text("FrmSchedule.Caption")));
    ticked_->setText(ToQ(SafeFormat(Text("FrmSchedule.m_OPTTicked"),
                                    {WideFromUtf8(std::to_string(tickedPaths_.size()))})));
    trash_->setText(ToQ(Text("FrmSchedule.m_OPTTrash")));
    drives_->setText(ToQ(Text("FrmSchedule.m_OPTDrives")));
    chooseDrivesButton_->setText(ToQ(Text("FrmSchedule.m_BTNChooseDrives")));
    every_->addItems(
        {ToQ(Text("FrmSchedule.m_CMBEveryDay")), ToQ(Text("FrmSchedule.m_CMBEveryWeek")),
         ToQ(Text("FrmSchedule.m_CMBEveryMonth")), ToQ(Text("FrmSchedule.m_CMBCalendar"))});
    every_->setAccessibleName(ToQ(Text("FrmSchedule.m_LBLWhen")));
    at_->setAccessibleName(ToQ(Text("FrmSchedule.m_LBLAt")));
    calendar_->setAccessibleName(ToQ(Text("FrmSchedule.m_CMBCalendar")));
    calendar_->setPlaceholderText(QStringLiteral("Sat *-*-* 04:00"));
    if (auto* box = findChild<QGroupBox*>(QStringLiteral("newJob")))
        box->setTitle(ToQ(Text("FrmSchedule.m_GRPNew")));
    add_->setText(ToQ(Text("FrmSchedule.m_BTNAdd")));
    remove_->setText(ToQ(Text("FrmSchedule.m_BTNRemove")));
    runNow_->setText(ToQ(Text("FrmSchedule.m_BTNRunNow")));
    close_->setText(ToQ(Text("FrmSchedule.m_BTNClose")));
    messages_->setAccessibleName(ToQ(Text("FrmSchedule.m_TXTMessages")));
    (tickedPaths_.empty() ? trash_ : ticked_)->setChecked(true);
    resize(760, 520);
    UpdateControls();
    Refresh();
    return true;
}

void CScheduleDlg::UpdateControls() {
    ticked_->setEnabled(!tickedPaths_.empty());
    const bool calendar = every_->currentIndex() == 3;
    at_->setVisible(!calendar);
    calendar_->setVisible(calendar);
    const bool what = (ticked_->isChecked() && !tickedPaths_.empty()) || trash_->isChecked() ||
                      (drives_->isChecked() && !chosenDrives_.empty());
    add_->setEnabled(!busy_ && what);
    const bool job = !jobs_->selectedItems().isEmpty();
    remove_->setEnabled(!busy_ && job);
    runNow_->setEnabled(!busy_ && job);
}

void CScheduleDlg::Say(const QString& text) {
    const QString trimmed = text.trimmed();
    if (!trimmed.isEmpty()) messages_->appendPlainText(trimmed);
}

void CScheduleDlg::Run(const std::vector<std::string>& args,
                       std::function<void(int, const QByteArray&)> done) {
    if (busy_) return;
    busy_ = true;
    UpdateControls();
    process_ = new QProcess(this);
    QStringList list;
    for (const std::string& a : args) list << QString::fromStdString(a);
    process_->setProgram(QCoreApplication::applicationDirPath() + QStringLiteral("/kelvane-cli"));
    process_->setArguments(list);
    process_->setStandardInputFile(QProcess::nullDevice());
    auto finish = [this, done](int status, bool started) {
        QProcess* p = std::exchange(process_, nullptr);
        const QByteArray out = started ? p->readAllStandardOutput() : QByteArray();
        if (started)
            Say(QString::fromUtf8(p->readAllStandardError()));
        else
            Say(ToQ(Text("FrmSchedule.m_acMNoCli")));
        p->deleteLater();
        busy_ = false;
        UpdateControls();
        done(started ? status : -1, out);
        if (pendingAction_ && !busy_) std::exchange(pendingAction_, nullptr)(*this);
    };
    connect(process_, &QProcess::finished, this, [finish](int code, QProcess::ExitStatus how) {
        finish(how == QProcess::NormalExit ? code : -1, true);
    });
    connect(process_, &QProcess::errorOccurred, this, [this, finish](QProcess::ProcessError e) {
        if (e == QProcess::FailedToStart) finish(-1, false);
    });
    process_->start();
}

void CScheduleDlg::Refresh() {
    Run({"schedule", "list", "--json"}, [this](int, const QByteArray& out) {
        const QString selected = jobs_->currentItem() ? jobs_->currentItem()->text(0) : QString();
        jobs_->clear();
        for (const QByteArray& line : out.split('\n')) {
            const QJsonObject o = QJsonDocument::fromJson(line).object();
            if (o.value(QStringLiteral("event")).toString() != QStringLiteral("job")) continue;
            QStringList what;
            if (o.value(QStringLiteral("trash")).toBool())
                what << ToQ(Text("FrmSchedule.m_OPTTrash"));
            for (const QJsonValue& p : o.value(QStringLiteral("paths")).toArray())
                what << p.toString();
            const bool fill =
                o.value(QStringLiteral("command")).toString() == QStringLiteral("free-space");
            QString outcome = o.value(QStringLiteral("lastOutcome")).toString();
            const QString reason = o.value(QStringLiteral("lastReason")).toString();
            if (!reason.isEmpty()) outcome += QStringLiteral(": ") + reason;
            auto* item = new QTreeWidgetItem(
                jobs_, {o.value(QStringLiteral("id")).toString(),
                        (fill ? ToQ(Text("FrmSchedule.m_acMFreeSpaceOf")) + QStringLiteral(" ")
                              : QString()) +
                            what.join(QStringLiteral(", ")),
                        o.value(QStringLiteral("calendar")).toString(),
                        TimeOf(o.value(QStringLiteral("next"))),
                        TimeOf(o.value(QStringLiteral("lastRun"))), outcome});
            item->setToolTip(5, outcome);
            if (item->text(0) == selected) jobs_->setCurrentItem(item);
        }
        for (int c = 0; c < jobs_->columnCount(); ++c) jobs_->resizeColumnToContents(c);
        UpdateControls();
    });
}

void CScheduleDlg::OnAdd() {
    static const char* const kEvery[] = {"daily", "weekly", "monthly"};
    std::vector<std::string> args{"schedule", "add"};
    if (every_->currentIndex() < 3) {
        args.insert(args.end(), {"--every", kEvery[every_->currentIndex()], "--at",
                                 at_->time().toString(QStringLiteral("HH:mm")).toStdString()});
    } else {
        args.insert(args.end(), {"--calendar", calendar_->text().trimmed().toStdString()});
    }
    args.insert(args.end(),
                {drives_->isChecked() ? "free-space" : "shred", "-n", std::to_string(passes_)});
    if (trash_->isChecked()) args.push_back("--trash");
    args.push_back("--");
    const std::vector<std::string>& paths = ticked_->isChecked()   ? tickedPaths_
                                            : drives_->isChecked() ? chosenDrives_
                                                                   : std::vector<std::string>{};
    args.insert(args.end(), paths.begin(), paths.end());
    Run(args, [this](int status, const QByteArray& out) {
        Say(QString::fromUtf8(out));
        if (status != 0 && status != 1) Say(ToQ(Text("FrmSchedule.m_acMNotScheduled")));
        Refresh();
    });
}

void CScheduleDlg::OnRemove() {
    if (!jobs_->currentItem()) return;
    Run({"schedule", "remove", jobs_->currentItem()->text(0).toStdString()},
        [this](int, const QByteArray&) { Refresh(); });
}

void CScheduleDlg::OnRunNow() {
    if (!jobs_->currentItem()) return;
    Run({"schedule", "run", jobs_->currentItem()->text(0).toStdString()},
        [this](int, const QByteArray&) { Refresh(); });
}
