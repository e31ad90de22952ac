#include "WorkerPool.h"

#include <errno.h>
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <string.h>
#include <sys/mman.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/time.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <climits>
#include <cstdlib>
#include <system_error>
#include <thread>
#include <utility>
#include <vector>

#include "CallDeadline.h"
#include "SmbSemantics.h"
#include "WorkerLaunch.h"

namespace quorvane::tools {

namespace {

using worker::Op;
using worker::Reader;
using worker::Writer;
using Clock = std::chrono::steady_clock;

// A worker whose reply takes longer than this is stuck (its own calls give up after
// kRequestBound, a reconnect and a repeat included) and is replaced.
constexpr auto kStuckWorker = 3 * kRequestBound;
// How soon after a read ran out of time the kernel's read of the same page counts as its
// repeat.
constexpr auto kRepeatedRead = std::chrono::seconds(1);
// How long an unmounted daemon waits for its workers to log off.
constexpr auto kLogOffGrace = std::chrono::milliseconds(1000);

Writer request(Op op) {
    Writer out;
    out.put(op);
    return out;
}

// The worker's next message, or nothing: `late` tells a deadline that passed first from a
// worker that is gone. Once a message begins, the rest is already on its way.
std::optional<std::string> receiveBy(int socket, Clock::time_point deadline, bool* late) {
    *late = false;
    pollfd ready{socket, POLLIN, 0};
    for (;;) {
        const auto left = std::chrono::ceil<std::chrono::milliseconds>(deadline - Clock::now());
        const int waited =
            ::poll(&ready, 1, static_cast<int>(std::clamp<int64_t>(left.count(), 0, INT_MAX)));
        if (waited > 0) {
            return worker::receiveMessage(socket);
        }
        if (waited == 0) {
            *late = true;
            return std::nullopt;
        }
        if (errno != EINTR) {
            return std::nullopt;
        }
    }
}

int64_t resultOf(const std::string& reply) {
    Reader in(reply);
    int64_t result = -EIO;
    return in.get(&result) ? result : -EIO;
}

// Whether the worker `pid` may be given the login: no process traces it, and (where that
// shows) it may not be dumped, so none can attach from now on.
bool safeForLogin(pid_t pid) {
    const std::string folder = "/proc/" + std::to_string(pid);
    char status[4096];
    const int fd = ::open((folder + "/status").c_str(), O_RDONLY | O_CLOEXEC);
    const ssize_t n = fd < 0 ? -1 : ::read(fd, status, sizeof status - 1);
    // The kernel gives the files of an undumpable process to root (not its folder itself).
    struct stat info {};
    const bool givenToRoot = fd >= 0 && ::fstat(fd, &info) == 0 && info.st_uid == 0;
    if (fd >= 0) {
        ::close(fd);
    }
    if (n <= 0) {
        return false;
    }
    const std::string text(status, static_cast<size_t>(n));
    const size_t tracer = text.find("\nTracerPid:\t");
    if (tracer == std::string::npos || std::strtol(text.c_str() + tracer + 12, nullptr, 10) != 0) {
        return false;
    }
    return ::geteuid() == 0 || givenToRoot;
}

}  // namespace

WorkerPool::WorkerPool(ShareMount share, std::string source, Retitle retitle)
    : share_(std::move(share)), source_(std::move(source)), retitle_(std::move(retitle)) {}

WorkerPool::~WorkerPool() {
    // All are told first, so that they log off at once; a listing still arriving ends on it.
    closing_ = true;
    for (Worker& slot : workers_) {
        ::shutdown(slot.socket, SHUT_RDWR);
    }
    {
        std::unique_lock<std::mutex> held(background_);
        backgroundEnded_.wait(held, [&] { return runningInBackground_ == 0; });
    }
    for (Worker& slot : workers_) {
        retire(slot, true);
    }
    for (RemoteFile* file : files_) {
        delete file;
    }
    ::explicit_bzero(share_.login.password.data(), share_.login.password.size());
}

bool WorkerPool::start(std::string* error) {
    // All are started before any is waited for, so that they get ready side by side.
    for (Worker& slot : workers_) {
        if (!spawn(slot, error, false)) {
            return false;
        }
    }
    forking_ = false;
    for (Worker& slot : workers_) {
        if (!awaitReady(slot, error)) {
            return false;
        }
    }
    return true;
}

SmbLogin WorkerPool::login() const {
    const std::lock_guard<std::mutex> held(state_);
    return share_.login;
}

bool WorkerPool::spawn(Worker& slot, std::string* error, bool await) {
    int pair[2] = {-1, -1};
    if (::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, pair) != 0) {
        *error = std::string("socketpair: ") + ::strerror(errno);
        return false;
    }
    const int area = ::memfd_create("share-worker", MFD_CLOEXEC);
    void* shared =
        area < 0 || ::ftruncate(area, worker::kSharedSize) != 0
            ? MAP_FAILED
            : ::mmap(nullptr, worker::kSharedSize, PROT_READ | PROT_WRITE, MAP_SHARED, area, 0);
    if (shared != MAP_FAILED) {
        // Workers forked after this one map only their own area, not this one's.
        ::madvise(shared, worker::kSharedSize, MADV_DONTFORK);
    }
    // Above the numbers the worker takes them at, so that each move really happens.
    const int childSocket = ::fcntl(pair[1], F_DUPFD_CLOEXEC, 10);
    const int childArea = area < 0 ? -1 : ::fcntl(area, F_DUPFD_CLOEXEC, 10);
    ::close(pair[1]);
    if (area >= 0) {
        ::close(area);
    }
    const std::vector<std::string> words = {"mount_smbfs", worker::kWorkerWord, source_};
    pid_t pid = -1;
    const int launched = childSocket < 0 || childArea < 0 || shared == MAP_FAILED ? EMFILE
                         : forking_ ? forkWorker(childSocket, childArea, words, retitle_, &pid)
                                    : execWorker(childSocket, childArea, words, &pid);
    for (int fd : {childSocket, childArea}) {
        if (fd >= 0) {
            ::close(fd);
        }
    }
    slot.socket = pair[0];
    slot.shared = shared == MAP_FAILED ? nullptr : static_cast<char*>(shared);
    slot.pid = launched == 0 ? pid : -1;
    if (launched != 0) {
        *error = std::string("cannot start a worker: ") + ::strerror(launched);
        retire(slot, false);
        return false;
    }
    const timeval patience{std::chrono::seconds(kStuckWorker).count(), 0};
    ::setsockopt(slot.socket, SOL_SOCKET, SO_RCVTIMEO, &patience, sizeof patience);
    // A worker started anew can be traced until it has made itself undumpable: the login goes
    // only to one that says it has, and that nothing traces.
    const std::optional<std::string> hello = worker::receiveMessage(slot.socket);
    if (!hello || resultOf(*hello) != 0 || !safeForLogin(slot.pid)) {
        *error = "a worker could be traced as it started";
        retire(slot, false);
        return false;
    }
    // The login reaches the worker only through its socket.
    Writer start = request(Op::Start);
    {
        const std::lock_guard<std::mutex> held(state_);
        start.put(share_.parts.host)
            .put<int32_t>(share_.parts.port.value_or(0))
            .put(share_.parts.share)
            .put(share_.parts.user)
            .put(share_.login.workgroup)
            .put(share_.login.user)
            .put(share_.login.password)
            .put<int64_t>(share_.login.heldSince);
    }
    if (!worker::sendMessage(slot.socket, start.bytes())) {
        *error = "a worker ended as it started";
        retire(slot, false);
        return false;
    }
    return !await || awaitReady(slot, error);
}

