#include "OtherUser.h"

#include <pwd.h>
#include <unistd.h>

namespace quorvane::testing {

OtherUser::OtherUser() : setpriv_("/usr/bin/setpriv") {
    const passwd* nobody = ::getpwnam("nobody");
    if (::geteuid() != 0) {
        whyNot_ = "needs root to run commands as a second user";
    } else if (nobody == nullptr || ::access(setpriv_.c_str(), X_OK) != 0) {
        whyNot_ = "needs the user nobody and setpriv (util-linux)";
    } else {
        uid_ = nobody->pw_uid;
    }
}

OtherUser::~OtherUser() {
    stop_.raise();
    for (std::thread& thread : running_) {
        thread.join();
    }
}

std::vector<std::string> OtherUser::asOtherUser(const std::vector<std::string>& command) const {
    const std::string id = std::to_string(uid_);
    std::vector<std::string> arguments{"--reuid=" + id, "--regid=" + id, "--clear-groups", "--"};
    arguments.insert(arguments.end(), command.begin(), command.end());
    return arguments;
}

ProgramRun OtherUser::run(const std::vector<std::string>& command) const {
    return runProgram(setpriv_, asOtherUser(command), {{"HOME", "/nonexistent"}});
}

void OtherUser::start(const std::vector<std::string>& command) {
    ProcessRequest request;
    request.executable = setpriv_;
    request.arguments = asOtherUser(command);
    request.inheritStandardInput = false;
    request.captureOutput = true;
    request.timeLimit = std::chrono::minutes(2);
    request.interruption = &stop_;
    running_.emplace_back([request] { runProcess(request); });
}

}  // namespace quorvane::testing
