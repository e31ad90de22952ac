#pragma once

// A worker process of the mount daemon: one connection to the server (a ShareSession of its
// own) that serves the daemon's requests one at a time, on a single thread, until the daemon
// closes the socket or goes away.
namespace quorvane::tools {

/// Runs the worker on the descriptors the daemon handed over; returns its exit status.
int runShareWorker();

}  // namespace quorvane::tools
