#include "LogonRefusals.h"

#include <dirent.h>
#include <errno.h>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <sstream>
#include <thread>

#include "DaemonSockets.h"

namespace quorvane::tools {

namespace {

constexpr const char* kNoteFirstLine = "password logons";
constexpr size_t kLongestNote = 256;
constexpr const char* kNotePrefix = "logons-";

std::string lowered(std::string text) {
    std::transform(text.begin(), text.end(), text.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return text;
}

// The note is made for this run of the system only: the password clock starts again at boot.
const std::string& thisBoot() {
    static const std::string id = [] {
        std::string text;
        if (FILE* file = std::fopen("/proc/sys/kernel/random/boot_id", "re")) {
            char line[64] = {};
            if (std::fgets(line, sizeof line, file) != nullptr) {
                text = line;
            }
            std::fclose(file);
        }
        text.erase(std::remove_if(text.begin(), text.end(),
                                  [](unsigned char c) { return std::isspace(c) != 0; }),
                   text.end());
        return text.empty() ? std::string("unknown") : text;
    }();
    return id;
}

}  // namespace

int64_t passwordClockNow() {
    timespec now{};
    ::clock_gettime(CLOCK_BOOTTIME, &now);
    return static_cast<int64_t>(now.tv_sec) * 1000000000 + now.tv_nsec;
}

bool refusalCovers(const LogonRefusal& refusal, int64_t heldSince) {
    const int64_t sameLogon =
        std::chrono::duration_cast<std::chrono::nanoseconds>(kSameLogon).count();
    return heldSince <= refusal.refusedAt && heldSince <= refusal.heldSince + sameLogon;
}

LogonRefusal joined(const LogonRefusal& a, const LogonRefusal& b) {
    return {std::max(a.heldSince, b.heldSince), std::max(a.refusedAt, b.refusedAt)};
}

std::string accountNoteText(const AccountNote& note, const std::string& bootId) {
    return std::string(kNoteFirstLine) + "\nboot " + bootId + "\nheld since " +
           std::to_string(note.refusal.heldSince) + "\nrefused at " +
           std::to_string(note.refusal.refusedAt) + "\naccepted at " +
           std::to_string(note.acceptedAt) + "\n";
}

std::optional<AccountNote> readAccountNote(const std::string& text, const std::string& bootId) {
    std::istringstream in(text);
    std::string first;
    std::string boot;
    std::string words[6];
    AccountNote note;
    if (!std::getline(in, first) || first != kNoteFirstLine || !(in >> words[0] >> boot) ||
        words[0] != "boot" || boot != bootId ||
        !(in >> words[0] >> words[1] >> note.refusal.heldSince) || words[0] != "held" ||
        words[1] != "since" || !(in >> words[2] >> words[3] >> note.refusal.refusedAt) ||
        words[2] != "refused" || words[3] != "at" ||
        !(in >> words[4] >> words[5] >> note.acceptedAt) || words[4] != "accepted" ||
        words[5] != "at") {
        return std::nullopt;
    }
    return note;
}

std::string refusalNoteName(const SmbUrlParts& parts, const SmbLogin& login) {
    // Names the account without spelling it out; not a secret, only a short fixed-size name.
    const std::string account = lowered(parts.host) + "\n" +
                                std::to_string(parts.port.value_or(0)) + "\n" +
                                lowered(login.workgroup) + "\n" + lowered(login.user);
    uint64_t hash = 1469598103934665603ull;  // FNV-1a
    for (unsigned char c : account) {
        hash = (hash ^ c) * 1099511628211ull;
    }
    char name[32];
    std::snprintf(name, sizeof name, "%s%016llx", kNotePrefix,
                  static_cast<unsigned long long>(hash));
    return name;
}

void removeOldNotes(const std::string& folder) {
    DIR* dir = ::opendir(folder.c_str());
    if (dir == nullptr) {
        return;
    }
    const auto oldest = std::chrono::system_clock::now() - kNoteLife;
    while (const dirent* entry = ::readdir(dir)) {
        struct stat seen {};
        if (std::string(entry->d_name).rfind(kNotePrefix, 0) == 0 &&
            ::fstatat(::dirfd(dir), entry->d_name, &seen, AT_SYMLINK_NOFOLLOW) == 0 &&
            std::chrono::system_clock::from_time_t(seen.st_mtime) < oldest) {
            ::unlinkat(::dirfd(dir), entry->d_name, 0);
        }
    }
    ::closedir(dir);
}

LogonTurn::LogonTurn(const SmbUrlParts& parts, const SmbLogin& login,
                     std::chrono::milliseconds patience) {
    const std::optional<std::string> folder = daemons::socketFolder();
    if (folder) {
        const std::string path = *folder + "/" + refusalNoteName(parts, login);
        fd_ = ::open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW, 0600);
    }
    if (fd_ < 0) {
        taken_ = true;  // nowhere to take turns: this daemon's own memory is all there is
        return;
    }
    lock(patience, true);
}

void LogonTurn::lock(std::chrono::milliseconds patience, bool othersWill) {
    const int64_t waitFrom = passwordClockNow();
    const auto giveUp = std::chrono::steady_clock::now() + patience;
    while (::flock(fd_, LOCK_EX | LOCK_NB) != 0) {
        if (errno != EWOULDBLOCK && errno != EINTR) {
            taken_ = true;  // a file system without locks: go without turns
            return;
        }
        if (othersWill) {
            // The server took a password of this account since this daemon began to wait:
            // it was not changed, so the logons need not go one by one.
            const std::optional<AccountNote> note = read();
            if (note && note->acceptedAt >= waitFrom) {
                othersAccepted_ = true;
                return;
            }
        }
        if (std::chrono::steady_clock::now() >= giveUp) {
            return;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    taken_ = true;
}

LogonTurn::~LogonTurn() {
    if (fd_ >= 0) {
        ::close(fd_);  // ends the turn
    }
}

std::optional<AccountNote> LogonTurn::read() const {
    if (fd_ < 0) {
        return std::nullopt;
    }
    char text[kLongestNote] = {};
    const ssize_t n = ::pread(fd_, text, sizeof text - 1, 0);
    return n > 0 ? readAccountNote(std::string(text, static_cast<size_t>(n)), thisBoot())
                 : std::nullopt;
}

void LogonTurn::write(const AccountNote& note) {
    // Over the old text, then cut to length: a reader that does not wait its turn never finds
    // the note empty (what follows the last line is not read).
    const std::string text = accountNoteText(note, thisBoot());
    if (::pwrite(fd_, text.data(), text.size(), 0) == static_cast<ssize_t>(text.size())) {
        [[maybe_unused]] const int cut = ::ftruncate(fd_, static_cast<off_t>(text.size()));
    }
}

bool LogonTurn::refusedAlready(int64_t heldSince) const {
    const std::optional<AccountNote> note = read();
    return note && note->refusal.refusedAt != 0 && refusalCovers(note->refusal, heldSince);
}

void LogonTurn::noteRefused(int64_t heldSince) {
    if (fd_ < 0) {
        return;
    }
    if (!taken_) {
        // Refused although the server took another's logon a moment ago: the note is written
        // in a turn all the same.
        lock(std::chrono::seconds(5), false);
        if (!taken_) {
            return;
        }
    }
    AccountNote note = read().value_or(AccountNote{});
    const LogonRefusal now{heldSince, passwordClockNow()};
    note.refusal = note.refusal.refusedAt == 0 ? now : joined(now, note.refusal);
    write(note);
}

void LogonTurn::noteAccepted() {
    if (fd_ < 0 || !taken_) {
        return;  // one that went on another's word has nothing new to tell
    }
    AccountNote note = read().value_or(AccountNote{});
    note.acceptedAt = passwordClockNow();
    write(note);
}

}  // namespace quorvane::tools
