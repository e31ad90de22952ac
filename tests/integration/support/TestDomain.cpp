#include "TestDomain.h"

#include <dirent.h>
#include <fcntl.h>
#include <ftw.h>
#include <limits.h>
#include <signal.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <fstream>
#include <iostream>
#include <sstream>
#include <stdexcept>
#include <thread>

#include "MountRelease.h"
#include "MountTable.h"

extern char** environ;

namespace quorvane::testing {

namespace {

std::string makeTemporaryFolder(const std::string& stem) {
    std::string pattern = "/tmp/" + stem + "-XXXXXX";
    if (::mkdtemp(pattern.data()) == nullptr) {
        throw std::runtime_error("mkdtemp failed");
    }
    return pattern;
}

std::vector<std::string> splitLines(const std::string& text) {
    std::vector<std::string> lines;
    std::istringstream stream(text);
    std::string line;
    while (std::getline(stream, line)) {
        lines.push_back(line);
    }
    return lines;
}

int removeEntry(const char* path, const struct stat*, int, struct FTW*) {
    ::remove(path);
    return 0;
}

// Removes a scratch folder without ever stepping into another file system.
void removeTreeOnThisFileSystem(const std::string& path) {
    ::nftw(path.c_str(), removeEntry, 16, FTW_DEPTH | FTW_PHYS | FTW_MOUNT);
}

}  // namespace

std::string sourceFolder() {
    return QUORVANE_SOURCE_DIR;
}

std::string buildFolder() {
    return QUORVANE_BUILD_DIR;
}

std::string toolsFolder() {
    return QUORVANE_TOOLS_DIR;
}

bool underCi() {
    const char* ci = std::getenv("CI");
    return ci != nullptr && std::string(ci) == "true";
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
    folder_ = makeTemporaryFolder("quorvane-domain");
    const std::string script = sourceFolder() + "/scripts/testdomain.sh";
    const ProgramRun started = runProgram("/bin/bash", {script, "start", folder_}, {}, std::nullopt,
                                          std::chrono::seconds(60));
    for (const std::string& line : splitLines(started.out())) {
        if (line.rfind("QUORVANE_TESTDOMAIN_PORT=", 0) == 0) {
            port_ = std::stoi(line.substr(line.find('=') + 1));
        }
    }
    if (!started.child.succeeded() || port_ == 0) {
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
    if (!cleaned.child.succeeded()) {
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

int TestDomain::failedLogons(const std::string& user) const {
    // With "auth_audit:3" smbd logs one "Auth:" line per authentication attempt.
    int count = 0;
    DIR* logs = ::opendir((folder_ + "/log").c_str());
    if (logs == nullptr) {
        return 0;
    }
    while (const dirent* entry = ::readdir(logs)) {
        const std::string name = entry->d_name;
        if (name.size() < 4 || name.substr(name.size() - 4) != ".log") {
            continue;
        }
        for (const std::string& line : splitLines(readFile(folder_ + "/log/" + name))) {
            if (line.find("Auth: ") != std::string::npos &&
                line.find("\\[" + user + "]") != std::string::npos &&
                line.find("NT_STATUS_OK") == std::string::npos) {
                ++count;
            }
        }
    }
    ::closedir(logs);
    return count;
}

std::string ProgramRun::lastLine() const {
    const std::vector<std::string> lines = splitLines(out());
    for (auto it = lines.rbegin(); it != lines.rend(); ++it) {
        if (!it->empty()) {
            return *it;
        }
    }
    return {};
}

std::vector<std::string> environmentWith(const std::map<std::string, std::string>& overrides) {
    std::vector<std::string> variables;
    for (char** entry = environ; entry != nullptr && *entry != nullptr; ++entry) {
        const std::string variable(*entry);
        if (overrides.count(variable.substr(0, variable.find('='))) == 0) {
            variables.push_back(variable);
        }
    }
    for (const auto& [name, value] : overrides) {
        variables.push_back(name + "=" + value);
    }
    return variables;
}

ProgramRun runProgram(const std::string& program, const std::vector<std::string>& arguments,
                      const std::map<std::string, std::string>& environment,
                      const std::optional<std::string>& input, std::chrono::milliseconds limit,
                      const std::function<void(pid_t)>& started) {
    ProcessRequest request;
    request.executable = program;
    request.arguments = arguments;
    request.environment = environmentWith(environment);
    request.standardInput = input;
    request.inheritStandardInput = false;
    request.captureOutput = true;
    request.timeLimit = limit;
    request.started = started;
    return ProgramRun{runProcess(request)};
}

ScratchHome::ScratchHome() : path_(makeTemporaryFolder("quorvane-home")) {
    // The mount table lists resolved paths.
    char resolved[PATH_MAX];
    if (::realpath(path_.c_str(), resolved) != nullptr) {
        path_ = resolved;
    }
}

ScratchHome::~ScratchHome() {
    if (!releaseAll()) {
        std::cerr << "warning: mounts left below " << path_ << "; the folder is kept\n";
        return;
    }
    removeTreeOnThisFileSystem(path_);
}

std::map<std::string, std::string> ScratchHome::environment() const {
    return {{"HOME", path_}, {"XDG_CACHE_HOME", path_ + "/.cache"}};
}

ProgramRun ScratchHome::cli(const std::vector<std::string>& arguments,
                            const std::optional<std::string>& input) const {
    return runProgram(buildFolder() + "/bin/quorvane-cli", arguments, environment(), input);
}

ProgramRun ScratchHome::cliWith(const std::vector<std::string>& arguments,
                                const std::optional<std::string>& input,
                                const std::function<void(pid_t)>& started) const {
    return runProgram(buildFolder() + "/bin/quorvane-cli", arguments, environment(), input,
                      std::chrono::seconds(120), started);
}

std::vector<std::string> ScratchHome::mountsBelow() const {
    std::vector<std::string> found;
    for (const MountEntry& entry : quorvane::mountsBelow(path_)) {
        found.push_back(entry.mountPoint);
    }
    return found;
}

std::vector<std::string> ScratchHome::mountRootEntries() const {
    std::vector<std::string> names;
    DIR* folder = ::opendir(mountRoot().c_str());
    if (folder == nullptr) {
        return names;
    }
    while (const dirent* entry = ::readdir(folder)) {
        if (entry->d_name[0] != '.') {
            names.emplace_back(entry->d_name);
        }
    }
    ::closedir(folder);
    std::sort(names.begin(), names.end());
    return names;
}

bool ScratchHome::releaseAll() const {
    const std::string fusermount = tools::findProgram("fusermount3");
    std::vector<std::string> mounts = mountsBelow();
    std::reverse(mounts.begin(), mounts.end());  // the most recent first
    for (const std::string& mountPoint : mounts) {
        const int daemon = daemonOf(mountPoint);
        if (daemon > 0) {
            ::kill(daemon, SIGCONT);  // a test may have stopped it
        }
        ProcessRequest release;
        release.executable = fusermount;
        release.arguments = {"-u", "-z", "-q", mountPoint};
        release.inheritStandardInput = false;
        release.timeLimit = std::chrono::seconds(10);
        runProcess(release);
        if (daemon > 0) {
            ::kill(daemon, SIGKILL);
        }
        waitForNoDaemon(mountPoint, std::chrono::seconds(5));
    }
    return mountsBelow().empty();
}

int daemonOf(const std::string& mountPoint) {
    return tools::findMountDaemon(mountPoint);
}

bool waitForNoDaemon(const std::string& mountPoint, std::chrono::milliseconds limit) {
    return eventually([&] { return daemonOf(mountPoint) < 0; }, limit);
}

bool eventually(const std::function<bool()>& condition, std::chrono::milliseconds limit) {
    const auto deadline = std::chrono::steady_clock::now() + limit;
    while (!condition()) {
        if (std::chrono::steady_clock::now() >= deadline) {
            return false;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    return true;
}

std::string readFile(const std::string& path) {
    std::ifstream file(path, std::ios::binary);
    std::ostringstream text;
    text << file.rdbuf();
    return text.str();
}

bool writeFile(const std::string& path, const std::string& text) {
    // Written and closed with plain calls, so that an error at write or close shows.
    const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0666);
    if (fd < 0) {
        return false;
    }
    const bool written = ::write(fd, text.data(), text.size()) == static_cast<ssize_t>(text.size());
    return ::close(fd) == 0 && written;
}

bool isMounted(const std::string& path) {
    return mountAt(path).has_value();
}

}  // namespace quorvane::testing
