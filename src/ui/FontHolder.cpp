#include "ui/FontHolder.h"

#include <QApplication>

FontHolder::FontHolder(QWidget* window)
    : window_(window), ownFont_(window ? window->font() : QApplication::font()) {
    Rebuild();
}

void FontHolder::Rebuild() {
    // The font Qt gives message boxes is the closest to the system message font.
    message_ = FontAttributes::FromQFont(QApplication::font("QMessageBox"));
    builtIn_ = FontAttributes::FromQFont(ownFont_);
    if (useBuiltInFont) {
        effective_ = builtIn_;
        return;
    }
    effective_ = builtIn_;
    effective_.face = message_.face;
    effective_.charset = message_.charset;
    effective_.pitchAndFamily = message_.pitchAndFamily;
    if (useFontHeight) effective_.height = message_.height;
}

void FontHolder::Apply(QWidget* target, bool withHeight, const FontAttributes* source) {
    if (!target) target = window_;
    if (!target) return;
    const FontAttributes& from = source ? *source : effective_;
    appliedFont_ = from.AppliedTo(target->font(), withHeight);
    // The children first: a window that re-measures its controls when its own
    // font changes must find them in the new font already.
    for (QWidget* child : target->findChildren<QWidget*>()) child->setFont(appliedFont_);
    target->setFont(appliedFont_);
}

void FontHolder::CopyTo(FontHolder& other) const {
    other.useBuiltInFont = useBuiltInFont;
    other.useFontSettings = useFontSettings;
    other.useFontHeight = useFontHeight;
    other.message_ = message_;
    other.builtIn_ = builtIn_;
    other.effective_ = effective_;
    other.appliedFont_ = appliedFont_;
    other.ownFont_ = ownFont_;
}
