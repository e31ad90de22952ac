// When a listing's attributes may answer a stat instead of the server.
#include <gtest/gtest.h>

#include <functional>

#include "ListedAttributes.h"

namespace quorvane::tools {
namespace {

using namespace std::chrono_literals;
using Clock = ListedAttributes::Clock;

struct stat sized(off_t size) {
    struct stat attributes {};
    attributes.st_size = size;
    return attributes;
}

TEST(ListedAttributes, AnswerWhileTheListingIsOpenAndForgetEveryChangeMadeThroughTheMount) {
    const Clock::time_point t0{};
    struct Case {
        const char* what;
        std::function<void(ListedAttributes&, uint64_t listing)> then;
        Clock::duration at;  // when the stat comes, after the listing began
        const char* path;
        off_t expected;  // -1: the server must be asked
    };
    const Case cases[] = {
        {"an entry, long after the kernel's copy expired", nullptr, 50s, "/docs/a", 1},
        {"the folder still open past its limit", nullptr, 61s, "/docs/a", -1},
        {"a name the listing lacks", nullptr, 0s, "/docs/gone", -1},
        {"another folder's entry of the same name", nullptr, 0s, "/a", -1},
        {"just after the close", [&](ListedAttributes& l, uint64_t id) { l.closed(id, t0 + 10s); },
         11s, "/docs/a", 1},
        {"past the kernel's life after the close",
         [&](ListedAttributes& l, uint64_t id) { l.closed(id, t0 + 10s); }, 12s, "/docs/a", -1},
        {"the file written through the mount",
         [](ListedAttributes& l, uint64_t) { l.changed("/docs/a"); }, 1s, "/docs/a", -1},
        {"the file written under another case",
         [](ListedAttributes& l, uint64_t) { l.changed("/docs/A"); }, 1s, "/docs/a", -1},
        {"the folder renamed under another case",
         [](ListedAttributes& l, uint64_t) { l.changed("/DOCS"); }, 1s, "/docs/a", -1},
        {"the entry asked under another case", nullptr, 0s, "/docs/A", -1},
        {"a sibling written", [](ListedAttributes& l, uint64_t) { l.changed("/docs/b"); }, 1s,
         "/docs/a", 1},
        {"the folder renamed", [](ListedAttributes& l, uint64_t) { l.changed("/docs"); }, 1s,
         "/docs/a", -1},
        {"a name that only begins like the folder's",
         [](ListedAttributes& l, uint64_t) { l.changed("/do"); }, 1s, "/docs/a", 1},
        {"a change before the entry arrived",
         [](ListedAttributes& l, uint64_t id) {
             l.changed("/docs/late");
             l.add(id, "late", sized(9));
         },
         1s, "/docs/late", -1},
        {"a newer listing that has not brought the name yet",
         [&](ListedAttributes& l, uint64_t) { l.began("/docs", t0 + 5s); }, 6s, "/docs/a", -1},
        {"a newer listing with the name",
         [&](ListedAttributes& l, uint64_t) { l.add(l.began("/docs", t0 + 5s), "a", sized(7)); },
         6s, "/docs/a", 7},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        ListedAttributes listed;
        const uint64_t id = listed.began("/docs", t0);
        listed.add(id, "a", sized(1));
        listed.add(id, "b", sized(2));
        if (c.then) {
            c.then(listed, id);
        }
        const std::optional<struct stat> found = listed.find(c.path, t0 + c.at);
        EXPECT_EQ(found ? found->st_size : -1, c.expected);
    }
}

TEST(ListedAttributes, AChangeInsideAFolderForgetsTheFolderItselfInTheListingAbove) {
    const Clock::time_point t0{};
    ListedAttributes listed;
    const uint64_t root = listed.began("/", t0);
    listed.add(root, "docs", sized(4096));
    listed.add(root, "other", sized(4096));
    listed.changed("/docs/new");
    EXPECT_FALSE(listed.find("/docs", t0));
    EXPECT_TRUE(listed.find("/other", t0));
}

}  // namespace
}  // namespace quorvane::tools
