#pragma once

#include <QList>
#include <QString>

namespace quorvane {

struct MountedShare {
    QString name;    // the folder's name in the mount root: the share, or the user's home
    QString folder;  // its full path
};

/// The visible entries of `mountRoot` that are mounted volumes, sorted by name. Reads the
/// mount table, never the mounts themselves, so a hung share cannot block the caller.
QList<MountedShare> mountedShares(const QString& mountRoot);

/// The mount root of the user running the program.
QString userMountRoot();

}  // namespace quorvane
