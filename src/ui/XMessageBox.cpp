#include "ui/XMessageBox.h"

#include <QApplication>
#include <QClipboard>
#include <QFontMetrics>
#include <QKeyEvent>
#include <QLabel>
#include <QMetaObject>
#include <QMutex>
#include <QPointer>
#include <QPushButton>
#include <QScreen>
#include <QStyle>
#include <QTextLayout>
#include <QThread>
#include <QTimer>
#include <deque>

namespace {

constexpr int kMargin = 11;
constexpr int kIconGap = 16;
constexpr int kButtonGap = 6;
constexpr int kButtonExtra = 20;
constexpr int kTabStop = 8;

struct TestHooks {
    QMutex mutex;
    std::function<void(XMessageBox*)> onShown;
    std::deque<int> answers;
    QStringList asked;
};

TestHooks& Hooks() {
    static TestHooks hooks;
    return hooks;
}

QString ExpandTabs(const QString& line) {
    QString out;
    for (QChar c : line) {
        if (c == u'\t') {
            do out += u' ';
            while (out.size() % kTabStop != 0);
        } else {
            out += c;
        }
    }
    return out;
}

// Breaks the message into lines no wider than `width`: at word boundaries where it
// can, anywhere inside a word that is too long by itself (a long path must not run
// out of the box).
QStringList WrapLines(const QString& text, const QFont& font, int width, int* widest) {
    QStringList lines;
    *widest = 0;
    QString plain = text;
    plain.remove(u'\r');
    for (const QString& paragraph : plain.split(u'\n')) {
        QString expanded = ExpandTabs(paragraph);
        if (expanded.isEmpty()) {
            lines << QString();
            continue;
        }
        QTextLayout layout(expanded, font);
        QTextOption option;
        option.setWrapMode(QTextOption::WrapAtWordBoundaryOrAnywhere);
        layout.setTextOption(option);
        layout.beginLayout();
        for (QTextLine line = layout.createLine(); line.isValid(); line = layout.createLine()) {
            line.setLineWidth(width);
            QString part = expanded.mid(line.textStart(), line.textLength());
            while (!part.isEmpty() && part.back().isSpace()) part.chop(1);
            lines << part;
        }
        layout.endLayout();
    }
    QFontMetrics fm(font);
    for (const QString& l : lines) *widest = std::max(*widest, fm.horizontalAdvance(l));
    return lines;
}

}  // namespace

XMessageBox::XMessageBox(QWidget* owner, const QString& text, const QString& caption,
                         const XMessageBoxCaptions& captions)
    : QDialog(owner ? owner : QApplication::activeWindow()),
      owner_(parentWidget()),
      text_(text),
      caption_(caption.isEmpty() ? QStringLiteral("Error") : caption),
      buttonCaptions_{captions.yes, captions.yesToAll, captions.no, captions.cancel} {
    setWindowTitle(caption_);
    setModal(true);
    setWindowFlags((windowFlags() | Qt::Dialog | Qt::WindowCloseButtonHint) &
                   ~Qt::WindowContextHelpButtonHint);
    setFont(QApplication::font("QMessageBox"));
    Build(text);
}

void XMessageBox::Build(const QString& text) {
    const QFontMetrics fm(font());

    const int iconSize = style()->pixelMetric(QStyle::PM_MessageBoxIconSize, nullptr, this);
    icon_ = new QLabel(this);
    icon_->setObjectName(QStringLiteral("icon"));
    icon_->setPixmap(style()
                         ->standardIcon(QStyle::SP_MessageBoxQuestion, nullptr, this)
                         .pixmap(iconSize, iconSize));
    icon_->setGeometry(kMargin, kMargin, iconSize, iconSize);

    QScreen* screen = owner_ ? owner_->screen() : QGuiApplication::primaryScreen();
    const int screenWidth = screen ? screen->geometry().width() : 800;
    wrapWidth_ = std::max(40, screenWidth / 2 + 80 - (iconSize + kIconGap));

    int textWidth = 0;
    const QStringList lines = WrapLines(text, font(), wrapWidth_, &textWidth);
    message_ = new QLabel(this);
    message_->setObjectName(QStringLiteral("message"));
    // Plain text: "&" is shown as it stands and nothing in a file name is markup.
    message_->setTextFormat(Qt::PlainText);
    message_->setWordWrap(false);
    message_->setText(lines.join(u'\n'));
    const int textHeight = static_cast<int>(lines.size()) * fm.lineSpacing();
    const int textLeft = kMargin + iconSize + kIconGap;
    // A short message sits level with the middle of the icon.
    const int textTop = kMargin + std::max(0, (iconSize - textHeight) / 2);
    message_->setGeometry(textLeft, textTop, textWidth + 2, textHeight);

    // Dialog units of the box's font: average character width / 4 across,
    // character height / 8 down.
    const QString alphabet = QStringLiteral("ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz");
    const int baseX = (fm.horizontalAdvance(alphabet) / 26 + 1) / 2;
    const int baseY = fm.height();
    const int minWidth = 38 * baseX / 4;
    const int buttonHeight = std::max(12 * baseY / 8, fm.height() + 6);

    const int codes[] = {kIdYes, kIdYesToAll, kIdNo, kIdCancel};
    int rowWidth = 0;
    for (int i = 0; i < 4; ++i) {
        auto* b = new QPushButton(buttonCaptions_[i], this);
        b->setObjectName(QStringLiteral("button%1").arg(codes[i]));
        b->setProperty("code", codes[i]);
        QString bare = buttonCaptions_[i];
        bare.remove(u'&');
        const int w = std::max(fm.horizontalAdvance(bare) + kButtonExtra, minWidth);
        b->resize(w, buttonHeight);
        rowWidth += w + (i ? kButtonGap : 0);
        const int code = codes[i];
        connect(b, &QPushButton::clicked, this, [this, code] { done(code); });
        buttons_ << b;
    }

    const int contentWidth = std::max(textLeft - kMargin + textWidth, rowWidth);
    const int clientWidth = contentWidth + 2 * kMargin;
    const int buttonTop = kMargin + std::max(iconSize, textHeight) + kMargin + 4;
    int x = (clientWidth - rowWidth) / 2;
    for (QPushButton* b : buttons_) {
        b->move(x, buttonTop);
        x += b->width() + kButtonGap;
    }
    setFixedSize(clientWidth, buttonTop + buttonHeight + kMargin);

    buttons_.front()->setDefault(true);
    buttons_.front()->setFocus();
}

