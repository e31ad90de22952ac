#pragma once

#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace quorvane {

/// One mounted file system as the kernel lists it.
struct MountEntry {
    std::string mountPoint;  // absolute, escapes undone
    std::string fileSystemType;
    std::string source;  // where it comes from, e.g. "smb://alice@fs1/alice"
    std::string root;    // the folder of the file system that is mounted there ("/" mostly)
};

/// What is mounted exactly at `path`, if anything: the one question every part of the
/// program asks of the mount table. Only the parent of `path` is resolved; the folder itself
/// is never looked at, so a hung or dead network mount cannot block the caller, and such a
/// mount still counts as mounted.
std::optional<MountEntry> mountAt(const std::string& path);

/// Where a path's mount is looked up: the system's table (mountAt) unless a caller gives
/// another.
using MountTableLookup = std::function<std::optional<MountEntry>(const std::string& path)>;

/// A visible entry of the mount root (its name does not begin with "."), and what is mounted
/// on it, if anything.
struct MountRootEntry {
    std::string name;
    std::string path;
    std::optional<MountEntry> mount;
};
struct MountRootListing {
    std::vector<MountRootEntry> entries;  // in the order the folder gives them
    std::optional<std::string> error;     // the folder could not be listed (whole or at all)
};
/// The one scan of ~/smbmounts that the workflows, the status and the tray share. It never
/// looks into a mounted folder, so a hung mount cannot block it.
MountRootListing listMountRoot(const std::string& mountRoot,
                               const MountTableLookup& mountTable = nullptr);

/// Every mount of this process's view, in mount order; nothing when it cannot be read.
/// Reading the table never touches the mounted folders, so a hung mount cannot block it.
std::optional<std::vector<MountEntry>> readMountTable();

/// The entries of a Linux /proc/self/mountinfo text; malformed lines are skipped.
std::vector<MountEntry> parseMountInfo(std::string_view text);

/// Undoes the octal escapes (\040 for a space, \134 for a backslash) of a mountinfo field.
std::string undoMountInfoEscapes(std::string_view field);

/// The last mount on exactly `mountPoint` (the one that is visible), if any.
std::optional<MountEntry> findMount(const std::vector<MountEntry>& table,
                                    const std::string& mountPoint);

/// `path` made absolute with its parent resolved (links, "..") and its last name kept as it
/// is, without looking at the last name itself: it may be a hung mount. Nothing when the
/// parent cannot be resolved or the path has no last name.
std::optional<std::string> resolveParentOnly(const std::string& path);

}  // namespace quorvane
