// Every text of the windows reads on what it is drawn on in a light, a dark and a
// high-contrast theme; the light theme keeps its white panel, and a window
// follows a theme change.
#include <QAbstractItemView>
#include <QCheckBox>
#include <QHeaderView>
#include <QLineEdit>
#include <QMenuBar>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QSignalBlocker>
#include <QStyle>
#include <QStyleOptionButton>
#include <QTest>

#include "config/TextConv.h"
#include "i18n/LanguageKeys.h"
#include "ui/AboutDlg.h"
#include "ui/DriveDlg.h"
#include "ui/FontHolder.h"
#include "ui/LogViewDlg.h"
#include "ui/MainWindowFixture.h"
#include "ui/OptionsDlg.h"
#include "ui/RunSummaryDlg.h"
#include "ui/ThemeColours.h"
#include "uisupport/Screenshot.h"

namespace {

QPalette Themed(QColor window, QColor text, QColor base, QColor baseText, QColor link) {
    QPalette p(window);
    for (auto role : {QPalette::WindowText, QPalette::ButtonText, QPalette::BrightText})
        p.setColor(role, text);
    p.setColor(QPalette::Base, base);
    p.setColor(QPalette::AlternateBase, base);
    p.setColor(QPalette::Text, baseText);
    p.setColor(QPalette::Link, link);
    p.setColor(QPalette::Button, window);
    return p;
}

struct Theme {
    const char* name;
    QPalette palette;
};

std::vector<Theme> Themes() {
    return {
        {"light", QApplication::style()->standardPalette()},
        {"dark", Themed(QColor(0x35, 0x35, 0x35), Qt::white, QColor(0x23, 0x23, 0x23), Qt::white,
                        QColor(0x8a, 0xb4, 0xf8))},
        {"contrast", Themed(Qt::black, Qt::white, Qt::black, Qt::yellow, Qt::cyan)},
    };
}

bool ShowsText(QWidget* w) {
    if (auto* l = qobject_cast<QLabel*>(w)) return !l->text().isEmpty();
    if (auto* b = qobject_cast<QAbstractButton*>(w)) return !b->text().isEmpty();
    return qobject_cast<QLineEdit*>(w) || qobject_cast<QComboBox*>(w) ||
           qobject_cast<QAbstractItemView*>(w) || qobject_cast<QPlainTextEdit*>(w) ||
           qobject_cast<QMenuBar*>(w);
}

// The colour a widget draws its text in and the colour behind it, as the style
// paints them.
std::pair<QColor, QColor> TextAndGround(QWidget* w) {
    const QPalette& p = w->palette();
    auto* combo = qobject_cast<QComboBox*>(w);
    if (qobject_cast<QPushButton*>(w) || qobject_cast<QHeaderView*>(w) ||
        (combo && !combo->isEditable()))
        return {p.color(QPalette::ButtonText), p.color(QPalette::Button)};
    if (qobject_cast<QLineEdit*>(w) || qobject_cast<QAbstractItemView*>(w) ||
        qobject_cast<QPlainTextEdit*>(w) || combo)
        return {p.color(QPalette::Text), p.color(QPalette::Base)};
    // Labels, check boxes and the menu bar stand on the nearest filled parent.
    QWidget* ground = w;
    while (!ground->autoFillBackground() && !ground->isWindow()) ground = ground->parentWidget();
    const QColor back = ground->palette().color(ground->backgroundRole());
    if (qobject_cast<QMenuBar*>(w)) return {p.color(QPalette::ButtonText), back};
    return {p.color(w->foregroundRole()), back};
}

void ExpectReadable(QWidget* window, const QString& name) {
    SaveScreenshot(
        window,
        QStringLiteral("theme-%1%2").arg(name, window->devicePixelRatioF() > 1 ? "@2x" : ""));
    int looked = 0;
    QList<QWidget*> all = window->findChildren<QWidget*>();
    all.prepend(window);
    for (QWidget* w : all) {
        if (!w->isVisibleTo(window) || !w->isEnabled() || !ShowsText(w)) continue;
        const auto [text, ground] = TextAndGround(w);
        ++looked;
        EXPECT_GE(ContrastRatio(text, ground), 4.5)
            << name.toStdString() << ": " << w->metaObject()->className() << " "
            << w->objectName().toStdString() << " " << text.name().toStdString() << " on "
            << ground.name().toStdString();
    }
    EXPECT_GT(looked, 2) << name.toStdString();
}

std::u16string BuiltIn(std::string_view key) {
    return WideFromUtf8(BuiltInText(key));
}

class ThemeContrast : public MainWindowFixture {
  protected:
    void TearDown() override {
        QApplication::setPalette(QApplication::style()->standardPalette());
        CDriveDlg::SetOfferSource(nullptr);
        CDriveDlg::SetNextAction(nullptr);
        MainWindowFixture::TearDown();
    }
};

}  // namespace

