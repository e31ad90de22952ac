#pragma once

#include <stddef.h>
#include <sys/statvfs.h>

#include <string>

// Where SMB and POSIX differ, settled on this side of the server: names and paths that SMB
// cannot hold are refused before anything is sent, and the library's free space becomes bytes.
namespace quorvane::tools {

/// Longest path below the share's top folder (not counting the leading "/") that the server
/// both makes and removes: Samba creates deeper folders but opens the share-relative path to
/// remove one, which Linux refuses from PATH_MAX (4,096) bytes on. Longer paths are refused
/// for every call alike.
inline constexpr size_t kLongestPath = 4095;

/// 0 when the server may be asked about `path` ("/" or "/dir/name"). -ENAMETOOLONG for a name
/// longer than kLongestName or a path longer than kLongestPath; -EINVAL for a name holding a
/// character that SMB cannot store (\ : * ? " < > |), which the server would take for a
/// separator, a stream or a wildcard (as the Linux kernel's SMB client refuses them).
int refusedPath(const char* path);

/// The library's answer in bytes: without Unix extensions it gives bytes per sector in f_bsize,
/// sectors per allocation unit in f_frsize and the counts in allocation units; with SMB1 Unix
/// extensions the block size in f_bsize only. Afterwards both sizes are the allocation unit.
void statvfsInBytes(struct statvfs* out);

/// Whether `path` is `folder` or lies below it ("/a/b" is below "/a", "/ab" is not).
bool isAtOrBelow(const std::string& path, const std::string& folder);

}  // namespace quorvane::tools
