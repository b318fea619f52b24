#pragma once
// Where a window stored on another desktop comes back: a stored rectangle that
// lies off every screen (a monitor since unplugged, another scale factor) would
// open a window nobody can reach.
#include <QList>
#include <QRect>

// `frame` when its title strip can be grabbed on one of `areas` (the screens'
// available rectangles); otherwise the same size, shrunk to fit, centred on the
// first area. A frame larger than every area is shrunk to the first one as well.
QRect PlaceOnScreens(const QRect& frame, const QList<QRect>& areas);

// The available rectangles of the screens Qt knows.
QList<QRect> AvailableScreenAreas();
