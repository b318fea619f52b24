#include <gtest/gtest.h>

#include <QApplication>
#include <QCheckBox>
#include <QLabel>
#include <QPushButton>
#include <QTest>
#include <QTimer>

#include "config/OptionsRules.h"
#include "config/TextConv.h"
#include "platform/qt/Edit.h"
#include "platform/qt/QtText.h"
#include "support/TempDir.h"
#include "ui/FileDialogs.h"
#include "ui/FontHolder.h"
#include "ui/OptionsDlg.h"
#include "uisupport/Captions.h"
#include "uisupport/Screenshot.h"

namespace {

// A stand-in for the main window: its font holder and settings fields, and an
// options dialog over them.
class OptionsDlgTest : public ::testing::Test {
  protected:
    void SetUp() override {
        FileDialogs::ResetHooks();
        FileDialogs::SetCancelWhenNothingQueued(true);
        window_.resize(300, 200);
        fonts_ = std::make_unique<FontHolder>(&window_);
    }
    void TearDown() override { FileDialogs::ResetHooks(); }

    // Opens the dialog on the settings (shown, not modal: the test drives it).
    std::unique_ptr<COptionsDlg> Open(const std::string& languageFile = "") {
        auto dlg = std::make_unique<COptionsDlg>();
        dlg->SetLanguageFile(languageFile);
        dlg->Prepare(*fonts_, OptionsSettingsOf(settings_));
        dlg->show();
        QApplication::processEvents();
        return dlg;
    }

    static CEdit* Edit(COptionsDlg& dlg, int id) { return qobject_cast<CEdit*>(dlg.Control(id)); }
    static QPushButton* Button(COptionsDlg& dlg, int id) {
        return qobject_cast<QPushButton*>(dlg.Control(id));
    }
    static QCheckBox* Check(COptionsDlg& dlg, int id) {
        return qobject_cast<QCheckBox*>(dlg.Control(id));
    }
    static void Type(COptionsDlg& dlg, int id, const QString& text) {
        CEdit* e = Edit(dlg, id);
        e->selectAll();
        QTest::keyClick(e, Qt::Key_Delete);
        // QTest types ASCII only; other characters arrive as an input method would.
        for (QChar c : text) {
            if (c.unicode() < 0x80)
                QTest::keyClicks(e, QString(c));
            else
                e->insert(QString(c));
        }
    }
    // On the box itself: a wide check box only reacts over its box and text.
    static void Tick(COptionsDlg& dlg, int id) {
        QCheckBox* c = Check(dlg, id);
        QTest::mouseClick(c, Qt::LeftButton, Qt::NoModifier, QPoint(8, c->height() / 2));
    }
    static void Click(COptionsDlg& dlg, int id) {
        QTest::mouseClick(Button(dlg, id), Qt::LeftButton);
    }

    QWidget window_;
    std::unique_ptr<FontHolder> fonts_;
    AppSettings settings_;
    TempDir dir_;
};

QString TextOf(QWidget* w) {
    if (auto* b = qobject_cast<QAbstractButton*>(w)) return Caption(b->text());
    if (auto* l = qobject_cast<QLabel*>(w)) return Caption(l->text());
    if (auto* e = qobject_cast<CEdit*>(w)) return e->text();
    return {};
}

}  // namespace

TEST_F(OptionsDlgTest, ShowsEveryControlWithBuiltInTextsTipsAndTheSettings) {
    settings_.shredBlockSize = 4294967295u;
    settings_.shredValue = "/data/pattern \xC3\xA4.bin";
    settings_.fileShredLeaveFiles = true;
    settings_.ignoreProtect = true;
    // No language file at this path: every text is the built-in one.
    auto dlg = Open(dir_.Sub("missing_German.lng"));
    EXPECT_EQ(dlg->windowTitle(), "Options");
    const std::pair<int, const char*> texts[] = {
        {1053, "File block-size [KB]"},
        {1055, "Disk shred block-size [KB]"},
        {1059, "Disk shred file-size [KB]"},
        {1070, "Shredding value"},
        {1062, "Disk shred file-name"},
        {1052, "Do not delete disk shredding files"},
        {1069, "Do not delete shredded files"},
        {1076, "Do not delete folders"},
        {1068, "Ignore write protection"},
        {1065, "Font"},
        {1, "OK"},
        {2, "Cancel"},
        {1072, "..."},
        {1054, "4294967295"},
        {1057, "524288"},
        {1060, "1073741824"},
        {1071, "/data/pattern ä.bin"},
        {1063, "Morvik.$$$temp$$$"},
    };
    for (const auto& [id, text] : texts) {
        ASSERT_NE(dlg->Control(id), nullptr) << id;
        EXPECT_EQ(TextOf(dlg->Control(id)), QString::fromUtf8(text)) << id;
    }
    for (int id : {1056, 1058, 1061, 1073, 1064, 1067}) {
        EXPECT_EQ(TextOf(dlg->Control(id)), "<") << id;
        EXPECT_EQ(dlg->Control(id)->toolTip(), "Reset") << id;
    }
    EXPECT_EQ(dlg->Control(1072)->toolTip(), "Select a file");
    EXPECT_EQ(TextOf(dlg->Control(1066)), fonts_->FaceName());
    EXPECT_FALSE(Check(*dlg, 1052)->isChecked());
    EXPECT_TRUE(Check(*dlg, 1069)->isChecked());
    EXPECT_FALSE(Check(*dlg, 1076)->isChecked());
    EXPECT_TRUE(Check(*dlg, 1068)->isChecked());
    // The working copy of the font holder exists while the dialog is open.
    ASSERT_NE(dlg->WorkingFonts(), nullptr);
    EXPECT_EQ(dlg->WorkingFonts()->EffectiveFont(), fonts_->EffectiveFont());
    EXPECT_FALSE(SaveScreenshot(dlg.get(), QStringLiteral("options_dialog")).isEmpty());
}

