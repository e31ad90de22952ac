#include <fcntl.h>
#include <signal.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <thread>

#include "ProcessRunner.h"
#include "TestSupport.h"

namespace quorvane {
namespace {

using RunOutcome = ProcessResult::Outcome;
using namespace std::chrono_literals;

ProcessResult runShell(const std::string& script, std::optional<std::string> input = std::nullopt,
                       std::chrono::milliseconds limit = 10s) {
    ProcessRequest request;
    request.executable = "/bin/sh";
    request.arguments = {"-c", script};
    request.standardInput = std::move(input);
    request.timeLimit = limit;
    request.stopGrace = 200ms;
    return runProcess(request);
}

TEST(ProcessRunner, TellsExitStatusesApart) {
    for (int status : {0, 1, 32, 255}) {
        const ProcessResult result = runShell("exit " + std::to_string(status));
        EXPECT_EQ(result.outcome, RunOutcome::Exited);
        EXPECT_EQ(result.exitStatus, status);
        EXPECT_EQ(result.succeeded(), status == 0);
    }
    const ProcessResult killed = runShell("kill -9 $$");
    EXPECT_EQ(killed.outcome, RunOutcome::Signalled);
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
        EXPECT_EQ(result.outcome, RunOutcome::CouldNotStart) << path;
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
    EXPECT_EQ(result.outcome, RunOutcome::TimedOut);
    EXPECT_FALSE(result.succeeded());
    EXPECT_LT(took, 10s);

    // What the tool started goes with it.
    testing::TempHome home;
    const std::string pidFile = home.path() + "/pid";
    EXPECT_EQ(runShell("sleep 30 & echo $! > " + pidFile + "; wait", std::nullopt, 300ms).outcome,
              RunOutcome::TimedOut);
    const pid_t grandchild = std::stoi(testing::readFile(pidFile));
    // Gone, or a zombie left for whoever adopted it.
    std::string stat;
    EXPECT_TRUE(testing::eventually([&] {
        stat = testing::readFile("/proc/" + std::to_string(grandchild) + "/stat");
        return stat.empty() || stat.substr(stat.rfind(')') + 2, 1) == "Z";
    })) << stat;

    // One that ignores SIGTERM is killed all the same.
    const ProcessResult stubborn =
        runShell("trap '' TERM; while :; do sleep 1; done", std::nullopt, 300ms);
    EXPECT_EQ(stubborn.outcome, RunOutcome::TimedOut);
}

TEST(ProcessRunner, CapturesBothStreamsWhileFeedingInput) {
    // More than a pipe holds in each direction at once: a runner that wrote all input before
    // reading any output would deadlock here.
    const std::string input(1 << 20, 'i');
    ProcessRequest request;
    request.executable = "/bin/sh";
    request.arguments = {"-c", "cat; head -c 300000 /dev/zero | tr '\\0' e >&2; echo done"};
    request.standardInput = input;
    request.captureOutput = true;
    request.timeLimit = 20s;
    const ProcessResult result = runProcess(request);
    ASSERT_TRUE(result.succeeded()) << result.error;
    EXPECT_EQ(result.output, input + "done\n");
    EXPECT_EQ(result.errors, std::string(300000, 'e'));
}

TEST(ProcessRunner, ReturnsWhenTheToolEndsEvenIfWhatItStartedKeepsItsOutput) {
    ProcessRequest request;
    request.executable = "/bin/sh";
    request.arguments = {"-c", "sleep 5 & echo started"};
    request.captureOutput = true;
    const auto begun = std::chrono::steady_clock::now();
    const ProcessResult result = runProcess(request);
    EXPECT_TRUE(result.succeeded());
    EXPECT_EQ(result.output, "started\n");
    EXPECT_LT(std::chrono::steady_clock::now() - begun, 4s);
}

TEST(ProcessRunner, GivesTheChildExactlyTheEnvironmentAndSessionAsked) {
    ProcessRequest request;
    request.executable = "/bin/sh";
    request.arguments = {"-c", "env; ps -o sid= -p $$; cat"};
    request.environment = std::vector<std::string>{"ONLY=this one", "PATH=/usr/bin:/bin"};
    request.captureOutput = true;
    request.newSession = true;
    request.inheritStandardInput = false;
    pid_t pid = 0;
    request.started = [&](pid_t started) { pid = started; };
    const ProcessResult result = runProcess(request);
    ASSERT_TRUE(result.succeeded()) << result.errors;
    const auto lines = testing::splitLines(result.output);
    EXPECT_NE(std::find(lines.begin(), lines.end(), "ONLY=this one"), lines.end());
    EXPECT_EQ(std::find(lines.begin(), lines.end(), "HOME=" + std::string(getenv("HOME"))),
              lines.end());
    // Its own session leader; `cat` read /dev/null and printed nothing more.
    ASSERT_FALSE(lines.empty());
    EXPECT_EQ(std::stoi(lines.back()), pid);
}

TEST(ProcessRunner, AnInterruptionEndsOnlyTheRunsThatWatchIt) {
    Interruption stop;
    ProcessRequest request;
    request.executable = "/bin/sh";
    request.arguments = {"-c", "sleep 30"};
    request.interruption = &stop;
    request.started = [&](pid_t) { stop.raise(SIGTERM); };
    const auto begun = std::chrono::steady_clock::now();
    const ProcessResult interrupted = runProcess(request);
    request.started = nullptr;
    EXPECT_EQ(interrupted.outcome, RunOutcome::Interrupted);
    EXPECT_LT(std::chrono::steady_clock::now() - begun, 5s);
    EXPECT_EQ(stop.reason(), SIGTERM);

    // Raised before the start: a watching run ends at once, one that does not watch (the
    // clean-up after the stop) still runs to its end.
    EXPECT_EQ(runProcess(request).outcome, RunOutcome::Interrupted);
    const ProcessResult cleanUp = runShell("sleep 0.2; exit 4");
    EXPECT_EQ(cleanUp.outcome, RunOutcome::Exited);
    EXPECT_EQ(cleanUp.exitStatus, 4);

    // A tool that takes back its work on SIGTERM gets the time to do it.
    testing::TempHome home;
    const std::string marker = home.path() + "/cleaned";
    Interruption later;
    const std::string ready = home.path() + "/ready";
    request.arguments = {"-c", "trap 'sleep 0.3; echo x > " + marker + "; exit 9' TERM; : > " +
                                   ready + "; sleep 30 & wait"};
    request.interruption = &later;
    std::thread raiser2([&] {
        testing::eventually([&] { return ::access(ready.c_str(), F_OK) == 0; });
        later.raise();
    });
    EXPECT_EQ(runProcess(request).outcome, RunOutcome::Interrupted);
    raiser2.join();
    EXPECT_EQ(testing::readFile(marker), "x\n");

    // One that had finished its work when asked ends well: the caller learns what it made.
    Interruption asFinished;
    request.interruption = &asFinished;
    request.arguments = {"-c", "trap 'exit 0' TERM; : > " + marker + "; sleep 30 & wait"};
    std::thread raiser3([&] {
        testing::eventually([&] { return testing::readFile(marker).empty(); });
        asFinished.raise();
    });
    EXPECT_TRUE(runProcess(request).succeeded());
    raiser3.join();
}

}  // namespace
}  // namespace quorvane
