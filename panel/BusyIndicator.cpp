#include "BusyIndicator.h"

#include <QPainter>
#include <QTimerEvent>

namespace quorvane {

namespace {
constexpr int kFrameMs = 60;
constexpr int kStepDegrees = 30;
constexpr double kMinimumContrast = 3.0;  // WCAG's threshold for graphics
}  // namespace

void BusyIndicator::setBackdrop(const QColor& backdrop) {
    backdrop_ = backdrop;
    update();
}

QColor BusyIndicator::arcColour() const {
    // The indicator sits in a disabled button while it turns, so the disabled colours of the
    // palette (pale on pale) are never used.
    const QPalette& colours = palette();
    const QColor backdrop =
        backdrop_.isValid() ? backdrop_ : colours.color(QPalette::Active, QPalette::Button);
    QColor best = colours.color(QPalette::Active, QPalette::ButtonText);
    for (const QColor& candidate : {colours.color(QPalette::Active, QPalette::WindowText),
                                    colours.color(QPalette::Active, QPalette::Highlight)}) {
        if (contrast(candidate, backdrop) > contrast(best, backdrop)) {
            best = candidate;
        }
    }
    return legibleColour(best, best, backdrop, kMinimumContrast);
}

BusyIndicator::BusyIndicator(QWidget* parent) : QWidget(parent) {
    setFixedSize(kSize, kSize);
    setAttribute(Qt::WA_TransparentForMouseEvents);
    setAccessibleName(tr("Busy"));
    setAccessibleDescription(tr("A logon or logout is running."));
}

void BusyIndicator::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    const QColor colour = arcColour();
    const QRectF box = QRectF(rect()).adjusted(2, 2, -2, -2);
    QColor track = colour;
    track.setAlphaF(0.25f);
    painter.setPen(QPen(track, 2));
    painter.drawEllipse(box);
    painter.setPen(QPen(colour, 2, Qt::SolidLine, Qt::RoundCap));
    painter.drawArc(box, -angle_ * 16, 100 * 16);
}

void BusyIndicator::showEvent(QShowEvent* event) {
    QWidget::showEvent(event);
    timer_.start(kFrameMs, this);
}

void BusyIndicator::hideEvent(QHideEvent* event) {
    timer_.stop();
    QWidget::hideEvent(event);
}

void BusyIndicator::timerEvent(QTimerEvent* event) {
    if (event->timerId() != timer_.timerId()) {
        QWidget::timerEvent(event);
        return;
    }
    angle_ = (angle_ + kStepDegrees) % 360;
    update();
}

}  // namespace quorvane
