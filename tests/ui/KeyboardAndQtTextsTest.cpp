// The keyboard reaches every menu and control by its mnemonic, and Qt's own
// dialogs speak the language chosen for the program.
#include <QCheckBox>
#include <QComboBox>
#include <QCoreApplication>
#include <QFile>
#include <QLibraryInfo>
#include <QMenu>
#include <filesystem>

#include "config/ProfileFile.h"
#include "ui/MainWindowFixture.h"
#include "ui/QtTranslations.h"

namespace {

class KeyboardAndQtTexts : public MainWindowFixture {
  protected:
    std::string Program() const { return dir_.Sub("program/"); }
    void ShipLanguages() {
        for (const char* name : {"Kelvane_Languages.ini", "Kelvane_English.lng",
                                 "Kelvane_German.lng", "Kelvane_French.lng"})
            std::filesystem::copy_file(std::string(KELVANE_DATA_DIR "/") + name, Program() + name);
    }
    static QString LookIn() { return QCoreApplication::translate("QFileDialog", "Look in:"); }
    static bool QtHasTranslations(const char* locale) {
        return QFile::exists(QLibraryInfo::path(QLibraryInfo::TranslationsPath) +
                             QStringLiteral("/qtbase_%1.qm").arg(QLatin1String(locale)));
    }
};

}  // namespace

TEST_F(KeyboardAndQtTexts, AltAndTheMarkedLetterReachMenusAndControls) {
    auto dlg = Open();
    // The menu bar: Alt+F opens "File".
    QTest::keyClick(dlg.get(), Qt::Key_F, Qt::AltModifier);
    QApplication::processEvents();
    QMenu* file = dlg->MenuPopup(0);
    EXPECT_TRUE(file->isVisible()) << "Alt+F opens the File menu";
    file->hide();
    QApplication::processEvents();

    // A check box toggles, a label hands the focus to its field.
    auto* modify = static_cast<QCheckBox*>(dlg->Control(CKelvaneDlg::IDC_MODIFY_SIZE));
    const bool before = modify->isChecked();
    QTest::keyClick(dlg.get(), Qt::Key_M, Qt::AltModifier);
    QTest::qWait(250);  // a mnemonic "clicks" with a short animation
    EXPECT_NE(modify->isChecked(), before) << "Alt+M: Modify filesize";
    EXPECT_EQ(dlg->Control(CKelvaneDlg::IDC_SIZE_TYPE)->isEnabled(), modify->isChecked());
    QTest::keyClick(dlg.get(), Qt::Key_U, Qt::AltModifier);
    QApplication::processEvents();
    EXPECT_TRUE(dlg->Control(CKelvaneDlg::IDC_ITERATIONS)->hasFocus())
        << "Alt+U: the field of Number of iterations";
    // The caption shows without its mark.
    EXPECT_EQ(TextOf(dlg->Control(CKelvaneDlg::IDC_ITERATIONS_LABEL)), "Number of iterations");
}

TEST_F(KeyboardAndQtTexts, QtDialogsFollowTheLanguageOrStayEnglish) {
    ASSERT_EQ(LookIn(), "Look in:") << "no Qt translation in use before a window";
    ShipLanguages();
    auto dlg = Open();
    ASSERT_NE(dlg->QtTexts(), nullptr);
    EXPECT_EQ(dlg->QtTexts()->Locale(), "") << "English: Qt's own texts";
    if (!QtHasTranslations("de") || !QtHasTranslations("fr"))
        GTEST_SKIP() << "Qt's translations are not installed (qt6-translations-l10n)";

    dlg->ApplyLanguageTexts(Program() + "Kelvane_German.lng");
    EXPECT_EQ(dlg->QtTexts()->Locale(), "de");
    EXPECT_EQ(LookIn(), "Suchen in:");
    dlg->ApplyLanguageTexts(Program() + "Kelvane_French.lng");
    EXPECT_EQ(dlg->QtTexts()->Locale(), "fr");
    EXPECT_EQ(LookIn(), QString::fromUtf8("Voir dans :"));
    dlg->ApplyLanguageTexts("");
    EXPECT_EQ(LookIn(), "Look in:");

    // A system without the files: nothing loaded, Qt stays English, no failure.
    dlg->ApplyLanguageTexts(Program() + "Kelvane_German.lng");
    QtTranslations missing;
    EXPECT_FALSE(missing.Use(QStringLiteral("de"), QString::fromStdString(dir_.Sub("home/"))));
    EXPECT_EQ(missing.Locale(), "");
    dlg.reset();
    EXPECT_EQ(LookIn(), "Look in:") << "the window's translation goes with it";
}