bool WorkerPool::awaitReady(Worker& slot, std::string* error) {
    const std::optional<std::string> ready = worker::receiveMessage(slot.socket);
    if (!ready || resultOf(*ready) != 0) {
        *error = "a worker ended as it started";
        retire(slot, false);
        return false;
    }
    return true;
}

void WorkerPool::retire(Worker& slot, bool logOff) {
    if (slot.socket >= 0) {
        ::close(slot.socket);  // an idle worker logs off and ends on this
        slot.socket = -1;
    }
    if (slot.pid > 0) {
        const auto deadline = std::chrono::steady_clock::now() + kLogOffGrace;
        bool ended = ::waitpid(slot.pid, nullptr, WNOHANG) != 0;
        while (logOff && !ended && std::chrono::steady_clock::now() < deadline) {
            ::usleep(2000);
            ended = ::waitpid(slot.pid, nullptr, WNOHANG) != 0;
        }
        // One still busy may be waiting on the server; what it was doing has no one to tell.
        if (!ended) {
            ::kill(slot.pid, SIGKILL);
            ::waitpid(slot.pid, nullptr, 0);
        }
        slot.pid = -1;
    }
    if (slot.shared != nullptr) {
        ::munmap(slot.shared, worker::kSharedSize);
        slot.shared = nullptr;
    }
    slot.ahead = {};
    ++slot.generation;
}

