#pragma once

// The Linux unmount tool, with the contract of the macOS one: `umount MOUNTPOINT` releases a mount made by
// mount_smbfs, fails while the mount is busy, and never waits long on a server that is gone.
namespace quorvane::tools {

int runUmount(int argc, char** argv);

}  // namespace quorvane::tools
