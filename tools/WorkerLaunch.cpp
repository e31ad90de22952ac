#include "WorkerLaunch.h"

#include <errno.h>
#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <unistd.h>

#include "ShareWorker.h"
#include "WorkerProtocol.h"

extern char** environ;

namespace quorvane::tools {

int forkWorker(int socket, int area, const std::vector<std::string>& words,
               const std::function<void(const std::vector<std::string>&)>& retitle, pid_t* pid) {
    *pid = ::fork();
    if (*pid < 0) {
        return errno;
    }
    if (*pid == 0) {
        ::dup2(socket, worker::kSocketDescriptor);
        ::dup2(area, worker::kSharedDescriptor);
        const int nowhere = ::open("/dev/null", O_RDWR);
        for (int standard : {STDIN_FILENO, STDOUT_FILENO, STDERR_FILENO}) {
            ::dup2(nowhere, standard);
        }
        // Nothing else of the daemon's (the FUSE device above all) stays with the worker.
        ::closefrom(worker::kSharedDescriptor + 1);
        for (int signalNumber : {SIGINT, SIGTERM, SIGHUP, SIGPIPE}) {
            ::signal(signalNumber, SIG_DFL);
        }
        if (retitle) {
            retitle(words);
        }
        ::_exit(runShareWorker());
    }
    return 0;
}

int execWorker(int socket, int area, const std::vector<std::string>& words, pid_t* pid) {
    std::vector<std::string> copies = words;
    std::vector<char*> argv;
    for (std::string& word : copies) {
        argv.push_back(word.data());
    }
    argv.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, STDIN_FILENO, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, "/dev/null", O_WRONLY, 0);
    posix_spawn_file_actions_addopen(&actions, STDERR_FILENO, "/dev/null", O_WRONLY, 0);
    posix_spawn_file_actions_adddup2(&actions, socket, worker::kSocketDescriptor);
    posix_spawn_file_actions_adddup2(&actions, area, worker::kSharedDescriptor);
    posix_spawn_file_actions_addclosefrom_np(&actions, worker::kSharedDescriptor + 1);
    posix_spawnattr_t attributes;
    posix_spawnattr_init(&attributes);
    sigset_t none;
    sigemptyset(&none);
    sigset_t defaults;
    sigemptyset(&defaults);
    for (int signalNumber : {SIGINT, SIGTERM, SIGHUP, SIGPIPE}) {
        sigaddset(&defaults, signalNumber);
    }
    posix_spawnattr_setsigmask(&attributes, &none);
    posix_spawnattr_setsigdefault(&attributes, &defaults);
    posix_spawnattr_setflags(&attributes, POSIX_SPAWN_SETSIGMASK | POSIX_SPAWN_SETSIGDEF);
    const int spawned =
        ::posix_spawn(pid, "/proc/self/exe", &actions, &attributes, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    posix_spawnattr_destroy(&attributes);
    return spawned;
}

}  // namespace quorvane::tools
