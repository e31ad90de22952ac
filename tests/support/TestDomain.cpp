#include "TestDomain.h"

#include <dirent.h>
#include <fcntl.h>
#include <stdlib.h>
#include <unistd.h>

#include <algorithm>
#include <iostream>

#include "MountRelease.h"
#include "ToolProcess.h"

namespace quorvane::testing {

std::string whyNoDesktop() {
    for (const char* tool : {"Xvfb", "trayer", "dunst", "xdotool", "import", "dbus-monitor",
                             "dbus-run-session", "gnome-keyring-daemon"}) {
        if (tools::findProgram(tool).empty()) {
            return std::string(tool) + " is not installed (scripts/install-deps.sh)";
        }
    }
    return "";
}

std::string whyNoRealMounts() {
    const int fd = ::open("/dev/fuse", O_RDWR | O_CLOEXEC);
    if (fd < 0) {
        return "FUSE is not available here (/dev/fuse cannot be opened)";
    }
    ::close(fd);
    for (const char* program : {"fusermount3", "smbpasswd"}) {
        if (tools::findProgram(program).empty()) {
            return std::string(program) + " is not installed (scripts/install-deps.sh)";
        }
    }
    if (::access("/usr/sbin/smbd", X_OK) != 0) {
        return "smbd is not installed (scripts/install-deps.sh)";
    }
    return {};
}

TestDomain::~TestDomain() {
    stop();
}

bool TestDomain::start(std::string* error) {
    folder_ = makeTempFolder("quorvane-domain");
    const std::string script = sourceFolder() + "/scripts/testdomain.sh";
    const std::map<std::string, std::string> environment = {
        {"QUORVANE_TESTDOMAIN_EXTRA_SHARES", std::to_string(extraShares_)}};
    const ProgramRun started = runProgram("/bin/bash", {script, "start", folder_}, environment,
                                          std::nullopt, std::chrono::seconds(60));
    for (const std::string& line : splitLines(started.out())) {
        if (line.rfind("QUORVANE_TESTDOMAIN_PORT=", 0) == 0) {
            port_ = std::stoi(line.substr(line.find('=') + 1));
        }
    }
    if (!started.result.succeeded() || port_ == 0) {
        *error = "the test domain did not start: " + started.err();
        port_ = 0;
        return false;
    }
    const ProgramRun users = runProgram("/bin/bash", {script, "users", folder_}, {}, std::nullopt);
    for (const std::string& line : splitLines(users.out())) {
        const size_t tab1 = line.find('\t');
        const size_t tab2 = line.find('\t', tab1 + 1);
        if (tab1 == std::string::npos || tab2 == std::string::npos) {
            continue;
        }
        DemoUser user{line.substr(0, tab1), line.substr(tab1 + 1, tab2 - tab1 - 1),
                      line.substr(tab2 + 1)};
        users_[user.name] = user;
    }
    if (users_.empty()) {
        *error = "the test domain lists no users";
        return false;
    }
    return true;
}

void TestDomain::stop() {
    if (folder_.empty()) {
        return;
    }
    const ProgramRun cleaned =
        runProgram("/bin/bash", {sourceFolder() + "/scripts/testdomain.sh", "clean", folder_}, {},
                   std::nullopt, std::chrono::seconds(30));
    if (!cleaned.result.succeeded()) {
        std::cerr << "warning: the test domain in " << folder_
                  << " was not cleaned up: " << cleaned.err() << std::endl;
    }
    port_ = 0;
    folder_.clear();
}

std::string TestDomain::server() const {
    return "127.0.0.1:" + std::to_string(port_);
}

const DemoUser& TestDomain::user(const std::string& name) const {
    return users_.at(name);
}

std::string TestDomain::serverPath(const std::string& share) const {
    if (users_.count(share) != 0) {
        return folder_ + "/homes/" + share;
    }
    return folder_ + "/shares/" + share;
}

bool TestDomain::setPassword(const std::string& user, const std::string& password) {
    const ProgramRun changed = runProgram(
        "/bin/bash", {sourceFolder() + "/scripts/testdomain.sh", "passwd", folder_, user}, {},
        password + "\n", std::chrono::seconds(30));
    if (!changed.result.succeeded()) {
        return false;
    }
    users_[user].password = password;
    return true;
}

bool TestDomain::dropSessions() {
    // smbd ends the processes that serve the connections (every child of the main one but its
    // helpers) a moment after it is asked: the sessions are gone once those processes are.
    const std::vector<pid_t> all = serverProcesses();
    std::vector<pid_t> serving;
    for (pid_t pid : all) {
        const std::string proc = "/proc/" + std::to_string(pid);
        const std::string status = readFile(proc + "/status");
        const size_t parent = status.find("PPid:\t");
        const bool child =
            parent != std::string::npos &&
            std::find(all.begin(), all.end(), std::atoi(status.c_str() + parent + 6)) != all.end();
        if (child && readFile(proc + "/comm") == "smbd\n") {
            serving.push_back(pid);
        }
    }
    return runProgram("/bin/bash", {sourceFolder() + "/scripts/testdomain.sh", "drop", folder_})
               .result.succeeded() &&
           eventually([&] {
               return std::none_of(serving.begin(), serving.end(), [&](pid_t pid) {
                   return readFile("/proc/" + std::to_string(pid) + "/cmdline").find(folder_) !=
                          std::string::npos;
               });
           });
}

int TestDomain::authentications(const std::string& user, bool accepted) const {
    // With "auth_audit:3" smbd logs one "Auth:" line per authentication attempt.
    int count = 0;
    DIR* logs = ::opendir((folder_ + "/log").c_str());
    while (const dirent* entry = logs != nullptr ? ::readdir(logs) : nullptr) {
        const std::string name = entry->d_name;
        if (name.size() < 4 || name.substr(name.size() - 4) != ".log") {
            continue;
        }
        for (const std::string& line : splitLines(readFile(folder_ + "/log/" + name))) {
            count += line.find("Auth: ") != std::string::npos &&
                     line.find("\\[" + user + "]") != std::string::npos &&
                     (line.find("NT_STATUS_OK") != std::string::npos) == accepted;
        }
    }
    if (logs != nullptr) {
        ::closedir(logs);
    }
    return count;
}

std::vector<pid_t> TestDomain::serverProcesses() const {
    std::vector<pid_t> pids;
    const std::string config = folder_ + "/smb.conf";
    DIR* proc = ::opendir("/proc");
    while (const dirent* entry = proc != nullptr ? ::readdir(proc) : nullptr) {
        const std::string name = entry->d_name;
        if (!name.empty() && name.find_first_not_of("0123456789") == std::string::npos &&
            readFile("/proc/" + name + "/cmdline").find(config) != std::string::npos) {
            pids.push_back(std::stoi(name));
        }
    }
    if (proc != nullptr) {
        ::closedir(proc);
    }
    return pids;
}

int daemonOf(const std::string& mountPoint) {
    return tools::findMountDaemon(mountPoint);
}

bool waitForNoDaemon(const std::string& mountPoint, std::chrono::milliseconds limit) {
    return eventually([&] { return daemonOf(mountPoint) < 0; }, limit);
}

}  // namespace quorvane::testing
