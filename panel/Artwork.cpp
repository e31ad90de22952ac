#include "Artwork.h"

#include <QPainter>
#include <QSvgRenderer>

// Resources of a static library are registered by hand; outside any namespace, as Qt asks.
static void registerArtwork() {
    Q_INIT_RESOURCE(quorvane);
}

namespace quorvane::artwork {

QPixmap pixmap(const QString& resource, QSize size, qreal devicePixelRatio) {
    static const bool registered = (registerArtwork(), true);
    Q_UNUSED(registered);

    QPixmap result(size * devicePixelRatio);
    result.setDevicePixelRatio(devicePixelRatio);
    result.fill(Qt::transparent);
    QSvgRenderer renderer(resource);
    if (!renderer.isValid()) {
        return result;
    }
    QSizeF drawn = renderer.defaultSize();
    drawn.scale(size, Qt::KeepAspectRatio);
    const QRectF target((size.width() - drawn.width()) / 2, (size.height() - drawn.height()) / 2,
                        drawn.width(), drawn.height());
    QPainter painter(&result);
    renderer.render(&painter, target);
    return result;
}

QIcon icon(const QString& resource, qreal devicePixelRatio) {
    QIcon result;
    for (int side : {16, 22, 24, 32, 48, 64}) {
        result.addPixmap(pixmap(resource, QSize(side, side), devicePixelRatio));
    }
    return result;
}

}  // namespace quorvane::artwork
