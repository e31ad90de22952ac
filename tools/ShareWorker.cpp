#include "ShareWorker.h"

#include <errno.h>
#include <signal.h>
#include <sys/mman.h>
#include <sys/prctl.h>
#include <unistd.h>

#include <memory>
#include <set>

#include "DaemonSockets.h"
#include "ShareSession.h"
#include "WorkerProtocol.h"

namespace quorvane::tools {

namespace {

using worker::Op;
using worker::Reader;
using worker::Writer;

bool readLogin(Reader& in, SmbLogin* login) {
    return in.get(&login->workgroup) && in.get(&login->user) && in.get(&login->password) &&
           in.get(&login->heldSince);
}

class Worker {
public:
    Worker(ShareMount share, char* shared, int socket)
        : session_(std::move(share)), shared_(shared), socket_(socket) {}

    // The reply to one request; false when the request makes no sense.
    bool answer(Reader& in, Op op, Writer& out) {
        std::string path;
        std::string other;
        uint64_t id = 0;
        int64_t offset = 0;
        uint64_t size = 0;
        int32_t flags = 0;
        switch (op) {
            case Op::Login: {
                SmbLogin login;
                if (!readLogin(in, &login)) {
                    return false;
                }
                session_.replaceLogin(login);
                ::explicit_bzero(login.password.data(), login.password.size());
                out.put<int64_t>(0);
                return true;
            }
            case Op::Stat: {
                struct stat found {};
                if (!in.get(&path)) {
                    return false;
                }
                out.put<int64_t>(session_.stat(path, &found)).put(found);
                return true;
            }
            case Op::StatFile: {
                struct stat found {};
                OpenFile* file = nullptr;
                if (!in.get(&id) || (file = fileOf(id)) == nullptr) {
                    return false;
                }
                out.put<int64_t>(session_.stat(*file, &found)).put(found);
                return true;
            }
            case Op::List: {
                if (!in.get(&path)) {
                    return false;
                }
                // The entries go out in parts as the library hands them over (it takes a while
                // over each one), so that the daemon can pass on the first while the rest follow.
                Writer part;
                uint32_t count = 0;
                bool sent = true;
                const auto partOf = [&](int64_t result, bool more) {
                    Writer head;
                    head.put(result).put<uint8_t>(more ? 1 : 0).put(count);
                    head.bytes().append(part.bytes());
                    part.bytes().clear();
                    count = 0;
                    return std::move(head.bytes());
                };
                const int result = session_.list(path, [&](const char* name, const struct stat& s) {
                    part.put(std::string(name)).put(s);
                    if (++count == worker::kListingPart) {
                        sent = worker::sendMessage(socket_, partOf(0, true));
                    }
                    return sent;
                });
                if (!sent) {
                    return false;
                }
                out.bytes() = partOf(result, false);
                return true;
            }
            case Op::Open: {
                uint32_t mode = 0;
                if (!in.get(&path) || !in.get(&flags) || !in.get(&mode)) {
                    return false;
                }
                OpenFile* file = nullptr;
                const int result = session_.open(path, flags, static_cast<mode_t>(mode), &file);
                if (result == 0) {
                    files_.insert(file);
                }
                out.put<int64_t>(result).put(reinterpret_cast<uint64_t>(file));
                return true;
            }
            case Op::Read: {
                OpenFile* file = nullptr;
                uint64_t into = 0;
                if (!in.get(&id) || !in.get(&offset) || !in.get(&size) || !in.get(&into) ||
                    into > worker::kSharedSize || size > worker::kSharedSize - into ||
                    (file = fileOf(id)) == nullptr) {
                    return false;
                }
                out.put<int64_t>(session_.read(*file, shared_ + into, size, offset));
                return true;
            }
            case Op::Write: {
                OpenFile* file = nullptr;
                if (!in.get(&id) || !in.get(&offset) || !in.get(&size) ||
                    size > worker::kLargestTransfer || (file = fileOf(id)) == nullptr) {
                    return false;
                }
                off_t writtenAt = offset;
                const int result = session_.write(*file, shared_, size, offset, &writtenAt);
                out.put<int64_t>(result).put<int64_t>(writtenAt);
                return true;
            }
            case Op::TruncateFile:
            case Op::Flush:
            case Op::Close: {
                OpenFile* file = nullptr;
                if (!in.get(&id) || (file = fileOf(id)) == nullptr ||
                    (op == Op::TruncateFile && !in.get(&offset))) {
                    return false;
                }
                if (op == Op::Close) {
                    files_.erase(file);
                }
                out.put<int64_t>(op == Op::TruncateFile ? session_.truncate(*file, offset)
                                 : op == Op::Flush      ? session_.flush(*file)
                                                        : session_.close(file));
                return true;
            }
            case Op::Truncate:
                if (!in.get(&path) || !in.get(&offset)) {
                    return false;
                }
                out.put<int64_t>(session_.truncate(path, offset));
                return true;
            case Op::Unlink:
            case Op::Mkdir:
            case Op::Rmdir:
                if (!in.get(&path)) {
                    return false;
                }
                out.put<int64_t>(op == Op::Unlink  ? session_.unlink(path)
                                 : op == Op::Mkdir ? session_.mkdir(path)
                                                   : session_.rmdir(path));
                return true;
            case Op::Rename:
            case Op::StepAside:
            case Op::FollowRename: {
                if (!in.get(&path) || !in.get(&other) || !in.get(&flags)) {
                    return false;
                }
                int64_t result = 0;
                if (op == Op::Rename) {
                    result = session_.rename(path, other, flags != 0);
                } else if (op == Op::StepAside) {
                    session_.stepAside(path, other);
                } else {
                    session_.followRename(path, other);
                }
                out.put(result);
                return true;
            }
            case Op::SetTimes: {
                timespec times[2]{};
                if (!in.get(&path) || !in.get(&times[0]) || !in.get(&times[1])) {
                    return false;
                }
                out.put<int64_t>(session_.setTimes(path, times));
                return true;
            }
            case Op::Statvfs: {
                struct statvfs found {};
                if (!in.get(&path)) {
                    return false;
                }
                out.put<int64_t>(session_.statvfs(path, &found)).put(found);
                return true;
            }
            case Op::Start:
                return false;
        }
        return false;
    }

