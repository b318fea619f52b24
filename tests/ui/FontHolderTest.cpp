#include <gtest/gtest.h>

#include <QApplication>
#include <QFontDialog>
#include <QFontInfo>
#include <QLabel>
#include <QPushButton>
#include <QTimer>
#include <QWidget>

#include "ui/FileDialogs.h"
#include "ui/FontAttributes.h"
#include "ui/FontHolder.h"

TEST(FontAttributes, MapToQtFonts) {
    QFont base;
    base.setPixelSize(12);
    FontAttributes a;
    a.face = QStringLiteral("DejaVu Sans Mono");
    a.pitchAndFamily = 0x31;  // fixed pitch, modern
    a.height = -20;
    QFont f = a.AppliedTo(base, true);
    EXPECT_EQ(f.family(), "DejaVu Sans Mono");
    EXPECT_TRUE(f.fixedPitch());
    EXPECT_EQ(f.styleHint(), QFont::Monospace);
    EXPECT_EQ(f.pixelSize(), 20);
    EXPECT_EQ(a.AppliedTo(base, false).pixelSize(), 12) << "height only when asked";
    a.height = 25;  // a cell height includes the leading
    EXPECT_EQ(a.AppliedTo(base, true).pixelSize(), 20);
    a.height = 0;
    EXPECT_EQ(a.AppliedTo(base, true).pixelSize(), 12);
    a.pitchAndFamily = 0x12;  // variable, roman
    f = a.AppliedTo(base, true);
    EXPECT_FALSE(f.fixedPitch());
    EXPECT_EQ(f.styleHint(), QFont::Serif);

    a.SetFace(QString(40, QLatin1Char('x')));
    EXPECT_EQ(a.face.size(), FontAttributes::kMaxFaceLength);

    FontAttributes back = FontAttributes::FromQFont(base);
    EXPECT_EQ(back.height, -12);
    EXPECT_EQ(back.charset, FontAttributes::kDefaultCharset);
    EXPECT_EQ(back.pitchAndFamily & 0x03, QFontInfo(base).fixedPitch() ? 1 : 2);
}

TEST(FontHolder, RebuildApplyAndCopy) {
    QWidget window;
    auto* label = new QLabel(QStringLiteral("x"), &window);
    auto* inner = new QWidget(&window);
    auto* button = new QPushButton(QStringLiteral("y"), inner);
    QFont own;
    own.setPixelSize(17);
    window.setFont(own);

    FontHolder holder(&window);
    EXPECT_FALSE(holder.useBuiltInFont);
    EXPECT_TRUE(holder.useFontSettings);
    EXPECT_FALSE(holder.useFontHeight);
    EXPECT_EQ(holder.BuiltInFont().height, -17);
    EXPECT_EQ(holder.EffectiveFont().face, holder.MessageFont().face);
    EXPECT_EQ(holder.Height(), -17) << "the message font's height only with useFontHeight";

    holder.SetHeight(-30);
    EXPECT_EQ(holder.Height(), -17) << "ignored while useFontHeight is off";
    holder.useFontHeight = true;
    holder.SetHeight(-30);
    EXPECT_EQ(holder.Height(), -30);
    holder.SetFaceName(QStringLiteral("DejaVu Serif"));
    holder.Apply();
    for (QWidget* w : {static_cast<QWidget*>(&window), static_cast<QWidget*>(label), inner,
                       static_cast<QWidget*>(button)}) {
        EXPECT_EQ(w->font().family(), "DejaVu Serif");
        EXPECT_EQ(w->font().pixelSize(), 30);
    }
    // Without the height, to another widget, from another source.
    QWidget other;
    QFont small;
    small.setPixelSize(9);
    other.setFont(small);
    FontAttributes src;
    src.face = QStringLiteral("DejaVu Sans");
    src.height = -50;
    holder.Apply(&other, false, &src);
    EXPECT_EQ(other.font().family(), "DejaVu Sans");
    EXPECT_EQ(other.font().pixelSize(), 9);

    FontHolder copy(&other);
    holder.CopyTo(copy);
    EXPECT_TRUE(copy.useFontHeight);
    EXPECT_EQ(copy.EffectiveFont(), holder.EffectiveFont());
    EXPECT_EQ(copy.BuiltInFont(), holder.BuiltInFont());

    holder.useBuiltInFont = true;
    holder.Rebuild();
    EXPECT_EQ(holder.EffectiveFont(), holder.BuiltInFont());
}

TEST(FontAttributes, GenericAliasesAreStoredAsTheFaceDrawn) {
    // The desktop's "Sans Serif" (no hint): the face fontconfig drew is stored, with
    // the sans-serif kind, and maps back to that very face.
    for (const char* alias : {"Sans Serif", "sans-serif", "Monospace"}) {
        SCOPED_TRACE(alias);
        QFont desktop{QString::fromLatin1(alias)};
        desktop.setPixelSize(12);
        const QString drawn = QFontInfo(desktop).family();
        const FontAttributes stored = FontAttributes::FromQFont(desktop);
        EXPECT_EQ(stored.face, drawn);
        EXPECT_NE(stored.pitchAndFamily & 0xF0, 0) << "the kind the alias named";
        EXPECT_NE(stored.pitchAndFamily & 0xF0, 0x10) << "never serif";
        EXPECT_EQ(QFontInfo(stored.AppliedTo(QFont(), true)).family(), drawn);
    }
    // A named face stays as it was asked for.
    QFont named(QStringLiteral("DejaVu Serif"));
    EXPECT_EQ(FontAttributes::FromQFont(named).face, "DejaVu Serif");
}

// The font dialog opens on the font's own face, not on the first style its list
// holds ("Oblique" for a plain DejaVu Sans).
TEST(FontChoice, TheDialogStartsOnThePlainFace) {
    FileDialogs::ResetHooks();
    FileDialogs::SetCancelWhenNothingQueued(false);
    QFont shown;
    bool seen = false;
    QTimer poll;
    QObject::connect(&poll, &QTimer::timeout, [&] {
        for (QWidget* w : QApplication::topLevelWidgets()) {
            auto* dialog = qobject_cast<QFontDialog*>(w);
            if (!dialog || !dialog->isVisible()) continue;
            shown = dialog->currentFont();
            seen = true;
            dialog->reject();
        }
    });
    poll.start(20);
    QFont font(QStringLiteral("DejaVu Sans"), 11);
    EXPECT_FALSE(FileDialogs::ChooseFont(nullptr, QStringLiteral("Font"), font));
    FileDialogs::ResetHooks();
    ASSERT_TRUE(seen);
    EXPECT_EQ(shown.family(), QStringLiteral("DejaVu Sans"));
    EXPECT_EQ(shown.style(), QFont::StyleNormal);
    EXPECT_EQ(shown.weight(), QFont::Normal);
}
