#pragma once
#include <QString>
class QWidget;
// Saves widget->grab() as <build>/screenshots/<name>.png so a person can look at it.
// Returns the file written, or an empty string.
QString SaveScreenshot(QWidget* widget, const QString& name);
