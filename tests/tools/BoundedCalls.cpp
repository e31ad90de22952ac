// Makes every kind of call a program makes on a mount, each kind on a thread of its own, and
// times each system call: a stat, a listing, an open and read, a write to a file held open, a
// safe save (a temporary file written, then renamed over the saved one) and a mkdir, and
// optionally the rest of a large folder's listing begun before. Lines on standard input pace
// it: it prepares (opens the held file and writes to it, begins the large listing), prints
// "ready" and waits for a line; makes the calls and prints "calls-done"; waits for another line
// and makes them all again, this time with fsync and close of the held file. Output:
//   PHASE KIND CALL MS RESULT   (PHASE "during" or "after", RESULT "ok" or the errno's name)
//   wrote TEXT | unsure TEXT    (a line the held file got acknowledged, or not)
//   bounded-calls FOLDER TAG [LARGE-FOLDER]
// FOLDER holds file.txt and save.txt; TAG names what this run makes.
#include <dirent.h>
#include <errno.h>
#include <fcntl.h>
#include <stdio.h>
#include <string.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <functional>
#include <iostream>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace {

std::mutex printing;

void print(const std::string& line) {
    const std::lock_guard<std::mutex> held(printing);
    std::cout << line << std::endl;
}

// Runs one system call (0 or more for success, -1 with errno for failure), prints it with its
// time, and says whether it worked.
bool timed(const std::string& phase, const std::string& kind, const char* call,
           const std::function<long()>& run) {
    const auto started = std::chrono::steady_clock::now();
    errno = 0;
    const long result = run();
    const int error = errno;
    const auto took = std::chrono::duration_cast<std::chrono::milliseconds>(
        std::chrono::steady_clock::now() - started);
    print(phase + " " + kind + " " + call + " " + std::to_string(took.count()) + " " +
          (result >= 0 ? "ok" : strerrorname_np(error)));
    return result >= 0;
}

struct Run {
    std::string folder;
    std::string tag;
    int held = -1;
    DIR* large = nullptr;

    std::string path(const std::string& name) const { return folder + "/" + name; }

    void write(const std::string& phase) {
        const std::string line = tag + " " + phase + "\n";
        const bool written = timed(phase, "write", "write", [&] {
            const ssize_t n = ::write(held, line.data(), line.size());
            return n == static_cast<ssize_t>(line.size()) ? 0L : n < 0 ? -1L : (errno = EIO, -1L);
        });
        print((written ? "wrote " : "unsure ") + line.substr(0, line.size() - 1));
    }

    void stat(const std::string& phase) {
        struct stat found {};
        timed(phase, "stat", "stat", [&] { return ::stat(path("file.txt").c_str(), &found); });
    }

    void list(const std::string& phase) {
        DIR* dir = nullptr;
        if (!timed(phase, "ls", "opendir", [&] {
                dir = ::opendir(folder.c_str());
                return dir != nullptr ? 0L : -1L;
            })) {
            return;
        }
        timed(phase, "ls", "readdir", [&] {
            while (::readdir(dir) != nullptr) {
            }
            return errno == 0 ? 0L : -1L;
        });
        timed(phase, "ls", "closedir", [&] { return ::closedir(dir); });
    }

    void read(const std::string& phase) {
        int fd = -1;
        if (!timed(phase, "read", "open", [&] {
                fd = ::open(path("file.txt").c_str(), O_RDONLY);
                return fd;
            })) {
            return;
        }
        char buffer[4096];
        timed(phase, "read", "read", [&] { return ::read(fd, buffer, sizeof buffer); });
        timed(phase, "read", "close", [&] { return ::close(fd); });
    }

    void save(const std::string& phase) {
        const std::string temporary = path("save.txt." + tag + "-" + phase);
        const std::string content = tag + " " + phase + " saved\n";
        int fd = -1;
        if (!timed(phase, "save", "create", [&] {
                fd = ::open(temporary.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
                return fd;
            })) {
            return;
        }
        bool saved = timed(phase, "save", "write", [&] {
            return ::write(fd, content.data(), content.size()) ==
                           static_cast<ssize_t>(content.size())
                       ? 0L
                       : -1L;
        });
        saved = timed(phase, "save", "fsync", [&] { return ::fsync(fd); }) && saved;
        saved = timed(phase, "save", "close", [&] { return ::close(fd); }) && saved;
        if (saved) {
            timed(phase, "save", "rename",
                  [&] { return ::rename(temporary.c_str(), path("save.txt").c_str()); });
        }
    }

    void makeFolder(const std::string& phase) {
        timed(phase, "mkdir", "mkdir",
              [&] { return ::mkdir(path("made-" + tag + "-" + phase).c_str(), 0755); });
    }

    // The rest of the large listing: each readdir is a call, the longest is printed.
    void finishLarge(const std::string& phase) {
        long longest = 0;
        long entries = 0;
        int error = 0;
        for (;;) {
            const auto started = std::chrono::steady_clock::now();
            errno = 0;
            const dirent* entry = ::readdir(large);
            error = errno;
            longest = std::max<long>(longest, std::chrono::duration_cast<std::chrono::milliseconds>(
                                                  std::chrono::steady_clock::now() - started)
                                                  .count());
            if (entry == nullptr) {
                break;
            }
            ++entries;
        }
        print(phase + " large readdir " + std::to_string(longest) + " " +
              (error == 0 ? "ok" : strerrorname_np(error)));
        print(phase + " large entries-after-ready " + std::to_string(entries));
        ::closedir(large);
        large = nullptr;
    }

    void all(const std::string& phase) {
        std::vector<std::thread> kinds;
        kinds.emplace_back([&] { write(phase); });
        kinds.emplace_back([&] { stat(phase); });
        kinds.emplace_back([&] { list(phase); });
        kinds.emplace_back([&] { read(phase); });
        kinds.emplace_back([&] { save(phase); });
        kinds.emplace_back([&] { makeFolder(phase); });
        if (large != nullptr) {
            kinds.emplace_back([&] { finishLarge(phase); });
        }
        for (std::thread& kind : kinds) {
            kind.join();
        }
    }
};

}  // namespace

int main(int argc, char** argv) {
    if (argc != 3 && argc != 4) {
        std::cerr << "usage: bounded-calls FOLDER TAG [LARGE-FOLDER]\n";
        return 2;
    }
    Run run{argv[1], argv[2]};
    run.held = ::open(run.path("held.txt").c_str(), O_WRONLY | O_CREAT | O_APPEND, 0644);
    if (run.held < 0) {
        ::perror("held.txt");
        return 1;
    }
    run.write("before");
    if (argc == 4) {
        // The first part of the listing is in once the first entry is.
        run.large = ::opendir(argv[3]);
        if (run.large == nullptr || ::readdir(run.large) == nullptr) {
            ::perror(argv[3]);
            return 1;
        }
    }
    std::string line;
    print("ready");
    std::getline(std::cin, line);
    run.all("during");
    print("calls-done");
    std::getline(std::cin, line);
    run.all("after");
    // A write that failed is told once more at fsync; close then reports nothing left.
    timed("after", "held", "fsync", [&] { return ::fsync(run.held); });
    timed("after", "held", "close", [&] { return ::close(run.held); });
    return 0;
}
