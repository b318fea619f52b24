#include "ui/LogViewDlg.h"

#include <QApplication>
#include <QClipboard>
#include <QFontDatabase>
#include <QHBoxLayout>
#include <QKeySequence>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QShortcut>
#include <QTextCursor>
#include <QTextDocumentFragment>
#include <QVBoxLayout>

#include "platform/qt/QtText.h"

CLogViewDlg::CLogViewDlg(QWidget* parent, TextLookup text)
    : QDialog(parent), text_(std::move(text)) {
    setObjectName(QStringLiteral("LogViewDlg"));
    setSizeGripEnabled(true);

    view_ = new QPlainTextEdit(this);
    view_->setObjectName(QStringLiteral("LogText"));
    view_->setReadOnly(true);
    view_->setTextInteractionFlags(Qt::TextSelectableByMouse | Qt::TextSelectableByKeyboard);
    view_->setLineWrapMode(QPlainTextEdit::NoWrap);
    // Paths line up better in a fixed-width face.
    view_->setFont(QFontDatabase::systemFont(QFontDatabase::FixedFont));

    findLabel_ = new QLabel(this);
    find_ = new QLineEdit(this);
    find_->setObjectName(QStringLiteral("Find"));
    findLabel_->setBuddy(find_);
    findNext_ = new QPushButton(this);
    findNext_->setObjectName(QStringLiteral("FindNext"));
    copy_ = new QPushButton(this);
    copy_->setObjectName(QStringLiteral("Copy"));
    close_ = new QPushButton(this);
    close_->setObjectName(QStringLiteral("Close"));
    // Enter in the find field searches; it must not press a default button.
    for (QPushButton* b : {findNext_, copy_, close_}) b->setAutoDefault(false);
    note_ = new QLabel(this);
    note_->setObjectName(QStringLiteral("Note"));

    connect(find_, &QLineEdit::returnPressed, this, [this] { FindNext(); });
    connect(find_, &QLineEdit::textEdited, this, [this] {
        notFound_ = false;
        UpdateNote();
    });
    connect(findNext_, &QPushButton::clicked, this, [this] { FindNext(); });
    connect(copy_, &QPushButton::clicked, this, [this] { CopyText(); });
    connect(close_, &QPushButton::clicked, this, &QDialog::close);
    auto* findKey = new QShortcut(QKeySequence::Find, this);
    connect(findKey, &QShortcut::activated, this, [this] {
        find_->setFocus(Qt::ShortcutFocusReason);
        find_->selectAll();
    });
    auto* nextKey = new QShortcut(QKeySequence::FindNext, this);
    connect(nextKey, &QShortcut::activated, this, [this] { FindNext(); });

    auto* bar = new QHBoxLayout;
    bar->addWidget(findLabel_);
    bar->addWidget(find_, 1);
    bar->addWidget(findNext_);
    bar->addSpacing(12);
    bar->addWidget(copy_);
    bar->addWidget(close_);
    auto* top = new QVBoxLayout(this);
    top->addWidget(view_, 1);
    top->addWidget(note_);
    top->addLayout(bar);

    ApplyTexts();
    resize(720, 440);
}

QString CLogViewDlg::Text(std::string_view key) const {
    return text_ ? ToQ(text_(key)) : QString();
}

void CLogViewDlg::ApplyTexts() {
    setWindowTitle(Text("FrmLogView.Caption"));
    view_->setAccessibleName(Text("FrmLogView.Caption"));
    findLabel_->setText(Text("FrmLogView.m_LBLFind"));
    findNext_->setText(Text("FrmLogView.m_BTNFindNext"));
    copy_->setText(Text("FrmLogView.m_BTNCopy"));
    close_->setText(Text("FrmLogView.m_BTNClose"));
    view_->setPlaceholderText(Text("FrmLogView.m_acMEmpty"));
    UpdateNote();
}

void CLogViewDlg::SetLogText(const std::u16string& log, bool exists, bool truncated) {
    exists_ = exists;
    truncated_ = truncated;
    notFound_ = false;
    view_->setPlainText(ToQ(log));
    // The newest run is at the end of the log.
    view_->moveCursor(QTextCursor::End);
    view_->ensureCursorVisible();
    UpdateNote();
}

void CLogViewDlg::UpdateNote() {
    QString note;
    if (notFound_)
        note = Text("FrmLogView.m_acMNotFound");
    else if (truncated_)
        note = Text("FrmLogView.m_acMTruncated");
    else if (!exists_)
        note = Text("FrmLogView.m_acMEmpty");
    note_->setText(note);
    note_->setVisible(!note.isEmpty());
}

bool CLogViewDlg::FindNext() {
    const QString what = find_->text();
    if (what.isEmpty()) return false;
    bool found = view_->find(what);
    if (!found) {
        // Wrap around once; a cursor at the start finds a hit right there too.
        const QTextCursor saved = view_->textCursor();
        view_->moveCursor(QTextCursor::Start);
        found = view_->find(what);
        if (!found) view_->setTextCursor(saved);
    }
    notFound_ = !found;
    UpdateNote();
    return found;
}

void CLogViewDlg::CopyText() {
    const QTextCursor cursor = view_->textCursor();
    // The selection's paragraph breaks come back as "\n", as in the text itself.
    const QString text =
        cursor.hasSelection() ? cursor.selection().toPlainText() : view_->toPlainText();
    QApplication::clipboard()->setText(text);
}