int WorkerPool::pickFor(const std::string& path, bool transfer) {
    const std::lock_guard<std::mutex> held(state_);
    std::array<int, worker::kWorkers> openFiles{};
    int holder = -1;
    for (const RemoteFile* file : files_) {
        if (file->generation == workers_[file->worker].generation) {
            ++openFiles[file->worker];
            if (file->path == path) {
                holder = file->worker;
            }
        }
    }
    int chosen = holder;
    if (chosen < 0) {
        // A worker moving file contents weighs most, then one with calls queued, then one
        // with more files to serve.
        int best = INT_MAX;
        for (int i = 0; i < worker::kWorkers; ++i) {
            const int score = workers_[i].transfers * 100 + workers_[i].waiting * 10 + openFiles[i];
            if (score < best) {
                best = score;
                chosen = i;
            }
        }
    }
    ++workers_[chosen].waiting;
    if (transfer) {
        ++workers_[chosen].transfers;
    }
    return chosen;
}

WorkerPool::Reply WorkerPool::exchange(Worker& slot, const std::string& message, bool transfer) {
    // What the worker read ahead may be out of date once the server's files change.
    const Op op = static_cast<Op>(message[0]);
    if (op != Op::Read && op != Op::Stat && op != Op::StatFile && op != Op::List &&
        op != Op::Statvfs && op != Op::Flush) {
        slot.ahead = {};
    }
    const Clock::time_point sent = Clock::now();
    const Clock::time_point deadline = CallDeadline::current(sent);
    const Clock::time_point until = waitUntil(op, deadline, sent, true);
    bool late = false;
    std::optional<std::string> reply = worker::sendMessage(slot.socket, message)
                                           ? receiveBy(slot.socket, until, &late)
                                           : std::nullopt;
    if (reply) {
        noteServer(message, resultOf(*reply), Clock::now());
        return {std::move(*reply), 0, true};
    }
    if (!late) {
        replace(slot);
        return {{}, -EIO, true};
    }
    if (until == deadline) {
        // Silence is told by a whole bound without an answer, not by a shortened wait: a
        // loaded machine may just have been slow to answer at once.
        silence_.unanswered(Clock::now());
    }
    // The late reply may still fill the shared area, and must not be taken for the next one.
    slot.ahead = {};
    slot.overdue = true;
    // The copy may hold a login's password: wiped once settled.
    inBackground([this, &slot, message = std::string(message), transfer, sent]() mutable {
        settleLate(slot, message, transfer, sent);
        ::explicit_bzero(message.data(), message.size());
    });
    return {{}, -ETIMEDOUT, true};
}

void WorkerPool::settleLate(Worker& slot, const std::string& message, bool transfer,
                            Clock::time_point sent) {
    const Clock::time_point stuck = sent + kStuckWorker;
    bool late = false;
    const auto next = [&] {
        std::optional<std::string> reply = receiveBy(slot.socket, stuck, &late);
        if (!reply) {
            replace(slot);
        }
        return reply;
    };
    const auto first = [&] {
        std::optional<std::string> reply = next();
        if (reply) {
            noteServer(message, resultOf(*reply), Clock::now());
        }
        return reply;
    };
    Reader in(message);
    Op op{};
    in.get(&op);
    std::optional<std::string> reply = first();
    if (reply && op == Op::List) {
        // The rest of the listing follows; nobody takes it now.
        for (bool more = true; reply && more;) {
            Reader part(*reply);
            int64_t result = 0;
            uint8_t follows = 0;
            more = part.get(&result) && part.get(&follows) && follows != 0;
            if (more) {
                reply = next();
            }
        }
    } else if (reply && op == Op::Open) {
        // A file opened for a caller that has given up: nobody will close it.
        Reader opened(*reply);
        int64_t result = -EIO;
        uint64_t id = 0;
        if (opened.get(&result) && opened.get(&id) && result == 0 &&
            worker::sendMessage(slot.socket, request(Op::Close).put(id).bytes())) {
            next();
        }
    }
    std::string from;
    std::string to;
    const bool renamed =
        reply && op == Op::Rename && resultOf(*reply) == 0 && in.get(&from) && in.get(&to);
    // A late write or truncation needs nothing here: the worker counts it as one that may
    // have been done (it reopens the file knowing so), and the caller told the file.
    slot.overdue = false;
    slot.busy.unlock();
    --slot.waiting;
    if (transfer) {
        --slot.transfers;
    }
    if (renamed) {
        // Done after all: the open files there go by their new name, in the other workers
        // that hold some (they stepped aside for it and reopen by name) as in this one.
        const int index = static_cast<int>(&slot - workers_.data());
        for (const auto& [other, generation] : holdersOf(from, to)) {
            if (other != index) {
                deliver(other, request(Op::FollowRename).put(from).put(to).put<int32_t>(0).bytes(),
                        generation);
            }
        }
        followRename(from, to);
    }
}

