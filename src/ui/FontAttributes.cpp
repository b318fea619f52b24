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

}  // namespace

FontAttributes FontAttributes::FromQFont(const QFont& font) {
    FontAttributes a;
    QFontInfo info(font);
    a.SetFace(font.family());
    a.charset = kDefaultCharset;
    a.pitchAndFamily =
        (info.fixedPitch() ? kFixedPitch : kVariablePitch) | FamilyOfHint(font.styleHint());
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
