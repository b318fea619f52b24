// The Options command and the "?" menu of the main window: the options dialog
// over the window's settings and font, the about box, and the documents and
// pages handed to the (replaced) desktop shell.
#include <QAction>
#include <QApplication>
#include <QLabel>
#include <QPushButton>
#include <QTimer>
#include <functional>

#include "config/Deployment.h"
#include "config/TextConv.h"
#include "config/UpdateAddress.h"
#include "platform/qt/Edit.h"
#include "ui/AboutDlg.h"
#include "ui/ClickEdit.h"
#include "ui/FontHolder.h"
#include "ui/MainWindowFixture.h"
#include "ui/OptionsDlg.h"
#include "uisupport/Screenshot.h"

namespace {

// Runs `act` on the modal dialog of type Dlg as soon as it is up. Should `act`
// leave it open, it is cancelled so that the test cannot hang.
template <typename Dlg>
void WhenModal(std::function<void(Dlg*)> act, bool* seen) {
    auto* timer = new QTimer;
    auto tries = std::make_shared<int>(0);
    QObject::connect(timer, &QTimer::timeout, [timer, tries, act, seen] {
        auto* dlg = qobject_cast<Dlg*>(QApplication::activeModalWidget());
        if (!dlg) {
            if (++*tries > 300) timer->deleteLater();
            return;
        }
        timer->stop();
        timer->deleteLater();
        *seen = true;
        act(dlg);
        if (dlg->isVisible()) dlg->EndDialog(IDCANCEL);
    });
    timer->start(10);
}

class HelpCommands : public MainWindowFixture {
  protected:
    std::string Program() const { return dir_.Sub("program/"); }
    void PutDocuments() {
        dir_.WriteFile("program/Kelvane_License.txt", "MIT");
        dir_.WriteFile("program/Kelvane_ReadMe.txt", "read me");
    }
};

}  // namespace

TEST_F(HelpCommands, HelpOpensThePageOfTheLanguageFileOrTheEnglishOne) {
    auto dlg = Open();
    dlg->SetLanguageFile(Program() + "Kelvane_German.lng");
    dlg->MenuAction(CKelvaneDlg::ID_HELP)->trigger();
    dir_.WriteFile("program/Kelvane_German.html", "<html></html>");
    dlg->MenuAction(CKelvaneDlg::ID_HELP)->trigger();
    dlg->SetLanguageFile(Program() + "German.lng");  // no tag
    dlg->OnCommand(CKelvaneDlg::ID_HELP);
    dlg->SetLanguageFile("");  // the built-in texts
    dlg->OnCommand(CKelvaneDlg::ID_HELP);
    ASSERT_EQ(opened.size(), 4u);
    EXPECT_EQ(opened[0], WideFromUtf8(Program() + "Kelvane_English.html"));
    EXPECT_EQ(opened[1], WideFromUtf8(Program() + "Kelvane_German.html"));
    EXPECT_EQ(opened[2], WideFromUtf8(Program() + "Kelvane_English.html"));
    EXPECT_EQ(opened[3], WideFromUtf8(Program() + "Kelvane_English.html"));
}

TEST_F(HelpCommands, DocumentsAndUpdatePageGoToTheShell) {
    PutDocuments();
    auto dlg = Open();
    for (int id :
         {CKelvaneDlg::ID_LICENSE, CKelvaneDlg::ID_CHANGES, CKelvaneDlg::ID_CHECK_UPDATE}) {
        ASSERT_NE(dlg->MenuAction(id), nullptr) << id;
        dlg->MenuAction(id)->trigger();
    }
    ASSERT_EQ(opened.size(), 3u);
    EXPECT_EQ(opened[0], WideFromUtf8(Program() + "Kelvane_License.txt"));
    EXPECT_EQ(opened[1], WideFromUtf8(Program() + "Kelvane_ReadMe.txt"));
    EXPECT_EQ(opened[2], WideFromUtf8(UpdatePageAddress()));
    EXPECT_NE(Utf8FromWide(opened[2]).find("pages/c_kelvane.php?lang=ENG&progvers=2.200"),
              std::string::npos);
}