void WorkerPool::noteServer(const std::string& message, int64_t result, Clock::time_point at) {
    // Some requests need no answer from the server, or take none for an answer.
    const Op op = static_cast<Op>(message[0]);
    if (op == Op::Login || op == Op::Flush || op == Op::Close || op == Op::StepAside ||
        op == Op::FollowRename || result == -EIO) {
        return;
    }
    switch (-result) {
        case ETIMEDOUT:
        case ENETDOWN:
        case ENETUNREACH:
        case EHOSTDOWN:
        case EHOSTUNREACH:
        case ECONNREFUSED:
        case ECONNRESET:
        case ECONNABORTED:
        case ENETRESET:
        case ENOTCONN:
            silence_.unanswered(at);
            break;
        default:
            silence_.answered(at);
    }
}

void WorkerPool::replace(Worker& slot) {
    retire(slot, false);
    std::string error;
    if (!closing_) {
        spawn(slot, &error);
    }
}

void WorkerPool::inBackground(std::function<void()> task) {
    {
        const std::lock_guard<std::mutex> held(background_);
        ++runningInBackground_;
    }
    auto run = [this, task = std::move(task)]() mutable {
        task();
        task = nullptr;  // what it holds goes before the pool may
        const std::lock_guard<std::mutex> held(background_);
        --runningInBackground_;
        backgroundEnded_.notify_all();
    };
    try {
        std::thread(run).detach();
    } catch (const std::system_error&) {
        run();  // no thread to be had: done before the caller goes on
    }
}

bool WorkerPool::Baton::lockUntil(Clock::time_point deadline) {
    const auto since = deadline.time_since_epoch();
    const auto seconds = std::chrono::duration_cast<std::chrono::seconds>(since);
    const timespec until{static_cast<time_t>(seconds.count()),
                         static_cast<long>(std::chrono::nanoseconds(since - seconds).count())};
    // steady_clock is CLOCK_MONOTONIC.
    for (;;) {
        if (::sem_clockwait(&free_, CLOCK_MONOTONIC, &until) == 0) {
            return true;
        }
        if (errno != EINTR) {
            return false;
        }
    }
}

Clock::time_point WorkerPool::waitUntil(Op op, Clock::time_point deadline, Clock::time_point now,
                                        bool forReply) const {
    // The kernel asks a name again after a failed lookup, and lookups of one name wait for
    // each other: those are the requests that must not each wait a whole bound.
    return op == Op::Stat ? silence_.waitUntil(deadline, now, forReply) : deadline;
}

bool WorkerPool::take(Worker& slot, Op op, bool repeat) {
    const Clock::time_point asked = Clock::now();
    const Clock::time_point deadline = CallDeadline::current(asked);
    Clock::time_point until = waitUntil(op, deadline, asked, false);
    if (repeat && slot.overdue) {
        until = std::min(until, asked + ServerSilence::kProbe);
    }
    if (slot.busy.lockUntil(until)) {
        return true;
    }
    if (until == deadline) {
        silence_.waitedInVain(asked, Clock::now());
    }
    return false;
}

WorkerPool::Reply WorkerPool::ask(int index, const std::string& message, bool transfer,
                                  std::optional<unsigned> generation, const char* writeFrom,
                                  size_t writeSize, unsigned* servedBy) {
    Worker& slot = workers_[index];
    Reply reply{{}, -ETIMEDOUT};
    if (take(slot, static_cast<Op>(message[0]))) {
        std::string error;
        const bool live =
            generation ? *generation == slot.generation : slot.pid > 0 || spawn(slot, &error);
        if (servedBy != nullptr) {
            *servedBy = slot.generation;
        }
        reply.error = -EIO;
        if (live) {
            if (writeFrom != nullptr) {
                ::memcpy(slot.shared, writeFrom, writeSize);
            }
            reply = exchange(slot, message, transfer);
            if (reply.error == -ETIMEDOUT) {
                return reply;  // the worker is let go once its late reply is in
            }
        }
        slot.busy.unlock();
    }
    --slot.waiting;
    if (transfer) {
        --slot.transfers;
    }
    return reply;
}

