#include "Umount.h"

int main(int argc, char** argv) {
    return quorvane::tools::runUmount(argc, argv);
}
