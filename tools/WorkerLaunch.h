#pragma once

#include <sys/types.h>

#include <functional>
#include <string>
#include <vector>

// Starting a worker process of the mount daemon on its socket and shared area (the worker
// takes them as descriptors 3 and 4), its argument list `words`. Each returns 0 or an errno.
namespace quorvane::tools {

/// Forks: fast, for the worker shares the libraries already loaded, but only while this
/// process runs no other thread. `retitle` shows `words` as the worker's argument list.
int forkWorker(int socket, int area, const std::vector<std::string>& words,
               const std::function<void(const std::vector<std::string>&)>& retitle, pid_t* pid);

/// Starts this program anew in worker mode: safe while other threads run (any of them may
/// hold a lock that a forked copy would wait on forever).
int execWorker(int socket, int area, const std::vector<std::string>& words, pid_t* pid);

}  // namespace quorvane::tools
