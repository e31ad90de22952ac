#pragma once

#include <sys/types.h>

#include <string>
#include <vector>

#include "DomainFixture.h"

// A share mounted with the built mount_smbfs for the length of a test, and what tests of the
// mounted files share.
namespace quorvane::testing {

class MountedShare {
public:
    /// Mounts `share` as `user` on HOME/NAME, NAME being the share's name.
    MountedShare(TestDomain& domain, const TempHome& home, const std::string& user,
                 const std::string& share);
    ~MountedShare();
    MountedShare(const MountedShare&) = delete;
    MountedShare& operator=(const MountedShare&) = delete;

    bool mounted() const { return error_.empty(); }
    const std::string& error() const { return error_; }
    /// The mount point, or a path below it.
    std::string path(const std::string& name = "") const;
    /// The same file or folder on the server's disk.
    std::string serverPath(const std::string& name = "") const;
    /// Releases the mount with the built umount; its exit status.
    int release();

private:
    const TempHome& home_;
    std::string mountPoint_;
    std::string serverFolder_;
    std::string error_;
    bool released_ = false;
};

/// `size` bytes that differ from run to run and position to position.
std::string randomBytes(size_t size, unsigned seed);

}  // namespace quorvane::testing