TEST_F(ThemeContrast, EveryWindowReadsInLightDarkAndHighContrastThemes) {
    const std::vector<Theme> themes = Themes();
    QApplication::setPalette(themes[0].palette);
    auto main = Open();
    EXPECT_EQ(main->palette().color(QPalette::Window), QColor(Qt::white))
        << "the light theme keeps its white panel";
    CDriveDlg::SetOfferSource([] {
        DriveOffer offer;
        offer.offered.push_back({u"/", u"system", u"40213"});
        offer.leftOut.push_back(
            {u"/proc/", u"not a folder", false, "FrmDrive.m_acMNotAFolder", {}});
        return offer;
    });
    for (const Theme& theme : themes) {
        SCOPED_TRACE(theme.name);
        QApplication::setPalette(theme.palette);
        QApplication::processEvents();
        const QString t = QString::fromLatin1(theme.name);
        ExpectReadable(main.get(), t + "-main");  // it follows the change of theme

        COptionsDlg options(main.get());
        options.show();
        ExpectReadable(&options, t + "-options");

        CAboutDlg about(main.get());
        about.show();
        ExpectReadable(&about, t + "-about");

        RunSummary summary;
        summary.files = 3;
        summary.passes = 3;
        summary.groups.push_back({VerdictReason::kFlash, 2, {u"/data/a.txt", u"/data/b.txt"}});
        CRunSummaryDlg summaryDlg(summary, BuiltIn, false, main.get());
        summaryDlg.show();
        ExpectReadable(&summaryDlg, t + "-summary");

        CLogViewDlg log(main.get(), BuiltIn);
        log.SetLogText(u"\r\nShredding files with 3 iterations\r\n/data/a.txt [done]\r\n", true,
                       false);
        log.show();
        ExpectReadable(&log, t + "-log");

        FontHolder fonts(main.get());
        StringTable drives;
        drives.SetSize(1, 0);
        CDriveDlg drive(main.get());
        CDriveDlg::SetNextAction([&](CDriveDlg& d) {
            ExpectReadable(&d, t + "-drives");
            d.CancelButton()->click();
        });
        drive.DoModal(fonts, drives);
    }
}

