#include "HealthAnswers.h"

#include <poll.h>
#include <string.h>
#include <sys/socket.h>
#include <sys/time.h>
#include <sys/un.h>
#include <unistd.h>

#include <cstddef>
#include <cstring>

#include "HealthProtocol.h"

namespace quorvane::tools {

namespace {

using namespace std::chrono_literals;

// Shorter than the asker's bound for all shares (engine kHealthLimit), so a server that does
// not answer is reported as such rather than as silence.
constexpr auto kCheckTimeout = 2500ms;

const char* answerFor(const ShareCheck& check, bool usesTicket) {
    switch (check.access) {
        case ShareAccess::Granted:
            return health::kAnswering;
        case ShareAccess::WrongPassword:
            return usesTicket ? health::kTicketRefused : health::kPasswordRefused;
        case ShareAccess::UnknownShare:
        case ShareAccess::ForbiddenShare:
            return health::kShareUnavailable;
        default:
            return health::kNotAnswering;
    }
}

}  // namespace

HealthAnswers::HealthAnswers(WorkerPool& workers) : workers_(workers) {
    listener_ = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    const std::string name = health::socketName(::getpid());
    std::memcpy(address.sun_path + 1, name.data(), name.size());
    const auto length = static_cast<socklen_t>(offsetof(sockaddr_un, sun_path) + 1 + name.size());
    if (listener_ < 0 || ::bind(listener_, reinterpret_cast<const sockaddr*>(&address), length) ||
        ::listen(listener_, 8) != 0) {
        if (listener_ >= 0) {
            ::close(listener_);
        }
        listener_ = -1;
        return;
    }
    thread_ = std::thread([this] {
        while (!stopping_) {
            pollfd entry{listener_, POLLIN, 0};
            // Sleeps until asked: an idle daemon wakes for nothing.
            if (::poll(&entry, 1, -1) <= 0 || stopping_) {
                continue;
            }
            const int connection = ::accept4(listener_, nullptr, nullptr, SOCK_CLOEXEC);
            if (connection >= 0) {
                answer(connection);
                ::close(connection);
            }
        }
    });
}

HealthAnswers::~HealthAnswers() {
    if (listener_ < 0) {
        return;
    }
    stopping_ = true;
    ::shutdown(listener_, SHUT_RDWR);  // wakes the poll
    thread_.join();
    ::close(listener_);
}

void HealthAnswers::answer(int connection) {
    ucred peer{};
    socklen_t peerLength = sizeof peer;
    if (::getsockopt(connection, SOL_SOCKET, SO_PEERCRED, &peer, &peerLength) != 0 ||
        peer.uid != ::getuid()) {
        return;  // only the user who mounted may ask, or hand over a password
    }
    // The question is read before the answer goes: closing on an unread question would cut
    // the asker off before it reads the answer.
    const timeval patience{1, 0};
    ::setsockopt(connection, SOL_SOCKET, SO_RCVTIMEO, &patience, sizeof patience);
    const size_t questionLimit = std::strlen(health::kNewPassword) + health::kPasswordLimit;
    std::string question;
    question.reserve(questionLimit + 256);  // never moved: no copy of a password left behind
    char buffer[256];
    // A check ends with its line; a new password with the end of the asker's writing.
    while (question != health::kQuestion && question.size() <= questionLimit) {
        const ssize_t n = ::recv(connection, buffer, sizeof buffer, 0);
        if (n < 0) {
            ::explicit_bzero(question.data(), question.size());
            return;
        }
        if (n == 0) {
            break;
        }
        question.append(buffer, static_cast<size_t>(n));
    }
    ::explicit_bzero(buffer, sizeof buffer);
    std::string verdict;
    if (question == health::kQuestion) {
        verdict = verdictFor(workers_.login());
    } else if (question.rfind(health::kNewPassword, 0) == 0 &&
               question.size() > std::strlen(health::kNewPassword) &&
               question.size() <= questionLimit) {
        SmbLogin login = workers_.login();
        ::explicit_bzero(login.password.data(), login.password.size());
        login.password = question.substr(std::strlen(health::kNewPassword));
        // Kept only once the server takes it: a mistyped password must not replace a good one.
        verdict = verdictFor(login);
        if (verdict == health::kAnswering) {
            workers_.replaceLogin(login);
        }
        ::explicit_bzero(login.password.data(), login.password.size());
    }
    ::explicit_bzero(question.data(), question.size());
    if (verdict.empty()) {
        return;
    }
    verdict += '\n';
    ::send(connection, verdict.data(), verdict.size(), MSG_NOSIGNAL);
}

std::string HealthAnswers::verdictFor(const SmbLogin& login) const {
    // A logon of its own on a fresh connection: the serving one may be waiting on a request,
    // and only a new logon shows whether the server still takes the password or ticket.
    std::string error;
    std::unique_ptr<SmbConnection> server = SmbConnection::create(login, kCheckTimeout, &error);
    return server ? answerFor(server->check(workers_.share().parts), server->usesTicket())
                  : health::kNotAnswering;
}

}  // namespace quorvane::tools
