#include "ListedAttributes.h"

#include <algorithm>

#include "SmbSemantics.h"
#include "UnicodeText.h"

namespace quorvane::tools {

namespace {

// "/a/b" is in "/a" named "b"; "/b" in "/" named "b".
std::pair<std::string, std::string> folderAndName(const std::string& path) {
    const size_t slash = path.rfind('/');
    if (slash == std::string::npos) {
        return {"/", path};
    }
    return {slash == 0 ? "/" : path.substr(0, slash), path.substr(slash + 1)};
}

}  // namespace

uint64_t ListedAttributes::began(const std::string& folder, Clock::time_point now) {
    prune(now);
    Listing listing;
    listing.id = nextId_++;
    listing.folder = folder;
    listing.foldedFolder = text::toLower(folder);
    listing.began = now;
    listings_.push_front(std::move(listing));
    return listings_.front().id;
}

void ListedAttributes::add(uint64_t id, const std::string& name, const struct stat& attributes) {
    Listing* listing = listingById(id);
    const std::string key = text::toLower(name);
    if (listing == nullptr || listing->changed.count(key) != 0) {
        return;
    }
    auto& named = listing->entries[key];
    const auto same = std::find_if(named.begin(), named.end(),
                                   [&](const auto& entry) { return entry.first == name; });
    if (same != named.end()) {
        same->second = attributes;
    } else {
        named.emplace_back(name, attributes);
    }
}

void ListedAttributes::closed(uint64_t id, Clock::time_point now) {
    if (Listing* listing = listingById(id)) {
        listing->closedAt = now;
    }
    prune(now);
}

void ListedAttributes::changed(const std::string& changedPath) {
    // Every case of the name: the server may take any of them for the one changed.
    const std::string path = text::toLower(changedPath);
    const auto [folder, name] = folderAndName(path);
    // A change inside a folder changes the folder's own times too.
    const auto [folderAbove, folderName] = folderAndName(folder);
    for (Listing& listing : listings_) {
        if (folder != "/" && listing.foldedFolder == folderAbove) {
            listing.entries.erase(folderName);
        }
        if (listing.foldedFolder == folder) {
            listing.entries.erase(name);
            listing.changed.insert(name);
        } else if (isAtOrBelow(listing.foldedFolder, path)) {
            listing.entries.clear();
            listing.closedAt = listing.began;  // answers nothing from now on
        }
    }
}

std::optional<struct stat> ListedAttributes::find(const std::string& path, Clock::time_point now) {
    const auto [folder, name] = folderAndName(path);
    for (const Listing& listing : listings_) {
        if (listing.folder != folder || !inForce(listing, now)) {
            continue;
        }
        // The newest listing in force answers alone: a name it lacks may be gone from the
        // server, or not have arrived yet; the server is asked then.
        const auto found = listing.entries.find(text::toLower(name));
        if (found == listing.entries.end()) {
            return std::nullopt;
        }
        for (const auto& [listedName, attributes] : found->second) {
            if (listedName == name) {
                return attributes;
            }
        }
        return std::nullopt;
    }
    return std::nullopt;
}

bool ListedAttributes::inForce(const Listing& listing, Clock::time_point now) const {
    if (now - listing.began > kWhileOpen) {
        return false;
    }
    return !listing.closedAt || now - *listing.closedAt <= kAfterClose;
}

ListedAttributes::Listing* ListedAttributes::listingById(uint64_t id) {
    const auto found = std::find_if(listings_.begin(), listings_.end(),
                                    [id](const Listing& listing) { return listing.id == id; });
    return found == listings_.end() ? nullptr : &*found;
}

void ListedAttributes::prune(Clock::time_point now) {
    listings_.remove_if([&](Listing& listing) {
        if (inForce(listing, now)) {
            return false;
        }
        listing.entries.clear();  // a folder held open for long keeps no copy of its listing
        return listing.closedAt.has_value();
    });
}

}  // namespace quorvane::tools
