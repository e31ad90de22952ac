#include "WorkflowLock.h"

#include <errno.h>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <string>

namespace quorvane {

WorkflowLock::WorkflowLock(const std::string& mountRoot) {
    // A hidden name: logout neither counts nor removes it.
    const std::string path = mountRoot + "/.quorvane-lock";
    int fd = ::open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW, 0600);
    struct stat info {};
    if (fd >= 0 && ::fstat(fd, &info) == 0 && info.st_uid != ::geteuid()) {
        // Left by another user while the mount root was open to others, who could hold it
        // for ever: the user's own takes its place.
        ::close(fd);
        ::unlink(path.c_str());
        fd = ::open(path.c_str(), O_RDWR | O_CREAT | O_EXCL | O_CLOEXEC | O_NOFOLLOW, 0600);
    }
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
