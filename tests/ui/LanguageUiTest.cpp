#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QMenu>
#include <QPushButton>
#include <QTimer>
#include <filesystem>

#include "config/ProfileFile.h"
#include "config/TextConv.h"
#include "i18n/LanguageList.h"
#include "platform/qt/QtText.h"
#include "ui/LanguageDlg.h"
#include "ui/MainWindowFixture.h"
#include "uisupport/Screenshot.h"

namespace {

QStringList Headers(CKelvaneDlg& dlg) {
    QStringList out;
    for (int i = 0; i < dlg.List().GetColumnCount(); ++i)
        out << ToQ(dlg.List().GetColumn(i).header);
    return out;
}

QComboBox* Combo(CKelvaneDlg& dlg, int id) {
    return qobject_cast<QComboBox*>(dlg.Control(id));
}

// A main window over a program folder that holds the language files the test
// puts there.
class Language : public MainWindowFixture {
  protected:
    std::string Program() const { return dir_.Sub("program/"); }
    void ShipDataFiles() {
        for (const char* name : {"Kelvane_Languages.ini", "Kelvane_English.lng",
                                 "Kelvane_German.lng", "Kelvane_French.lng"})
            std::filesystem::copy_file(std::string(KELVANE_DATA_DIR "/") + name, Program() + name);
    }
    void WriteProgramFile(const std::string& name, const std::string& text) {
        dir_.WriteFile("program/" + name, text);
    }
    void StoreLanguageName(const std::string& name) {
        dir_.MakeDir("home/.config/Tessarin/Kelvane");
        ProfileFile settings(true);
        settings.WriteString("LanguageName", name);
        ASSERT_TRUE(settings.Save(SettingsFile()));
    }
};

}  // namespace

TEST_F(Language, MainWindowInGerman) {
    ShipDataFiles();
    StoreLanguageName("Deutsch");
    auto dlg = Open();
    EXPECT_EQ(dlg->LanguageName(), "Deutsch");
    EXPECT_FALSE(dlg->NoLanguageChosen());
    EXPECT_EQ(dlg->LanguageFile(), Program() + "Kelvane_German.lng");
    EXPECT_EQ(Headers(*dlg), (QStringList{"Dateiname", "Größe", "Datum", "Vollständiger Pfad"}));
    EXPECT_EQ(dlg->List().GetColumn(3).width, 0);
    EXPECT_EQ(TextOf(dlg->Control(CKelvaneDlg::IDC_SHRED)), "Dateien schreddern");
    EXPECT_EQ(TextOf(dlg->Control(CKelvaneDlg::IDC_SHRED_FREE)), "Freiraum schreddern");
    EXPECT_EQ(TextOf(dlg->Control(CKelvaneDlg::IDC_RANDOM)), "Zufallsdaten schreiben");
    EXPECT_EQ(TextOf(dlg->Control(CKelvaneDlg::IDC_END_ACTION_LABEL)), "Nach der Verarbeitung:");
    EXPECT_EQ(ItemsOf(dlg->Control(CKelvaneDlg::IDC_END_ACTION)),
              (QStringList{"Nichts tun", "Programm beenden", "Computer herunterfahren"}));
    EXPECT_EQ(ItemsOf(dlg->Control(CKelvaneDlg::IDC_SIZE_TYPE)),
              (QStringList{"auf null", "zufällig"}));
    EXPECT_EQ(Caption(dlg->MenuPopup(0)->title()), "Datei");
    EXPECT_EQ(Caption(dlg->MenuPopup(1)->title()), "Bearbeiten");
    EXPECT_EQ(Caption(dlg->MenuPopup(2)->title()), "Ansicht");
    EXPECT_EQ(Caption(dlg->MenuPopup(3)->title()), "?");
    EXPECT_EQ(Caption(dlg->MenuAction(CKelvaneDlg::ID_VIEW_LOG)->text()),
              "Protokoll anzeigen\tCtrl+L");
    EXPECT_EQ(Caption(dlg->MenuAction(CKelvaneDlg::ID_EXIT)->text()), "Beenden\tCtrl+Q");
    EXPECT_EQ(Caption(dlg->MenuAction(CKelvaneDlg::ID_LANGUAGE)->text()), "Sprache");
    EXPECT_EQ(Caption(dlg->MenuAction(CKelvaneDlg::ID_INVERT_SELECTION)->text()),
              "Auswahl umkehren");
    EXPECT_EQ(dlg->Control(CKelvaneDlg::IDC_SHRED_FREE)->toolTip(),
              "Schreddert den freien Speicher von Laufwerken");
    EXPECT_EQ(dlg->MessageText("FrmMain.m_acMDeleteFile"), u"Datei '%s' wirklich schreddern?");
    EXPECT_FALSE(SaveScreenshot(dlg.get(), QStringLiteral("main_window_german")).isEmpty());
}

