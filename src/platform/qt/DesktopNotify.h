#pragma once
// A message in the desktop's notification area (freedesktop Notifications over
// the session bus). The sender can be replaced, so that tests never need a bus.
#include <QString>
#include <functional>

using DesktopNotifier =
    std::function<bool(const QString& summary, const QString& body, const QString& icon)>;

// True when the message was handed on; false without a session bus or service.
// It carries the program's own icon: the one installed under the name of its
// desktop entry.
bool NotifyDesktop(const QString& summary, const QString& body);
// That icon's name.
QString NotifyIconName();
// Replaces the sender; an empty one restores the session bus.
void SetDesktopNotifier(DesktopNotifier notifier);
