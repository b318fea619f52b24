#include <gtest/gtest.h>

#include <QApplication>
#include <QLabel>
#include <QPushButton>
#include <QTest>
#include <QTimer>

#include "config/Deployment.h"
#include "config/TextConv.h"
#include "platform/Platform.h"
#include "platform/qt/QtText.h"
#include "ui/AboutDlg.h"
#include "ui/ClickEdit.h"
#include "ui/FontHolder.h"
#include "uisupport/Screenshot.h"

namespace {

class AboutDlgTest : public ::testing::Test {
  protected:
    void SetUp() override {
        PlatformServices fake;
        fake.shellOpen = [this](const std::u16string& target) {
            opened.push_back(target);
            return false;  // the shell's answer must not matter
        };
        fake.shutdown = [] { return false; };
        fake.now = [] { return int64_t{1700000000}; };
        platform_ = std::make_unique<ScopedPlatform>(fake);
        fonts_ = std::make_unique<FontHolder>(&window_);
    }

    QWidget window_;
    std::unique_ptr<FontHolder> fonts_;
    std::vector<std::u16string> opened;

  private:
    std::unique_ptr<ScopedPlatform> platform_;
};

}  // namespace

TEST_F(AboutDlgTest, ShowsVersionBoldTitleGreyDescriptionAndBlueLinks) {
    CAboutDlg dlg;
    dlg.Prepare(*fonts_, QStringLiteral("Schließen"));
    dlg.show();
    QApplication::processEvents();
    EXPECT_EQ(dlg.Version()->text(), "Version 2.211 (26.01.2018)");
    EXPECT_EQ(dlg.OkButton()->text(), QString::fromUtf8("Schließen"));
    EXPECT_EQ(dlg.Title()->font().weight(), QFont::Bold);
    EXPECT_EQ(dlg.Title()->font().family(), fonts_->FaceName());
    // The height is not applied to the about box.
    EXPECT_EQ(dlg.Version()->font().family(), fonts_->FaceName());
    ASSERT_FALSE(dlg.Descriptions().empty());
    // Grey, yet dark enough to read on white (at least 4.5 : 1).
    for (QLabel* d : dlg.Descriptions())
        EXPECT_EQ(d->palette().color(QPalette::WindowText), QColor(102, 102, 102));
    EXPECT_EQ(dlg.palette().color(QPalette::Window), QColor(Qt::white));

    // Web, mail and one field per translation credit, each blue and linked.
    ASSERT_EQ(dlg.Links().size(), 2 + kTranslationCredits.size());
    EXPECT_EQ(dlg.Links()[0]->Link(), WideFromUtf8(kKelvaneWebHost));
    EXPECT_EQ(dlg.Links()[1]->Link(), WideFromUtf8(kKelvaneMail));
    for (size_t i = 0; i < kTranslationCredits.size(); ++i) {
        CClickEdit* credit = dlg.Links()[2 + i];
        EXPECT_EQ(credit->Link(), WideFromUtf8(kTranslationCredits[i].link));
        EXPECT_TRUE(
            credit->text().contains("(" +
                                    QString::fromUtf8(kTranslationCredits[i].contact.data(),
                                                      kTranslationCredits[i].contact.size()) +
                                    ")"));
    }
    for (CClickEdit* link : dlg.Links()) {
        EXPECT_EQ(link->palette().color(QPalette::Text), QColor(0, 0, 255));
        EXPECT_TRUE(link->isReadOnly());
    }
    EXPECT_FALSE(SaveScreenshot(&dlg, QStringLiteral("about_box")).isEmpty());

    QTest::mouseClick(dlg.OkButton(), Qt::LeftButton);
    EXPECT_EQ(dlg.Result(), IDOK);
    EXPECT_TRUE(opened.empty());
}

TEST_F(AboutDlgTest, DoubleClickOpensTheLinkAndHandCursorShowsOnlyOverLinks) {
    CAboutDlg dlg;
    dlg.Prepare(*fonts_, QStringLiteral("OK"));
    dlg.show();
    QApplication::processEvents();
    CClickEdit* mail = dlg.Links()[1];
    QTest::mouseMove(mail, QPoint(5, 5));
    QMouseEvent move(QEvent::MouseMove, QPointF(6, 6), mail->mapToGlobal(QPointF(6, 6)),
                     Qt::NoButton, Qt::NoButton, Qt::NoModifier);
    QApplication::sendEvent(mail, &move);
    EXPECT_EQ(mail->cursor().shape(), Qt::PointingHandCursor);
    QTest::mouseDClick(mail, Qt::LeftButton, Qt::NoModifier, QPoint(5, 5));
    ASSERT_EQ(opened.size(), 1u);
    EXPECT_EQ(opened[0], WideFromUtf8(kKelvaneMail));
    EXPECT_EQ(mail->text(), QString::fromUtf8(kKelvaneMailShown.data(), kKelvaneMailShown.size()))
        << "the double click must not change the text";

    // A field without a link opens nothing and keeps its text cursor.
    CClickEdit plain;
    plain.SetText(u"no link here");
    plain.show();
    QMouseEvent over(QEvent::MouseMove, QPointF(3, 3), plain.mapToGlobal(QPointF(3, 3)),
                     Qt::NoButton, Qt::NoButton, Qt::NoModifier);
    QApplication::sendEvent(&plain, &over);
    EXPECT_NE(plain.cursor().shape(), Qt::PointingHandCursor);
    QTest::mouseDClick(&plain, Qt::LeftButton, Qt::NoModifier, QPoint(3, 3));
    EXPECT_EQ(opened.size(), 1u);
}

TEST_F(AboutDlgTest, LinkWithoutAShellHandlerOpensNothingAndDoesNotCrash) {
    PlatformServices none;  // no shellOpen at all
    ScopedPlatform empty(none);
    CClickEdit link;
    link.SetText(u"https://kelvane.example/");
    link.SetLink(u"https://kelvane.example/");
    link.show();
    QTest::mouseDClick(&link, Qt::LeftButton, Qt::NoModifier, QPoint(3, 3));
    EXPECT_TRUE(opened.empty());
}

TEST_F(AboutDlgTest, DoModalEndsWithEscapeOrOk) {
    CAboutDlg dlg;
    QTimer::singleShot(0, [&dlg] { QTest::keyClick(&dlg, Qt::Key_Escape); });
    EXPECT_EQ(dlg.DoModal(*fonts_, QStringLiteral("OK")), IDCANCEL);
    CAboutDlg again;
    QTimer::singleShot(0, [&again] { QTest::mouseClick(again.OkButton(), Qt::LeftButton); });
    EXPECT_EQ(again.DoModal(*fonts_, QStringLiteral("OK")), IDOK);
}
