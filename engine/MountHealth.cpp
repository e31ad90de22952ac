#include "MountHealth.h"

#include "ProcessRunner.h"

namespace quorvane {

MountHealth checkMountHealth(const std::string& mountPoint, std::chrono::milliseconds limit) {
    // df asks the file system for its figures, which always reaches a FUSE daemon (a stat may
    // be answered from the kernel's cache after the daemon has gone). It runs as a child so
    // that a hung mount holds up no thread of this program: past the limit it is killed.
    ProcessRequest request;
    request.executable = "/bin/df";
    request.arguments = {"-P", mountPoint};
    request.inheritStandardInput = false;
    request.captureOutput = true;
    request.timeLimit = limit;
    const ProcessResult run = runProcess(request);
    switch (run.outcome) {
        case ProcessResult::Outcome::Exited:
            // "Transport endpoint is not connected" (Linux) and the like: nothing serves it.
            return run.exitStatus == 0 ? MountHealth::Answering : MountHealth::Dead;
        case ProcessResult::Outcome::CouldNotStart:
            return MountHealth::Answering;  // no way to tell; treat it as the table says
        default:
            return MountHealth::NotAnswering;
    }
}

}  // namespace quorvane
