#include "ToolProcess.h"

#include <signal.h>
#include <sys/stat.h>
#include <time.h>
#include <unistd.h>

#include <csignal>
#include <cstdlib>

#include "CatchStopSignals.h"

namespace quorvane::tools {

namespace {

volatile std::sig_atomic_t g_stopSignal = 0;

void onStopSignal(int signalNumber) {
    g_stopSignal = signalNumber;
}

}  // namespace

void installStopHandlers() {
    // For the whole life of the tool, exit included (never put back: a signal during exit
    // would otherwise end a tool that has finished its work); no restart: a blocked read or
    // poll returns with EINTR.
    static const CatchStopSignals* const caught = new CatchStopSignals(onStopSignal, false);
    (void)caught;
    // A reader that went away must show as an error, not end the tool half-way.
    ::signal(SIGPIPE, SIG_IGN);
}

int stopSignal() {
    return g_stopSignal;
}

std::string findProgram(const std::string& name) {
    std::string path;
    if (const char* value = std::getenv("PATH")) {
        path = value;
    }
    path += ":/usr/bin:/bin";
    size_t start = 0;
    while (start <= path.size()) {
        const size_t colon = path.find(':', start);
        const std::string folder =
            path.substr(start, colon == std::string::npos ? std::string::npos : colon - start);
        start = colon == std::string::npos ? path.size() + 1 : colon + 1;
        if (folder.empty() || folder.front() != '/') {
            continue;  // a relative entry would depend on the working folder
        }
        const std::string candidate = folder + "/" + name;
        struct stat info {};
        if (::stat(candidate.c_str(), &info) == 0 && S_ISREG(info.st_mode) &&
            ::access(candidate.c_str(), X_OK) == 0) {
            return candidate;
        }
    }
    return {};
}

bool pause(std::chrono::milliseconds duration) {
    if (g_stopSignal != 0) {
        return false;
    }
    timespec wait{static_cast<time_t>(duration.count() / 1000),
                  static_cast<long>((duration.count() % 1000) * 1000000)};
    ::nanosleep(&wait, nullptr);  // a stop signal cuts it short
    return g_stopSignal == 0;
}

}  // namespace quorvane::tools
