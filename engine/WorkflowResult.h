#pragma once

#include <string>
#include <vector>

namespace quorvane {

/// How a workflow ended. Callers decide on this value, never on the words of the message.
enum class Outcome {
    Succeeded,
    PartlyDone,  // the main work is done, but something (a group share, a busy drive) is not
    Failed,
    Interrupted,  // stopped on request; what was mounted before stays mounted
};

/// A share that the workflow meant to mount and could not, with the reason in a sentence.
struct ShareProblem {
    std::string share;
    std::string cause;
};

struct WorkflowResult {
    Outcome outcome = Outcome::Failed;
    /// One line for the panel: the fixed sentence of the case first, any cause after it.
    std::string message;
    /// The folders of the mount root that hold a mounted share once the workflow is over.
    std::vector<std::string> mountedShares;
    /// The group shares a logon left unmounted, each with its reason.
    std::vector<ShareProblem> notMounted = {};
    /// What the server said of the password the workflow was given, where it was asked.
    enum class Password { NotAsked, Taken, Refused };
    Password password = Password::NotAsked;
    /// Shares are broken and stay as they are until the user gives a password the server
    /// takes: none was at hand, or the one tried was refused.
    bool passwordNeeded = false;
    /// The server could not be reached at all (its name does not resolve, or nothing
    /// answers): the computer is away from the domain's network, not refused.
    bool serverAway = false;
};

}  // namespace quorvane