int WorkerPool::askByPath(const std::string& path, const std::string& message, bool repeatable,
                          std::string* reply) {
    // A call that the dead worker may have made already is not made twice; a repeat has
    // only what is left of the call's time.
    const CallDeadline bound(CallDeadline::current());
    for (int attempt = 0; attempt < (repeatable ? 2 : 1); ++attempt) {
        Reply answer = ask(pickFor(path, false), message, false);
        if (answer.error == 0) {
            const int64_t result = resultOf(answer.bytes);
            if (reply != nullptr) {
                *reply = std::move(answer.bytes);
            }
            return static_cast<int>(result);
        }
        if (answer.error == -ETIMEDOUT) {
            return answer.error;
        }
    }
    return -EIO;
}

int WorkerPool::askAbout(RemoteFile& file, const std::string& message, bool transfer,
                         std::string* reply, const char* writeFrom, size_t writeSize) {
    Worker& slot = workers_[file.worker];
    ++slot.waiting;
    if (transfer) {
        ++slot.transfers;
    }
    Reply answer = ask(file.worker, message, transfer, file.generation, writeFrom, writeSize);
    if (answer.error != 0) {
        return answer.error;
    }
    const int64_t result = resultOf(answer.bytes);
    if (reply != nullptr) {
        *reply = std::move(answer.bytes);
    }
    return static_cast<int>(result);
}

void WorkerPool::replaceLogin(const SmbLogin& login) {
    {
        const std::lock_guard<std::mutex> held(state_);
        ::explicit_bzero(share_.login.password.data(), share_.login.password.size());
        share_.login = login;
    }
    Writer message = request(Op::Login);
    message.put(login.workgroup).put(login.user).put(login.password).put<int64_t>(login.heldSince);
    // Not a mount call: a busy worker gets the login once free. One that stays busy longer
    // is replaced, and its replacement starts with the new login.
    const CallDeadline patient(Clock::now() + kStuckWorker);
    for (int i = 0; i < worker::kWorkers; ++i) {
        // A worker started meanwhile already has the new login; one that dies now gets it
        // with its replacement.
        ++workers_[i].waiting;
        ask(i, message.bytes(), false);
    }
}

int WorkerPool::stat(const std::string& path, struct stat* out) {
    std::string reply;
    const int result = askByPath(path, request(Op::Stat).put(path).bytes(), true, &reply);
    Reader in(reply);
    int64_t ignored = 0;
    return result == 0 && !(in.get(&ignored) && in.get(out)) ? -EIO : result;
}

int WorkerPool::stat(RemoteFile& file, struct stat* out) {
    std::string reply;
    const int result = askAbout(file, request(Op::StatFile).put(file.id).bytes(), false, &reply);
    Reader in(reply);
    int64_t ignored = 0;
    return result == 0 && !(in.get(&ignored) && in.get(out)) ? -EIO : result;
}

namespace {

// One part of a listing (the result, whether more parts follow, the count and the entries) to
// `sink`; the part's result, or nothing when the part makes no sense.
std::optional<int> takePart(const std::string& part, ListingSink& sink, bool* more) {
    Reader in(part);
    int64_t result = -EIO;
    uint8_t follows = 0;
    uint32_t count = 0;
    if (!in.get(&result) || !in.get(&follows) || !in.get(&count)) {
        return std::nullopt;
    }
    std::string name;
    struct stat attributes {};
    for (uint32_t i = 0; i < count; ++i) {
        if (!in.get(&name) || !in.get(&attributes)) {
            return std::nullopt;
        }
        sink.take(name.c_str(), attributes);
    }
    *more = follows != 0;
    return static_cast<int>(result);
}

}  // namespace

