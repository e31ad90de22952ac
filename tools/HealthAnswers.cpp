#include "HealthAnswers.h"

#include <errno.h>
#include <poll.h>
#include <signal.h>
#include <string.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/time.h>
#include <sys/un.h>
#include <unistd.h>

#include <cstddef>
#include <cstring>

#include "DaemonSockets.h"
#include "HealthProtocol.h"
#include "LogonRefusals.h"

namespace quorvane::tools {

namespace {

using namespace std::chrono_literals;

// Shorter than the asker's bound for all shares (engine kHealthLimit), so a server that does
// not answer is reported as such rather than as silence.
constexpr auto kCheckTimeout = 2500ms;
// How long a check waits while another daemon of the account logs on (within kCheckTimeout),
// with the check itself still within the asker's bound; once the server takes one, the others
// go at once.
constexpr auto kTurnPatience = 1400ms;

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
    const std::optional<std::string> folder = daemons::socketFolder();
    if (!folder) {
        return;
    }
    daemons::removeFilesOfEndedDaemons(*folder);
    removeOldNotes(*folder);
    socketPath_ = daemons::socketPath(*folder, ::getpid());
    troublePath_ = daemons::troubleMarkerPath(*folder, ::getpid());
    // Bound and listening under a name of its own first, then renamed: whoever sees the
    // socket's name can connect at once instead of finding nothing listening yet.
    const std::string bound = socketPath_ + ".new";
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    if (bound.size() >= sizeof address.sun_path) {
        return;
    }
    std::memcpy(address.sun_path, bound.c_str(), bound.size() + 1);
    ::unlink(bound.c_str());  // left by an earlier process of this pid
    listener_ = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (listener_ < 0 ||
        ::bind(listener_, reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0 ||
        ::chmod(bound.c_str(), 0600) != 0 || ::listen(listener_, 8) != 0 ||
        ::rename(bound.c_str(), socketPath_.c_str()) != 0) {
        if (listener_ >= 0) {
            ::close(listener_);
            ::unlink(bound.c_str());
        }
        listener_ = -1;
        return;
    }
    passwordThread_ = std::thread([this] { answerPasswords(); });
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
            }
        }
    });
}

HealthAnswers::~HealthAnswers() {
    if (listener_ < 0) {
        return;
    }
    // Gone first, so that nobody takes this daemon for one that still serves.
    ::unlink(socketPath_.c_str());
    ::unlink(troublePath_.c_str());
    stopping_ = true;
    ::shutdown(listener_, SHUT_RDWR);  // wakes the poll
    thread_.join();
    {
        // Taken once after the flag: the password thread either sees it or is already waiting.
        const std::lock_guard<std::mutex> held(passwordsHeld_);
    }
    passwordsChanged_.notify_all();
    passwordThread_.join();
    for (PasswordQuestion& question : passwords_) {
        ::explicit_bzero(question.password.data(), question.password.size());
        ::close(question.connection);
    }
    ::close(listener_);
}

