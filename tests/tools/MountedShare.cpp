#include "MountedShare.h"

#include <dirent.h>
#include <sys/stat.h>

#include <random>

#include "SmbUrl.h"

namespace quorvane::testing {

MountedShare::MountedShare(TestDomain& domain, const TempHome& home, const std::string& user,
                           const std::string& share)
    : home_(home), mountPoint_(home.path() + "/" + share), serverFolder_(domain.serverPath(share)) {
    ::mkdir(mountPoint_.c_str(), 0755);
    const ProgramRun run =
        runProgram(toolsFolder() + "/mount_smbfs",
                   {"-f", "777", buildSmbUrl(user, nullptr, domain.server(), share), mountPoint_},
                   home.environment(), domain.user(user).password, std::chrono::seconds(30));
    if (run.status() != 0) {
        error_ = "mount_smbfs failed (" + std::to_string(run.status()) + "): " + run.err();
    }
}

MountedShare::~MountedShare() {
    if (mounted() && !released_) {
        release();
    }
}

std::string MountedShare::path(const std::string& name) const {
    return name.empty() ? mountPoint_ : mountPoint_ + "/" + name;
}

std::string MountedShare::serverPath(const std::string& name) const {
    return name.empty() ? serverFolder_ : serverFolder_ + "/" + name;
}

int MountedShare::release() {
    released_ = true;
    return runProgram(toolsFolder() + "/umount", {mountPoint_}, home_.environment(), std::nullopt,
                      std::chrono::seconds(30))
        .status();
}

std::string randomBytes(size_t size, unsigned seed) {
    std::mt19937 generator(seed);
    std::string bytes(size, '\0');
    for (char& c : bytes) {
        c = static_cast<char>(generator() & 0xff);
    }
    return bytes;
}

}  // namespace quorvane::testing
