#include <mach-o/dyld.h>

#include <iostream>
#include <vector>

#include "EngineConfig.h"

namespace quorvane {

std::string executableFolder() {
    uint32_t size = 0;
    _NSGetExecutablePath(nullptr, &size);
    std::vector<char> path(size + 1, '\0');
    if (_NSGetExecutablePath(path.data(), &size) != 0) {
        return {};
    }
    const std::string exe(path.data());
    return exe.substr(0, exe.rfind('/'));
}

EngineConfig EngineConfig::platformDefault() {
    EngineConfig config;
    config.homeFolder = defaultHomeFolder();
    config.mountTool = "/sbin/mount_smbfs";
    config.unmountTool = "/sbin/umount";
    config.ticketLister = "/usr/bin/klist";
    config.platformWord = "osx";
    config.passwordOnStandardInput = false;
    config.diagnostics = &std::cout;
    return config;
}

}  // namespace quorvane
