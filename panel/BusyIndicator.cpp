#include "BusyIndicator.h"

#include <QPainter>
#include <QTimerEvent>
#include <algorithm>
#include <cmath>

namespace quorvane {

namespace {
constexpr int kFrameMs = 60;
constexpr int kStepDegrees = 30;
constexpr double kMinimumContrast = 3.0;

// WCAG relative luminance.
double luminance(const QColor& colour) {
    auto channel = [](double c) {
        return c <= 0.03928 ? c / 12.92 : std::pow((c + 0.055) / 1.055, 2.4);
    };
    return 0.2126 * channel(colour.redF()) + 0.7152 * channel(colour.greenF()) +
           0.0722 * channel(colour.blueF());
}
}  // namespace

double contrast(const QColor& a, const QColor& b) {
    const double la = luminance(a);
    const double lb = luminance(b);
    return (std::max(la, lb) + 0.05) / (std::min(la, lb) + 0.05);
}

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
    if (contrast(best, backdrop) < kMinimumContrast) {
        best = luminance(backdrop) > 0.18 ? QColor(Qt::black) : QColor(Qt::white);
    }
    return best;
}

BusyIndicator::BusyIndicator(QWidget* parent) : QWidget(parent) {
    setFixedSize(kSize, kSize);
    setAttribute(Qt::WA_TransparentForMouseEvents);
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