QPushButton* XMessageBox::Button(int code) const {
    for (QPushButton* b : buttons_)
        if (b->property("code").toInt() == code) return b;
    return nullptr;
}

QString XMessageBox::ClipboardText() const {
    const QString dash(27, u'-');
    const QString eol = QStringLiteral("\r\n");
    QString buttons;
    for (QString c : buttonCaptions_) buttons += c.remove(u'&') + QStringLiteral("   ");
    return dash + eol + caption_ + eol + dash + eol + text_ + eol + dash + eol + buttons + eol +
           dash + eol;
}

void XMessageBox::CentreOverOwner() {
    QRect area;
    if (owner_ && owner_->isVisible())
        area = owner_->frameGeometry();
    else if (QScreen* s = owner_ ? owner_->screen() : QGuiApplication::primaryScreen())
        area = s->availableGeometry();
    if (area.isValid()) move(area.center() - QPoint(width() / 2, height() / 2));
}

int XMessageBox::Run() {
    CentreOverOwner();
    QApplication::beep();
    return exec();
}

void XMessageBox::showEvent(QShowEvent* event) {
    QDialog::showEvent(event);
    raise();
    activateWindow();
    buttons_.front()->setFocus();
}

void XMessageBox::keyPressEvent(QKeyEvent* event) {
    if (event->matches(QKeySequence::Copy)) {
        QApplication::clipboard()->setText(ClipboardText());
        event->accept();
        return;
    }
    QDialog::keyPressEvent(event);
}

void XMessageBox::reject() {
    done(kIdCancel);
}

namespace {

int AskOnUiThread(QWidget* owner, const QString& text, const QString& caption,
                  const XMessageBoxCaptions& captions) {
    std::function<void(XMessageBox*)> onShown;
    {
        QMutexLocker l(&Hooks().mutex);
        onShown = Hooks().onShown;
    }
    XMessageBox box(owner, text, caption, captions);
    if (onShown) {
        QPointer<XMessageBox> p(&box);
        QTimer::singleShot(0, &box, [p, onShown] {
            if (p) onShown(p);
        });
    }
    return box.Run();
}

}  // namespace

int XMessageBox::Ask(QWidget* owner, const QString& text, const QString& caption,
                     const XMessageBoxCaptions& captions) {
    {
        QMutexLocker l(&Hooks().mutex);
        Hooks().asked << text;
        if (!Hooks().answers.empty()) {
            int code = Hooks().answers.front();
            Hooks().answers.pop_front();
            return code;
        }
    }
    QCoreApplication* app = QCoreApplication::instance();
    if (!app) return kIdCancel;
    if (QThread::currentThread() == app->thread())
        return AskOnUiThread(owner, text, caption, captions);

    int result = kIdCancel;
    QPointer<QWidget> guardedOwner(owner);
    QMetaObject::invokeMethod(
        app, [&] { result = AskOnUiThread(guardedOwner.data(), text, caption, captions); },
        Qt::BlockingQueuedConnection);
    return result;
}

void XMessageBox::SetOnShown(std::function<void(XMessageBox*)> hook) {
    QMutexLocker l(&Hooks().mutex);
    Hooks().onShown = std::move(hook);
}

void XMessageBox::QueueAnswer(int code) {
    QMutexLocker l(&Hooks().mutex);
    Hooks().answers.push_back(code);
}

void XMessageBox::ClearTestHooks() {
    QMutexLocker l(&Hooks().mutex);
    Hooks().onShown = nullptr;
    Hooks().answers.clear();
    Hooks().asked.clear();
}

QStringList XMessageBox::AskedTexts() {
    QMutexLocker l(&Hooks().mutex);
    return Hooks().asked;
}