TEST_F(Language, ListDefaultFirstThenTheStoredName) {
    ShipDataFiles();
    WriteProgramFile(
        "Kelvane_Languages.ini",
        "LanguageDefault=\"Deutsch\"\r\n"
        "LanguageName=\"Deutsch\"\r\nLanguageFile=\"Kelvane_German.lng\"\r\n"
        "LanguageName=\"Fran\xc3\xa7\x61is\"\r\nLanguageFile=\"Kelvane_French.lng\"\r\n");
    {  // nothing stored: the list's default
        auto dlg = Open();
        EXPECT_EQ(TextOf(dlg->Control(CKelvaneDlg::IDC_SHRED)), "Dateien schreddern");
        EXPECT_TRUE(dlg->NoLanguageChosen());
    }
    {  // a stored name wins, with accents intact
        StoreLanguageName("Fran\xc3\xa7\x61is");
        auto dlg = Open();
        EXPECT_EQ(TextOf(dlg->Control(CKelvaneDlg::IDC_RANDOM)),
                  QString::fromUtf8("\xc3\x89\x63rire des donn\xc3\xa9\x65s al\xc3\xa9\x61toires"));
        EXPECT_EQ(Caption(dlg->MenuPopup(1)->title()), QString::fromUtf8("\xc3\x89\x64ition"));
        EXPECT_FALSE(SaveScreenshot(dlg.get(), QStringLiteral("main_window_french")).isEmpty());
    }
    {  // a stored name the list does not know: the default stays
        StoreLanguageName("English");
        auto dlg = Open();
        EXPECT_EQ(TextOf(dlg->Control(CKelvaneDlg::IDC_SHRED)), "Dateien schreddern");
        EXPECT_EQ(dlg->LanguageName(), "English");  // kept for the next save
    }
}

TEST_F(Language, MissingTextsFallBackToTheBuiltInOnes) {
    WriteProgramFile("Kelvane_Languages.ini",
                     "LanguageDefault=\"Mini\"\r\n"
                     "LanguageName=\"Mini\"\r\nLanguageFile=\"Kelvane_Mini.lng\"\r\n");
    WriteProgramFile("Kelvane_Mini.lng",
                     "FrmMain.m_BTNShred=\"Vernichten\"\r\nFrmMain.m_BTNStop=\"\"\r\n");
    auto dlg = Open();
    EXPECT_EQ(TextOf(dlg->Control(CKelvaneDlg::IDC_SHRED)), "Vernichten");
    EXPECT_EQ(TextOf(dlg->Control(CKelvaneDlg::IDC_STOP)), "Stop");  // empty value
    EXPECT_EQ(TextOf(dlg->Control(CKelvaneDlg::IDC_SHRED_FREE)), "Shred free space");
    EXPECT_EQ(Headers(*dlg), (QStringList{"Filename", "Size", "Date", "Full path"}));
    EXPECT_EQ(Caption(dlg->MenuAction(CKelvaneDlg::ID_VIEW_LOG)->text()), "View log\tCtrl+L");
    EXPECT_EQ(ItemsOf(dlg->Control(CKelvaneDlg::IDC_END_ACTION)),
              (QStringList{"Do nothing", "Shut down program", "Shut down windows"}));
}

