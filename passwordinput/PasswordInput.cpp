#include "PasswordInput.h"

#include <errno.h>
#include <signal.h>
#include <termios.h>
#include <unistd.h>

#include <csignal>
#include <istream>
#include <optional>

#include "CatchStopSignals.h"

namespace quorvane {

namespace {

constexpr size_t kLongestPassword = 64 * 1024;

volatile std::sig_atomic_t g_signalDuringRead = 0;

void rememberSignal(int signalNumber) {
    g_signalDuringRead = signalNumber;
}

void writeAll(int fd, const std::string& text) {
    size_t done = 0;
    while (done < text.size()) {
        const ssize_t n = ::write(fd, text.data() + done, text.size() - done);
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n <= 0) {
            return;
        }
        done += static_cast<size_t>(n);
    }
}

// Reads until end of input, or up to the first line feed when `oneLine` is set.
std::optional<std::string> readInput(bool oneLine) {
    std::string text;
    char c = 0;
    for (;;) {
        const ssize_t n = ::read(STDIN_FILENO, &c, 1);
        if (n < 0 && errno == EINTR && g_signalDuringRead == 0) {
            continue;
        }
        if (n < 0) {
            return std::nullopt;
        }
        if (n == 0 || (oneLine && c == '\n')) {
            break;
        }
        text.push_back(c);
        if (text.size() > kLongestPassword) {
            return std::nullopt;
        }
    }
    return text;
}

// Both a pipe fed the bare password and `echo` give the same password.
void dropOneLineBreak(std::string& text) {
    if (!text.empty() && text.back() == '\n') {
        text.pop_back();
        if (!text.empty() && text.back() == '\r') {
            text.pop_back();
        }
    }
}

}  // namespace

std::optional<std::string> readPassword(std::istream& in) {
    std::string text;
    char buffer[4096];
    while (in.read(buffer, sizeof buffer) || in.gcount() > 0) {
        text.append(buffer, static_cast<size_t>(in.gcount()));
        if (text.size() > kLongestPassword) {
            return std::nullopt;
        }
    }
    if (in.bad()) {
        return std::nullopt;
    }
    dropOneLineBreak(text);
    return text;
}

std::optional<std::string> readPassword(const std::string& prompt) {
    const bool fromTerminal = ::isatty(STDIN_FILENO) != 0;

    // While the echo is off, a Ctrl-C must not leave the terminal silent: catch the stop
    // signals, restore the terminal, then let the signal take its usual course.
    g_signalDuringRead = 0;
    std::optional<CatchStopSignals> catcher(std::in_place, rememberSignal, false);

    termios saved{};
    bool echoOff = false;
    if (fromTerminal) {
        writeAll(STDERR_FILENO, prompt);
        if (::tcgetattr(STDIN_FILENO, &saved) == 0) {
            termios quiet = saved;
            quiet.c_lflag &= static_cast<tcflag_t>(~(ECHO | ECHONL));
            echoOff = ::tcsetattr(STDIN_FILENO, TCSAFLUSH, &quiet) == 0;
        }
    }
    std::optional<std::string> text = readInput(fromTerminal);
    if (echoOff) {
        ::tcsetattr(STDIN_FILENO, TCSAFLUSH, &saved);
    }
    if (fromTerminal) {
        writeAll(STDERR_FILENO, "\n");
    }

    catcher.reset();
    if (g_signalDuringRead != 0) {
        ::raise(g_signalDuringRead);
        return std::nullopt;
    }
    if (!text) {
        return std::nullopt;
    }
    if (!fromTerminal) {
        dropOneLineBreak(*text);
    } else if (fromTerminal && !text->empty() && text->back() == '\r') {
        text->pop_back();
    }
    return text;
}

}  // namespace quorvane
