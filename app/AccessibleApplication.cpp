#include "AccessibleApplication.h"

#include <QAccessibleObject>
#include <QAccessibleWidget>
#include <QApplication>
#include <QCoreApplication>
#include <QWidget>

#include "Popover.h"

namespace quorvane {

namespace {

class ApplicationInterface : public QAccessibleObject {
public:
    ApplicationInterface() : QAccessibleObject(qApp) {}

    QWindow* window() const override { return nullptr; }
    QAccessibleInterface* parent() const override { return nullptr; }
    int childCount() const override { return static_cast<int>(windows().size()); }
    int indexOfChild(const QAccessibleInterface* child) const override {
        return child ? static_cast<int>(windows().indexOf(child->object())) : -1;
    }
    QAccessibleInterface* child(int index) const override {
        const QObjectList shown = windows();
        return index >= 0 && index < shown.size()
                   ? QAccessible::queryAccessibleInterface(shown[index])
                   : nullptr;
    }
    QAccessibleInterface* focusChild() const override {
        QWidget* active = QApplication::activePopupWidget();
        if (!active) {
            active = QApplication::activeWindow();
        }
        return active ? QAccessible::queryAccessibleInterface(active) : nullptr;
    }
    QString text(QAccessible::Text kind) const override {
        return kind == QAccessible::Name ? QGuiApplication::applicationDisplayName() : QString();
    }
    QAccessible::Role role() const override { return QAccessible::Application; }
    QAccessible::State state() const override { return {}; }

private:
    static QObjectList windows() {
        QObjectList shown;
        for (QWidget* widget : QApplication::topLevelWidgets()) {
            if (widget->isVisible() && widget->windowType() != Qt::Desktop) {
                shown.append(widget);
            }
        }
        return shown;
    }
};

// The tray icon's own window on a tray that embeds icons (XEmbed): the toolkit gives it no name,
// so a screen reader would announce an unnamed window. Its tool tip tells the state.
class TrayIconInterface : public QAccessibleWidget {
public:
    explicit TrayIconInterface(QWidget* widget) : QAccessibleWidget(widget, QAccessible::Button) {}

    QString text(QAccessible::Text kind) const override {
        switch (kind) {
            case QAccessible::Name:
                return QCoreApplication::translate("TrayState", "Logon Client");
            case QAccessible::Description:
                return widget()->toolTip();
            default:
                return QAccessibleWidget::text(kind);
        }
    }
};

QAccessibleInterface* applicationInterface(const QString& className, QObject* object) {
    if (object && object->isWidgetType() &&
        (className == QLatin1String("QSystemTrayIconSys") ||
         object->objectName() == QLatin1String("QSystemTrayIconSys"))) {
        return new TrayIconInterface(static_cast<QWidget*>(object));
    }
    if (object == qApp && className == QLatin1String("QApplication")) {
        return new ApplicationInterface;
    }
    if (className == QLatin1String(Popover::staticMetaObject.className())) {
        return new QAccessibleWidget(static_cast<QWidget*>(object), QAccessible::Window);
    }
    return nullptr;
}

}  // namespace

void installApplicationAccessibility() {
    static const bool installed = [] {
        QAccessible::installFactory(applicationInterface);
        return true;
    }();
    (void)installed;
}

}  // namespace quorvane