    void markTroubleAt(std::string path) { session_.markTroubleAt(std::move(path)); }

private:
    // Only handles this worker gave out are taken.
    OpenFile* fileOf(uint64_t id) const {
        auto* file = reinterpret_cast<OpenFile*>(id);
        return files_.count(file) != 0 ? file : nullptr;
    }

    ShareSession session_;
    char* shared_;
    int socket_;
    std::set<OpenFile*> files_;
};

// The share and the login, from the first message.
std::unique_ptr<ShareMount> readStart(const std::string& message) {
    Reader in(message);
    Op op{};
    auto share = std::make_unique<ShareMount>();
    int32_t port = 0;
    if (!in.get(&op) || op != Op::Start || !in.get(&share->parts.host) || !in.get(&port) ||
        !in.get(&share->parts.share) || !in.get(&share->parts.user) ||
        !readLogin(in, &share->login)) {
        return nullptr;
    }
    if (port > 0) {
        share->parts.port = port;
    }
    return share;
}

}  // namespace

int runShareWorker() {
    // It holds the password: no core dump may keep it.
    ::prctl(PR_SET_DUMPABLE, 0);
    ::signal(SIGPIPE, SIG_IGN);
    // Stop signals are for the daemon, which ends its workers by closing their sockets.
    ::signal(SIGINT, SIG_IGN);
    ::signal(SIGHUP, SIG_IGN);
    const int socket = worker::kSocketDescriptor;
    void* area = ::mmap(nullptr, worker::kSharedSize, PROT_READ | PROT_WRITE, MAP_SHARED,
                        worker::kSharedDescriptor, 0);
    ::close(worker::kSharedDescriptor);
    // The daemon sends the login once it has seen that this worker can no longer be traced.
    if (!worker::sendMessage(socket, Writer().put<int64_t>(0).bytes())) {
        return 1;
    }
    std::optional<std::string> start = worker::receiveMessage(socket);
    if (area == MAP_FAILED || !start) {
        return 1;
    }
    std::unique_ptr<ShareMount> share = readStart(*start);
    ::explicit_bzero(start->data(), start->size());
    std::string error;
    if (!share || !prepareSmbLibrary(&error)) {
        return 1;
    }
    Worker server(std::move(*share), static_cast<char*>(area), socket);
    // The daemon that started this worker is its parent.
    if (const std::optional<std::string> folder = daemons::socketFolder()) {
        server.markTroubleAt(daemons::troubleMarkerPath(*folder, ::getppid()));
    }
    ::explicit_bzero(share->login.password.data(), share->login.password.size());
    if (!worker::sendMessage(socket, Writer().put<int64_t>(0).bytes())) {
        return 1;
    }
    while (std::optional<std::string> request = worker::receiveMessage(socket)) {
        Reader in(*request);
        Op op{};
        Writer out;
        const bool understood = in.get(&op) && server.answer(in, op, out);
        if (op == Op::Login) {
            ::explicit_bzero(request->data(), request->size());
        }
        if (!understood || !worker::sendMessage(socket, out.bytes())) {
            return 1;
        }
    }
    return 0;
}

}  // namespace quorvane::tools
