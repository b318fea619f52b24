#pragma once
// The four font attributes the settings keep, in the platform-neutral numbers of
// the settings file, and how they map onto a QFont.
//
// Mapping:
// - face name  <-> QFont family, at most 31 UTF-16 units (longer names are cut).
// - height     <-> pixel size. A negative height is a character height in pixels
//                  (setPixelSize(-height)); a positive one is a cell height, which
//                  includes the internal leading, taken as 4/5 of it; 0 keeps the
//                  size of the font it is applied to. Read back as -pixelSize.
// - pitch and family: the low two bits are the pitch (0 default, 1 fixed,
//                  2 variable): fixed sets QFont::setFixedPitch(true) with the
//                  Monospace hint. The high nibble is the family: 0x10 roman ->
//                  Serif, 0x20 swiss -> SansSerif, 0x30 modern -> Monospace,
//                  0x40 script -> Cursive, 0x50 decorative -> Decorative, other
//                  values -> AnyStyle. The hint only guides font matching when the
//                  face is missing.
// - character set: Qt fonts are Unicode and fall back per character, so the
//                  number has no effect on drawing. It is kept as it stands so
//                  that the settings file gets back what it gave (a font taken
//                  from Qt reports 1, "default character set").
#include <QFont>
#include <QString>

struct FontAttributes {
    static constexpr int kMaxFaceLength = 31;
    static constexpr int kDefaultCharset = 1;

    QString face;
    int charset = kDefaultCharset;
    int pitchAndFamily = 0;
    int height = 0;

    // The attributes of a Qt font.
    static FontAttributes FromQFont(const QFont& font);
    // `base` with face, character set and pitch-and-family of this, and the height
    // too when `withHeight`.
    QFont AppliedTo(const QFont& base, bool withHeight) const;

    void SetFace(const QString& name) { face = name.left(kMaxFaceLength); }

    bool operator==(const FontAttributes&) const = default;
};
