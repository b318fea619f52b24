#include "ui/Accessibility.h"

#include <QAccessible>
#include <QWidget>
#include <QtGlobal>

QString SpokenCaption(const QString& caption) {
    QString out;
    out.reserve(caption.size());
    for (qsizetype i = 0; i < caption.size(); ++i) {
        if (caption[i] == u'&' && i + 1 < caption.size()) ++i;
        out += caption[i];
    }
    return out;
}

namespace {
std::function<void(QWidget*, const QString&)>& Hook() {
    static std::function<void(QWidget*, const QString&)> hook;
    return hook;
}
}  // namespace

void SetAnnouncementHook(std::function<void(QWidget* source, const QString& text)> hook) {
    Hook() = std::move(hook);
}

void AnnounceToScreenReaders(QWidget* source, const QString& text) {
    if (!source || text.isEmpty()) return;
    if (Hook()) Hook()(source, text);
#if QT_VERSION >= QT_VERSION_CHECK(6, 8, 0)
    QAccessibleAnnouncementEvent event(source, text);
    event.setPoliteness(QAccessible::AnnouncementPoliteness::Polite);
    QAccessible::updateAccessibility(&event);
#else
    // Before announcements, readers speak a status line whose name changes; the
    // source shows the text already, so its name is that text.
    QAccessibleEvent event(source, QAccessible::NameChanged);
    QAccessible::updateAccessibility(&event);
#endif
}
