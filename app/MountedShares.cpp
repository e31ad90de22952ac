#include "MountedShares.h"

#include <MountTable.h>
#include <SMBManager.h>

#include <algorithm>

namespace quorvane {

QList<MountedShare> mountedShares(const QString& mountRoot) {
    const std::string root = mountRoot.toStdString();
    QList<MountedShare> shares;
    for (const MountRootEntry& entry : listMountRoot(root).entries) {
        if (entry.mount) {
            shares.append({QString::fromStdString(entry.name), QString::fromStdString(entry.path)});
        }
    }
    std::sort(shares.begin(), shares.end(), [](const MountedShare& a, const MountedShare& b) {
        return a.name.compare(b.name, Qt::CaseInsensitive) < 0;
    });
    return shares;
}

QString userMountRoot() {
    return QString::fromStdString(SMBManager().mountRoot());
}

}  // namespace quorvane
