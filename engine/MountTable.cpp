#include "MountTable.h"

#include <limits.h>
#include <stdlib.h>
#include <unistd.h>

#include "FileServices.h"

namespace quorvane {

namespace {

bool isOctalDigit(char c) {
    return c >= '0' && c <= '7';
}

// The next blank-separated field of a mountinfo line.
std::string_view nextField(std::string_view& line) {
    const size_t start = line.find_first_not_of(' ');
    if (start == std::string_view::npos) {
        line = {};
        return {};
    }
    line.remove_prefix(start);
    const size_t end = line.find(' ');
    const std::string_view field = line.substr(0, end);
    line.remove_prefix(end == std::string_view::npos ? line.size() : end);
    return field;
}

}  // namespace

std::string undoMountInfoEscapes(std::string_view field) {
    std::string out;
    out.reserve(field.size());
    for (size_t i = 0; i < field.size(); ++i) {
        if (field[i] == '\\' && i + 3 < field.size() && isOctalDigit(field[i + 1]) &&
            isOctalDigit(field[i + 2]) && isOctalDigit(field[i + 3])) {
            out.push_back(static_cast<char>((field[i + 1] - '0') * 64 + (field[i + 2] - '0') * 8 +
                                            (field[i + 3] - '0')));
            i += 3;
        } else {
            out.push_back(field[i]);
        }
    }
    return out;
}

std::vector<MountEntry> parseMountInfo(std::string_view text) {
    // id parent major:minor root mount-point options [optional fields...] - type source super
    std::vector<MountEntry> table;
    while (!text.empty()) {
        const size_t newline = text.find('\n');
        std::string_view line = text.substr(0, newline);
        text.remove_prefix(newline == std::string_view::npos ? text.size() : newline + 1);

        std::string_view fields[5];
        bool complete = true;
        for (auto& field : fields) {
            field = nextField(line);
            complete = complete && !field.empty();
        }
        if (!complete) {
            continue;
        }
        std::string_view field;
        do {
            field = nextField(line);
        } while (!field.empty() && field != "-");
        if (field != "-") {
            continue;
        }
        const std::string_view type = nextField(line);
        const std::string_view source = nextField(line);
        if (type.empty()) {
            continue;
        }
        table.push_back({undoMountInfoEscapes(fields[4]), undoMountInfoEscapes(type),
                         undoMountInfoEscapes(source), undoMountInfoEscapes(fields[3])});
    }
    return table;
}

std::optional<MountEntry> findMount(const std::vector<MountEntry>& table,
                                    const std::string& mountPoint) {
    for (auto it = table.rbegin(); it != table.rend(); ++it) {
        if (it->mountPoint == mountPoint) {
            return *it;
        }
    }
    return std::nullopt;
}

std::optional<std::string> resolveParentOnly(const std::string& path) {
    std::string trimmed = path;
    while (trimmed.size() > 1 && trimmed.back() == '/') {
        trimmed.pop_back();
    }
    const size_t slash = trimmed.rfind('/');
    const std::string parent =
        slash == std::string::npos ? "." : (slash == 0 ? "/" : trimmed.substr(0, slash));
    const std::string name = slash == std::string::npos ? trimmed : trimmed.substr(slash + 1);
    if (name.empty() || name == "." || name == "..") {
        return std::nullopt;
    }
    char resolved[PATH_MAX];
    if (::realpath(parent.c_str(), resolved) == nullptr) {
        return std::nullopt;
    }
    std::string result(resolved);
    if (result != "/") {
        result += '/';
    }
    return result + name;
}

MountRootListing listMountRoot(const std::string& mountRoot, const MountTableLookup& mountTable) {
    const files::Listing listing = files::listVisibleEntries(mountRoot);
    MountRootListing result;
    result.error = listing.error;
    for (const std::string& name : listing.names) {
        const std::string path = mountRoot + "/" + name;
        result.entries.push_back({name, path, mountTable ? mountTable(path) : mountAt(path)});
    }
    return result;
}

}  // namespace quorvane
