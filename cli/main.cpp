#include "CommandLine.h"

// The command line without the panel: the same commands as `quorvane`, for machines and
// builds without Qt.
int main(int argc, char** argv) {
    return quorvane::runCommandLine(argc, argv);
}
