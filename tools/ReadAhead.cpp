#include "ReadAhead.h"

#include "WorkerProtocol.h"

namespace quorvane::tools {

ReadChoice chooseRead(const ReadAhead& kept, const RemoteFile* file, off_t lastEnd, off_t offset,
                      size_t size, std::chrono::steady_clock::time_point now) {
    const bool fresh = kept.file == file && now - kept.time < worker::kReadAheadLife;
    if (fresh && offset >= kept.offset &&
        offset + static_cast<off_t>(size) <= kept.offset + static_cast<off_t>(kept.length)) {
        return ReadChoice::Kept;
    }
    // The kernel's read-ahead requests reach the FUSE threads side by side and so may come
    // slightly out of order: near where the last one ended counts as sequential, and a
    // straggler from just before the piece kept is read alone rather than replace it.
    const off_t near = static_cast<off_t>(worker::kReadAhead);
    const bool straggler = fresh && offset < kept.offset && offset >= kept.offset - near;
    const bool sequential =
        offset == 0 || (lastEnd >= 0 && offset >= lastEnd - near && offset <= lastEnd + near);
    return sequential && !straggler && size < worker::kReadAhead ? ReadChoice::Ahead
                                                                 : ReadChoice::Alone;
}

}  // namespace quorvane::tools
