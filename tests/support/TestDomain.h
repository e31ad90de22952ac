#pragma once

#include <chrono>
#include <map>
#include <string>
#include <vector>

#include "TestSupport.h"

// What the tests against the real server share: the private domain of
// scripts/testdomain.sh and the mount daemons serving it.
namespace quorvane::testing {

/// Empty when real mounts can be made here; otherwise why not.
std::string whyNoRealMounts();
/// Empty when the program can be started in a desktop of its own (Xvfb, a tray host, a
/// notification service, the Secret Service); otherwise what is missing.
std::string whyNoDesktop();

struct DemoUser {
    std::string name;
    std::string password;
    std::string groups;  // as in mac.bat; empty: the user has no mac.bat
};

/// One private smbd on loopback, started by the script and stopped with it.
class TestDomain {
public:
    TestDomain() = default;
    TestDomain(const TestDomain&) = delete;
    TestDomain& operator=(const TestDomain&) = delete;
    ~TestDomain();

    /// Builds a fresh domain in a new temporary folder and starts it; false and `error` when
    /// it cannot.
    bool start(std::string* error);
    /// Before start: the staff shares Extra01..ExtraN as well, on every platform.
    void addExtraShares(int count) { extraShares_ = count; }
    void stop();
    bool running() const { return port_ != 0; }

    const std::string& folder() const { return folder_; }
    /// "127.0.0.1:PORT", as typed into the panel's server field.
    std::string server() const;
    int port() const { return port_; }
    const DemoUser& user(const std::string& name) const;
    /// The folder that holds share `share` (or the home share of user `share`) on the server.
    std::string serverPath(const std::string& share) const;
    /// Changes `user`'s password on the server, as an administrator would; true when it did.
    bool setPassword(const std::string& user, const std::string& password);
    /// The failed logons, and the ones it took, that the server logged for `user` so far.
    int failedLogons(const std::string& user) const { return authentications(user, false); }
    int logons(const std::string& user) const { return authentications(user, true); }
    /// smbd and its children: every process whose argument list names this domain's folder.
    std::vector<pid_t> serverProcesses() const;
    /// Ends every client's sessions with the server, as after a password change.
    bool dropSessions();

private:
    int authentications(const std::string& user, bool accepted) const;
    std::string folder_;
    int port_ = 0;
    int extraShares_ = 0;
    std::map<std::string, DemoUser> users_;
};

/// The pid of the mount daemon serving `mountPoint`, or -1.
int daemonOf(const std::string& mountPoint);
/// Waits up to `limit` until no mount daemon serves `mountPoint`.
bool waitForNoDaemon(const std::string& mountPoint,
                     std::chrono::milliseconds limit = std::chrono::seconds(20));
}  // namespace quorvane::testing