TEST_F(Language, BrokenListsStillGiveAUsableWindow) {
    {  // no list at all: built-in texts
        auto dlg = Open();
        EXPECT_EQ(TextOf(dlg->Control(CKelvaneDlg::IDC_SHRED)), "Shred files");
        EXPECT_EQ(Headers(*dlg), (QStringList{"Filename", "Size", "Date", "Full path"}));
        EXPECT_EQ(dlg->LanguageFile(), "");
    }
    {  // a list naming neither its default nor the stored name: the columns are there
        WriteProgramFile("Kelvane_Languages.ini",
                         "LanguageDefault=\"Esperanto\"\r\n"
                         "LanguageName=\"Deutsch\"\r\nLanguageFile=\"Kelvane_German.lng\"\r\n");
        StoreLanguageName("Klingon");
        auto dlg = Open();
        EXPECT_EQ(Headers(*dlg), (QStringList{"Filename", "Size", "Date", "Full path"}));
        EXPECT_EQ(TextOf(dlg->Control(CKelvaneDlg::IDC_SHRED)), "Shred files");
    }
    {  // a listed file that does not exist
        StoreLanguageName("Deutsch");
        auto dlg = Open();
        EXPECT_EQ(TextOf(dlg->Control(CKelvaneDlg::IDC_SHRED)), "Shred files");
        EXPECT_EQ(dlg->LanguageName(), "Deutsch");
    }
}

TEST_F(Language, ChangingTheLanguageKeepsTheSelections) {
    ShipDataFiles();
    auto dlg = Open();
    Combo(*dlg, CKelvaneDlg::IDC_END_ACTION)->setCurrentIndex(2);
    Combo(*dlg, CKelvaneDlg::IDC_SIZE_TYPE)->setCurrentIndex(1);
    dlg->SetStatusText(u"Amount of files: 7");
    dlg->ApplyLanguageByName("Deutsch");
    // The status line speaks the new language at once, not from its next change.
    EXPECT_EQ(dlg->StatusText(), u"Anzahl der Dateien: 7");
    EXPECT_EQ(Combo(*dlg, CKelvaneDlg::IDC_END_ACTION)->currentIndex(), 2);
    EXPECT_EQ(Combo(*dlg, CKelvaneDlg::IDC_END_ACTION)->currentText(), "Computer herunterfahren");
    EXPECT_EQ(Combo(*dlg, CKelvaneDlg::IDC_SIZE_TYPE)->currentIndex(), 1);
    EXPECT_EQ(Combo(*dlg, CKelvaneDlg::IDC_SIZE_TYPE)->currentText(), "zufällig");
    Combo(*dlg, CKelvaneDlg::IDC_END_ACTION)->setCurrentIndex(0);
    dlg->SetStatusText(u"Schreddern beendet. (00:00:12)");
    dlg->ApplyLanguageByName("Fran\xc3\xa7\x61is");
    EXPECT_EQ(dlg->StatusText(), u"Destruction termin\u00e9e. (00:00:12)");
    EXPECT_EQ(Combo(*dlg, CKelvaneDlg::IDC_END_ACTION)->currentText(), "Ne rien faire");
    EXPECT_EQ(Combo(*dlg, CKelvaneDlg::IDC_SIZE_TYPE)->currentText(),
              QString::fromUtf8("al\xc3\xa9\x61toire"));
    EXPECT_EQ(dlg->EndAction(), 0);
}

TEST_F(Language, LanguageDialogOffersTheListAndSpeaksTheChosenLanguage) {
    ShipDataFiles();
    WriteProgramFile(
        "Kelvane_Languages.ini",
        "LanguageDefault=\"Deutsch\"\r\n"
        "LanguageName=\"Deutsch\"\r\nLanguageFile=\"Kelvane_German.lng\"\r\n"
        "LanguageName=\"Fran\xc3\xa7\x61is\"\r\nLanguageFile=\"Kelvane_French.lng\"\r\n"
        "LanguageName=\"Leer\"\r\nLanguageFile=\"\"\r\n"
        "LanguageName=\"Nie\"\r\nLanguageFile=\"Kelvane_Nie.lng\"\r\n");
    CLanguageDlg dlg(Program() + LanguageList::kFileName, Program(),
                     Program() + "Kelvane_German.lng", "Deutsch", nullptr);
    dlg.show();
    QApplication::processEvents();
    EXPECT_EQ(ItemsOf(dlg.LanguageList()),
              (QStringList{"English", "Deutsch", QString::fromUtf8("Fran\xc3\xa7\x61is")}));
    EXPECT_EQ(dlg.LanguageList()->currentIndex(), 1);
    EXPECT_EQ(dlg.windowTitle(), QString::fromUtf8("Sprache w\xc3\xa4hlen"));
    EXPECT_EQ(dlg.CurrentLanguageLabel()->text(), "Aktuelle Sprache:");
    EXPECT_EQ(Caption(dlg.CancelButton()->text()), "Abbrechen");
    EXPECT_FALSE(SaveScreenshot(&dlg, QStringLiteral("language_dialog_german")).isEmpty());

    dlg.LanguageList()->setCurrentIndex(2);  // the dialog turns French at once
    EXPECT_EQ(dlg.windowTitle(), "Choisir la langue");
    EXPECT_EQ(Caption(dlg.OkButton()->text()), "OK");
    EXPECT_EQ(dlg.ChosenFile(), Program() + "Kelvane_French.lng");
    EXPECT_EQ(dlg.ChosenName(), "Fran\xc3\xa7\x61is");
    dlg.LanguageList()->setCurrentIndex(0);  // built-in English
    EXPECT_EQ(dlg.windowTitle(), "Select language");
    EXPECT_EQ(dlg.CurrentLanguageLabel()->text(), "Current language:");
    EXPECT_EQ(dlg.ChosenFile(), "");
    EXPECT_EQ(dlg.ChosenName(), "English");
    EXPECT_FALSE(SaveScreenshot(&dlg, QStringLiteral("language_dialog")).isEmpty());
    dlg.OkButton()->click();
    EXPECT_EQ(dlg.Result(), IDOK);
}

