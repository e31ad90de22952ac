#pragma once

#include <optional>
#include <string>
#include <vector>

namespace quorvane::files {

/// The whole file as bytes, or nothing when it cannot be read.
std::optional<std::string> readWholeFile(const std::string& path);

/// A file's bytes, or why there are none.
struct FileContents {
    std::optional<std::string> bytes;
    std::string error;  // "PATH: cause" when `bytes` is empty
};
/// The whole file when it holds at most `maxBytes`. A larger file counts as unreadable; no
/// more than `maxBytes` + 1 bytes are ever read into memory, whatever size the file claims.
FileContents readFileUpTo(const std::string& path, size_t maxBytes);

/// Creates the folder with any missing parents, each one open to its owner only; an existing
/// folder is success. On failure returns a readable description of the error.
std::optional<std::string> createFolders(const std::string& path);

/// Makes the folder open to its owner only, so that no other user can list it or put anything
/// in it; a folder of another user's is refused. On failure returns the reason.
std::optional<std::string> keepPrivate(const std::string& path);

/// Whether what stands at `path` (a link itself, not what it leads to) belongs to another user
/// than the one this process runs as; false when nothing stands there.
bool belongsToAnotherUser(const std::string& path);

/// True when anything (folder, file, link) stands at `path`.
bool exists(const std::string& path);

struct Listing {
    std::vector<std::string> names;  // visible entries, in the order the folder gives them
    std::optional<std::string> error;
};
/// The folder's direct entries whose names do not begin with ".".
Listing listVisibleEntries(const std::string& folder);

/// Removes `folder/name` only when it is an empty folder on the same file system; a file, a
/// link, a folder with contents or a mounted folder stays. True when it was removed.
bool removeEmptyFolder(const std::string& folder, const std::string& name);

/// Description of an errno value as one readable line.
std::string describeError(int errorNumber);

}  // namespace quorvane::files
