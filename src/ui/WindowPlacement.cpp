#include "ui/WindowPlacement.h"

#include <QGuiApplication>
#include <QScreen>
#include <algorithm>

namespace {

qint64 Overlap(const QRect& a, const QRect& b) {
    const QRect both = a & b;
    return both.isEmpty() ? 0 : qint64(both.width()) * both.height();
}

}  // namespace

QRect PlaceOnScreens(const QRect& frame, const QList<QRect>& areas) {
    if (areas.isEmpty() || frame.isEmpty()) return frame;
    for (const QRect& area : areas)
        if (area.contains(frame)) return frame;
    const QRect* home = &areas.front();
    qint64 best = 0;
    for (const QRect& area : areas)
        if (const qint64 o = Overlap(frame, area); o > best) best = o, home = &area;
    QRect placed(frame.topLeft(), frame.size().boundedTo(home->size()));
    if (best == 0) {
        placed.moveCenter(home->center());
        return placed;
    }
    placed.moveRight(std::min(placed.right(), home->right()));
    placed.moveBottom(std::min(placed.bottom(), home->bottom()));
    placed.moveLeft(std::max(placed.left(), home->left()));
    placed.moveTop(std::max(placed.top(), home->top()));
    return placed;
}

QList<QRect> AvailableScreenAreas() {
    QList<QRect> areas;
    if (QScreen* primary = QGuiApplication::primaryScreen()) areas << primary->availableGeometry();
    for (QScreen* s : QGuiApplication::screens())
        if (s != QGuiApplication::primaryScreen()) areas << s->availableGeometry();
    return areas;
}
