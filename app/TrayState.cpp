#include "TrayState.h"

#include <QPainter>

#include "Artwork.h"

namespace quorvane {

namespace {

const QString kStatusItemName = QStringLiteral("Logon Client");

QString badgeOf(TrayState state) {
    switch (state) {
        case TrayState::loggedOff:
            return {};
        case TrayState::busy:
            return QStringLiteral(":/quorvane/badge-busy.svg");
        case TrayState::loggedOn:
            return QStringLiteral(":/quorvane/badge-on.svg");
        case TrayState::sharesLeftMounted:
            return QStringLiteral(":/quorvane/badge-left.svg");
        case TrayState::sharesBroken:
            return QStringLiteral(":/quorvane/badge-broken.svg");
    }
    return {};
}

QString shareCount(int count) {
    return count == 1 ? QStringLiteral("1 share") : QStringLiteral("%1 shares").arg(count);
}

}  // namespace

QString trayToolTip(const TrayStatus& status) {
    QString words;
    switch (status.state) {
        case TrayState::loggedOff:
            words = status.mountedShares == 0 ? QStringLiteral("logged off")
                                              : QStringLiteral("logged off, %1 still mounted")
                                                    .arg(shareCount(status.mountedShares));
            break;
        case TrayState::busy:
            words =
                status.loggingOut ? QStringLiteral("logging out…") : QStringLiteral("logging on…");
            break;
        case TrayState::loggedOn:
            words = QStringLiteral("logged on, %1 mounted").arg(shareCount(status.mountedShares));
            break;
        case TrayState::sharesLeftMounted:
            words = QStringLiteral("some shares could not be released (%1 still mounted)")
                        .arg(shareCount(status.mountedShares));
            break;
        case TrayState::sharesBroken:
            words = QStringLiteral("some shares broken (%1 of %2 not working)")
                        .arg(status.brokenShares)
                        .arg(shareCount(status.mountedShares));
            break;
    }
    return kStatusItemName + QStringLiteral(": ") + words;
}

QIcon trayStateIcon(TrayState state, qreal devicePixelRatio) {
    const QString badge = badgeOf(state);
    QIcon result;
    for (int side : {16, 22, 24, 32, 48, 64}) {
        QPixmap pixmap = artwork::pixmap(artwork::kLaptop, QSize(side, side), devicePixelRatio);
        if (!badge.isEmpty()) {
            // Bottom right, over the laptop's corner: large enough to tell apart at 16 pixels.
            const int badgeSide = (side * 5 + 4) / 8;
            QPainter painter(&pixmap);
            painter.drawPixmap(
                side - badgeSide, side - badgeSide,
                artwork::pixmap(badge, QSize(badgeSide, badgeSide), devicePixelRatio));
        }
        result.addPixmap(pixmap);
    }
    return result;
}

}  // namespace quorvane
