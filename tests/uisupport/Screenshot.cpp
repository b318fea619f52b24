#include "uisupport/Screenshot.h"

#include <QDir>
#include <QPixmap>
#include <QWidget>

QString SaveScreenshot(QWidget* widget, const QString& name) {
    QDir dir(QStringLiteral(KELVANE_BUILD_DIR "/screenshots"));
    if (!dir.exists() && !dir.mkpath(QStringLiteral("."))) return {};
    QString file = dir.filePath(name + QStringLiteral(".png"));
    return widget->grab().save(file) ? file : QString();
}
