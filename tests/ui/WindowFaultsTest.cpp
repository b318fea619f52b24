// What the window looks like across starts: its place and size, its font, the
// default font coming back, and every control tall and wide enough for its text.
#include <QAbstractButton>
#include <QComboBox>
#include <QFontInfo>
#include <QGuiApplication>
#include <QLabel>
#include <QPushButton>
#include <QScreen>

#include "config/SettingsFile.h"
#include "support/TestText.h"
#include "ui/FontHolder.h"
#include "ui/MainWindowFixture.h"
#include "ui/OptionsDlg.h"
#include "ui/WindowPlacement.h"
#include "uisupport/Screenshot.h"

namespace {

class WindowFaults : public MainWindowFixture {
  protected:
    // Starts the window the way the program does: start-up (and the stored
    // settings) first, then the window shows.
    std::unique_ptr<CKelvaneDlg> Start() {
        auto dlg = std::make_unique<CKelvaneDlg>(Where());
        dlg->EnsureInitialised();
        dlg->show();
        QApplication::setActiveWindow(dlg.get());
        (void)QTest::qWaitForWindowExposed(dlg.get(), 2000);
        QApplication::processEvents();
        return dlg;
    }
    void WriteSettings(const std::string& body) {
        dir_.MakeDir("home/.config/Tessarin/Kelvane");
        dir_.WriteFile("home/.config/Tessarin/Kelvane/Kelvane.ini", SettingsXml(body));
    }
    static QRect Screen() { return QGuiApplication::primaryScreen()->availableGeometry(); }
};

// Every control of the main window shows its text whole: as high as its font needs,
// as wide as its caption, and not covered by the next control of its row.
void ExpectNothingCut(CKelvaneDlg& dlg, const char* when) {
    SCOPED_TRACE(when);
    QApplication::processEvents();
    const QRect client = dlg.ClientArea()->rect();
    for (int id :
         {CKelvaneDlg::IDC_ADD, CKelvaneDlg::IDC_ADD_FOLDER, CKelvaneDlg::IDC_REMOVE,
          CKelvaneDlg::IDC_CLEAR, CKelvaneDlg::IDC_INDICATOR, CKelvaneDlg::IDC_CLOCK,
          CKelvaneDlg::IDC_ITERATIONS_LABEL, CKelvaneDlg::IDC_ITERATIONS,
          CKelvaneDlg::IDC_MODIFY_SIZE, CKelvaneDlg::IDC_SIZE_TYPE, CKelvaneDlg::IDC_RANDOM,
          CKelvaneDlg::IDC_CONFIRM, CKelvaneDlg::IDC_SHRED_NAMES, CKelvaneDlg::IDC_END_ACTION_LABEL,
          CKelvaneDlg::IDC_END_ACTION, CKelvaneDlg::IDC_STATUS, CKelvaneDlg::IDC_STOP,
          CKelvaneDlg::IDC_SHRED, CKelvaneDlg::IDC_SHRED_FREE}) {
        QWidget* w = dlg.Control(id);
        const QRect g = w->geometry();
        EXPECT_GE(g.height(), w->sizeHint().height()) << id;
        if (id != CKelvaneDlg::IDC_STATUS && id != CKelvaneDlg::IDC_ITERATIONS_LABEL) {
            EXPECT_GE(g.width(), w->sizeHint().width()) << id;
        }
        EXPECT_TRUE(client.contains(g)) << id << " lies outside the window";
    }
    // The rows of options: nothing overlaps (the iterations label lies under its
    // row, but its text ends before the first control).
    const int rows[][4] = {
        {CKelvaneDlg::IDC_ITERATIONS, CKelvaneDlg::IDC_MODIFY_SIZE, CKelvaneDlg::IDC_SIZE_TYPE, 0},
        {CKelvaneDlg::IDC_RANDOM, CKelvaneDlg::IDC_CONFIRM, 0, 0},
        {CKelvaneDlg::IDC_SHRED_NAMES, CKelvaneDlg::IDC_END_ACTION_LABEL,
         CKelvaneDlg::IDC_END_ACTION, 0},
    };
    std::vector<int> below = {CKelvaneDlg::IDC_STATUS};
    for (const auto& row : rows)
        for (int a = 0; row[a]; ++a)
            for (int b = a + 1; row[b]; ++b)
                EXPECT_FALSE(
                    dlg.Control(row[a])->geometry().intersects(dlg.Control(row[b])->geometry()))
                    << row[a] << " and " << row[b];
    auto* iterLabel = static_cast<QLabel*>(dlg.Control(CKelvaneDlg::IDC_ITERATIONS_LABEL));
    EXPECT_LE(
        iterLabel->x() + iterLabel->fontMetrics().horizontalAdvance(Caption(iterLabel->text())),
        dlg.Control(CKelvaneDlg::IDC_ITERATIONS)->x());
    // Rows one above the other.
    EXPECT_LE(dlg.Control(CKelvaneDlg::IDC_SIZE_TYPE)->geometry().bottom(),
              dlg.Control(CKelvaneDlg::IDC_RANDOM)->geometry().top() + 3);
    EXPECT_LE(dlg.Control(CKelvaneDlg::IDC_CONFIRM)->geometry().bottom(),
              dlg.Control(CKelvaneDlg::IDC_END_ACTION)->geometry().top() + 2);
    EXPECT_LT(dlg.Control(CKelvaneDlg::IDC_END_ACTION)->geometry().bottom(),
              dlg.Control(CKelvaneDlg::IDC_STATUS)->geometry().top());
    EXPECT_LT(dlg.Control(CKelvaneDlg::IDC_STATUS)->geometry().bottom(),
              dlg.Control(CKelvaneDlg::IDC_PROGRESS)->geometry().top());
    EXPECT_LT(dlg.Control(CKelvaneDlg::IDC_CLEAR)->geometry().bottom(),
              dlg.Control(CKelvaneDlg::IDC_INDICATOR)->geometry().top());
    EXPECT_LT(dlg.Control(CKelvaneDlg::IDC_INDICATOR)->geometry().bottom(),
              dlg.Control(CKelvaneDlg::IDC_CLOCK)->geometry().top());
}

QFont FontOf(CKelvaneDlg& dlg) {
    return dlg.Control(CKelvaneDlg::IDC_SHRED)->font();
}

}  // namespace