TEST_F(OptionsDlgTest, TextsComeFromTheLanguageFileWithDefaultsForEmptyKeys) {
    dir_.WriteFile("Kelvane_Test.lng",
                   "FrmOptions.Caption=\"Optionen\"\n"
                   "FrmOptions.m_LBLFont=\"Schrift\"\n"
                   "FrmOptions.m_CHKIgnoreWriteProtect=\"\"\n"
                   "FrmOptions.m_BTNFileBlockSizeReset=\"Zur\xC3\xBC"
                   "cksetzen\"\n");
    auto dlg = Open(dir_.Sub("Kelvane_Test.lng"));
    EXPECT_EQ(dlg->windowTitle(), "Optionen");
    EXPECT_EQ(TextOf(dlg->Control(1065)), "Schrift");
    EXPECT_EQ(TextOf(dlg->Control(1068)), "Ignore write protection");
    EXPECT_EQ(TextOf(dlg->Control(1053)), "File block-size [KB]");
    EXPECT_EQ(dlg->Control(1061)->toolTip(), QString::fromUtf8("Zurücksetzen"));

    auto german = Open(std::string(KELVANE_DATA_DIR) + "/Kelvane_German.lng");
    EXPECT_EQ(german->windowTitle(), "Optionen");
    EXPECT_EQ(TextOf(german->Control(2)), "Abbrechen");
    EXPECT_FALSE(SaveScreenshot(german.get(), QStringLiteral("options_dialog_german")).isEmpty());
}

TEST_F(OptionsDlgTest, OkStoresTheFieldsWithTheBlockSizeAndEmptyFieldRules) {
    settings_.shredBlockSize = 8192;
    auto dlg = Open();
    Type(*dlg, 1060, "1000000");
    Type(*dlg, 1057, "2000000");  // larger than the file size
    Type(*dlg, 1054, "");         // cleared: keeps 8192
    Type(*dlg, 1071, "  -1 ");
    Type(*dlg, 1063, QString::fromUtf8("Füller"));
    Tick(*dlg, 1052);
    Tick(*dlg, 1076);
    Click(*dlg, 1);
    EXPECT_EQ(dlg->Result(), IDOK);
    EXPECT_FALSE(dlg->isVisible());
    EXPECT_EQ(dlg->WorkingFonts(), nullptr);
    EXPECT_EQ(settings_.diskShredFileSize, 1000000u);
    EXPECT_EQ(settings_.diskShredBlockSize, 524288u);
    EXPECT_EQ(settings_.shredBlockSize, 8192u);
    EXPECT_EQ(settings_.shredValue, "  -1 ");
    EXPECT_EQ(settings_.diskShredFileName, "F\xC3\xBCller");
    EXPECT_TRUE(settings_.diskShredLeaveFiles);
    EXPECT_FALSE(settings_.fileShredLeaveFiles);
    EXPECT_TRUE(settings_.fileShredFileShred);
    EXPECT_FALSE(settings_.ignoreProtect);

    // Equal sizes, entered with Enter in a field (the default button).
    auto again = Open();
    Type(*again, 1060, "65536");
    Type(*again, 1057, "65536");
    QTest::keyClick(Edit(*again, 1057), Qt::Key_Return);
    EXPECT_EQ(again->Result(), IDOK);
    EXPECT_EQ(settings_.diskShredFileSize, 65536u);
    EXPECT_EQ(settings_.diskShredBlockSize, 524288u);
}

