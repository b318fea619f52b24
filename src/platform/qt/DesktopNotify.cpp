#include "platform/qt/DesktopNotify.h"

#include <QDBusConnection>
#include <QDBusMessage>
#include <QStringList>
#include <QVariantMap>

namespace {

bool SendOverSessionBus(const QString& summary, const QString& body) {
    QDBusConnection bus = QDBusConnection::sessionBus();
    if (!bus.isConnected()) return false;
    QDBusMessage call = QDBusMessage::createMethodCall(
        QStringLiteral("org.freedesktop.Notifications"),
        QStringLiteral("/org/freedesktop/Notifications"),
        QStringLiteral("org.freedesktop.Notifications"), QStringLiteral("Notify"));
    call << QStringLiteral("Kelvane") << 0u << QStringLiteral("edit-delete") << summary << body
         << QStringList() << QVariantMap() << -1;
    // Not waited for: a slow or missing notification service must not hold the window.
    return bus.send(call);
}

DesktopNotifier& Notifier() {
    static DesktopNotifier notifier;
    return notifier;
}

}  // namespace

bool NotifyDesktop(const QString& summary, const QString& body) {
    if (Notifier()) return Notifier()(summary, body);
    return SendOverSessionBus(summary, body);
}

void SetDesktopNotifier(DesktopNotifier notifier) {
    Notifier() = std::move(notifier);
}
