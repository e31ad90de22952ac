#include <limits.h>
#include <unistd.h>

#include <iostream>

#include "EngineConfig.h"

namespace quorvane {

std::string executableFolder() {
    char path[PATH_MAX];
    const ssize_t n = ::readlink("/proc/self/exe", path, sizeof path - 1);
    if (n <= 0) {
        return {};
    }
    const std::string exe(path, static_cast<size_t>(n));
    return exe.substr(0, exe.rfind('/'));
}

// Linux has no SMB mount tool of this shape, so the program ships its own two beside it:
// bin/quorvane finds them in libexec/quorvane, in the build tree and once installed.
EngineConfig EngineConfig::platformDefault() {
    const std::string tools = executableFolder() + "/../" QUORVANE_TOOLS_SUBDIR "/";
    EngineConfig config;
    config.homeFolder = defaultHomeFolder();
    config.mountTool = tools + "mount_smbfs";
    config.unmountTool = tools + "umount";
    config.ticketLister = "/usr/bin/klist";
    config.platformWord = "linux";
    config.passwordOnStandardInput = true;
    config.mountToolExitStatusesKnown = true;
    config.mountToolChecksShares = true;
    config.diagnostics = &std::cout;
    return config;
}

}  // namespace quorvane