TEST_F(OptionsDlgTest, ZeroFileSizeCannotMakeTheFreeSpaceFillEndless) {
    settings_.diskShredBlockSize = 4096;
    auto dlg = Open();
    Type(*dlg, 1060, "0");
    Type(*dlg, 1057, "0");
    Type(*dlg, 1054, "0");
    Click(*dlg, 1);
    EXPECT_EQ(settings_.diskShredFileSize, 1073741824u);
    EXPECT_EQ(settings_.diskShredBlockSize, 524288u);
    EXPECT_EQ(settings_.shredBlockSize, 102400u);
}

TEST_F(OptionsDlgTest, ResetButtonsFillTheFieldsAndCancelChangesNothing) {
    settings_.shredValue = "/pattern";
    settings_.shredBlockSize = 1;
    settings_.diskShredBlockSize = 2;
    settings_.diskShredFileSize = 3;
    settings_.diskShredFileName = "x";
    settings_.ignoreProtect = true;
    const AppSettings before = settings_;
    const FontAttributes fontBefore = fonts_->EffectiveFont();
    auto dlg = Open();
    for (int id : {1056, 1058, 1061, 1073, 1064}) Click(*dlg, id);
    EXPECT_EQ(Edit(*dlg, 1054)->text(), "102400");
    EXPECT_EQ(Edit(*dlg, 1057)->text(), "524288");
    EXPECT_EQ(Edit(*dlg, 1060)->text(), "1073741824");
    EXPECT_EQ(Edit(*dlg, 1071)->text(), "0");
    EXPECT_EQ(Edit(*dlg, 1063)->text(), "Morvik.$$$temp$$$");
    Tick(*dlg, 1068);
    Click(*dlg, 2);
    EXPECT_EQ(dlg->Result(), IDCANCEL);
    EXPECT_EQ(dlg->WorkingFonts(), nullptr);
    EXPECT_EQ(settings_.shredValue, before.shredValue);
    EXPECT_EQ(settings_.shredBlockSize, before.shredBlockSize);
    EXPECT_EQ(settings_.diskShredBlockSize, before.diskShredBlockSize);
    EXPECT_EQ(settings_.diskShredFileSize, before.diskShredFileSize);
    EXPECT_EQ(settings_.diskShredFileName, before.diskShredFileName);
    EXPECT_TRUE(settings_.ignoreProtect);
    EXPECT_EQ(fonts_->EffectiveFont(), fontBefore);

    // Escape is Cancel too.
    auto esc = Open();
    Click(*esc, 1073);
    QTest::keyClick(esc.get(), Qt::Key_Escape);
    EXPECT_EQ(esc->Result(), IDCANCEL);
    EXPECT_EQ(settings_.shredValue, "/pattern");
}

TEST_F(OptionsDlgTest, DotsButtonPutsThePickedPathIntoTheShredValue) {
    settings_.shredValue = "7";
    const std::string odd = dir_.Sub("pat tern\n\xFF.bin");  // blank, newline, non-UTF-8 byte
    dir_.WriteFile("pat tern\n\xFF.bin", "xyz");
    auto dlg = Open();
    FileDialogs::SetNextOpenFiles({ToQ(WideFromUtf8(odd)), QStringLiteral("/second")});
    Click(*dlg, 1072);
    ASSERT_EQ(FileDialogs::Requests().size(), 1u);
    EXPECT_EQ(FileDialogs::Requests()[0].kind, FileDialogs::Request::Kind::OpenFiles);
    EXPECT_EQ(FileDialogs::Requests()[0].filter, "All files (*)");
    EXPECT_EQ(Edit(*dlg, 1071)->GetWindowText(), WideFromUtf8(odd));
    // Cancelling the file dialog leaves the field.
    Click(*dlg, 1072);
    EXPECT_EQ(Edit(*dlg, 1071)->GetWindowText(), WideFromUtf8(odd));
    Click(*dlg, 1);
    EXPECT_EQ(settings_.shredValue, odd);
}

