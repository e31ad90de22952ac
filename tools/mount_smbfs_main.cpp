#include <string.h>

#include "MountSmbfs.h"
#include "MountToolStatus.h"
#include "ShareCheck.h"
#include "ShareWorker.h"
#include "WorkerProtocol.h"

int main(int argc, char** argv) {
    // The mount daemon starts its workers as this program again.
    if (argc > 1 && ::strcmp(argv[1], quorvane::tools::worker::kWorkerWord) == 0) {
        return quorvane::tools::runShareWorker();
    }
    if (argc > 1 && ::strcmp(argv[1], quorvane::kCheckSharesOption) == 0) {
        return quorvane::tools::runShareCheck(argc, argv);
    }
    return quorvane::tools::runMountSmbfs(argc, argv);
}
