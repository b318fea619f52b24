#include "ui/ContrastStyle.h"

#include <QApplication>
#include <QColor>
#include <QPainter>
#include <QPointer>
#include <QProxyStyle>
#include <QStyleOption>
#include <QWidget>

#include "ui/ThemeColours.h"

namespace {

constexpr double kVisibleEdge = 3.0;

class ContrastStyle final : public QProxyStyle {
  public:
    explicit ContrastStyle(const QString& base) : QProxyStyle(base) {
        setObjectName(QStringLiteral("KelvaneContrastStyle"));
    }

    void drawPrimitive(PrimitiveElement element, const QStyleOption* option, QPainter* painter,
                       const QWidget* widget) const override {
        QProxyStyle::drawPrimitive(element, option, painter, widget);
        const bool box = element == PE_IndicatorCheckBox;
        const bool cell = element == PE_IndicatorItemViewItemCheck;
        const bool ring = element == PE_IndicatorRadioButton;
        if (!(box || cell || ring) || !option || !painter) return;
        const QPalette& pal = option->palette;
        const bool selected = cell && (option->state & State_Selected);
        const QColor ground = selected ? pal.color(QPalette::Highlight)
                              : cell   ? pal.color(QPalette::Base)
                                       : pal.color(QPalette::Window);
        const QColor ink = selected ? pal.color(QPalette::HighlightedText)
                           : cell   ? pal.color(QPalette::Text)
                                    : pal.color(QPalette::WindowText);
        QColor edge = EdgeColour(ink, ground);
        if (!(option->state & State_Enabled)) edge.setAlphaF(0.6f);
        painter->save();
        painter->setBrush(Qt::NoBrush);
        painter->setPen(QPen(edge, 1));
        const QRect r = option->rect.adjusted(0, 0, -1, -1);
        if (ring) {
            painter->setRenderHint(QPainter::Antialiasing, true);
            painter->drawEllipse(QRectF(r).adjusted(0.5, 0.5, -0.5, -0.5));
        } else {
            painter->drawRect(r);
        }
        painter->restore();
    }
};

}  // namespace

QColor EdgeColour(const QColor& ink, const QColor& ground) {
    // From far towards the ground back to the ink itself: the first mix that shows.
    for (int step = 7; step > 0; --step) {
        const double t = step / 10.0;
        const QColor mix = QColor::fromRgbF(
            static_cast<float>(ink.redF() + (ground.redF() - ink.redF()) * t),
            static_cast<float>(ink.greenF() + (ground.greenF() - ink.greenF()) * t),
            static_cast<float>(ink.blueF() + (ground.blueF() - ink.blueF()) * t));
        if (ContrastRatio(mix, ground) >= kVisibleEdge) return mix;
    }
    if (ContrastRatio(ink, ground) >= kVisibleEdge) return ink;
    // An ink that does not show either: black or white, whichever shows more.
    return ContrastRatio(Qt::black, ground) >= ContrastRatio(Qt::white, ground) ? QColor(Qt::black)
                                                                                : QColor(Qt::white);
}

void UseContrastStyle() {
    if (!qApp || dynamic_cast<ContrastStyle*>(QApplication::style())) return;
    const QString base = QApplication::style() ? QApplication::style()->name() : QString();
    QApplication::setStyle(new ContrastStyle(base));
}