TEST_F(OptionsDlgTest, FontOfTheBuiltInHeightKeepsFollowingTheWindow) {
    const int builtIn = fonts_->BuiltInFont().height;
    ASSERT_LT(builtIn, 0) << "a pixel height";
    auto dlg = Open();

    QFont same(QStringLiteral("Kelvane Test Serif"));
    same.setPixelSize(-builtIn);
    FileDialogs::SetNextFont(same);
    Click(*dlg, 1066);
    ASSERT_EQ(FileDialogs::Requests().back().kind, FileDialogs::Request::Kind::Font);
    EXPECT_EQ(TextOf(dlg->Control(1066)), "Kelvane Test Serif");
    // A reader hears what the button is for, not only a font's name.
    EXPECT_EQ(dlg->Control(1066)->accessibleName(),
              QStringLiteral("Font: Kelvane Test Serif. Choose another font"));
    EXPECT_FALSE(dlg->WorkingFonts()->useFontHeight);
    EXPECT_EQ(dlg->WorkingFonts()->FaceName(), "Kelvane Test Serif");
    EXPECT_EQ(dlg->WorkingFonts()->Height(), dlg->WorkingFonts()->BuiltInFont().height);
    // Nothing reaches the window's holder before OK.
    EXPECT_NE(fonts_->FaceName(), "Kelvane Test Serif");
    Click(*dlg, 1);
    EXPECT_EQ(fonts_->FaceName(), "Kelvane Test Serif");
    EXPECT_FALSE(fonts_->useFontHeight);
}

TEST_F(OptionsDlgTest, FontOfAnotherHeightSetsTheHeightRuleAndResetClearsIt) {
    const int builtIn = fonts_->BuiltInFont().height;
    auto dlg = Open();
    QFont big(QStringLiteral("Kelvane Test Sans"));
    big.setPixelSize(-builtIn + 7);
    FileDialogs::SetNextFont(big);
    Click(*dlg, 1066);
    EXPECT_TRUE(dlg->WorkingFonts()->useFontHeight);
    EXPECT_EQ(dlg->WorkingFonts()->Height(), builtIn - 7);
    EXPECT_EQ(dlg->font().pixelSize(), -builtIn + 7) << "applied to the dialog";

    // Cancel in the font dialog changes nothing.
    FileDialogs::SetNextFont(std::nullopt);
    Click(*dlg, 1066);
    EXPECT_EQ(dlg->WorkingFonts()->FaceName(), "Kelvane Test Sans");

    // "<" beside the font goes back to the rebuilt default.
    Click(*dlg, 1067);
    EXPECT_FALSE(dlg->WorkingFonts()->useFontHeight);
    EXPECT_EQ(dlg->WorkingFonts()->FaceName(), dlg->WorkingFonts()->MessageFont().face);
    EXPECT_EQ(TextOf(dlg->Control(1066)), dlg->WorkingFonts()->FaceName());

    // Choose the big one again and confirm: the holder takes the height rule.
    FileDialogs::SetNextFont(big);
    Click(*dlg, 1066);
    Click(*dlg, 1);
    EXPECT_TRUE(fonts_->useFontHeight);
    EXPECT_EQ(fonts_->Height(), builtIn - 7);
    EXPECT_EQ(fonts_->FaceName(), "Kelvane Test Sans");
}

TEST_F(OptionsDlgTest, DoModalReturnsTheButtonPressed) {
    COptionsDlg dlg;
    QTimer::singleShot(0, [&dlg] {
        auto* e = qobject_cast<CEdit*>(dlg.Control(COptionsDlg::IDC_SPACE_NAME));
        e->SetWindowText(u"Filler");
        QTest::mouseClick(qobject_cast<QPushButton*>(dlg.Control(COptionsDlg::IDC_OK)),
                          Qt::LeftButton);
    });
    EXPECT_EQ(dlg.DoModal(*fonts_, OptionsSettingsOf(settings_)), IDOK);
    EXPECT_EQ(settings_.diskShredFileName, "Filler");

    COptionsDlg cancelled;
    QTimer::singleShot(0, [&cancelled] { QTest::keyClick(&cancelled, Qt::Key_Escape); });
    EXPECT_EQ(cancelled.DoModal(*fonts_, OptionsSettingsOf(settings_)), IDCANCEL);
}

TEST_F(OptionsDlgTest, SummaryAndVerifySwitchesShowAndStore) {
    auto dlg = Open();
    EXPECT_EQ(TextOf(dlg->Control(1077)), "Show a summary before shredding");
    EXPECT_EQ(TextOf(dlg->Control(1078)),
              "Do not show the summary again for warnings already seen");
    EXPECT_EQ(TextOf(dlg->Control(1079)), "Verify the last pass");
    EXPECT_FALSE(Check(*dlg, 1077)->isChecked());
    EXPECT_TRUE(Check(*dlg, 1078)->isChecked());  // on by default
    EXPECT_FALSE(Check(*dlg, 1079)->isChecked());
    Tick(*dlg, 1077);
    Tick(*dlg, 1078);
    Tick(*dlg, 1079);
    SaveScreenshot(dlg.get(), QStringLiteral("options_dialog_summary_switches"));
    Click(*dlg, 1);
    EXPECT_TRUE(settings_.showSummary);
    EXPECT_FALSE(settings_.hideSeenWarnings);
    EXPECT_TRUE(settings_.verifyLastPass);
}
