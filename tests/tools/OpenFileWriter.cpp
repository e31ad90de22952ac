// A program that holds one file open and appends a numbered line every INTERVAL milliseconds,
// as a log or an editor's journal does, until STOPFILE exists; then it syncs and closes the
// file. It prints one line per call with its wall-clock time in milliseconds:
//   MS write N ok | MS write N ERRNAME | MS fsync 0|ERRNAME | MS close 0|ERRNAME
//   open-file-writer FILE INTERVAL_MS STOPFILE
#include <errno.h>
#include <fcntl.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <time.h>
#include <unistd.h>

namespace {

long long wallMilliseconds() {
    timespec now{};
    ::clock_gettime(CLOCK_REALTIME, &now);
    return static_cast<long long>(now.tv_sec) * 1000 + now.tv_nsec / 1000000;
}

void report(const char* call, long number, int result) {
    const char* outcome = result == 0 ? (number >= 0 ? "ok" : "0") : strerrorname_np(result);
    if (number >= 0) {
        ::printf("%lld %s %ld %s\n", wallMilliseconds(), call, number, outcome);
    } else {
        ::printf("%lld %s %s\n", wallMilliseconds(), call, outcome);
    }
    ::fflush(stdout);
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 4) {
        ::fprintf(stderr, "usage: open-file-writer FILE INTERVAL_MS STOPFILE\n");
        return 2;
    }
    const int fd = ::open(argv[1], O_WRONLY | O_CREAT | O_TRUNC, 0644);
    if (fd < 0) {
        ::perror(argv[1]);
        return 1;
    }
    const long interval = ::atol(argv[2]);
    for (long number = 1; ::access(argv[3], F_OK) != 0; ++number) {
        char line[32];
        const int length = ::snprintf(line, sizeof line, "line %06ld\n", number);
        // A failed write leaves the offset where it was: the file holds exactly the
        // acknowledged lines, in order.
        const ssize_t written = ::write(fd, line, static_cast<size_t>(length));
        report("write", number, written == length ? 0 : written < 0 ? errno : EIO);
        ::usleep(static_cast<useconds_t>(interval * 1000));
    }
    report("fsync", -1, ::fsync(fd) == 0 ? 0 : errno);
    report("close", -1, ::close(fd) == 0 ? 0 : errno);
    return 0;
}