int WorkerPool::list(const std::string& path, const std::shared_ptr<ListingSink>& sink) {
    const std::string message = request(Op::List).put(path).bytes();
    const CallDeadline bound(CallDeadline::current());
    // A worker that died before its first part is asked again on its replacement.
    int failure = -EIO;
    for (int attempt = 0; attempt < 2 && failure == -EIO; ++attempt) {
        Worker& slot = workers_[pickFor(path, false)];
        if (!take(slot, Op::List)) {
            --slot.waiting;
            failure = -ETIMEDOUT;
            break;
        }
        std::string error;
        Reply part{{}, -EIO};
        if (slot.pid > 0 || spawn(slot, &error)) {
            part = exchange(slot, message, false);
        }
        if (part.error == -ETIMEDOUT) {
            failure = part.error;  // the worker is let go once the whole listing is in
            break;
        }
        bool more = false;
        const std::optional<int> result =
            part.error == 0 ? takePart(part.bytes, *sink, &more) : std::nullopt;
        if (!result && part.error == 0) {
            replace(slot);  // it made no sense
        }
        if (!more) {
            slot.busy.unlock();
            --slot.waiting;
            if (part.error != 0) {
                continue;
            }
            sink->partEnded(true, result.value_or(-EIO));
            return result.value_or(-EIO);
        }
        sink->partEnded(false, 0);
        inBackground([this, &slot, sink] { finishListing(slot, sink); });
        return 0;
    }
    sink->partEnded(true, failure);
    return failure;
}

void WorkerPool::finishListing(Worker& slot, std::shared_ptr<ListingSink> sink) {
    std::optional<int> result;
    for (bool more = true; more;) {
        more = false;
        const std::optional<std::string> part = worker::receiveMessage(slot.socket);
        result = part ? takePart(*part, *sink, &more) : std::nullopt;
        if (!result) {
            replace(slot);
        } else if (more) {
            sink->partEnded(false, 0);
        }
    }
    slot.busy.unlock();
    --slot.waiting;
    sink->partEnded(true, result.value_or(-EIO));
}

int WorkerPool::open(const std::string& path, int flags, mode_t mode, RemoteFile** out) {
    const int index = pickFor(path, false);
    unsigned generation = 0;
    const Reply reply =
        ask(index, request(Op::Open).put(path).put<int32_t>(flags).put<uint32_t>(mode).bytes(),
            false, std::nullopt, nullptr, 0, &generation);
    if (reply.error != 0) {
        return reply.error;
    }
    Reader in(reply.bytes);
    int64_t result = -EIO;
    uint64_t id = 0;
    if (!in.get(&result) || !in.get(&id) || result != 0) {
        return static_cast<int>(result);
    }
    auto* file = new RemoteFile{index, generation, id, path};
    file->writes = (flags & O_ACCMODE) != O_RDONLY;
    const std::lock_guard<std::mutex> held(state_);
    files_.insert(file);
    *out = file;
    return 0;
}

bool WorkerPool::othersWrite(const RemoteFile& file) const {
    const std::lock_guard<std::mutex> held(state_);
    return std::any_of(files_.begin(), files_.end(), [&](const RemoteFile* other) {
        return other != &file && other->writes && other->path == file.path;
    });
}

std::string WorkerPool::pathOf(const RemoteFile& file) const {
    const std::lock_guard<std::mutex> held(state_);
    return file.path;
}

uint64_t WorkerPool::beginChange(const std::string& path) {
    const std::lock_guard<std::mutex> held(state_);
    changing_[path].insert(++changes_);
    return changes_;
}

void WorkerPool::endChange(const std::string& path, uint64_t change) {
    {
        const std::lock_guard<std::mutex> held(state_);
        const auto under = changing_.find(path);
        if (under != changing_.end() && under->second.erase(change) != 0 && under->second.empty()) {
            changing_.erase(under);
        }
    }
    changed_.notify_all();
}

void WorkerPool::awaitChanges(const RemoteFile& file) {
    std::unique_lock<std::mutex> held(state_);
    const uint64_t begunBefore = changes_;
    // Later changes do not hold the read up: a steady writer cannot starve a reader.
    changed_.wait_until(held, CallDeadline::current(), [&] {
        const auto under = changing_.find(file.path);
        return under == changing_.end() || *under->second.begin() > begunBefore;
    });
}