TEST_F(WindowFaults, PlaceSizeAndFontStayTheSameOverRestarts) {
    QRect firstFrame, firstInner;
    QString firstFamily;
    for (int start = 0; start < 5; ++start) {
        SCOPED_TRACE(start);
        auto dlg = Start();
        const QString family = QFontInfo(FontOf(*dlg)).family();
        if (start == 0) {
            firstFrame = dlg->frameGeometry();
            firstInner = dlg->geometry();
            firstFamily = family;
            // The font the window starts with is the desktop's, as the menus have it.
            EXPECT_EQ(family, QFontInfo(QApplication::font()).family());
        } else {
            EXPECT_EQ(dlg->frameGeometry(), firstFrame);
            EXPECT_EQ(dlg->geometry(), firstInner);
            EXPECT_EQ(family, firstFamily) << "the stored font maps back to the same family";
        }
        dlg->close();
    }
    const LoadedSettings stored = LoadSettings(SettingsFile());
    EXPECT_EQ(stored.values.winPos, FormatWinPos({firstFrame.left(), firstFrame.top(),
                                                  firstFrame.left() + firstFrame.width(),
                                                  firstFrame.top() + firstFrame.height()}));
}

TEST_F(WindowFaults, APositionOffEveryScreenComesBackOntoTheScreen) {
    const QRect screen = Screen();
    for (const char* pos : {"5000;4000;5700;4500", "3000;20;3700;520"}) {
        SCOPED_TRACE(pos);
        WriteSettings(SettingsEntry("WinPos", pos));
        auto dlg = Start();
        EXPECT_TRUE(screen.contains(dlg->frameGeometry())) << "on the screen, whole";
        EXPECT_EQ(dlg->frameGeometry().size(), QSize(700, 500)) << "with the stored size";
    }
    // Grown past the screen (as an earlier version let it): shrunk to fit.
    WriteSettings(SettingsEntry("WinPos", "10;10;2516;2100"));
    auto dlg = Start();
    EXPECT_TRUE(screen.contains(dlg->frameGeometry()));

    // The rule itself, on two screens side by side: the whole window must show.
    const QList<QRect> two = {QRect(0, 0, 1000, 800), QRect(1000, 0, 1000, 800)};
    EXPECT_EQ(PlaceOnScreens(QRect(1200, 100, 600, 400), two), QRect(1200, 100, 600, 400))
        << "on the second screen: stays";
    EXPECT_EQ(PlaceOnScreens(QRect(-20, 700, 600, 400), two), QRect(0, 400, 600, 400))
        << "partly off with its title on the screen: pulled whole onto it";
    EXPECT_EQ(PlaceOnScreens(QRect(2500, 100, 600, 400), two), QRect(200, 200, 600, 400))
        << "off both: centred on the first";
    EXPECT_EQ(PlaceOnScreens(QRect(-20, -50, 600, 400), two), QRect(0, 0, 600, 400))
        << "title above the screen";
    EXPECT_EQ(PlaceOnScreens(QRect(800, 100, 600, 400), two), QRect(1000, 100, 600, 400))
        << "across the seam: onto the screen holding most of it";
    EXPECT_EQ(PlaceOnScreens(QRect(100, 100, 1500, 1100), two), QRect(0, 0, 1000, 800));
    // Stored at 1x, started at 2x: the same 1920 x 1080 screen is 960 x 540 now,
    // and the run buttons at the window's foot must show.
    const QList<QRect> scaled = {QRect(0, 0, 960, 540)};
    EXPECT_EQ(PlaceOnScreens(QRect(300, 200, 700, 500), scaled), QRect(260, 40, 700, 500));
    EXPECT_EQ(PlaceOnScreens(QRect(0, 0, 1800, 1000), scaled), QRect(0, 0, 960, 540));
}

