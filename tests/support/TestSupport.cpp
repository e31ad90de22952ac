#include "TestSupport.h"

#include <arpa/inet.h>
#include <dirent.h>
#include <fcntl.h>
#include <ftw.h>
#include <limits.h>
#include <netinet/in.h>
#include <stdlib.h>
#include <sys/mount.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <unistd.h>

#include <signal.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <memory>
#include <sstream>
#include <thread>

#include "MountTable.h"

extern char** environ;

namespace quorvane::testing {

namespace {

int removeEntry(const char* path, const struct stat*, int, struct FTW*) {
    ::remove(path);
    return 0;
}

// Removes a scratch folder without ever stepping into another file system.
void removeTreeOnThisFileSystem(const std::string& path) {
    ::nftw(path.c_str(), removeEntry, 16, FTW_DEPTH | FTW_PHYS | FTW_MOUNT);
}

// The mount stand-in. It records its arguments and standard input, then behaves as the flag
// files beside it say. It mounts a tmpfs when "real-mounts" is there, otherwise it adds a line
// to its own mountinfo-like table "mounts"; either way it copies in the files of server/SHARE.
// The stand-ins run a few times in every logon: each program they start counts.
constexpr const char* kMountScript = R"SH(#!/bin/sh
dir=${0%/*}
{ printf 'mount_smbfs'; for a in "$@"; do printf '\t%s' "$a"; done; printf '\n'; } >> "$dir/calls.log"
if [ -t 0 ]; then input=""; else input=$(cat; echo x); input=${input%x}; fi
printf '%s\037' "$input" >> "$dir/stdin.log"
[ -f "$dir/mount-sleep" ] && sleep "$(cat "$dir/mount-sleep")"
if [ -f "$dir/password" ]; then
  want=$(cat "$dir/password"; echo x); want=${want%x}
  [ "$input" = "$want" ] || { echo "mount_smbfs: wrong user name, password or ticket" >&2; exit 4; }
fi
if [ "$1" = --check ]; then
  shift; for url; do [ -f "$dir/absent-${url##*/}" ] && echo absent || echo present; done; exit 0
fi
share=${3##*/}
[ -f "$dir/absent-$share" ] && { echo "mount_smbfs: no share named \"$share\"" >&2; exit 5; }
[ -f "$dir/fail-$share" ] && { cat "$dir/say-$share" >&2 2>/dev/null; exit "$(cat "$dir/fail-$share")"; }
[ -d "$dir/server/$share" ] || mkdir -p "$dir/server/$share"
escape() {
  case $1 in
    *[\\\ ]*) printf '%s' "$1" | sed 's/\\/\\134/g; s/ /\\040/g' ;;
    *) printf '%s' "$1" ;;
  esac
}
if [ -f "$dir/real-mounts" ]; then
  mount -t tmpfs -o size=1m quorvane-test "$4" || exit 71
else
  [ -d "$4" ] || exit 73
  source="//${3##*@}"
  if [ -f "$dir/user-sources" ]; then  # as this project's tool shows its mounts
    user=${3#smb://}; user=${user%@*}; source="smb://${user%%:*}@${3##*@}"
  fi
  printf '1 1 0:0 / %s rw - smbfs %s\n' "$(escape "$4")" "$(escape "$source")" >> "$dir/mounts"
fi
cp -R "$dir/server/$share/." "$4/" || exit 72
stop=
[ -f "$dir/stop-after" ] && { IFS= read -r stop < "$dir/stop-after" || :; }
if [ "$stop" = "$share" ]; then
  trap 'exit 0' TERM; kill -USR1 "$PPID"; sleep 5 & wait
fi
exit 0
)SH";

// The unmount stand-in. In the recorded table it takes out the last line for the folder and
// then empties the folder, as the files of a real mount vanish with it.
constexpr const char* kUnmountScript = R"SH(#!/bin/sh
dir=${0%/*}
[ -f "$dir/umount-sleep" ] && sleep "$(cat "$dir/umount-sleep")"
exec 9>>"$dir/umount.lock"; flock 9  # logout runs its unmounts at once
{ printf 'umount'; for a in "$@"; do printf '\t%s' "$a"; done; printf '\n'; } >> "$dir/calls.log"
[ -f "$dir/umount-fail" ] && exit "$(cat "$dir/umount-fail")"
[ "$1" = -f ] && shift  # detached at once: the same here
[ -f "$dir/real-mounts" ] && exec /bin/umount "$1"
case $1 in
  *[\\\ ]*) point=$(printf '%s' "$1" | sed 's/\\/\\134/g; s/ /\\040/g') ;;
  *) point=$1 ;;
esac
POINT=$point awk '
  { line[NR] = $0; if ($5 == ENVIRON["POINT"]) last = NR }
  END { for (i = 1; i <= NR; i++) if (i != last) print line[i]; exit last ? 0 : 1 }
' "$dir/mounts" > "$dir/mounts.new"
found=$?
mv "$dir/mounts.new" "$dir/mounts"
[ "$found" = 0 ] || { echo "umount: $1: not currently mounted" >&2; exit 1; }
find "$1" -mindepth 1 -delete
)SH";

void writeExecutable(const std::string& path, const std::string& contents) {
    writeFile(path, contents);
    ::chmod(path.c_str(), 0755);
}

std::vector<std::string> mountPointsBelow(const std::vector<MountEntry>& table,
                                          const std::string& folder) {
    std::vector<std::string> found;
    for (const MountEntry& entry : table) {
        if (entry.mountPoint.rfind(folder + "/", 0) == 0) {
            found.push_back(entry.mountPoint);
        }
    }
    return found;
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

std::string ProgramRun::lastLine() const {
    const std::vector<std::string> lines = splitLines(out());
    for (auto it = lines.rbegin(); it != lines.rend(); ++it) {
        if (!it->empty()) {
            return *it;
        }
    }
    return {};
}

std::map<std::string, std::string> keyValues(const std::string& text) {
    std::map<std::string, std::string> values;
    std::istringstream lines(text);
    std::string line;
    while (std::getline(lines, line)) {
        if (const size_t equals = line.find('='); equals != std::string::npos) {
            values[line.substr(0, equals)] = line.substr(equals + 1);
        }
    }
    return values;
}

std::string makeTempFolder(const std::string& stem) {
    std::string pattern = "/tmp/" + stem + "-XXXXXX";
    if (::mkdtemp(pattern.data()) == nullptr) {
        std::perror("mkdtemp");
        std::abort();
    }
    // The mount table lists resolved paths.
    char resolved[PATH_MAX];
    return ::realpath(pattern.c_str(), resolved) != nullptr ? resolved : pattern;
}

ProgramRun runProgram(const std::string& program, const std::vector<std::string>& arguments,
                      const std::map<std::string, std::string>& environment,
                      const std::optional<std::string>& input, std::chrono::milliseconds limit,
                      std::function<void(pid_t)> started, const Interruption* stop) {
    ProcessRequest request;
    request.executable = program;
    request.interruption = stop;
    request.arguments = arguments;
    request.standardInput = input;
    request.inheritStandardInput = false;
    request.captureOutput = true;
    request.timeLimit = limit;
    request.started = std::move(started);
    std::vector<std::string> variables;
    for (char** variable = environ; *variable != nullptr; ++variable) {
        const std::string text = *variable;
        if (environment.count(text.substr(0, text.find('='))) == 0) {
            variables.push_back(text);
        }
    }
    for (const auto& [name, value] : environment) {
        variables.push_back(name + "=" + value);
    }
    request.environment = std::move(variables);
    return ProgramRun{runProcess(request)};
}

ProgramRun runScriptInTempFolder(const std::string& script, const std::string& stem,
                                 const std::vector<std::string>& arguments,
                                 std::chrono::milliseconds limit) {
    const std::string folder = makeTempFolder(stem);
    std::vector<std::string> words = {sourceFolder() + "/" + script, folder};
    words.insert(words.end(), arguments.begin(), arguments.end());
    ProgramRun run = runProgram("/bin/bash", words, {}, std::nullopt, limit);
    runProgram("/bin/rm", {"-rf", "--one-file-system", folder});
    return run;
}

FakeServer::FakeServer(Kind kind) {
    listener_ = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    ::bind(listener_, reinterpret_cast<sockaddr*>(&address), sizeof address);
    socklen_t size = sizeof address;
    ::getsockname(listener_, reinterpret_cast<sockaddr*>(&address), &size);
    port_ = ntohs(address.sin_port);
    if (kind == Kind::Refusing) {
        ::close(listener_);  // the port stays free: connections are refused
        listener_ = -1;
        return;
    }
    ::listen(listener_, kind == Kind::Dropping ? 0 : 16);
    if (kind == Kind::Dropping) {
        // A backlog of 0 still takes one connection: fill it.
        for (int& filler : fillers_) {
            filler = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
            ::connect(filler, reinterpret_cast<sockaddr*>(&address), sizeof address);
        }
    }
}

FakeServer::~FakeServer() {
    for (int fd : fillers_) {
        if (fd >= 0) {
            ::close(fd);
        }
    }
    if (listener_ >= 0) {
        ::close(listener_);
    }
}

SecondUser::~SecondUser() {
    stop_.raise();
    for (std::thread& thread : running_) {
        thread.join();
    }
}

std::string SecondUser::whyNot() {
    return ::geteuid() != 0 || ::access("/usr/bin/setpriv", X_OK) != 0
               ? "needs root and setpriv (util-linux) to act as a second user"
               : "";
}

ProgramRun SecondUser::run(const std::vector<std::string>& command) const {
    std::vector<std::string> arguments{"--reuid=nobody", "--regid=nogroup", "--clear-groups"};
    arguments.insert(arguments.end(), command.begin(), command.end());
    return runProgram("/usr/bin/setpriv", arguments, {{"HOME", "/nonexistent"}}, std::nullopt,
                      std::chrono::minutes(2), nullptr, &stop_);
}

void SecondUser::start(const std::vector<std::string>& command) {
    running_.emplace_back([this, command] { run(command); });
}

TempHome::TempHome() : path_(makeTempFolder("quorvane-home")) {}

TempHome::~TempHome() {
    if (!releaseAll()) {
        std::fprintf(stderr, "warning: mounts left below %s; the folder is kept\n", path_.c_str());
        return;
    }
    // A process that ends with a released mount may still be writing in here.
    eventually([&] {
        removeTreeOnThisFileSystem(path_);
        return ::access(path_.c_str(), F_OK) != 0;
    });
}

std::map<std::string, std::string> TempHome::environment() const {
    return {{"HOME", path_}, {"XDG_CACHE_HOME", path_ + "/.cache"}};
}

ProgramRun TempHome::cli(const std::vector<std::string>& arguments,
                         const std::optional<std::string>& input) const {
    return runProgram(buildFolder() + "/bin/quorvane-cli", arguments, environment(), input);
}

ProgramRun TempHome::desk(const std::vector<std::string>& arguments,
                          const std::optional<std::string>& input) const {
    std::vector<std::string> command{buildFolder() + "/bin/quorvane"};
    command.insert(command.end(), arguments.begin(), arguments.end());
    return runProgram(sourceFolder() + "/tests/support/with-secret-service.sh", command,
                      environment(), input);
}

std::optional<std::string> TempHome::keptSecret() const {
    // Read by the desktop's own tool, not by the program under test.
    const ProgramRun lookup = runProgram(
        sourceFolder() + "/tests/support/with-secret-service.sh",
        {"sh", "-c", "secret-tool lookup server Quorvane user 'logon password' | base64 -d"},
        environment());
    if (lookup.status() != 0 || lookup.out().empty()) {
        return std::nullopt;
    }
    return lookup.out();
}

std::vector<std::string> TempHome::mountsBelow() const {
    return mountPointsBelow(readMountTable().value_or(std::vector<MountEntry>{}), path_);
}

std::vector<std::string> TempHome::mountRootEntries() const {
    std::vector<std::string> names;
    for (const MountRootEntry& entry : listMountRoot(mountRoot()).entries) {
        names.push_back(entry.name);
    }
    std::sort(names.begin(), names.end());
    return names;
}

bool TempHome::releaseAll() const {
    std::vector<std::string> mounts = mountsBelow();
    for (auto it = mounts.rbegin(); it != mounts.rend(); ++it) {  // the most recent first
#ifdef __linux__
        // Detached rather than unmounted, so that a busy or hung mount cannot hold this up;
        // without privilege, FUSE's own helper does the same for the user's mounts.
        if (::umount2(it->c_str(), MNT_DETACH) != 0) {
            runProgram("/bin/fusermount3", {"-u", "-z", "-q", *it}, {}, std::nullopt,
                       std::chrono::seconds(10));
        }
#else
        ::unmount(it->c_str(), MNT_FORCE);
#endif
    }
    return mountsBelow().empty();
}

StandInTools::StandInTools(MountMode mode) : dir_(makeTempFolder("quorvane-tools")), mode_(mode) {
    writeExecutable(mountTool(), kMountScript);
    writeExecutable(unmountTool(), kUnmountScript);
    writeFile(dir_ + "/calls.log", "");
    writeFile(dir_ + "/stdin.log", "");
    writeFile(dir_ + "/mounts", "");
    if (mode == MountMode::RealTmpfs) {
        writeFile(dir_ + "/real-mounts", "");
    }
}

StandInTools::~StandInTools() {
    removeTreeOnThisFileSystem(dir_);
}

void StandInTools::addServerFile(const std::string& share, const std::string& name,
                                 const std::string& contents) {
    ::mkdir((dir_ + "/server").c_str(), 0755);
    ::mkdir((dir_ + "/server/" + share).c_str(), 0755);
    writeFile(dir_ + "/server/" + share + "/" + name, contents);
}

void StandInTools::writeFlag(const std::string& name, const std::string& contents) {
    writeFile(dir_ + "/" + name, contents);
}

void StandInTools::failMount(const std::string& share, int status, const std::string& says) {
    if (!says.empty()) {
        writeFlag("say-" + share, says);
    }
    writeFlag("fail-" + share, std::to_string(status));
}
void StandInTools::removeShare(const std::string& share) {
    writeFlag("absent-" + share, "");
}
void StandInTools::delayMount(int seconds) {
    writeFlag("mount-sleep", std::to_string(seconds));
}
void StandInTools::delayUnmount(int seconds) {
    writeFlag("umount-sleep", std::to_string(seconds));
}
void StandInTools::stopAfterMount(const std::string& share) {
    writeFlag("stop-after", share);
}
void StandInTools::acceptOnly(const std::string& password) {
    writeFlag("password", password + "\r\n");
}
void StandInTools::showUsersInSources() {
    writeFlag("user-sources", "");
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

std::vector<MountEntry> StandInTools::recordedTable() const {
    return parseMountInfo(readFile(dir_ + "/mounts"));
}

std::vector<std::string> StandInTools::mountsBelow(const std::string& folder) const {
    if (mode_ == MountMode::Recorded) {
        return mountPointsBelow(recordedTable(), folder);
    }
    return mountPointsBelow(readMountTable().value_or(std::vector<MountEntry>{}), folder);
}

EngineConfig StandInTools::configFor(const TempHome& home, bool passwordOnStandardInput) const {
    EngineConfig config;
    config.homeFolder = home.path();
    config.mountTool = mountTool();
    config.unmountTool = unmountTool();
    config.platformWord = "osx";
    config.passwordOnStandardInput = passwordOnStandardInput;
    if (mode_ == MountMode::Recorded) {
        config.mountTable = [this](const std::string& path) {
            return findMount(recordedTable(), path);
        };
    }
    return config;
}

bool canMount() {
#ifndef __linux__
    return false;
#else
    static const bool can = [] {
        if (::geteuid() != 0) {
            return false;
        }
        const std::string probe = makeTempFolder("quorvane-probe");
        const bool mounted = ::mount("quorvane-probe", probe.c_str(), "tmpfs", 0, "size=64k") == 0;
        if (mounted) {
            ::umount2(probe.c_str(), MNT_DETACH);
        }
        ::rmdir(probe.c_str());
        return mounted;
    }();
    return can;
#endif
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
    std::ifstream in(path, std::ios::binary);
    std::ostringstream out;
    out << in.rdbuf();
    return out.str();
}

bool writeFile(const std::string& path, const std::string& contents) {
    const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0666);
    if (fd < 0) {
        return false;
    }
    const bool written =
        ::write(fd, contents.data(), contents.size()) == static_cast<ssize_t>(contents.size());
    return ::close(fd) == 0 && written;
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

bool isMounted(const std::string& path) {
    return mountAt(path).has_value();
}

}  // namespace quorvane::testing
