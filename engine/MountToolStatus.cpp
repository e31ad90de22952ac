#include "MountToolStatus.h"

namespace quorvane {

std::string describeMountExits() {
    return "Exit status: 0 mounted, 2 bad usage or URL, 3 mount point missing or busy,\n"
           "4 wrong user name, password or ticket, 5 unknown or forbidden share, 6 server not\n"
           "found or not answering, 7 FUSE missing or not permitted, 1 any other failure.\n";
}

std::string formatReport(const MountReport& report) {
    std::string cause = report.cause;
    for (char& c : cause) {
        if (c == '\n' || c == '\r') {
            c = ' ';
        }
    }
    return std::to_string(report.status) + " " + cause + "\n";
}

std::optional<MountReport> parseReport(const std::string& text) {
    const size_t newline = text.find('\n');
    const size_t space = text.find(' ');
    if (newline == std::string::npos || space == std::string::npos || space > newline ||
        space == 0) {
        return std::nullopt;
    }
    MountReport report;
    try {
        report.status = std::stoi(text.substr(0, space));
    } catch (...) {
        return std::nullopt;
    }
    report.cause = text.substr(space + 1, newline - space - 1);
    return report;
}

}  // namespace quorvane
