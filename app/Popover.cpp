#include "Popover.h"

#include "PanelPlatform.h"

#include <QGuiApplication>
#include <QMouseEvent>
#include <QPainter>
#include <QScreen>
#include <QVBoxLayout>

namespace quorvane {

namespace {
constexpr qint64 kOutsideClickWindowMs = 300;
}  // namespace

Popover::Popover(QWidget* content) : QWidget(nullptr, Qt::Popup | Qt::FramelessWindowHint) {
    setObjectName(QStringLiteral("popover"));
    // The name under which assistive technology lists the pop-up among the program's windows.
    setWindowTitle(panelTitle());
    setAccessibleName(panelTitle());
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(content);
    content->setParent(this);
    // The panel's own fixed frame decides the size, so nothing of it is clipped.
    layout->setSizeConstraint(QLayout::SetFixedSize);
}

QRect Popover::placement(const QRect& anchor, const QSize& size, const QRect& screen) {
    QPoint topLeft;
    if (anchor.isEmpty()) {
        topLeft = QPoint(screen.right() + 1 - size.width() - kGap, screen.top() + kGap);
    } else {
        topLeft = QPoint(anchor.center().x() - size.width() / 2, anchor.bottom() + 1 + kGap);
        if (topLeft.y() + size.height() > screen.bottom() + 1) {
            // A tray at the bottom of the screen: open above the icon.
            topLeft.setY(anchor.top() - kGap - size.height());
        }
    }
    topLeft.setX(qBound(screen.left(), topLeft.x(), screen.right() + 1 - size.width()));
    topLeft.setY(qBound(screen.top(), topLeft.y(), screen.bottom() + 1 - size.height()));
    return QRect(topLeft, size);
}

QRect Popover::screenArea() const {
    QScreen* screen = anchor_.isEmpty() ? nullptr : QGuiApplication::screenAt(anchor_.center());
    if (!screen) {
        screen = QGuiApplication::primaryScreen();
    }
    if (!screen) {
        return QRect(0, 0, 1024, 768);
    }
    return anchor_.isEmpty() ? screen->availableGeometry() : screen->geometry();
}

void Popover::showAt(const QRect& anchor) {
    anchor_ = anchor;
    adjustSize();
    setGeometry(placement(anchor_, size(), screenArea()));
    show();
    raise();
    activateWindow();
}

void Popover::resizeEvent(QResizeEvent* event) {
    QWidget::resizeEvent(event);
    // The panel grows with a long message: keep the grown pop-up on the screen.
    if (isVisible()) {
        const QRect placed = placement(anchor_, size(), screenArea());
        if (placed.topLeft() != pos()) {
            move(placed.topLeft());
        }
    }
}

bool Popover::justClosedByOutsideClick() const {
    return outsideClose_.isValid() && outsideClose_.elapsed() < kOutsideClickWindowMs;
}

void Popover::mousePressEvent(QMouseEvent* event) {
    if (!rect().contains(event->position().toPoint())) {
        outsideClose_.start();
    }
    QWidget::mousePressEvent(event);
}

}  // namespace quorvane

namespace quorvane {

void Popover::paintEvent(QPaintEvent*) {
    // A pop-up has no frame from the window manager: draw a thin edge so it stands apart.
    QPainter painter(this);
    painter.fillRect(rect(), palette().window());
    painter.setPen(palette().color(QPalette::Mid));
    painter.drawRect(rect().adjusted(0, 0, -1, -1));
}

}  // namespace quorvane