TEST_F(HelpCommands, InfoShowsTheAboutBoxWithTheOkTextOfTheLanguage) {
    auto dlg = Open();
    dlg->SetTextLookup([](std::string_view key) -> std::u16string {
        if (key == "FrmMain.m_acMBtnOk") return u"Fertig";
        if (key == "FrmAbout.Caption") return u"\u00dcber";
        if (key == "FrmAbout.m_LBLDescription") return u"Sicheres L\u00f6schen";
        if (key == "FrmAbout.m_LBLTranslations") return u"\u00dcbersetzungen:";
        return CKelvaneDlg::DefaultText(key);
    });
    bool seen = false;
    WhenModal<CAboutDlg>(
        [this](CAboutDlg* about) {
            EXPECT_EQ(about->OkButton()->text(), "Fertig");
            EXPECT_EQ(about->windowTitle(), QString::fromUtf8("\xC3\x9C"
                                                              "ber"));
            EXPECT_EQ(about->TranslationsLabel()->text(), QString::fromUtf8("\xC3\x9C"
                                                                            "bersetzungen:"));
            ASSERT_EQ(about->Descriptions().size(), 2u);
            EXPECT_EQ(about->Descriptions()[0]->text(),
                      QString::fromUtf8("Sicheres L\xC3\xB6schen"));
            EXPECT_EQ(about->Descriptions()[1]->text(), "Free software under the MIT licence.")
                << "a key the language lacks keeps its built-in text";
            EXPECT_EQ(about->Version()->text(), "Version 2.211 (26.01.2018)");
            EXPECT_FALSE(SaveScreenshot(about, QStringLiteral("about_box_from_menu")).isEmpty());
            QTest::mouseDClick(about->Links()[0], Qt::LeftButton, Qt::NoModifier, QPoint(4, 4));
            EXPECT_EQ(opened.size(), 1u);
            QTest::mouseClick(about->OkButton(), Qt::LeftButton);
        },
        &seen);
    dlg->MenuAction(CKelvaneDlg::ID_INFO)->trigger();
    EXPECT_TRUE(seen);
    ASSERT_EQ(opened.size(), 1u);
    EXPECT_EQ(opened[0], WideFromUtf8(kKelvaneWebHost));
}

TEST_F(HelpCommands, OptionsOkChangesTheFieldsAndAppliesTheFontToTheWindow) {
    auto dlg = Open();
    dlg->Fields().diskShredFileSize = 4000000;
    QFont chosen(QStringLiteral("Kelvane Options Font"));
    chosen.setPixelSize(-dlg->Fonts().BuiltInFont().height + 3);
    FileDialogs::SetNextFont(chosen);
    bool seen = false;
    WhenModal<COptionsDlg>(
        [](COptionsDlg* o) {
            auto* size = qobject_cast<CEdit*>(o->Control(COptionsDlg::IDC_SPACE_FILE));
            EXPECT_EQ(size->text(), "4000000");
            size->SetWindowText(u"3000000");
            qobject_cast<CEdit*>(o->Control(COptionsDlg::IDC_SHRED_VALUE))->SetWindowText(u"255");
            QTest::mouseClick(qobject_cast<QPushButton*>(o->Control(COptionsDlg::IDC_FONT)),
                              Qt::LeftButton);
            QTest::mouseClick(qobject_cast<QPushButton*>(o->Control(COptionsDlg::IDC_OK)),
                              Qt::LeftButton);
        },
        &seen);
    dlg->MenuAction(CKelvaneDlg::ID_OPTIONS)->trigger();
    ASSERT_TRUE(seen);
    EXPECT_EQ(dlg->Fields().diskShredFileSize, 3000000u);
    EXPECT_EQ(dlg->Fields().shredValue, "255");
    EXPECT_EQ(dlg->Fonts().FaceName(), "Kelvane Options Font");
    EXPECT_TRUE(dlg->Fonts().useFontHeight);
    // The whole window, its controls included, now uses the chosen font.
    EXPECT_EQ(dlg->font().family(), "Kelvane Options Font");
    EXPECT_EQ(dlg->Control(CKelvaneDlg::IDC_SHRED)->font().family(), "Kelvane Options Font");
    // What a run takes from the window now carries the new values.
    EXPECT_EQ(dlg->CurrentSettings().diskShredFileSize, 3000000u);
    EXPECT_EQ(dlg->CurrentSettings().shredValue, "255");
}

TEST_F(HelpCommands, OptionsCancelLeavesFieldsAndFontAlone) {
    auto dlg = Open();
    const AppSettings before = dlg->Fields();
    const QString family = dlg->font().family();
    QFont chosen(QStringLiteral("Kelvane Cancelled Font"));
    FileDialogs::SetNextFont(chosen);
    bool seen = false;
    WhenModal<COptionsDlg>(
        [](COptionsDlg* o) {
            QTest::mouseClick(
                qobject_cast<QPushButton*>(o->Control(COptionsDlg::IDC_SHRED_VALUE_RESET)),
                Qt::LeftButton);
            QTest::mouseClick(qobject_cast<QPushButton*>(o->Control(COptionsDlg::IDC_FONT)),
                              Qt::LeftButton);
            qobject_cast<CEdit*>(o->Control(COptionsDlg::IDC_SPACE_NAME))->SetWindowText(u"");
            QTest::mouseClick(qobject_cast<QPushButton*>(o->Control(COptionsDlg::IDC_CANCEL)),
                              Qt::LeftButton);
        },
        &seen);
    dlg->MenuAction(CKelvaneDlg::ID_OPTIONS)->trigger();
    ASSERT_TRUE(seen);
    EXPECT_EQ(dlg->Fields().shredValue, before.shredValue);
    EXPECT_EQ(dlg->Fields().diskShredFileName, before.diskShredFileName);
    EXPECT_EQ(dlg->font().family(), family);
    EXPECT_NE(dlg->Fonts().FaceName(), "Kelvane Cancelled Font");
}
