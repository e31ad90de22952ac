// Poses as a mount daemon of the user's: started as "mount_smbfs --serve SOURCE MOUNTPOINT"
// from a folder of its own, it listens in the daemons' folder under its own pid, or with
// IMPOSTOR_PID under that daemon's, says every share answers, and appends whatever it is sent
// to the file IMPOSTOR_RECORD. Once it listens, the file IMPOSTOR_RECORD.listening is there.
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <cstdlib>
#include <cstring>
#include <fstream>
#include <string>

#include "DaemonSockets.h"

int main() {
    const char* record = std::getenv("IMPOSTOR_RECORD");
    const char* posingAs = std::getenv("IMPOSTOR_PID");
    const auto folder = quorvane::daemons::socketFolder();
    if (record == nullptr || !folder) {
        return 2;
    }
    const pid_t name = posingAs != nullptr ? std::atoi(posingAs) : ::getpid();
    const std::string path = quorvane::daemons::socketPath(*folder, name);
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    std::memcpy(address.sun_path, path.c_str(), path.size() + 1);
    ::unlink(path.c_str());
    const int listener = ::socket(AF_UNIX, SOCK_STREAM, 0);
    if (::bind(listener, reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0 ||
        ::listen(listener, 8) != 0) {
        return 3;
    }
    std::ofstream(std::string(record) + ".listening");
    while (true) {
        const int connection = ::accept(listener, nullptr, nullptr);
        if (connection < 0) {
            continue;
        }
        std::string got;
        char buffer[256];
        ssize_t n = 0;
        while (got != "check\n" && (n = ::read(connection, buffer, sizeof buffer)) > 0) {
            got.append(buffer, static_cast<size_t>(n));
        }
        std::ofstream(record, std::ios::app) << got;
        ::send(connection, "answering\n", 10, MSG_NOSIGNAL);
        ::close(connection);
    }
}
