#pragma once

#include <sys/types.h>

#include <chrono>
#include <cstddef>

// How a worker serves a read: from what it read ahead for the file, reading ahead again for a
// sequential reader, or reading just what was asked. Decided here, with the time passed in; the
// worker pool does the reading.
namespace quorvane::tools {

struct RemoteFile;

/// What a worker read past a sequential reader's request, in the second part of its shared
/// area.
struct ReadAhead {
    const RemoteFile* file = nullptr;
    off_t offset = 0;
    size_t length = 0;
    std::chrono::steady_clock::time_point time;  // when it was read
};

enum class ReadChoice {
    Kept,   // copied from the piece kept
    Ahead,  // a piece of kReadAhead bytes read, what lies past the request kept
    Alone,  // only what was asked for read
};

/// The choice for a read of `size` bytes at `offset` of `file`, whose last read ended at
/// `lastEnd` (-1 before any), at `now`, with `kept` what the worker holds.
ReadChoice chooseRead(const ReadAhead& kept, const RemoteFile* file, off_t lastEnd, off_t offset,
                      size_t size, std::chrono::steady_clock::time_point now);

}  // namespace quorvane::tools
