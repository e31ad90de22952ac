// Programs that hold files open on a mount while its server goes away for a few seconds:
// smbd stopped, the link down, the mount daemon frozen, and one open file replaced on the
// server meanwhile (tests/tools/outage-domain.sh, in namespaces of its own).
#include <gtest/gtest.h>
#include <unistd.h>

#include <map>
#include <sstream>

#include "TestDomain.h"
#include "ToolProcess.h"

namespace quorvane::testing {
namespace {

using namespace std::chrono_literals;

TEST(Outage, OpenFilesRideThroughShortOutages) {
    std::string missing = ::geteuid() != 0 ? "a network namespace of its own needs root" : "";
    for (const char* program : {"unshare", "ip"}) {
        if (missing.empty() && tools::findProgram(program).empty() &&
            ::access((std::string("/usr/sbin/") + program).c_str(), X_OK) != 0) {
            missing = std::string(program) + " is not installed (scripts/install-deps.sh)";
        }
    }
    if (missing.empty()) {
        missing = whyNoRealMounts();
    }
    if (!missing.empty()) {
        if (underCi()) {
            FAIL() << "CI must run the outage test, but " << missing;
        }
        GTEST_SKIP() << missing;
    }
    char folder[] = "/tmp/quorvane-outage-XXXXXX";
    ASSERT_NE(::mkdtemp(folder), nullptr);
    struct Removal {
        const char* folder;
        ~Removal() { runProgram("/bin/rm", {"-rf", "--one-file-system", folder}); }
    } removal{folder};
    const ProgramRun run = runProgram("/bin/bash",
                                      {sourceFolder() + "/tests/tools/outage-domain.sh", folder,
                                       toolsFolder(), OPEN_FILE_WRITER, sourceFolder(), "short"},
                                      {}, std::nullopt, 180s);
    std::map<std::string, std::string> result = keyValues(run.out());
    const std::string context = run.out() + run.err();
    ASSERT_EQ(result.count("error"), 0u) << context;

    // Folders answer within a second of the server's return (a loaded machine gets a second
    // more), and the open file takes writes again.
    for (const char* outage : {"smbd-2-s", "link-5-s", "freeze-3-s"}) {
        const std::string key = outage;
        const std::string& folders = result[key + "-folders-ms"];
        EXPECT_TRUE(!folders.empty() &&
                    folders.find_first_not_of("0123456789") == std::string::npos &&
                    std::stol(folders) < 2000)
            << key << "\n"
            << context;
        EXPECT_NE(result[key + "-file-ms"], "never") << key << "\n" << context;
    }
    // Not one error for the program, and the server holds exactly what it wrote, in order.
    EXPECT_EQ(result["log-failed-writes"], "0") << context;
    EXPECT_EQ(result["log-content"], "acknowledged-writes") << context;
    EXPECT_EQ(result["log-fsync"], "0") << context;
    EXPECT_EQ(result["log-close"], "0") << context;
    // The file replaced on the server keeps its new content; the old handle is told.
    EXPECT_EQ(result["replaced-content"], "the new file") << context;
    EXPECT_EQ(result["replaced-last-write"], "ESTALE") << context;
    EXPECT_EQ(result["replaced-fsync"], "ESTALE") << context;
    EXPECT_EQ(result["replaced-close"], "ESTALE") << context;
    // A daemon that outlived its umount (its mount was copied into another mount namespace)
    // leaves a newer mount in the same place alone when it ends.
    EXPECT_EQ(result["copied-daemon-ended"], "yes") << context;
    EXPECT_EQ(result["copied-newer-mount"], "tmpfs") << context;
}

}  // namespace
}  // namespace quorvane::testing
