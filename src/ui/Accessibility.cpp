#include "ui/Accessibility.h"

#include <QAbstractItemView>
#include <QAccessible>
#include <QAccessibleWidget>
#include <QComboBox>
#include <QLineEdit>
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

namespace {

// What Qt's drop-down interface offers (the list and the field as children, the
// action that opens the list), with the name and the value kept apart.
class NamedComboBox final : public QAccessibleWidget {
  public:
    explicit NamedComboBox(QComboBox* box) : QAccessibleWidget(box, QAccessible::ComboBox) {}

    int childCount() const override { return Box()->isEditable() ? 2 : 1; }
    QAccessibleInterface* child(int index) const override {
        if (index == 0) return QAccessible::queryAccessibleInterface(Box()->view());
        if (index == 1 && Box()->isEditable())
            return QAccessible::queryAccessibleInterface(Box()->lineEdit());
        return nullptr;
    }
    int indexOfChild(const QAccessibleInterface* c) const override {
        if (!c) return -1;
        if (c->object() == Box()->view()) return 0;
        if (Box()->isEditable() && c->object() == Box()->lineEdit()) return 1;
        return -1;
    }
    QAccessibleInterface* childAt(int x, int y) const override {
        QLineEdit* field = Box()->isEditable() ? Box()->lineEdit() : nullptr;
        if (field && field->rect().contains(field->mapFromGlobal(QPoint(x, y)))) return child(1);
        return nullptr;
    }
    QString text(QAccessible::Text t) const override {
        const QString value =
            Box()->isEditable() ? Box()->lineEdit()->text() : Box()->currentText();
        if (t == QAccessible::Value) return value;
        const QString own = QAccessibleWidget::text(t);  // set name, else the label's
        return t == QAccessible::Name && own.isEmpty() ? value : own;
    }
    QStringList actionNames() const override { return {showMenuAction(), pressAction()}; }
    void doAction(const QString& action) override {
        if (action != showMenuAction() && action != pressAction()) return;
        if (Box()->view()->isVisible())
            Box()->hidePopup();
        else
            Box()->showPopup();
    }
    QStringList keyBindingsForAction(const QString&) const override { return {}; }

  private:
    QComboBox* Box() const { return static_cast<QComboBox*>(widget()); }
};

QAccessibleInterface* NamedComboBoxFactory(const QString& className, QObject* object) {
    if (className != QLatin1String("QComboBox") || !object || !object->isWidgetType())
        return nullptr;
    return new NamedComboBox(static_cast<QComboBox*>(object));
}

}  // namespace

void UseNamedComboBoxes() {
    static const bool installed = [] {
        QAccessible::installFactory(NamedComboBoxFactory);
        return true;
    }();
    (void)installed;
}
