#include "WorkflowLock.h"

#include <errno.h>
#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

namespace quorvane {

WorkflowLock::WorkflowLock(const std::string& mountRoot) {
    // A hidden name: logout neither counts nor removes it.
    const int fd = ::open((mountRoot + "/.quorvane-lock").c_str(),
                          O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW, 0600);
    if (fd < 0) {
        return;
    }
    if (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
        busy_ = errno == EWOULDBLOCK;
        ::close(fd);
        return;
    }
    fd_ = fd;
}

WorkflowLock::~WorkflowLock() {
    if (fd_ >= 0) {
        ::close(fd_);
    }
}

}  // namespace quorvane
