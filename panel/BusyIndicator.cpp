#include "BusyIndicator.h"

#include <QPainter>
#include <QTimerEvent>

namespace quorvane {

namespace {
constexpr int kFrameMs = 60;
constexpr int kStepDegrees = 30;
}  // namespace

BusyIndicator::BusyIndicator(QWidget* parent) : QWidget(parent) {
    setFixedSize(kSize, kSize);
    setAttribute(Qt::WA_TransparentForMouseEvents);
}

void BusyIndicator::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    const QColor colour = palette().color(foregroundRole());
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