namespace {

// The largest contrast of a pixel of `area` (in widget coordinates of `shot`'s
// widget) against `ground`: an edge or a fill that makes the element visible.
double MostContrast(const QImage& shot, const QRect& area, const QColor& ground) {
    const double dpr = shot.devicePixelRatio();
    const QRect px(QPoint(static_cast<int>(area.left() * dpr), static_cast<int>(area.top() * dpr)),
                   QPoint(static_cast<int>((area.right() + 1) * dpr) - 1,
                          static_cast<int>((area.bottom() + 1) * dpr) - 1));
    double most = 1.0;
    for (int y = std::max(px.top(), 0); y <= std::min(px.bottom(), shot.height() - 1); ++y)
        for (int x = std::max(px.left(), 0); x <= std::min(px.right(), shot.width() - 1); ++x)
            most = std::max(most, ContrastRatio(shot.pixelColor(x, y), ground));
    return most;
}

// Every unticked check box of `window` (and the list's first cell, when it has
// one) shows its box at 3:1 at least against what it stands on.
void ExpectBoxesShow(QWidget* window, const QString& name, int* looked) {
    QApplication::processEvents();
    std::vector<std::pair<QCheckBox*, bool>> boxes;
    for (QCheckBox* c : window->findChildren<QCheckBox*>()) {
        if (!c->isVisibleTo(window) || !c->isEnabled()) continue;
        const QSignalBlocker quiet(c);
        boxes.emplace_back(c, c->isChecked());
        c->setChecked(false);
    }
    const QImage shot = window->grab().toImage();
    shot.save(QStringLiteral(KELVANE_BUILD_DIR "/screenshots/boxes-%1.png").arg(name));
    for (const auto& [c, was] : boxes) {
        QStyleOptionButton option;
        option.initFrom(c);
        const QRect box = c->style()->subElementRect(QStyle::SE_CheckBoxIndicator, &option, c);
        const QRect inWindow(c->mapTo(window, box.topLeft()), box.size());
        EXPECT_GE(MostContrast(shot, inWindow, TextAndGround(c).second), 3.0)
            << name.toStdString() << ": " << c->objectName().toStdString() << " "
            << c->text().toStdString();
        ++*looked;
        const QSignalBlocker quiet(c);
        c->setChecked(was);
    }
    for (QAbstractItemView* view : window->findChildren<QAbstractItemView*>()) {
        if (!view->isVisibleTo(window) || !view->model() || view->model()->rowCount() == 0 ||
            qobject_cast<QHeaderView*>(view))
            continue;
        const QModelIndex first = view->model()->index(0, 0);
        if (!(view->model()->flags(first) & Qt::ItemIsUserCheckable)) continue;
        const QRect cell = view->visualRect(first);
        // The box stands at the left of the cell, before the name.
        const int margin =
            view->style()->pixelMetric(QStyle::PM_FocusFrameHMargin, nullptr, view) + 1;
        const int width = view->style()->pixelMetric(QStyle::PM_IndicatorWidth, nullptr, view);
        const QRect box(view->viewport()->mapTo(window, cell.topLeft()),
                        QSize(margin + width + 1, cell.height()));
        EXPECT_GE(MostContrast(shot, box, view->palette().color(QPalette::Base)), 3.0)
            << name.toStdString() << ": the check box of " << view->metaObject()->className() << " "
            << view->objectName().toStdString() << " at " << box.x() << "," << box.y() << " "
            << box.width() << "x" << box.height();
        ++*looked;
    }
}

}  // namespace

// Check boxes are elements too: unticked, their box shows at 3:1 against the
// panel or the list in every theme (the border alone, where the box is filled
// with the panel's own colour).
TEST_F(ThemeContrast, CheckBoxesShowInEveryTheme) {
    for (const Theme& theme : Themes()) {
        SCOPED_TRACE(theme.name);
        QApplication::setPalette(theme.palette);
        auto main = Open();
        main->AppendRow(u"a.txt", u"5", u"2020-01-01 00:00:00", u"/nowhere/a.txt");
        main->List().SetCheck(0, false);
        main->ListView()->selectionModel()->clear();
        main->Control(CKelvaneDlg::IDC_SHRED)->setFocus();
        const QString t = QString::fromLatin1(theme.name);
        int looked = 0;
        ExpectBoxesShow(main.get(), t + "-main", &looked);
        EXPECT_GE(looked, 5) << "the main window's boxes and the list's";
        COptionsDlg options(main.get());
        options.show();
        looked = 0;
        ExpectBoxesShow(&options, t + "-options", &looked);
        EXPECT_GE(looked, 3);
    }
}