int WorkerPool::read(RemoteFile& file, char* buffer, size_t size, off_t offset) {
    awaitChanges(file);
    size = std::min(size, worker::kLargestTransfer);
    Worker& slot = workers_[file.worker];
    ++slot.waiting;
    ++slot.transfers;
    // The kernel reads a page again at once after its read-ahead of it failed: that second
    // request of one system call must not wait a whole bound again for the worker still
    // busy with the first.
    const Clock::time_point asked = Clock::now();
    const bool repeat =
        asked - Clock::time_point(Clock::duration(file.readTimedOutAt)) < kRepeatedRead &&
        offset >= file.readTimedOutFrom && offset < file.readTimedOutTo;
    if (!take(slot, Op::Read, repeat)) {
        --slot.waiting;
        --slot.transfers;
        return -ETIMEDOUT;
    }
    int result = -EIO;
    bool late = false;
    {
        const auto now = std::chrono::steady_clock::now();
        ReadAhead& ahead = slot.ahead;
        const ReadChoice choice = chooseRead(ahead, &file, file.nextOffset, offset, size, now);
        if (file.generation != slot.generation) {
            result = -EIO;
        } else if (choice == ReadChoice::Kept) {
            ::memcpy(buffer, slot.shared + worker::kReadAheadAt + (offset - ahead.offset), size);
            result = static_cast<int>(size);
        } else {
            // A sequential reader gets a larger piece in the same request, kept in the shared
            // area for its next requests.
            const bool readAhead = choice == ReadChoice::Ahead;
            const size_t wanted = readAhead ? worker::kReadAhead : size;
            const size_t into = readAhead ? worker::kReadAheadAt : 0;
            const Reply reply = exchange(slot,
                                         request(Op::Read)
                                             .put(file.id)
                                             .put<int64_t>(offset)
                                             .put<uint64_t>(wanted)
                                             .put<uint64_t>(into)
                                             .bytes(),
                                         true);
            late = reply.error == -ETIMEDOUT;
            if (late) {
                file.readTimedOutFrom = offset;
                file.readTimedOutTo = offset + static_cast<off_t>(wanted);
                file.readTimedOutAt = Clock::now().time_since_epoch().count();
            }
            const int64_t got = reply.error != 0 ? reply.error : resultOf(reply.bytes);
            result = static_cast<int>(std::min<int64_t>(got, static_cast<int64_t>(size)));
            if (result > 0) {
                ::memcpy(buffer, slot.shared + into, static_cast<size_t>(result));
            }
            // The piece kept was overwritten by this request whatever came back: what the
            // worker read past the request is kept, an answer no longer than asked for (the end
            // of the file) leaves nothing to keep. (A late reply dropped it, and the worker
            // is no longer this call's to touch.)
            if (readAhead && !late) {
                ahead = got > static_cast<int64_t>(size)
                            ? ReadAhead{&file, offset, static_cast<size_t>(got), now}
                            : ReadAhead{};
            }
        }
        if (result >= 0) {
            file.nextOffset = offset + result;
        }
    }
    if (!late) {  // a late reply lets the worker go itself
        slot.busy.unlock();
        --slot.waiting;
        --slot.transfers;
    }
    return result;
}

int WorkerPool::write(RemoteFile& file, const char* buffer, size_t size, off_t offset,
                      off_t* writtenAt) {
    size = std::min(size, worker::kLargestTransfer);
    const std::string message =
        request(Op::Write).put(file.id).put<int64_t>(offset).put<uint64_t>(size).bytes();
    std::string reply;
    const std::string path = pathOf(file);
    const uint64_t change = beginChange(path);
    const int result = askAbout(file, message, true, &reply, buffer, size);
    endChange(path, change);
    noteLate(file, result);
    Reader in(reply);
    int64_t ignored = 0;
    int64_t at = offset;
    if (writtenAt != nullptr) {
        *writtenAt = in.get(&ignored) && in.get(&at) ? static_cast<off_t>(at) : offset;
    }
    return result;
}

int WorkerPool::truncate(RemoteFile& file, off_t size) {
    const std::string path = pathOf(file);
    const uint64_t change = beginChange(path);
    const int result =
        askAbout(file, request(Op::TruncateFile).put(file.id).put<int64_t>(size).bytes(), false);
    endChange(path, change);
    noteLate(file, result);
    return result;
}

int WorkerPool::truncate(const std::string& path, off_t size) {
    const uint64_t change = beginChange(path);
    const int result =
        askByPath(path, request(Op::Truncate).put(path).put<int64_t>(size).bytes(), true);
    endChange(path, change);
    return result;
}

WorkerPool::Reply WorkerPool::deliver(int index, const std::string& message, unsigned generation) {
    ++workers_[index].waiting;
    Reply reply = ask(index, message, false, generation);
    if (reply.error == -ETIMEDOUT && !reply.sent) {
        // The worker was busy for all of the call's time: it gets the message once free.
        inBackground([this, index, message, generation] {
            const CallDeadline patient(Clock::now() + kStuckWorker);
            ++workers_[index].waiting;
            ask(index, message, false, generation);
        });
    }
    return reply;
}

