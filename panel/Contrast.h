#pragma once

#include <QColor>

namespace quorvane {

/// WCAG's threshold for text of ordinary size.
inline constexpr double kTextContrast = 4.5;

/// The WCAG contrast ratio of two colours, from 1 (the same) to 21 (black on white).
double contrast(const QColor& a, const QColor& b);

/// `colour` as shown on `backdrop` (transparency resolved), moved as little as needed towards
/// `strong` until it reaches `minimum` against `backdrop`; black or white when even `strong`
/// does not. The result is opaque.
QColor legibleColour(const QColor& colour, const QColor& strong, const QColor& backdrop,
                     double minimum = kTextContrast);

/// `fill` darkened or lightened until `text` on it reaches `minimum`.
QColor legibleFill(const QColor& fill, const QColor& text, double minimum = kTextContrast);

}  // namespace quorvane
