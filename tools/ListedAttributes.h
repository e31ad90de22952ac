#pragma once

#include <sys/stat.h>

#include <chrono>
#include <cstdint>
#include <list>
#include <optional>
#include <string>
#include <unordered_map>
#include <unordered_set>
#include <utility>
#include <vector>

// The attributes a folder listing brought, kept to answer the stats that follow it. `ls -l`
// stats every entry while it lists; on a busy machine the kernel's own copy (1 s) has expired
// by then, and each stat would be a round trip to the server. An entry answers while its
// listing is open (at most kWhileOpen after the listing began) and for kAfterClose after the
// close, the kernel's own life for attributes. A change made through this mount drops what
// was listed of its path at once, also from a listing still arriving, under any case of its
// name (the server may take "Report.txt" for "report.txt"). Changes made by others on the
// server are seen as they are in any listing: as of its time.
namespace quorvane::tools {

class ListedAttributes {
public:
    using Clock = std::chrono::steady_clock;
    static constexpr std::chrono::seconds kWhileOpen{60};
    static constexpr std::chrono::seconds kAfterClose{1};

    /// A listing of `folder` (a path from the share's root, "/" for the root) begins.
    uint64_t began(const std::string& folder, Clock::time_point now);
    /// One entry of listing `id` arrived.
    void add(uint64_t id, const std::string& name, const struct stat& attributes);
    /// The folder's listing `id` was closed by the program that opened it.
    void closed(uint64_t id, Clock::time_point now);
    /// `path` changed through this mount: what was listed of it, and, as it may be a folder,
    /// of everything below it, is no longer known.
    void changed(const std::string& path);
    /// What a listing still in force says of `path`.
    std::optional<struct stat> find(const std::string& path, Clock::time_point now);

private:
    struct Listing {
        uint64_t id = 0;
        std::string folder;
        std::string foldedFolder;  // lower-cased, as are the keys below
        Clock::time_point began;
        std::optional<Clock::time_point> closedAt;
        // Each name as listed, under its lower-cased form.
        std::unordered_map<std::string, std::vector<std::pair<std::string, struct stat>>> entries;
        std::unordered_set<std::string> changed;  // names changed while the listing arrived
    };
    bool inForce(const Listing& listing, Clock::time_point now) const;
    Listing* listingById(uint64_t id);
    /// Forgets closed listings that no longer answer.
    void prune(Clock::time_point now);

    uint64_t nextId_ = 1;
    std::list<Listing> listings_;  // newest first; few at a time: one per open folder
};

}  // namespace quorvane::tools
