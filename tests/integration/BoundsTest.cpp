// How long a logon takes to fail when the server does not answer: one that drops every
// packet, and one that takes the connection and then says nothing.
#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>

#include "DomainFixture.h"

namespace quorvane::testing {
namespace {

// A loopback port that answers nothing. With `dropping`, its accept queue is kept full, so
// the kernel drops every further connection request, as a firewall would.
class QuietServer {
public:
    explicit QuietServer(bool dropping) {
        listener_ = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        ::bind(listener_, reinterpret_cast<sockaddr*>(&address), sizeof address);
        socklen_t size = sizeof address;
        ::getsockname(listener_, reinterpret_cast<sockaddr*>(&address), &size);
        port_ = ntohs(address.sin_port);
        ::listen(listener_, 0);
        if (dropping) {
            // Fill the queue: a backlog of 0 still takes one connection.
            for (int& filler : fillers_) {
                filler = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
                ::connect(filler, reinterpret_cast<sockaddr*>(&address), sizeof address);
            }
        }
    }
    ~QuietServer() {
        for (int fd : fillers_) {
            if (fd >= 0) {
                ::close(fd);
            }
        }
        ::close(listener_);
    }
    std::string server() const { return "127.0.0.1:" + std::to_string(port_); }

private:
    int listener_ = -1;
    int fillers_[2] = {-1, -1};
    int port_ = 0;
};

class BoundsTest : public DomainTest {};

TEST_F(BoundsTest, ASilentOrUnreachableServerFailsTheLogonWithinTenSeconds) {
    for (const bool dropping : {true, false}) {
        SCOPED_TRACE(dropping ? "packets dropped" : "connection taken, no answer");
        const QuietServer quiet(dropping);
        TempHome home;
        const auto started = std::chrono::steady_clock::now();
        const ProgramRun run =
            home.cli({"logon", "--server", quiet.server(), "--user", "alice"}, std::string("pw"));
        const auto took = std::chrono::duration_cast<std::chrono::milliseconds>(
            std::chrono::steady_clock::now() - started);
        std::cout << "[ figures  ] logon against a server whose "
                  << (dropping ? "packets are dropped" : "connection says nothing")
                  << ": failed after " << took.count() << " ms" << std::endl;
        EXPECT_EQ(run.status(), 1);
        EXPECT_EQ(run.lastLine().rfind("Failed to mount initial user home directory. ", 0), 0u)
            << run.lastLine();
        EXPECT_NE(run.lastLine().find("server"), std::string::npos) << run.lastLine();
        EXPECT_LT(took, std::chrono::seconds(20));  // a hang would be 30 s and more
        EXPECT_TRUE(home.mountRootEntries().empty());
    }
}

}  // namespace
}  // namespace quorvane::testing
