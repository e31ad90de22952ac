#include "LaunchMode.h"

#include <algorithm>
#include <cstring>
#include <iterator>

namespace quorvane {

LaunchMode launchModeFor(int argc, char** argv) {
    if (argc < 2) {
        return LaunchMode::gui;
    }
    const char* first = argv[1];
    for (const char* own : {"--help", "-h", "--version"}) {
        if (std::strcmp(first, own) == 0) {
            return LaunchMode::commandLine;
        }
    }
    return first[0] == '-' ? LaunchMode::gui : LaunchMode::commandLine;
}

const char* unknownTrayOption(int argc, char** argv) {
    // The options QApplication takes; the first group takes a value.
    static const char* const withValue[] = {"platform",
                                            "platformpluginpath",
                                            "platformtheme",
                                            "plugin",
                                            "qmljsdebugger",
                                            "qwindowgeometry",
                                            "qwindowicon",
                                            "qwindowtitle",
                                            "session",
                                            "display",
                                            "geometry",
                                            "style",
                                            "stylesheet",
                                            "title",
                                            "name",
                                            "visual",
                                            "fn",
                                            "font",
                                            "bg",
                                            "background",
                                            "fg",
                                            "foreground",
                                            "btn",
                                            "button",
                                            "im",
                                            "inputstyle"};
    static const char* const alone[] = {"reverse", "widgetcount", "nograb",
                                        "dograb",  "sync",        "autostart"};
    for (int i = 1; i < argc; ++i) {
        // Qt takes "-style" and "--style" alike.
        const char* name = argv[i][0] == '-' ? argv[i] + 1 : argv[i];
        name += name[0] == '-' ? 1 : 0;
        const char* equals = std::strchr(name, '=');
        const size_t length = equals ? static_cast<size_t>(equals - name) : std::strlen(name);
        auto is = [&](const char* option) {
            return std::strlen(option) == length && std::strncmp(name, option, length) == 0;
        };
        if (argv[i][0] == '-' && std::any_of(std::begin(withValue), std::end(withValue), is)) {
            i += equals ? 0 : 1;  // its value follows
        } else if (argv[i][0] != '-' || !std::any_of(std::begin(alone), std::end(alone), is)) {
            return argv[i];
        }
    }
    return nullptr;
}

}  // namespace quorvane
