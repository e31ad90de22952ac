// A worker of the mount daemon, started anew as the daemon does after a crash, asks for the
// login only once no process of the same user can trace it; an ordinary process of that user
// can be traced, so the refusal is the worker's own doing.
#include <gtest/gtest.h>
#include <stdlib.h>
#include <sys/stat.h>

#include <filesystem>

#include "TestSupport.h"

namespace quorvane::testing {
namespace {

// Run as the second user: starts `TOOL --worker` on a socket and a shared area as the daemon
// does, waits for the worker's word that it is ready for the login, then tries to attach.
constexpr const char* kAttacker = R"(
import ctypes, os, socket, struct, subprocess, sys, time
libc = ctypes.CDLL(None, use_errno=True)
def attach(pid):
    if libc.ptrace(16, pid, None, None) == 0:
        os.waitpid(pid, 0)
        libc.ptrace(17, pid, None, None)
        return 0
    return ctypes.get_errno()
ordinary = subprocess.Popen(["/bin/sleep", "30"])
time.sleep(0.2)
print("ordinary process:", attach(ordinary.pid))
ordinary.kill()
daemon, worker = socket.socketpair()
daemon_fd = os.dup(daemon.fileno())
os.dup2(worker.fileno(), 3)
area = os.memfd_create("area", 0)
os.dup2(area, 4)
os.ftruncate(4, 1 << 24)
child = subprocess.Popen([sys.argv[1], "--worker", "//host/share"], pass_fds=(3, 4))
os.close(3)
os.close(4)
length = os.read(daemon_fd, 4)
print("ready for the login:", len(length) == 4)
print("worker:", attach(child.pid))
child.kill()
)";

TEST(WorkerTrace, AWorkerReadyForItsLoginCannotBeTracedByItsOwnUser) {
    if (const std::string why = SecondUser::whyNot(); !why.empty()) {
        GTEST_SKIP() << why;
    }
    // A copy the second user can reach: the build may lie in a folder only its owner enters.
    char folder[] = "/tmp/quorvane-trace-XXXXXX";
    ASSERT_NE(::mkdtemp(folder), nullptr);
    const std::string tool = std::string(folder) + "/mount_smbfs";
    std::filesystem::copy_file(toolsFolder() + "/mount_smbfs", tool);
    ::chmod(folder, 0755);
    SecondUser user;
    const ProgramRun run = user.run({"/usr/bin/python3", "-c", kAttacker, tool});
    std::filesystem::remove_all(folder);
    EXPECT_EQ(run.out(),
              "ordinary process: 0\n"
              "ready for the login: True\n"
              "worker: 1\n")  // EPERM
        << run.err();
}

}  // namespace
}  // namespace quorvane::testing
