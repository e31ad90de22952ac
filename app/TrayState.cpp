#include "TrayState.h"

#include <QCoreApplication>
#include <QPainter>

#include "Artwork.h"

namespace quorvane {

namespace {

// The context under which translators find these texts.
struct TrayTexts {
    Q_DECLARE_TR_FUNCTIONS(TrayState)
};

QString badgeOf(TrayState state) {
    switch (state) {
        case TrayState::loggedOff:
            return {};
        case TrayState::busy:
            return QStringLiteral(":/quorvane/badge-busy.svg");
        case TrayState::loggedOn:
            return QStringLiteral(":/quorvane/badge-on.svg");
        case TrayState::partlyLoggedOn:
            return QStringLiteral(":/quorvane/badge-partly.svg");
        case TrayState::sharesLeftMounted:
            return QStringLiteral(":/quorvane/badge-left.svg");
        case TrayState::sharesBroken:
            return QStringLiteral(":/quorvane/badge-broken.svg");
    }
    return {};
}

}  // namespace

QString trayToolTip(const TrayStatus& status) {
    QString words;
    switch (status.state) {
        case TrayState::loggedOff:
            words = status.mountedShares == 0
                        ? TrayTexts::tr("logged off")
                        : TrayTexts::tr("logged off, %n share(s) still mounted", nullptr,
                                        status.mountedShares);
            break;
        case TrayState::busy:
            words =
                status.loggingOut ? TrayTexts::tr("logging out…") : TrayTexts::tr("logging on…");
            break;
        case TrayState::loggedOn:
            words = TrayTexts::tr("logged on, %n share(s) mounted", nullptr, status.mountedShares);
            break;
        case TrayState::partlyLoggedOn:
            words = TrayTexts::tr("logged on, %n share(s) mounted", nullptr, status.mountedShares);
            if (status.notMountedShares > 0) {
                words +=
                    TrayTexts::tr(", %n could not be mounted", nullptr, status.notMountedShares);
            }
            break;
        case TrayState::sharesLeftMounted:
            words = TrayTexts::tr("some shares could not be released (%n share(s) still mounted)",
                                  nullptr, status.mountedShares);
            break;
        case TrayState::sharesBroken:
            words = TrayTexts::tr("some shares broken (%1 of %n share(s) not working)", nullptr,
                                  status.mountedShares)
                        .arg(status.brokenShares);
            break;
    }
    return TrayTexts::tr("Logon Client") + QStringLiteral(": ") + words;
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
