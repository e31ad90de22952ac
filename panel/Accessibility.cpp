#include "Accessibility.h"

#include <QAccessibleWidget>

#include "BusyIndicator.h"
#include "StatusLine.h"

namespace quorvane {

namespace {

QAccessibleInterface* panelWidgetInterface(const QString& className, QObject* object) {
    if (className == QLatin1String(BusyIndicator::staticMetaObject.className())) {
        return new QAccessibleWidget(static_cast<QWidget*>(object), QAccessible::ProgressBar);
    }
    if (className == QLatin1String(StatusLine::staticMetaObject.className())) {
        // Its name is the message, so a new message is announced as the status.
        return new QAccessibleWidget(static_cast<QWidget*>(object), QAccessible::StatusBar);
    }
    return nullptr;
}

}  // namespace

void installPanelAccessibility() {
    static const bool installed = [] {
        QAccessible::installFactory(panelWidgetInterface);
        return true;
    }();
    (void)installed;
}

}  // namespace quorvane
