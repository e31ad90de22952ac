#include "Contrast.h"

#include <algorithm>
#include <cmath>

namespace quorvane {

namespace {

constexpr int kSteps = 20;

// WCAG relative luminance.
double luminance(const QColor& colour) {
    auto channel = [](double c) {
        return c <= 0.03928 ? c / 12.92 : std::pow((c + 0.055) / 1.055, 2.4);
    };
    return 0.2126 * channel(colour.redF()) + 0.7152 * channel(colour.greenF()) +
           0.0722 * channel(colour.blueF());
}

QColor mixed(const QColor& from, const QColor& to, double share) {
    return QColor::fromRgbF(
        static_cast<float>(from.redF() + (to.redF() - from.redF()) * share),
        static_cast<float>(from.greenF() + (to.greenF() - from.greenF()) * share),
        static_cast<float>(from.blueF() + (to.blueF() - from.blueF()) * share));
}

// What a colour with transparency shows on `backdrop` (themes give dimmed text as black at
// half opacity, say).
QColor over(const QColor& colour, const QColor& backdrop) {
    return colour.alphaF() >= 1.0f ? colour : mixed(backdrop, colour, colour.alphaF());
}

QColor blackOrWhiteOn(const QColor& backdrop) {
    return luminance(backdrop) > 0.18 ? QColor(Qt::black) : QColor(Qt::white);
}

}  // namespace

double contrast(const QColor& a, const QColor& b) {
    const double la = luminance(a);
    const double lb = luminance(b);
    return (std::max(la, lb) + 0.05) / (std::min(la, lb) + 0.05);
}

QColor legibleColour(const QColor& colour, const QColor& strong, const QColor& backdrop,
                     double minimum) {
    const QColor from = over(colour, backdrop);
    const QColor to = over(strong, backdrop);
    for (int step = 0; step <= kSteps; ++step) {
        const QColor candidate = mixed(from, to, double(step) / kSteps);
        if (contrast(candidate, backdrop) >= minimum) {
            return candidate;
        }
    }
    return blackOrWhiteOn(backdrop);
}

QColor legibleFill(const QColor& fill, const QColor& text, double minimum) {
    // Away from the text: a dark fill under light text, a light one under dark text.
    const QColor away = luminance(text) > 0.18 ? QColor(Qt::black) : QColor(Qt::white);
    for (int step = 0; step <= kSteps; ++step) {
        const QColor candidate = mixed(fill, away, double(step) / kSteps);
        if (contrast(text, candidate) >= minimum) {
            return candidate;
        }
    }
    return away;
}

}  // namespace quorvane
