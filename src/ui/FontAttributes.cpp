#include "ui/FontAttributes.h"

#include <QFontInfo>
#include <cmath>

namespace {

constexpr int kPitchMask = 0x03;
constexpr int kFixedPitch = 0x01;
constexpr int kVariablePitch = 0x02;

QFont::StyleHint HintOfFamily(int family) {
    switch (family & 0xF0) {
        case 0x10:
            return QFont::Serif;
        case 0x20:
            return QFont::SansSerif;
        case 0x30:
            return QFont::Monospace;
        case 0x40:
            return QFont::Cursive;
        case 0x50:
            return QFont::Decorative;
        default:
            return QFont::AnyStyle;
    }
}

int FamilyOfHint(QFont::StyleHint hint) {
    switch (hint) {
        case QFont::Serif:
            return 0x10;
        case QFont::SansSerif:
            return 0x20;
        case QFont::Monospace:
        case QFont::TypeWriter:
            return 0x30;
        case QFont::Cursive:
            return 0x40;
        case QFont::Decorative:
            return 0x50;
        default:
            return 0x00;
    }
}

// The desktop often names its font by a generic alias ("Sans Serif", "Sans",
// "Monospace") that fontconfig resolves by its own rules. Stored as it stands and
// asked for again without the hint that came with it, such an alias may resolve
// to another face (a serif one), so the face that was really drawn is kept, with
// the kind the alias named.
int FamilyOfAlias(const QString& family) {
    const QString f = family.trimmed().toLower();
    if (f == QLatin1String("sans serif") || f == QLatin1String("sans-serif") ||
        f == QLatin1String("sans") || f == QLatin1String("system-ui"))
        return 0x20;
    if (f == QLatin1String("serif")) return 0x10;
    if (f == QLatin1String("monospace") || f == QLatin1String("mono")) return 0x30;
    return -1;
}

}  // namespace

FontAttributes FontAttributes::FromQFont(const QFont& font) {
    FontAttributes a;
    QFontInfo info(font);
    const int aliasFamily = FamilyOfAlias(font.family());
    a.SetFace(aliasFamily >= 0 ? info.family() : font.family());
    a.charset = kDefaultCharset;
    const int family = font.styleHint() == QFont::AnyStyle && aliasFamily >= 0
                           ? aliasFamily
                           : FamilyOfHint(font.styleHint());
    a.pitchAndFamily = (info.fixedPitch() ? kFixedPitch : kVariablePitch) | family;
    a.height = -info.pixelSize();
    return a;
}

QFont FontAttributes::AppliedTo(const QFont& base, bool withHeight) const {
    QFont f = base;
    if (!face.isEmpty()) f.setFamily(face);
    const int pitch = pitchAndFamily & kPitchMask;
    QFont::StyleHint hint = HintOfFamily(pitchAndFamily);
    if (pitch == kFixedPitch) {
        f.setFixedPitch(true);
        hint = QFont::Monospace;
    } else if (pitch == kVariablePitch) {
        f.setFixedPitch(false);
    }
    f.setStyleHint(hint);
    if (withHeight && height != 0) {
        int px = height < 0 ? -height : static_cast<int>(std::lround(height * 0.8));
        if (px > 0) f.setPixelSize(px);
    }
    return f;
}
