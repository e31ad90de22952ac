#pragma once

#include <iosfwd>
#include <optional>
#include <string>

namespace quorvane {

/// Reads a password from standard input. From a terminal: writes `prompt` to standard error
/// and reads one line without echo. Otherwise: reads everything up to end of input and drops
/// one trailing line break, so that both a pipe fed the bare password and `echo` work.
/// Nothing when the input cannot be read, is too long, or a stop signal arrives.
std::optional<std::string> readPassword(const std::string& prompt);

/// The same for input that is not a terminal, from a stream: everything up to end of input,
/// one trailing line break dropped. Nothing when it cannot be read or is too long.
std::optional<std::string> readPassword(std::istream& in);

}  // namespace quorvane