TEST_F(WindowFaults, FontResetBringsBackTheDefaultSize) {
    auto dlg = Open();
    FontHolder& fonts = dlg->Fonts();
    const int defaultHeight = fonts.BuiltInFont().height;
    const int defaultPixels = QFontInfo(FontOf(*dlg)).pixelSize();
    auto options = [&](auto act) {
        COptionsDlg box(dlg.get());
        box.Prepare(fonts, OptionsSettingsOf(dlg->Fields()));
        box.show();
        QApplication::processEvents();
        act(box);
        QTest::mouseClick(static_cast<QPushButton*>(box.Control(COptionsDlg::IDC_OK)),
                          Qt::LeftButton);
        fonts.Apply(nullptr, true);  // what the window does after OK
        QApplication::processEvents();
    };
    QFont big(QStringLiteral("DejaVu Serif"));
    big.setPixelSize(-defaultHeight + 12);
    options([&](COptionsDlg& box) {
        FileDialogs::SetNextFont(big);
        QTest::mouseClick(static_cast<QPushButton*>(box.Control(COptionsDlg::IDC_FONT)),
                          Qt::LeftButton);
    });
    EXPECT_EQ(QFontInfo(FontOf(*dlg)).pixelSize(), defaultPixels + 12);
    ExpectNothingCut(*dlg, "large font");
    SaveScreenshot(dlg.get(), QStringLiteral("main_window_large_font"));

    options([&](COptionsDlg& box) {
        QTest::mouseClick(static_cast<QPushButton*>(box.Control(COptionsDlg::IDC_FONT_RESET)),
                          Qt::LeftButton);
        EXPECT_EQ(QFontInfo(box.font()).pixelSize(), defaultPixels) << "the dialog at once";
        EXPECT_EQ(box.WorkingFonts()->BuiltInFont().height, defaultHeight);
    });
    EXPECT_FALSE(fonts.useFontHeight);
    EXPECT_EQ(fonts.Height(), defaultHeight);
    EXPECT_EQ(fonts.BuiltInFont().height, defaultHeight)
        << "the large size never becomes the default";
    EXPECT_EQ(QFontInfo(FontOf(*dlg)).pixelSize(), defaultPixels);
    ExpectNothingCut(*dlg, "back to the default");
}

TEST_F(WindowFaults, ControlsTakeTheRoomTheirFontNeeds) {
    auto dlg = Open();
    dlg->LockForRun();
    dlg->SetClockText(u"00:01:02\r\n(~00:10:00)");
    dlg->SetIndicatorText(u"ffffffff\r\nffffffff\r\nffffffff\r\nffffffff\r\n");
    ExpectNothingCut(*dlg, "default font, running");
    SaveScreenshot(dlg.get(), QStringLiteral("main_window_running"));
    dlg->UnlockAfterRun();
    // Size 14 (points at 96 dots per inch), then a longer language.
    FontHolder& fonts = dlg->Fonts();
    fonts.useFontHeight = true;
    fonts.SetHeight(-19);
    fonts.Apply(nullptr, true);
    dlg->LockForRun();  // the clock and the indicator show
    dlg->SetClockText(u"00:01:02\r\n(~00:10:00)");
    dlg->SetIndicatorText(u"ffffffff\r\nffffffff\r\nffffffff\r\nffffffff\r\n");
    ExpectNothingCut(*dlg, "font size 14");
    EXPECT_GE(dlg->width(), dlg->minimumWidth());
    SaveScreenshot(dlg.get(), QStringLiteral("main_window_font_14_running"));
    dlg->UnlockAfterRun();
    dlg->resize(dlg->minimumSize());
    ExpectNothingCut(*dlg, "font size 14, smallest window");
}
