#include "platform/qt/DesktopNotify.h"

#include <QDBusConnection>
#include <QDBusMessage>
#include <QGuiApplication>
#include <QStringList>
#include <QVariantMap>

namespace {

bool SendOverSessionBus(const QString& summary, const QString& body, const QString& icon) {
    QDBusConnection bus = QDBusConnection::sessionBus();
    if (!bus.isConnected()) return false;
    QDBusMessage call = QDBusMessage::createMethodCall(
        QStringLiteral("org.freedesktop.Notifications"),
        QStringLiteral("/org/freedesktop/Notifications"),
        QStringLiteral("org.freedesktop.Notifications"), QStringLiteral("Notify"));
    QVariantMap hints;
    if (!QGuiApplication::desktopFileName().isEmpty())
        hints.insert(QStringLiteral("desktop-entry"), QGuiApplication::desktopFileName());
    call << QStringLiteral("Kelvane") << 0u << icon << summary << body << QStringList() << hints
         << -1;
    // Not waited for: a slow or missing notification service must not hold the window.
    return bus.send(call);
}

DesktopNotifier& Notifier() {
    static DesktopNotifier notifier;
    return notifier;
}

}  // namespace

QString NotifyIconName() {
    const QString entry = QGuiApplication::desktopFileName();
    return entry.isEmpty() ? QStringLiteral("kelvane") : entry;
}

bool NotifyDesktop(const QString& summary, const QString& body) {
    if (Notifier()) return Notifier()(summary, body, NotifyIconName());
    return SendOverSessionBus(summary, body, NotifyIconName());
}

void SetDesktopNotifier(DesktopNotifier notifier) {
    Notifier() = std::move(notifier);
}
