#pragma once
// Where a window stored on another desktop comes back: a stored rectangle that
// lies partly or wholly off the screens (a monitor since unplugged, another scale
// factor, which changes the screen's size in the window's pixels) would open a
// window whose buttons nobody can reach.
#include <QList>
#include <QRect>

// `frame` when the whole of it lies on one of `areas` (the screens' available
// rectangles, in the pixels of the current scale); otherwise it is pulled whole
// onto the area it overlaps most (the first when it overlaps none): shrunk to
// that area where it is larger, moved as little as it takes, and centred when it
// came from off every area.
QRect PlaceOnScreens(const QRect& frame, const QList<QRect>& areas);

// The available rectangles of the screens Qt knows, the primary first.
QList<QRect> AvailableScreenAreas();
