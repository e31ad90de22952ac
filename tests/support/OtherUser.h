#pragma once

#include <sys/types.h>

#include <string>
#include <thread>
#include <vector>

#include "ProcessRunner.h"
#include "TestSupport.h"

namespace quorvane::testing {

/// A second local user of this machine ("nobody"), as an attacker on a shared computer: its
/// commands run through setpriv, which takes root.
class OtherUser {
public:
    OtherUser();
    /// Ends whatever it still runs.
    ~OtherUser();
    OtherUser(const OtherUser&) = delete;
    OtherUser& operator=(const OtherUser&) = delete;

    /// Empty when commands can run as the other user; otherwise why not.
    const std::string& whyNot() const { return whyNot_; }
    uid_t uid() const { return uid_; }

    /// Runs `command` (an absolute path and its arguments) as the other user to its end.
    ProgramRun run(const std::vector<std::string>& command) const;
    /// Starts `command` as the other user and leaves it running until this value goes.
    void start(const std::vector<std::string>& command);

private:
    std::vector<std::string> asOtherUser(const std::vector<std::string>& command) const;

    std::string setpriv_;
    std::string whyNot_;
    uid_t uid_ = 0;
    Interruption stop_;
    std::vector<std::thread> running_;
};

}  // namespace quorvane::testing
