#include "WorkerProtocol.h"

#include <errno.h>
#include <sys/socket.h>
#include <sys/uio.h>

namespace quorvane::tools::worker {

namespace {

// A listing of a very large folder is the longest message; anything beyond this is nonsense.
constexpr uint32_t kLongestMessage = 1u << 30;

bool receiveAll(int socket, char* into, size_t size) {
    size_t done = 0;
    while (done < size) {
        const ssize_t n = ::recv(socket, into + done, size - done, 0);
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n <= 0) {
            return false;
        }
        done += static_cast<size_t>(n);
    }
    return true;
}

}  // namespace

bool sendMessage(int socket, const std::string& bytes) {
    const auto length = static_cast<uint32_t>(bytes.size());
    iovec parts[2] = {{const_cast<uint32_t*>(&length), sizeof length},
                      {const_cast<char*>(bytes.data()), bytes.size()}};
    size_t left = sizeof length + bytes.size();
    msghdr message{};
    message.msg_iov = parts;
    message.msg_iovlen = 2;
    while (left > 0) {
        const ssize_t n = ::sendmsg(socket, &message, MSG_NOSIGNAL);
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n <= 0) {
            return false;
        }
        left -= static_cast<size_t>(n);
        // Steps past what went out, across the two parts.
        size_t sent = static_cast<size_t>(n);
        while (sent > 0 && message.msg_iovlen > 0) {
            iovec& first = message.msg_iov[0];
            const size_t used = std::min(sent, first.iov_len);
            first.iov_base = static_cast<char*>(first.iov_base) + used;
            first.iov_len -= used;
            sent -= used;
            if (first.iov_len == 0) {
                ++message.msg_iov;
                --message.msg_iovlen;
            }
        }
    }
    return true;
}

std::optional<std::string> receiveMessage(int socket) {
    uint32_t length = 0;
    if (!receiveAll(socket, reinterpret_cast<char*>(&length), sizeof length) ||
        length > kLongestMessage) {
        return std::nullopt;
    }
    std::string bytes(length, '\0');
    if (!receiveAll(socket, bytes.data(), length)) {
        return std::nullopt;
    }
    return bytes;
}

}  // namespace quorvane::tools::worker
