#include "ui/Accessibility.h"

#include <QAbstractItemView>
#include <QAccessible>
#include <QAccessibleWidget>
#include <QComboBox>
#include <QLineEdit>
#include <QTimer>
#include <QWidget>
#include <QtGlobal>
#include <algorithm>

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

namespace {

constexpr char kNoticeName[] = "KelvaneAnnouncement";
constexpr int kNoticeShownMs = 15000;

// The notice is a notification to a reader (AT-SPI "notification"), which a
// reader speaks the moment it shows, wherever the focus is.
QAccessibleInterface* NoticeFactory(const QString& className, QObject* object) {
    if (className != QLatin1String("QWidget") || !object || !object->isWidgetType() ||
        object->objectName() != QLatin1String(kNoticeName))
        return nullptr;
    return new QAccessibleWidget(static_cast<QWidget*>(object), QAccessible::Notification);
}

// An empty, pixel-sized child of the window that paints nothing: its only
// purpose is to show, with the text as its name, when something is announced.
QWidget* NoticeOf(QWidget* source) {
    static const bool installed = [] {
        QAccessible::installFactory(NoticeFactory);
        return true;
    }();
    (void)installed;
    QWidget* window = source->window();
    auto* notice =
        window->findChild<QWidget*>(QLatin1String(kNoticeName), Qt::FindDirectChildrenOnly);
    if (notice) return notice;
    notice = new QWidget(window);
    notice->setObjectName(QLatin1String(kNoticeName));
    notice->setAttribute(Qt::WA_TransparentForMouseEvents);
    notice->setFocusPolicy(Qt::NoFocus);
    notice->setGeometry(0, 0, 1, 1);
    notice->hide();
    return notice;
}

}  // namespace

void AnnounceToScreenReaders(QWidget* source, const QString& text) {
    if (!source || text.isEmpty()) return;
    if (Hook()) Hook()(source, text);
#if QT_VERSION >= QT_VERSION_CHECK(6, 8, 0)
    QAccessibleAnnouncementEvent event(source, text);
    event.setPoliteness(QAccessible::AnnouncementPoliteness::Polite);
    QAccessible::updateAccessibility(&event);
#else
    // The status line's name changes (a reader on it hears that), and a
    // notification shows with the text, which a reader speaks wherever it is.
    QAccessibleEvent event(source, QAccessible::NameChanged);
    QAccessible::updateAccessibility(&event);
    QWidget* notice = NoticeOf(source);
    notice->hide();
    notice->setAccessibleName(text);
    notice->show();
    QTimer::singleShot(kNoticeShownMs, notice, [notice, text] {
        if (notice->accessibleName() == text) notice->hide();
    });
#endif
}

namespace {

// What Qt's drop-down interface offers (the list and the field as children, the
// action that opens the list), with the name and the value kept apart.
// The value of a drop-down that cannot be typed in is also its text, read-only:
// a reader that asks a drop-down for its text (as over AT-SPI) hears the choice.
class NamedComboBox final : public QAccessibleWidget, public QAccessibleTextInterface {
  public:
    explicit NamedComboBox(QComboBox* box) : QAccessibleWidget(box, QAccessible::ComboBox) {}

    void* interface_cast(QAccessible::InterfaceType t) override {
        if (t == QAccessible::TextInterface && !Box()->isEditable())
            return static_cast<QAccessibleTextInterface*>(this);
        return QAccessibleWidget::interface_cast(t);
    }
    // ---- QAccessibleTextInterface: the current item, read-only ----
    void selection(int, int* start, int* end) const override { *start = *end = 0; }
    int selectionCount() const override { return 0; }
    void addSelection(int, int) override {}
    void removeSelection(int) override {}
    void setSelection(int, int, int) override {}
    int cursorPosition() const override { return 0; }
    void setCursorPosition(int) override {}
    QString text(int start, int end) const override {
        const QString v = Box()->currentText();
        if (end < 0 || end > v.size()) end = static_cast<int>(v.size());
        start = std::clamp(start, 0, end);
        return v.mid(start, end - start);
    }
    int characterCount() const override { return static_cast<int>(Box()->currentText().size()); }
    QRect characterRect(int) const override { return {}; }
    int offsetAtPoint(const QPoint&) const override { return -1; }
    void scrollToSubstring(int, int) override {}
    QString attributes(int offset, int* start, int* end) const override {
        *start = *end = offset;
        return {};
    }

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
