#pragma once

#include <stdint.h>
#include <string.h>

#include <chrono>
#include <optional>
#include <string>
#include <type_traits>

// What the mount daemon and its share workers say to each other over their socket pair: each
// message is its length (4 bytes) and its fields in the machine's own layout (both ends are the
// same program). File contents travel in a memory area the two share, not in messages.
namespace quorvane::tools::worker {

/// How many connections serve one mount, each in a worker process of its own. Enough that a
/// listing or a small read finds a worker free while large copies run and that a few readers
/// of different files each have their own connection; few enough that every mount costs
/// the server only a handful of sessions.
inline constexpr int kWorkers = 4;

/// The largest read or write one request carries; also the size of the first part of each
/// worker's shared area.
inline constexpr size_t kLargestTransfer = 1024 * 1024;

/// A sequential reader's small request is served by one of this size, read into the second
/// part of the worker's shared area and kept there briefly for the requests that follow (the
/// kernel asks for 128 KiB at a time): fewer round trips to the worker and to the server.
inline constexpr size_t kReadAhead = 2 * 1024 * 1024;
inline constexpr size_t kReadAheadAt = kLargestTransfer;
inline constexpr size_t kSharedSize = kLargestTransfer + kReadAhead;
/// How long what was read ahead stands for the file's contents. Any change made through the
/// worker drops it at once; this bounds how stale a change made elsewhere can look.
inline constexpr auto kReadAheadLife = std::chrono::milliseconds(500);

/// A listing travels in parts of this many entries, the last part with the result.
inline constexpr uint32_t kListingPart = 1000;

/// The argument after the program's name that starts a worker. Its socket is descriptor 3,
/// its shared area descriptor 4.
inline constexpr const char* kWorkerWord = "--worker";
inline constexpr int kSocketDescriptor = 3;
inline constexpr int kSharedDescriptor = 4;

enum class Op : uint8_t {
    Start,  // the share and the login: the first message a worker gets, once it has said it is
            // ready for it (a reply of 0 before any request)
    Login,  // a new login for the next logon
    Stat,
    StatFile,
    List,
    Open,
    Read,
    Write,
    TruncateFile,
    Truncate,
    Flush,
    Close,
    Unlink,
    Mkdir,
    Rmdir,
    Rename,
    StepAside,
    FollowRename,
    SetTimes,
    Statvfs,
};

/// Fields appended one after another.
class Writer {
public:
    template <typename T>
    Writer& put(const T& value) {
        static_assert(std::is_trivially_copyable_v<T>);
        bytes_.append(reinterpret_cast<const char*>(&value), sizeof value);
        return *this;
    }
    Writer& put(const std::string& text) {
        put(static_cast<uint32_t>(text.size()));
        bytes_.append(text);
        return *this;
    }
    std::string& bytes() { return bytes_; }
    /// Clears what may have held a password.
    ~Writer() { ::explicit_bzero(bytes_.data(), bytes_.size()); }

private:
    std::string bytes_;
};

/// Fields taken one after another; false once the message ran short.
class Reader {
public:
    explicit Reader(const std::string& bytes) : bytes_(bytes) {}
    template <typename T>
    bool get(T* value) {
        static_assert(std::is_trivially_copyable_v<T>);
        if (bytes_.size() - at_ < sizeof(T)) {
            return false;
        }
        ::memcpy(value, bytes_.data() + at_, sizeof(T));
        at_ += sizeof(T);
        return true;
    }
    bool get(std::string* text) {
        uint32_t size = 0;
        if (!get(&size) || bytes_.size() - at_ < size) {
            return false;
        }
        text->assign(bytes_, at_, size);
        at_ += size;
        return true;
    }

private:
    const std::string& bytes_;
    size_t at_ = 0;
};

/// Sends one message whole; false when the other end is gone.
bool sendMessage(int socket, const std::string& bytes);
/// Receives one message, or nothing when the other end is gone or sent nonsense.
std::optional<std::string> receiveMessage(int socket);

}  // namespace quorvane::tools::worker
