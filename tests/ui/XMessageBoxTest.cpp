// The confirmation box on the offscreen platform: codes, keys, layout, clipboard,
// and a question asked from a worker thread.
#include <gtest/gtest.h>

#include <QApplication>
#include <QClipboard>
#include <QEventLoop>
#include <QFontMetrics>
#include <QKeyEvent>
#include <QLabel>
#include <QPushButton>
#include <QScreen>
#include <QStyle>
#include <QThread>
#include <QTimer>
#include <atomic>
#include <thread>

#include "ui/XMessageBox.h"
#include "uisupport/Screenshot.h"

namespace {

class XMessageBoxTest : public ::testing::Test {
  protected:
    void SetUp() override { XMessageBox::ClearTestHooks(); }
    void TearDown() override { XMessageBox::ClearTestHooks(); }
};

void SendKey(QWidget* target, int key, Qt::KeyboardModifiers mods = Qt::NoModifier) {
    QKeyEvent press(QEvent::KeyPress, key, mods);
    QApplication::sendEvent(target, &press);
    QKeyEvent release(QEvent::KeyRelease, key, mods);
    QApplication::sendEvent(target, &release);
}

// The widget that has the keyboard in the box (the focused button, else the box).
QWidget* KeyTarget(XMessageBox* box) {
    return box->focusWidget() ? box->focusWidget() : box;
}

const QString kQuestion = QStringLiteral("Sure to shred file '/home/user/notes.txt'?");

}  // namespace

TEST_F(XMessageBoxTest, EachButtonGivesItsCode) {
    const int codes[] = {XMessageBox::kIdYes, XMessageBox::kIdYesToAll, XMessageBox::kIdNo,
                         XMessageBox::kIdCancel};
    EXPECT_EQ(XMessageBox::kIdYes, 6);
    EXPECT_EQ(XMessageBox::kIdYesToAll, 19);
    EXPECT_EQ(XMessageBox::kIdNo, 7);
    EXPECT_EQ(XMessageBox::kIdCancel, 2);
    for (int code : codes) {
        XMessageBox::SetOnShown([code](XMessageBox* box) {
            ASSERT_NE(box->Button(code), nullptr);
            box->Button(code)->click();
        });
        EXPECT_EQ(XMessageBox::Ask(nullptr, kQuestion, QStringLiteral("Confirm"), {}), code);
    }
}

TEST_F(XMessageBoxTest, EscapeCloseAndEnter) {
    XMessageBox::SetOnShown([](XMessageBox* box) { SendKey(KeyTarget(box), Qt::Key_Escape); });
    EXPECT_EQ(XMessageBox::Ask(nullptr, kQuestion, QStringLiteral("Confirm"), {}), 2);

    XMessageBox::SetOnShown([](XMessageBox* box) { box->close(); });
    EXPECT_EQ(XMessageBox::Ask(nullptr, kQuestion, QStringLiteral("Confirm"), {}), 2);

    // Yes is the first button and the default: Enter answers Yes.
    XMessageBox::SetOnShown([](XMessageBox* box) {
        EXPECT_TRUE(box->Button(XMessageBox::kIdYes)->isDefault());
        SendKey(KeyTarget(box), Qt::Key_Return);
    });
    EXPECT_EQ(XMessageBox::Ask(nullptr, kQuestion, QStringLiteral("Confirm"), {}), 6);
}

TEST_F(XMessageBoxTest, CtrlCCopiesTheTextFormAndOtherKeysDoNothingSpecial) {
    XMessageBoxCaptions captions;
    captions.yes = QStringLiteral("&Ja");
    captions.yesToAll = QStringLiteral("Ja, &alle");
    captions.no = QStringLiteral("&Nein");
    captions.cancel = QStringLiteral("Abbrechen");
    const QString text = QStringLiteral("Datei 'a & b.txt' vernichten?");
    QApplication::clipboard()->setText(QStringLiteral("before"));
    QString afterCtrlX, afterCtrlC;
    bool stillOpen = false;
    XMessageBox::SetOnShown([&](XMessageBox* box) {
        SendKey(KeyTarget(box), Qt::Key_X, Qt::ControlModifier);
        afterCtrlX = QApplication::clipboard()->text();
        stillOpen = box->isVisible();
        SendKey(KeyTarget(box), Qt::Key_C, Qt::ControlModifier);
        afterCtrlC = QApplication::clipboard()->text();
        box->Button(XMessageBox::kIdNo)->click();
    });
    EXPECT_EQ(XMessageBox::Ask(nullptr, text, QStringLiteral("Bestätigen"), captions), 7);
    EXPECT_EQ(afterCtrlX, QStringLiteral("before"));
    EXPECT_TRUE(stillOpen);
    const QString dash(27, u'-');
    const QString expected = dash + "\r\n" + QStringLiteral("Bestätigen") + "\r\n" + dash + "\r\n" +
                             text + "\r\n" + dash + "\r\n" +
                             "Ja   Ja, alle   Nein   Abbrechen   \r\n" + dash + "\r\n";
    EXPECT_EQ(afterCtrlC, expected);
}

