// CommandLine: what the program was asked to do by its arguments, and which
// front end a run uses.
#pragma once

#include <string>
#include <vector>

namespace tarvex {

struct CommandLine {
    enum class Action { Run, Help, Version, Locate, Error };
    enum class FrontEnd { Windows, Terminal };

    Action action = Action::Run;
    FrontEnd frontEnd = FrontEnd::Windows;
    std::string error; // for Action::Error: what was not understood
    // The vendor's folder or price list file named for a run or --locate, as
    // given; empty when none was (the program's own folder is used).
    std::string vendorPath;

    // Reads the arguments (without the program name): at most one option and
    // at most one path, in either order; "--" makes what follows a path even
    // when it starts with "-". displayAvailable says whether DISPLAY or
    // WAYLAND_DISPLAY is set: without a display the terminal is used even
    // when --console was not given.
    static CommandLine parse(const std::vector<std::string>& arguments, bool displayAvailable);
};

// The usage text printed by --help, and its first line after an error.
std::string usageText();
inline constexpr const char* kUsageLine = "Usage: tarvex [--console | --locate | --help | --version] [FOLDER | FILE]";

} // namespace tarvex
