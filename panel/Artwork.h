#pragma once

#include <QIcon>
#include <QPixmap>
#include <QString>

namespace quorvane::artwork {

inline const QString kAppLogo = QStringLiteral(":/quorvane/AppLogo.svg");
inline const QString kLaptop = QStringLiteral(":/quorvane/laptop.svg");
inline const QString kPower = QStringLiteral(":/quorvane/power.svg");

/// The SVG resource drawn at `size` logical pixels, sharp at `devicePixelRatio`, keeping its
/// aspect ratio and centred; a transparent pixmap when the resource cannot be read.
QPixmap pixmap(const QString& resource, QSize size, qreal devicePixelRatio);

/// The SVG resource as an icon with pixmaps for the usual small sizes.
QIcon icon(const QString& resource, qreal devicePixelRatio);

}  // namespace quorvane::artwork
