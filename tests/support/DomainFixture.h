#pragma once

#include <gtest/gtest.h>

#include "TestDomain.h"

namespace quorvane::testing {

/// One domain per test program, started by the first call (with the staff shares Extra01 to
/// Extra`extraShares` as well) and stopped after the last test.
TestDomain& sharedDomain(int extraShares = 0);

/// Tests against the real server: skipped with the reason where FUSE or the tools are
/// missing, failed instead under CI, where they must run.
class DomainTest : public ::testing::Test {
protected:
    void SetUp() override;
    TestDomain& domain() { return sharedDomain(); }
    /// A whole logon of the command line as `user`, with the user's password unless another.
    ProgramRun logon(const TempHome& home, const std::string& user,
                     const std::optional<std::string>& password = std::nullopt) {
        return home.cli({"logon", "--server", domain().server(), "--user", user},
                        password ? *password : domain().user(user).password);
    }
};

}  // namespace quorvane::testing
