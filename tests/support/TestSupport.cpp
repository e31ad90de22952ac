#include "TestSupport.h"

#include <stdlib.h>
#include <sys/mount.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <iostream>
#include <sstream>

namespace fs = std::filesystem;

namespace quorvane::testing {

namespace {

std::string makeTempFolder(const char* pattern) {
    std::string templ = std::string("/tmp/") + pattern + "XXXXXX";
    if (::mkdtemp(templ.data()) == nullptr) {
        std::perror("mkdtemp");
        std::abort();
    }
    return templ;
}

void unmountEverythingUnder(const std::string& folder) {
    std::vector<std::string> mounts = mountsUnder(folder);
    for (auto it = mounts.rbegin(); it != mounts.rend(); ++it) {
        ::umount2(it->c_str(), MNT_DETACH);
    }
}

// The mount stand-in. It records its arguments and standard input, then behaves as the
// flag files beside it say; as root it mounts a tmpfs filled from server/SHARE.
constexpr const char* kMountScript = R"SH(#!/bin/sh
dir=$(dirname "$0")
{ printf 'mount_smbfs'; for a in "$@"; do printf '\t%s' "$a"; done; printf '\n'; } >> "$dir/calls.log"
if [ -t 0 ]; then input=""; else input=$(cat; echo x); input=${input%x}; fi
printf '%s\037' "$input" >> "$dir/stdin.log"
[ -f "$dir/mount-sleep" ] && sleep "$(cat "$dir/mount-sleep")"
share=${3##*/}
[ -f "$dir/fail-$share" ] && exit "$(cat "$dir/fail-$share")"
mkdir -p "$dir/server/$share"
if [ "$(id -u)" = 0 ]; then
  mount -t tmpfs -o size=1m quorvane-test "$4" || exit 71
fi
cp -R "$dir/server/$share/." "$4/" || exit 72
exit 0
)SH";

constexpr const char* kUnmountScript = R"SH(#!/bin/sh
dir=$(dirname "$0")
{ printf 'umount'; for a in "$@"; do printf '\t%s' "$a"; done; printf '\n'; } >> "$dir/calls.log"
[ -f "$dir/umount-sleep" ] && sleep "$(cat "$dir/umount-sleep")"
[ -f "$dir/umount-fail" ] && exit "$(cat "$dir/umount-fail")"
exec /bin/umount "$1"
)SH";

void writeExecutable(const std::string& path, const std::string& contents) {
    writeFile(path, contents);
    ::chmod(path.c_str(), 0755);
}

}  // namespace

TempHome::TempHome() : path_(makeTempFolder("quorvane-home-")) {}

TempHome::~TempHome() {
    unmountEverythingUnder(path_);
    std::error_code ignored;
    fs::remove_all(path_, ignored);
}

StandInTools::StandInTools() : dir_(makeTempFolder("quorvane-tools-")) {
    writeExecutable(mountTool(), kMountScript);
    writeExecutable(unmountTool(), kUnmountScript);
    writeFile(dir_ + "/calls.log", "");
    writeFile(dir_ + "/stdin.log", "");
}

StandInTools::~StandInTools() {
    std::error_code ignored;
    fs::remove_all(dir_, ignored);
}

void StandInTools::addServerFile(const std::string& share, const std::string& name,
                                 const std::string& contents) {
    fs::create_directories(dir_ + "/server/" + share);
    writeFile(dir_ + "/server/" + share + "/" + name, contents);
}

void StandInTools::writeFlag(const std::string& name, const std::string& contents) {
    writeFile(dir_ + "/" + name, contents);
}

void StandInTools::failMount(const std::string& share, int status) {
    writeFlag("fail-" + share, std::to_string(status));
}
void StandInTools::delayMount(int seconds) {
    writeFlag("mount-sleep", std::to_string(seconds));
}
void StandInTools::delayUnmount(int seconds) {
    writeFlag("umount-sleep", std::to_string(seconds));
}
void StandInTools::failUnmount(int status) {
    writeFlag("umount-fail", std::to_string(status));
}

std::vector<std::vector<std::string>> StandInTools::calls() const {
    std::vector<std::vector<std::string>> calls;
    for (const std::string& line : splitLines(readFile(dir_ + "/calls.log"))) {
        std::vector<std::string> call;
        std::istringstream fields(line);
        std::string field;
        while (std::getline(fields, field, '\t')) {
            call.push_back(field);
        }
        calls.push_back(call);
    }
    return calls;
}

std::vector<std::string> StandInTools::standardInputs() const {
    std::vector<std::string> inputs;
    std::istringstream records(readFile(dir_ + "/stdin.log"));
    std::string record;
    while (std::getline(records, record, '\037')) {
        inputs.push_back(record);
    }
    return inputs;
}

EngineConfig StandInTools::configFor(const TempHome& home, bool passwordOnStandardInput) const {
    EngineConfig config;
    config.homeFolder = home.path();
    config.mountTool = mountTool();
    config.unmountTool = unmountTool();
    config.platformWord = "osx";
    config.passwordOnStandardInput = passwordOnStandardInput;
    return config;
}

bool canMount() {
    static const bool can = [] {
        if (::geteuid() != 0) {
            return false;
        }
        const std::string probe = makeTempFolder("quorvane-probe-");
        const bool mounted = ::mount("quorvane-probe", probe.c_str(), "tmpfs", 0, "size=64k") == 0;
        if (mounted) {
            ::umount2(probe.c_str(), MNT_DETACH);
        }
        ::rmdir(probe.c_str());
        return mounted;
    }();
    return can;
}

std::string readFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream out;
    out << in.rdbuf();
    return out.str();
}

void writeFile(const std::string& path, const std::string& contents) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out << contents;
}

std::vector<std::string> splitLines(const std::string& text) {
    std::vector<std::string> lines;
    std::istringstream in(text);
    std::string line;
    while (std::getline(in, line)) {
        lines.push_back(line);
    }
    return lines;
}

std::vector<std::string> mountsUnder(const std::string& folder) {
    std::vector<std::string> found;
    std::ifstream mountinfo("/proc/self/mountinfo");
    std::string line;
    while (std::getline(mountinfo, line)) {
        std::istringstream fields(line);
        std::string id, parent, device, root, mountPoint;
        fields >> id >> parent >> device >> root >> mountPoint;
        for (size_t at; (at = mountPoint.find("\\040")) != std::string::npos;) {
            mountPoint.replace(at, 4, " ");
        }
        if (mountPoint.rfind(folder + "/", 0) == 0) {
            found.push_back(mountPoint);
        }
    }
    return found;
}

}  // namespace quorvane::testing
