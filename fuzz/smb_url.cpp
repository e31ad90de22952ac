// The SMB URL parser against a regular-expression reading, and built URLs read back whole.
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "FuzzCheck.h"
#include "ReferenceParsers.h"
#include "SmbUrl.h"

namespace {

bool same(const quorvane::SmbUrlParts& a, const quorvane::SmbUrlParts& b) {
    return a.user == b.user && a.password == b.password && a.host == b.host && a.port == b.port &&
           a.share == b.share;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size > 512) {
        return 0;  // the reference's regular expressions recurse per character
    }
    const std::string_view url(reinterpret_cast<const char*>(data), size);
    const auto parts = quorvane::parseSmbUrl(url);
    const auto expected = quorvane::reference::smbUrl(url);
    FUZZ_CHECK(parts.has_value() == expected.has_value());
    if (!parts) {
        return 0;
    }
    FUZZ_CHECK(same(*parts, *expected));

    // What was read builds a URL that reads back the same.
    std::string server = parts->host;
    if (server.find(':') != std::string::npos || server.front() == '[') {
        server = "[" + server + "]";
    }
    if (parts->port) {
        server += ":" + std::to_string(*parts->port);
    }
    const std::string rebuilt = quorvane::buildSmbUrl(
        parts->user, parts->password ? &*parts->password : nullptr, server, parts->share);
    const auto again = quorvane::parseSmbUrl(rebuilt);
    FUZZ_CHECK(again.has_value() && same(*again, *parts));
    return 0;
}
