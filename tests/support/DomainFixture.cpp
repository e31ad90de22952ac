#include "DomainFixture.h"

#include <memory>

namespace quorvane::testing {

namespace {

std::unique_ptr<TestDomain> g_domain;
std::string g_startError;
bool g_tried = false;

class DomainEnvironment : public ::testing::Environment {
public:
    void TearDown() override { g_domain.reset(); }
};

const bool g_registered = [] {
    ::testing::AddGlobalTestEnvironment(new DomainEnvironment);
    return true;
}();

}  // namespace

TestDomain& sharedDomain(int extraShares) {
    if (!g_tried) {
        g_tried = true;
        g_domain = std::make_unique<TestDomain>();
        g_domain->addExtraShares(extraShares);
        if (!g_domain->start(&g_startError)) {
            g_domain->stop();
        }
    }
    return *g_domain;
}

void DomainTest::SetUp() {
    (void)g_registered;
    SKIP_IF_MISSING(whyNoRealMounts());
    if (!sharedDomain().running()) {
        FAIL() << g_startError;
    }
}

}  // namespace quorvane::testing
