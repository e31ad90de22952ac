#pragma once

#include <string>

namespace quorvane {

/// Keeps two logons or logouts of one user from running at once, across processes (panel,
/// command line): an exclusive lock on a hidden file in the mount root. Released when the
/// value goes or the process ends.
class WorkflowLock {
public:
    /// Tries once and never waits; `held()` tells whether it was taken.
    explicit WorkflowLock(const std::string& mountRoot);
    ~WorkflowLock();
    WorkflowLock(const WorkflowLock&) = delete;
    WorkflowLock& operator=(const WorkflowLock&) = delete;

    bool held() const { return fd_ >= 0; }
    /// True when another workflow holds it. When the lock file cannot be made at all, the
    /// workflow goes ahead unguarded rather than refuse to work.
    bool busy() const { return busy_; }

private:
    int fd_ = -1;
    bool busy_ = false;
};

}  // namespace quorvane
