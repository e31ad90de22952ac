#pragma once

#include <gtest/gtest.h>

#include "TestDomain.h"

namespace quorvane::testing {

/// One domain per test program, started before the first test and stopped after the last.
TestDomain& sharedDomain();

/// Tests against the real server: skipped with the reason where FUSE or the tools are
/// missing, failed instead under CI, where they must run.
class DomainTest : public ::testing::Test {
protected:
    void SetUp() override;
    TestDomain& domain() { return sharedDomain(); }
};

}  // namespace quorvane::testing
