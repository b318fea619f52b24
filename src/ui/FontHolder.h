#pragma once
// The window's shared font holder: the system message font, the window's own
// font, the effective font the program applies to its windows, and the three
// font flags of the settings. Only face, character set, pitch-and-family and
// height are managed (see FontAttributes.h for their meaning in Qt).
#include <QFont>
#include <QPointer>
#include <QWidget>

#include "ui/FontAttributes.h"

class FontHolder {
  public:
    // Flags false, true, false; then Rebuild.
    explicit FontHolder(QWidget* window);

    void Rebuild();
    // Applies source (default: the effective font) to target (default: the
    // window) and every widget inside it; the height only when withHeight.
    void Apply(QWidget* target = nullptr, bool withHeight = true,
               const FontAttributes* source = nullptr);
    void CopyTo(FontHolder& other) const;
    // Forgets the font made by Apply (the window is going).
    void Release() { appliedFont_ = QFont(); }

    // The effective font's attributes.
    QString FaceName() const { return effective_.face; }
    int Charset() const { return effective_.charset; }
    int PitchAndFamily() const { return effective_.pitchAndFamily; }
    int Height() const { return effective_.height; }
    void SetFaceName(const QString& face) { effective_.SetFace(face); }
    void SetCharset(int charset) { effective_.charset = charset; }
    void SetPitchAndFamily(int pitch) { effective_.pitchAndFamily = pitch; }
    // Does nothing unless useFontHeight is on.
    void SetHeight(int height) {
        if (useFontHeight) effective_.height = height;
    }

    const FontAttributes& MessageFont() const { return message_; }
    const FontAttributes& BuiltInFont() const { return builtIn_; }
    const FontAttributes& EffectiveFont() const { return effective_; }
    void SetEffectiveFont(const FontAttributes& a) { effective_ = a; }
    const QFont& AppliedFont() const { return appliedFont_; }
    QWidget* Window() const { return window_; }

    bool useBuiltInFont = false;
    bool useFontSettings = true;
    bool useFontHeight = false;

  private:
    QPointer<QWidget> window_;
    // The window's font as it was built, before any Apply: the built-in font is
    // measured on it, so that a larger font once applied never becomes the default.
    QFont ownFont_;
    FontAttributes message_;
    FontAttributes builtIn_;
    FontAttributes effective_;
    QFont appliedFont_;
};
