#include "MountSmbfs.h"

int main(int argc, char** argv) {
    return quorvane::tools::runMountSmbfs(argc, argv);
}