void HealthAnswers::answer(int connection) {
    ucred peer{};
    socklen_t peerLength = sizeof peer;
    if (::getsockopt(connection, SOL_SOCKET, SO_PEERCRED, &peer, &peerLength) != 0 ||
        peer.uid != ::getuid()) {
        ::close(connection);
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
    bool readAll = true;
    // A check ends with its line; a new password with the end of the asker's writing.
    while (question != health::kQuestion && question.size() <= questionLimit) {
        const ssize_t n = ::recv(connection, buffer, sizeof buffer, 0);
        if (n < 0) {
            readAll = false;
            break;
        }
        if (n == 0) {
            break;
        }
        question.append(buffer, static_cast<size_t>(n));
    }
    ::explicit_bzero(buffer, sizeof buffer);
    std::string verdict;
    if (readAll && question == health::kQuestion) {
        const unsigned generation = loginGeneration_;
        verdict =
            refusedGeneration_ == generation ? health::kPasswordRefused : verdictForHeldLogin();
        if (verdict == health::kPasswordRefused) {
            refusedGeneration_ = generation;
        }
    } else if (readAll && question.rfind(health::kNewPassword, 0) == 0 &&
               question.size() > std::strlen(health::kNewPassword) &&
               question.size() <= questionLimit) {
        std::unique_lock<std::mutex> held(passwordsHeld_);
        // A few waiting at most: anyone sending more is not the program.
        if (passwords_.size() < 4) {
            passwords_.push_back({connection, {}});
            std::string& password = passwords_.back().password;
            password.reserve(health::kPasswordLimit);
            password.assign(question, std::strlen(health::kNewPassword));
            connection = -1;
            passwordsChanged_.notify_all();
        }
    }
    ::explicit_bzero(question.data(), question.size());
    if (connection < 0) {
        return;
    }
    if (!verdict.empty()) {
        verdict += '\n';
        ::send(connection, verdict.data(), verdict.size(), MSG_NOSIGNAL);
    }
    ::close(connection);
}

void HealthAnswers::answerPasswords() {
    std::unique_lock<std::mutex> held(passwordsHeld_);
    while (!stopping_) {
        if (passwords_.empty()) {
            passwordsChanged_.wait(held);
            continue;
        }
        // Each refusal makes the next answer wait; a stop ends the wait.
        if (passwordsChanged_.wait_until(held, pacing_.nextAnswer(),
                                         [this] { return stopping_.load(); })) {
            break;
        }
        PasswordQuestion question = std::move(passwords_.front());
        passwords_.pop_front();
        held.unlock();
        answerPassword(question);
        ::explicit_bzero(question.password.data(), question.password.size());
        ::close(question.connection);
        held.lock();
    }
}

void HealthAnswers::answerPassword(PasswordQuestion& question) {
    pollfd asker{question.connection, POLLIN, 0};
    if (::poll(&asker, 1, 0) > 0 && (asker.revents & POLLHUP) != 0) {
        return;  // gone while it waited: nobody would hear the answer
    }
    std::string verdict;
    if (!pacing_.mayTry(PasswordPacing::Clock::now())) {
        pacing_.refused(PasswordPacing::Clock::now(), false);
        verdict = health::kTooManyPasswords;
    } else {
        SmbLogin login = workers_.login();
        ::explicit_bzero(login.password.data(), login.password.size());
        login.password = question.password;
        login.heldSince = passwordClockNow();
        // Kept only once the server takes it: a mistyped password must not replace a good one.
        verdict = verdictFor(login);
        if (verdict == health::kAnswering) {
            pacing_.accepted();
            workers_.replaceLogin(login);
            ++loginGeneration_;
        } else if (verdict == health::kPasswordRefused) {
            pacing_.refused(PasswordPacing::Clock::now(), true);
        }
        ::explicit_bzero(login.password.data(), login.password.size());
    }
    verdict += '\n';
    ::send(question.connection, verdict.data(), verdict.size(), MSG_NOSIGNAL);
}

std::string HealthAnswers::verdictForHeldLogin() const {
    SmbLogin login = workers_.login();
    std::string verdict;
    if (login.password.empty()) {
        verdict = verdictFor(login);
    } else {
        // A password that a daemon of the account saw refused is not tried again; a check
        // takes its turn with the others' logons, so that a refusal costs the account once.
        LogonTurn turn(workers_.share().parts, login, kTurnPatience);
        if (!turn.mayLogOn()) {
            verdict = health::kNotAnswering;
        } else if (turn.refusedAlready(login.heldSince)) {
            verdict = health::kPasswordRefused;
        } else {
            verdict = verdictFor(login);
            if (verdict == health::kPasswordRefused) {
                turn.noteRefused(login.heldSince);
            } else if (verdict == health::kAnswering || verdict == health::kShareUnavailable) {
                turn.noteAccepted();
            }
        }
    }
    ::explicit_bzero(login.password.data(), login.password.size());
    return verdict;
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
