#pragma once

#include <iosfwd>
#include <string>
#include <vector>

namespace quorvane {

/// `quorvane logon|logout|status|--help`: the panel's two workflows and a look at the mount
/// root, from a terminal or a script. Returns the exit status: 0 when the workflow's message
/// carries its success marker, 1 when not, 2 for bad usage.
int runCommandLine(int argc, char** argv);

/// The lines of `quorvane status` for the mount root `mountRoot`; exposed for tests.
std::vector<std::string> describeMountRoot(const std::string& mountRoot);

}  // namespace quorvane
