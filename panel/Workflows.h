#pragma once

#include <QString>
#include <functional>

namespace quorvane {

/// The two engine workflows as the panel sees them. Both are called on a worker thread, so
/// whatever they capture must be safe to use from there; each returns one status message.
struct Workflows {
    std::function<QString(const QString& serverText, const QString& userName,
                          const QString& password)>
        logon;
    std::function<QString()> logout;
};

/// The real engine's `performLogon` and `disconnectAllShares`.
Workflows engineWorkflows();

}  // namespace quorvane