void WorkerPool::noteLate(RemoteFile& file, int result) {
    if (result == -ETIMEDOUT) {
        const std::lock_guard<std::mutex> held(state_);
        file.lateChange = ETIMEDOUT;
    }
}

int WorkerPool::lateChangeOf(RemoteFile& file) {
    const std::lock_guard<std::mutex> held(state_);
    return -std::exchange(file.lateChange, 0);
}

int WorkerPool::flush(RemoteFile& file) {
    const int late = lateChangeOf(file);
    const int result = askAbout(file, request(Op::Flush).put(file.id).bytes(), false);
    return late != 0 ? late : result;
}

int WorkerPool::close(RemoteFile* file) {
    const int late = lateChangeOf(*file);
    // Closing also forgets what the worker read ahead (any call but a read or a look does).
    // Not closed, the file would stay open on the server.
    const Reply reply =
        deliver(file->worker, request(Op::Close).put(file->id).bytes(), file->generation);
    {
        const std::lock_guard<std::mutex> held(state_);
        files_.erase(file);
        delete file;
    }
    if (late != 0) {
        return late;
    }
    return reply.error != 0 ? reply.error : static_cast<int>(resultOf(reply.bytes));
}

int WorkerPool::unlink(const std::string& path) {
    return askByPath(path, request(Op::Unlink).put(path).bytes(), false);
}

int WorkerPool::mkdir(const std::string& path) {
    return askByPath(path, request(Op::Mkdir).put(path).bytes(), false);
}

int WorkerPool::rmdir(const std::string& path) {
    return askByPath(path, request(Op::Rmdir).put(path).bytes(), false);
}

int WorkerPool::rename(const std::string& from, const std::string& to, bool noReplace) {
    // The workers holding files there: the first renames, the others step aside for it and
    // then follow.
    const std::vector<std::pair<int, unsigned>> holders = holdersOf(from, to);
    for (size_t i = 1; i < holders.size(); ++i) {
        ++workers_[holders[i].first].waiting;
        ask(holders[i].first, request(Op::StepAside).put(from).put(to).put<int32_t>(0).bytes(),
            false, holders[i].second);
    }
    const std::string message =
        request(Op::Rename).put(from).put(to).put<int32_t>(noReplace ? 1 : 0).bytes();
    int result = -EIO;
    if (holders.empty()) {
        result = askByPath(from, message, false);
    } else {
        ++workers_[holders[0].first].waiting;
        const Reply reply = ask(holders[0].first, message, false, holders[0].second);
        result = reply.error != 0 ? reply.error : static_cast<int>(resultOf(reply.bytes));
    }
    if (result != 0) {
        return result;
    }
    for (size_t i = 1; i < holders.size(); ++i) {
        deliver(holders[i].first,
                request(Op::FollowRename).put(from).put(to).put<int32_t>(0).bytes(),
                holders[i].second);
    }
    followRename(from, to);
    return 0;
}

std::vector<std::pair<int, unsigned>> WorkerPool::holdersOf(const std::string& from,
                                                            const std::string& to) const {
    std::vector<std::pair<int, unsigned>> holders;
    const std::lock_guard<std::mutex> held(state_);
    for (const RemoteFile* file : files_) {
        const std::pair<int, unsigned> holder{file->worker, file->generation};
        if ((isAtOrBelow(file->path, from) || file->path == to) &&
            file->generation == workers_[file->worker].generation &&
            std::find(holders.begin(), holders.end(), holder) == holders.end()) {
            holders.push_back(holder);
        }
    }
    std::sort(holders.begin(), holders.end());
    return holders;
}

void WorkerPool::followRename(const std::string& from, const std::string& to) {
    const std::lock_guard<std::mutex> held(state_);
    for (RemoteFile* file : files_) {
        if (isAtOrBelow(file->path, from)) {
            file->path = to + file->path.substr(from.size());
        }
    }
}

int WorkerPool::setTimes(const std::string& path, const struct timespec times[2]) {
    return askByPath(path, request(Op::SetTimes).put(path).put(times[0]).put(times[1]).bytes(),
                     true);
}

int WorkerPool::statvfs(const std::string& path, struct statvfs* out) {
    std::string reply;
    const int result = askByPath(path, request(Op::Statvfs).put(path).bytes(), true, &reply);
    Reader in(reply);
    int64_t ignored = 0;
    return result == 0 && !(in.get(&ignored) && in.get(out)) ? -EIO : result;
}

}  // namespace quorvane::tools
