#include <fcntl.h>
#include <signal.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <thread>

#include "ProcessRunner.h"
#include "TestSupport.h"

namespace quorvane {
namespace {

using Outcome = ProcessResult::Outcome;
using namespace std::chrono_literals;

ProcessResult runShell(const std::string& script, std::optional<std::string> input = std::nullopt,
                       std::chrono::milliseconds limit = 10s) {
    ProcessRequest request;
    request.executable = "/bin/sh";
    request.arguments = {"-c", script};
    request.standardInput = std::move(input);
    request.timeLimit = limit;
    return runProcess(request);
}

TEST(ProcessRunner, TellsExitStatusesApart) {
    for (int status : {0, 1, 32, 255}) {
        const ProcessResult result = runShell("exit " + std::to_string(status));
        EXPECT_EQ(result.outcome, Outcome::Exited);
        EXPECT_EQ(result.exitStatus, status);
        EXPECT_EQ(result.succeeded(), status == 0);
    }
    const ProcessResult killed = runShell("kill -9 $$");
    EXPECT_EQ(killed.outcome, Outcome::Signalled);
    EXPECT_EQ(killed.signal, SIGKILL);
    EXPECT_FALSE(killed.succeeded());
}

TEST(ProcessRunner, ReportsAToolThatCannotStart) {
    testing::TempHome home;
    const std::string notExecutable = home.path() + "/tool";
    testing::writeFile(notExecutable, "#!/bin/sh\nexit 0\n");
    for (const std::string& path : {home.path() + "/missing", notExecutable, home.path()}) {
        ProcessRequest request;
        request.executable = path;
        const ProcessResult result = runProcess(request);
        EXPECT_EQ(result.outcome, Outcome::CouldNotStart) << path;
        EXPECT_NE(result.error.find(path), std::string::npos) << result.error;
        EXPECT_FALSE(result.succeeded());
    }
}

TEST(ProcessRunner, PassesArgumentsVerbatimWithoutAShell) {
    testing::TempHome home;
    const std::string out = home.path() + "/args";
    ProcessRequest request;
    request.executable = "/bin/sh";
    request.arguments = {"-c",         "for a in \"$@\"; do printf '[%s]' \"$a\"; done > \"$0\"",
                         out,          "a b",
                         "$(echo no)", "*",
                         "",           "\xC3\xA9"};
    ASSERT_TRUE(runProcess(request).succeeded());
    EXPECT_EQ(testing::readFile(out), "[a b][$(echo no)][*][][\xC3\xA9]");
}

TEST(ProcessRunner, HandsTheTextToStandardInput) {
    testing::TempHome home;
    const std::string out = home.path() + "/stdin";
    const std::string secret = "a b\n:@%/\xC3\xA9";
    ASSERT_TRUE(runShell("cat > " + out, secret).succeeded());
    EXPECT_EQ(testing::readFile(out), secret);

    // A child that never reads must not bring the caller down with SIGPIPE.
    const ProcessResult ignored = runShell("exec 0<&-; exit 3", std::string(1 << 20, 'x'));
    EXPECT_EQ(ignored.exitStatus, 3);
}

TEST(ProcessRunner, ChildInheritsOnlyTheStandardDescriptors) {
    const int leaked = ::open("/dev/null", O_RDONLY);  // deliberately without O_CLOEXEC
    ASSERT_GE(leaked, 3);
    testing::TempHome home;
    const std::string out = home.path() + "/fds";
    const ProcessResult result =
        runShell("ls /proc/self/fd > " + out, std::string("input on a pipe"));
    ::close(leaked);
    ASSERT_TRUE(result.succeeded());
    // 0-2, plus the one ls opened to read the listing itself.
    const auto fds = testing::splitLines(testing::readFile(out));
    EXPECT_EQ(fds, (std::vector<std::string>{"0", "1", "2", "3"}));
}

TEST(ProcessRunner, EndsAToolThatRunsPastItsTimeLimit) {
    const auto started = std::chrono::steady_clock::now();
    const ProcessResult result = runShell("sleep 30", std::nullopt, 300ms);
    const auto took = std::chrono::steady_clock::now() - started;
    EXPECT_EQ(result.outcome, Outcome::TimedOut);
    EXPECT_FALSE(result.succeeded());
    EXPECT_LT(took, 10s);

    // What the tool started goes with it.
    testing::TempHome home;
    const std::string pidFile = home.path() + "/pid";
    EXPECT_EQ(runShell("sleep 30 & echo $! > " + pidFile + "; wait", std::nullopt, 300ms).outcome,
              Outcome::TimedOut);
    const pid_t grandchild = std::stoi(testing::readFile(pidFile));
    std::this_thread::sleep_for(100ms);
    // Gone, or a zombie left for whoever adopted it.
    const std::string stat = testing::readFile("/proc/" + std::to_string(grandchild) + "/stat");
    const size_t state = stat.rfind(')');
    EXPECT_TRUE(stat.empty() || stat.substr(state + 2, 1) == "Z") << stat;

    // One that ignores SIGTERM is killed all the same.
    const ProcessResult stubborn =
        runShell("trap '' TERM; while :; do sleep 1; done", std::nullopt, 300ms);
    EXPECT_EQ(stubborn.outcome, Outcome::TimedOut);
}

}  // namespace
}  // namespace quorvane
