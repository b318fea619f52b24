#pragma once
// The theme's own style with edges that can be seen: the boxes of check boxes
// (in the windows and in the list's cells) and the rings of radio buttons get an
// outline of at least 3:1 against what they stand on, in any palette. Many
// styles draw it in a shade of the window colour, which vanishes on a panel in
// the base colour (a dark theme's box border #303030 on #3D3D3D is 1.2:1).
class QColor;

// Puts the style in place for the whole program, once; later calls do nothing.
void UseContrastStyle();
// The colour for an edge on `ground`: `ink` (the text colour there) mixed as far
// towards the ground as it stays at 3:1, so the edge is as quiet as it may be.
QColor EdgeColour(const QColor& ink, const QColor& ground);
