#include <string.h>

#include "MountSmbfs.h"
#include "ShareWorker.h"
#include "WorkerProtocol.h"

int main(int argc, char** argv) {
    // The mount daemon starts its workers as this program again.
    if (argc > 1 && ::strcmp(argv[1], quorvane::tools::worker::kWorkerWord) == 0) {
        return quorvane::tools::runShareWorker();
    }
    return quorvane::tools::runMountSmbfs(argc, argv);
}
