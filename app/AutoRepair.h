#pragma once

#include <QMap>
#include <QObject>
#include <QPointer>
#include <functional>

#include "Notices.h"
#include "ShareHealth.h"

namespace quorvane {

class ContentView;
class ShareHealthWatch;

/// What follows the check after a wake or a network change.
enum class RepairStep {
    nothing,
    tellAway,   // every broken share's server is out of reach: say so once
    reconnect,  // shares are broken that a remount can repair
};
RepairStep repairStepFor(const QMap<QString, ShareCondition>& conditions, bool awayTold);

/// Repairs the shares after the computer woke or the network changed, without a click: once
/// per event, through the panel's Reconnect, which tries a kept password or the Kerberos ticket
/// once and releases nothing without a replacement. A refused credential stops it and the
/// panel asks. A server out of reach is told once, not as a failure per share or logon; a
/// logon at login that found it out of reach is tried again at the next network change.
class AutoRepair : public QObject {
    Q_OBJECT

public:
    AutoRepair(ContentView* contentView, ShareHealthWatch* health, std::function<void()> showPanel,
               std::function<void(const Notice&)> tell, QObject* parent = nullptr);

    /// The computer woke from sleep, or the network changed.
    void systemChanged();

private:
    void checkFinished();
    void awayNotice();

    QPointer<ContentView> contentView_;
    ShareHealthWatch* health_;
    std::function<void()> showPanel_;
    std::function<void(const Notice&)> tell_;
    bool pending_ = false;    // an event waits for its check
    bool repairing_ = false;  // the running reconnect is ours
    bool awayTold_ = false;
    bool logonAway_ = false;  // the last logon found the server out of reach
};

}  // namespace quorvane
