#pragma once
// Colours from the running theme. The upper part of the main window and the
// dialogs stand on a panel in the theme's base colour (white in a light theme,
// as the program has always looked), with the theme's text colour on it; they
// follow the theme when it changes, so a dark or high-contrast theme stays
// readable.
class QColor;
class QPalette;
class QWidget;

// The panel colours on `w` and everything in it, kept in step with the theme.
void UsePanelColours(QWidget* w);
// The WCAG contrast ratio of two colours (1 to 21).
double ContrastRatio(const QColor& a, const QColor& b);
// A quieter text than the theme's own for secondary lines, still readable on the
// panel (contrast at least 4.5).
QColor SoftTextColour(const QPalette& panel);
// The theme's link colour where it reads on the panel, else its text colour.
QColor LinkColour(const QPalette& panel);