TEST_F(XMessageBoxTest, LayoutAmpersandCaptionsAndWrapping) {
    QWidget owner;
    owner.setGeometry(100, 80, 700, 500);
    owner.show();
    const QString longPath = QStringLiteral("/home/user/") + QString(300, u'x') +
                             QStringLiteral("/report & summary.txt");
    const QString text = QStringLiteral("Sure to shred file '") + longPath + QStringLiteral("'?");
    XMessageBox box(&owner, text, QString(), {});
    EXPECT_EQ(box.windowTitle(), QStringLiteral("Error"));

    // "&" is shown as it stands; the long path is broken into lines that fit.
    const QString shown = box.MessageLabel()->text();
    EXPECT_EQ(shown.count(u'&'), 1);
    EXPECT_EQ(box.MessageLabel()->textFormat(), Qt::PlainText);
    auto squeeze = [](QString s) { return s.remove(u'\n').remove(u' '); };
    EXPECT_EQ(squeeze(shown), squeeze(text));
    EXPECT_GT(shown.count(u'\n'), 0);
    const int screenWidth = owner.screen()->geometry().width();
    const int iconSize = box.style()->pixelMetric(QStyle::PM_MessageBoxIconSize);
    EXPECT_EQ(box.WrapWidth(), screenWidth / 2 + 80 - (iconSize + 16));
    QFontMetrics fm(box.font());
    for (const QString& line : shown.split(u'\n'))
        EXPECT_LE(fm.horizontalAdvance(line), box.WrapWidth()) << line.toStdString();
    EXPECT_LE(box.MessageLabel()->width(), box.WrapWidth() + 2);

    // Buttons: Yes, Yes to all, No, Cancel from left to right, 6 pixels apart, each
    // at least 38 dialog units and caption + 20 wide, the row centred.
    const int codes[] = {6, 19, 7, 2};
    const QString alphabet = QStringLiteral("ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz");
    const int minWidth = 38 * ((fm.horizontalAdvance(alphabet) / 26 + 1) / 2) / 4;
    int previousRight = -1;
    for (int code : codes) {
        QPushButton* b = box.Button(code);
        ASSERT_NE(b, nullptr);
        EXPECT_GE(b->width(), minWidth);
        EXPECT_GE(b->width(), fm.horizontalAdvance(b->text()) + 20);
        if (previousRight >= 0) {
            EXPECT_EQ(b->x() - previousRight, 6);
        }
        previousRight = b->x() + b->width();
        EXPECT_GT(b->y(), box.MessageLabel()->geometry().bottom());
    }
    const int left = box.Button(6)->x();
    const int right = box.width() - previousRight;
    EXPECT_LE(std::abs(left - right), 1);
    EXPECT_EQ(box.Button(6)->text(), QStringLiteral("Yes"));
    EXPECT_EQ(box.Button(19)->text(), QStringLiteral("Yes to all"));
    EXPECT_FALSE(SaveScreenshot(&box, QStringLiteral("confirmation_box_long_path")).isEmpty());
}

TEST_F(XMessageBoxTest, CentredOverOwnerWithScreenshot) {
    QWidget owner;
    owner.setGeometry(150, 120, 760, 520);
    owner.show();
    QPoint boxCentre, ownerCentre = owner.frameGeometry().center();
    XMessageBox::SetOnShown([&](XMessageBox* box) {
        boxCentre = box->frameGeometry().center();
        EXPECT_FALSE(SaveScreenshot(box, QStringLiteral("confirmation_box")).isEmpty());
        box->Button(XMessageBox::kIdYesToAll)->click();
    });
    EXPECT_EQ(XMessageBox::Ask(&owner, kQuestion, QStringLiteral("Confirm"), {}), 19);
    EXPECT_LE((boxCentre - ownerCentre).manhattanLength(), 4);
}

TEST_F(XMessageBoxTest, AskedFromAWorkerThreadRunsOnTheUiThread) {
    std::atomic<bool> shownOnUiThread{false};
    std::atomic<int> answer{-100};
    XMessageBox::SetOnShown([&](XMessageBox* box) {
        shownOnUiThread = QThread::currentThread() == qApp->thread();
        // The worker is still waiting while the box is up.
        EXPECT_EQ(answer.load(), -100);
        box->Button(XMessageBox::kIdNo)->click();
    });
    std::thread worker(
        [&] { answer = XMessageBox::Ask(nullptr, kQuestion, QStringLiteral("Confirm"), {}); });
    QEventLoop loop;
    QTimer poll;
    QObject::connect(&poll, &QTimer::timeout, [&] {
        if (answer.load() != -100) loop.quit();
    });
    poll.start(5);
    QTimer::singleShot(30000, &loop, &QEventLoop::quit);
    loop.exec();
    worker.join();
    EXPECT_TRUE(shownOnUiThread.load());
    EXPECT_EQ(answer.load(), 7);
    EXPECT_EQ(XMessageBox::AskedTexts(), QStringList{kQuestion});
}

TEST_F(XMessageBoxTest, QueuedAnswerIsReturnedWithoutShowing) {
    bool shown = false;
    XMessageBox::SetOnShown([&](XMessageBox* box) {
        shown = true;
        box->reject();
    });
    XMessageBox::QueueAnswer(19);
    XMessageBox::QueueAnswer(6);
    EXPECT_EQ(XMessageBox::Ask(nullptr, QStringLiteral("one"), QString(), {}), 19);
    EXPECT_EQ(XMessageBox::Ask(nullptr, QStringLiteral("two"), QString(), {}), 6);
    EXPECT_FALSE(shown);
    EXPECT_EQ(XMessageBox::Ask(nullptr, QStringLiteral("three"), QString(), {}), 2);
    EXPECT_TRUE(shown);
    EXPECT_EQ(XMessageBox::AskedTexts(),
              (QStringList{QStringLiteral("one"), QStringLiteral("two"), QStringLiteral("three")}));
}
