#include "ShareHealthWatch.h"

#include <QCoreApplication>
#include <QPointer>
#include <thread>

#include "MountTable.h"

namespace quorvane {

ShareHealthWatch::ShareHealthWatch(QString mountRoot, QObject* parent)
    : QObject(parent), mountRoot_(std::move(mountRoot)) {}

int ShareHealthWatch::brokenCount() const {
    int broken = 0;
    for (ShareCondition condition : conditions_) {
        broken += isBroken(condition) ? 1 : 0;
    }
    return broken;
}

void ShareHealthWatch::checkNow() {
    if (running_) {
        again_ = true;
        return;
    }
    running_ = true;
    // A thread of its own, let go: a check takes a few seconds at most and must never hold
    // up Quit. It keeps nothing but its copies; the answer reaches this object only if it is
    // still there.
    QPointer<ShareHealthWatch> self(this);
    std::thread([self, root = mountRoot_.toStdString()] {
        QMap<QString, ShareCondition> found;
        for (const ShareState& share : checkMountRoot(listMountRoot(root))) {
            if (share.mount) {
                found.insert(QString::fromStdString(share.name), share.condition);
            }
        }
        QMetaObject::invokeMethod(
            qApp,
            [self, found] {
                if (self) {
                    self->finish(found);
                }
            },
            Qt::QueuedConnection);
    }).detach();
}

void ShareHealthWatch::noteQuickly() {
    QMap<QString, ShareCondition> conditions = conditions_;
    const MountRootListing listing = listMountRoot(mountRoot_.toStdString());
    std::vector<std::optional<MountEntry>> mounts;
    for (const MountRootEntry& entry : listing.entries) {
        mounts.push_back(entry.mount);
    }
    const std::vector<std::optional<ShareCondition>> quick = quickConditions(mounts);
    for (size_t i = 0; i < listing.entries.size(); ++i) {
        const QString name = QString::fromStdString(listing.entries[i].name);
        if (!listing.entries[i].mount) {
            conditions.remove(name);
        } else if (quick[i]) {
            conditions.insert(name, *quick[i]);
        }
    }
    if (conditions != conditions_) {
        conditions_ = conditions;
        emit checked();
    }
}

void ShareHealthWatch::finish(const QMap<QString, ShareCondition>& conditions) {
    running_ = false;
    // Only news: the menu is rebuilt on it, which would lose the user's place in an open menu.
    if (conditions != conditions_) {
        conditions_ = conditions;
        emit checked();
    }
    if (again_) {
        again_ = false;
        checkNow();
    } else {
        emit finished();
    }
}

}  // namespace quorvane
