#include "MountFailure.h"

#include "MountToolStatus.h"

#include "TerminalText.h"

namespace quorvane {

namespace {

std::string asSentence(std::string text) {
    if (text.empty()) {
        return text;
    }
    if (text[0] >= 'a' && text[0] <= 'z') {
        text[0] = static_cast<char>(text[0] - 'a' + 'A');
    }
    if (text.back() != '.') {
        text += '.';
    }
    return text;
}

}  // namespace

std::string lastMeaningfulLine(const std::string& text) {
    size_t end = text.size();
    while (end > 0) {
        const size_t start = text.rfind('\n', end - 1);
        const size_t from = start == std::string::npos ? 0 : start + 1;
        std::string line = text.substr(from, end - from);
        while (!line.empty() && (line.back() == '\r' || line.back() == ' ')) {
            line.pop_back();
        }
        if (!line.empty()) {
            const size_t colon = line.find(": ");
            if (colon != std::string::npos && line.find(' ') > colon) {
                line.erase(0, colon + 2);  // "mount_smbfs: " and the like
            }
            return escapeControlCharacters(line);
        }
        if (start == std::string::npos) {
            break;
        }
        end = start;
    }
    return {};
}

MountFailure describeMountFailure(const ProcessResult& run, bool exitStatusesKnown) {
    using O = ProcessResult::Outcome;
    switch (run.outcome) {
        case O::CouldNotStart:
            return {"The mount tool could not be started (" + run.error +
                        "); install or repair Quorvane.",
                    false};
        case O::TimedOut:
            return {asSentence(run.error), true};
        case O::Interrupted:
            return {"Stopped on request.", false};
        case O::Signalled:
            return {"The mount tool ended abnormally (signal " + std::to_string(run.signal) + ").",
                    false};
        case O::Exited:
            break;
    }
    const std::string toolLine = lastMeaningfulLine(run.errors);
    if (exitStatusesKnown) {
        switch (static_cast<MountExit>(run.exitStatus)) {
            case MountExit::BadMountPoint:
                return {"The mount point is in use or not empty.", false};
            case MountExit::WrongPassword:
                return {"Wrong user name or password.", false, true};
            case MountExit::ShareUnavailable:
                return {"The share is unknown or not allowed.", false, false, true};
            case MountExit::ServerUnreachable:
                return {toolLine.empty() ? "The server was not found or is not answering."
                                         : asSentence(toolLine),
                        true};
            case MountExit::FuseUnavailable:
                return {toolLine.empty() ? "FUSE is not permitted on this computer."
                                         : asSentence(toolLine),
                        false};
            default:
                break;
        }
    }
    if (!toolLine.empty()) {
        return {asSentence(toolLine), false};
    }
    return {"The mount tool failed (exit status " + std::to_string(run.exitStatus) + ").", false};
}

}  // namespace quorvane
