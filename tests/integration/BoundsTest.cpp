// How long a logon takes to fail when the server does not answer: one that drops every
// packet, and one that takes the connection and then says nothing.
#include <chrono>

#include "DomainFixture.h"

namespace quorvane::testing {
namespace {

class BoundsTest : public DomainTest {};

TEST_F(BoundsTest, ASilentOrUnreachableServerFailsTheLogonWithinTenSeconds) {
    for (const bool dropping : {true, false}) {
        SCOPED_TRACE(dropping ? "packets dropped" : "connection taken, no answer");
        const FakeServer quiet(dropping ? FakeServer::Kind::Dropping : FakeServer::Kind::Silent);
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
