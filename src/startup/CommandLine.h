// CommandLine: what the program was asked to do by its arguments, and which
// front end a run uses.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace tarvex {

struct CommandLine {
    enum class Action { Run, Help, Version, Locate, History, HistoryWindow, Undo, Error };
    enum class FrontEnd { Windows, Terminal };

    Action action = Action::Run;
    FrontEnd frontEnd = FrontEnd::Windows;
    std::string error; // for Action::Error: what was not understood
    // The vendor's folder or price list file named for a run or --locate, as
    // given; empty when none was (the program's own folder is used).
    std::string vendorPath;
    // For Action::Undo, the number of the run to undo when one was given
    // (the whole number right after --undo); else the latest not undone.
    std::optional<std::int64_t> undoRun;
    // For Action::History, the run whose products to list (the whole number
    // right after --history); else the runs are listed.
    std::optional<std::int64_t> historyRun;

    // Reads the arguments (without the program name): at most one option and
    // at most one path, in either order; "--" makes what follows a path even
    // when it starts with "-". --console may go with --undo, the one other
    // option that runs in the terminal or in windows. displayAvailable says whether DISPLAY or
    // WAYLAND_DISPLAY is set: without a display the terminal is used even
    // when --console was not given.
    static CommandLine parse(const std::vector<std::string>& arguments, bool displayAvailable);
};

// The usage text printed by --help, and its first line after an error.
std::string usageText();
inline constexpr const char* kUsageLine =
    "Usage: tarvex [--console | --locate | --history [N] | --history-window | --undo [N] | --help | --version] "
    "[FOLDER | FILE]";

} // namespace tarvex
