#include "ui/ThemeColours.h"

#include <QApplication>
#include <QColor>
#include <QEvent>
#include <QObject>
#include <QPalette>
#include <QWidget>
#include <algorithm>
#include <cmath>

#include "ui/ContrastStyle.h"

namespace {

constexpr double kReadable = 4.5;

double Luminance(const QColor& c) {
    auto channel = [](double v) {
        return v <= 0.03928 ? v / 12.92 : std::pow((v + 0.055) / 1.055, 2.4);
    };
    return 0.2126 * channel(c.redF()) + 0.7152 * channel(c.greenF()) + 0.0722 * channel(c.blueF());
}

void ApplyPanel(QWidget* w) {
    const QPalette theme = QApplication::palette(w);
    QPalette pal = w->palette();
    for (auto group : {QPalette::Active, QPalette::Inactive, QPalette::Disabled}) {
        // The panel itself is never disabled; what stands on it may be.
        pal.setColor(group, QPalette::Window, theme.color(QPalette::Active, QPalette::Base));
        pal.setColor(group, QPalette::WindowText, theme.color(group, QPalette::Text));
    }
    w->setPalette(pal);
    w->setAutoFillBackground(true);
}

// Puts the panel colours back when the theme changes: colours set on a widget
// would otherwise stay those of the old theme.
class PanelKeeper final : public QObject {
  public:
    explicit PanelKeeper(QWidget* w) : QObject(w), widget_(w) { w->installEventFilter(this); }

  protected:
    bool eventFilter(QObject* watched, QEvent* event) override {
        if (watched == widget_ && event->type() == QEvent::ApplicationPaletteChange)
            ApplyPanel(widget_);
        return QObject::eventFilter(watched, event);
    }

  private:
    QWidget* widget_;
};

}  // namespace

void UsePanelColours(QWidget* w) {
    // The boxes standing on the panel keep an edge that shows on it.
    UseContrastStyle();
    ApplyPanel(w);
    new PanelKeeper(w);
}

double ContrastRatio(const QColor& a, const QColor& b) {
    const double la = Luminance(a), lb = Luminance(b);
    return (std::max(la, lb) + 0.05) / (std::min(la, lb) + 0.05);
}

QColor SoftTextColour(const QPalette& panel) {
    const QColor text = panel.color(QPalette::WindowText);
    const QColor back = panel.color(QPalette::Window);
    // From halfway towards the background back to the text itself, the first
    // mix that still reads.
    for (int step = 5; step > 0; --step) {
        const double t = step / 10.0;
        const QColor mix = QColor::fromRgbF(
            static_cast<float>(text.redF() + (back.redF() - text.redF()) * t),
            static_cast<float>(text.greenF() + (back.greenF() - text.greenF()) * t),
            static_cast<float>(text.blueF() + (back.blueF() - text.blueF()) * t));
        if (ContrastRatio(mix, back) >= kReadable) return mix;
    }
    return text;
}

QColor LinkColour(const QPalette& panel) {
    const QColor link = panel.color(QPalette::Link);
    return ContrastRatio(link, panel.color(QPalette::Window)) >= kReadable
               ? link
               : panel.color(QPalette::WindowText);
}
