#include "MountedShares.h"

#include <FileServices.h>
#include <MountTable.h>
#include <SMBManager.h>

#include <algorithm>

namespace quorvane {

QList<MountedShare> mountedShares(const QString& mountRoot) {
    const std::string root = mountRoot.toStdString();
    QList<MountedShare> shares;
    for (const std::string& name : files::listVisibleEntries(root).names) {
        const std::string folder = root + "/" + name;
        if (mountAt(folder)) {
            shares.append({QString::fromStdString(name), QString::fromStdString(folder)});
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