TEST_F(Language, LanguageDialogWithTheListsOwnEnglishOrNoList) {
    ShipDataFiles();
    {  // the shipped list has its own "English": offered once, built-in entry gone
        CLanguageDlg dlg(Program() + LanguageList::kFileName, Program(), "", "", nullptr);
        dlg.show();
        QApplication::processEvents();
        EXPECT_EQ(ItemsOf(dlg.LanguageList()),
                  (QStringList{"English", "Deutsch", QString::fromUtf8("Fran\xc3\xa7\x61is")}));
        EXPECT_EQ(dlg.LanguageList()->currentIndex(), 0);
        dlg.LanguageList()->setCurrentIndex(0);
        dlg.LanguageList()->setCurrentIndex(1);
        dlg.LanguageList()->setCurrentIndex(0);
        EXPECT_EQ(dlg.ChosenFile(), Program() + "Kelvane_English.lng");
    }
    {  // no list: only the built-in English
        TempDir empty;
        CLanguageDlg dlg(empty.Sub(LanguageList::kFileName), empty.Path(), "", "", nullptr);
        dlg.show();
        QApplication::processEvents();
        EXPECT_EQ(ItemsOf(dlg.LanguageList()), QStringList{"English"});
        EXPECT_EQ(dlg.windowTitle(), "Select language");
        dlg.CancelButton()->click();
        EXPECT_EQ(dlg.Result(), IDCANCEL);
    }
}

TEST_F(Language, LanguageCommandAppliesTheChoiceOrNothing) {
    ShipDataFiles();
    auto dlg = Open();
    EXPECT_TRUE(dlg->NoLanguageChosen());
    EXPECT_EQ(TextOf(dlg->Control(CKelvaneDlg::IDC_SHRED)), "Shred files");

    auto answer = [](int index, bool ok) {
        QTimer::singleShot(0, [index, ok] {
            auto* box = qobject_cast<CLanguageDlg*>(QApplication::activeModalWidget());
            ASSERT_NE(box, nullptr);
            box->LanguageList()->setCurrentIndex(index);
            (ok ? box->OkButton() : box->CancelButton())->click();
        });
    };
    answer(1, false);  // Cancel: nothing changes
    dlg->OnCommand(CKelvaneDlg::ID_LANGUAGE);
    EXPECT_EQ(TextOf(dlg->Control(CKelvaneDlg::IDC_SHRED)), "Shred files");
    EXPECT_TRUE(dlg->NoLanguageChosen());

    answer(1, true);
    dlg->OnCommand(CKelvaneDlg::ID_LANGUAGE);
    EXPECT_EQ(TextOf(dlg->Control(CKelvaneDlg::IDC_SHRED)), "Dateien schreddern");
    EXPECT_EQ(dlg->LanguageName(), "Deutsch");
    EXPECT_FALSE(dlg->NoLanguageChosen());
    EXPECT_EQ(dlg->MessageText("FrmMain.m_acMNoFile"), u"Keine Datei(en) vorhanden!");

    dlg->StoreSettings();  // the choice reaches the settings
    ProfileFile settings(true);
    ASSERT_TRUE(settings.Load(SettingsFile()));
    EXPECT_EQ(settings.GetString("LanguageName", "?"), "Deutsch");
}
