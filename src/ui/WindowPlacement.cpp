#include "ui/WindowPlacement.h"

#include <QGuiApplication>
#include <QScreen>
#include <algorithm>

namespace {

// How much of the top of the frame must show to drag the window back by its title.
constexpr int kGrabHeight = 24;
constexpr int kGrabWidth = 80;

bool Reachable(const QRect& frame, const QRect& area) {
    const QRect strip(frame.left(), frame.top(), frame.width(),
                      std::min(kGrabHeight, frame.height()));
    const QRect seen = strip & area;
    return seen.height() >= std::min(kGrabHeight, frame.height()) &&
           seen.width() >= std::min(kGrabWidth, frame.width());
}

bool FitsIn(const QRect& frame, const QRect& area) {
    return frame.width() <= area.width() && frame.height() <= area.height();
}

}  // namespace

QRect PlaceOnScreens(const QRect& frame, const QList<QRect>& areas) {
    if (areas.isEmpty() || frame.isEmpty()) return frame;
    for (const QRect& area : areas)
        if (Reachable(frame, area) && FitsIn(frame, area)) return frame;
    // Reachable but too large: the same corner, shrunk and pushed inside that screen.
    for (const QRect& area : areas) {
        if (!Reachable(frame, area)) continue;
        QRect placed(frame.topLeft(), frame.size().boundedTo(area.size()));
        placed.moveRight(std::min(placed.right(), area.right()));
        placed.moveBottom(std::min(placed.bottom(), area.bottom()));
        placed.moveLeft(std::max(placed.left(), area.left()));
        placed.moveTop(std::max(placed.top(), area.top()));
        return placed;
    }
    const QRect& home = areas.front();
    QRect placed(QPoint(0, 0), frame.size().boundedTo(home.size()));
    placed.moveCenter(home.center());
    return placed;
}

QList<QRect> AvailableScreenAreas() {
    QList<QRect> areas;
    if (QScreen* primary = QGuiApplication::primaryScreen()) areas << primary->availableGeometry();
    for (QScreen* s : QGuiApplication::screens())
        if (s != QGuiApplication::primaryScreen()) areas << s->availableGeometry();
    return areas;
}
