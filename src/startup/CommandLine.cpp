// Reading the program's few arguments.
#include "startup/CommandLine.h"

namespace tarvex {

namespace {

// Whether text is a run number: digits only, not too many for one.
bool isRunNumber(const std::string& text)
{
    return !text.empty() && text.size() <= 18 && text.find_first_not_of("0123456789") == std::string::npos;
}

CommandLine failed(CommandLine line, std::string error)
{
    line.action = CommandLine::Action::Error;
    line.error = std::move(error);
    return line;
}

} // namespace

CommandLine CommandLine::parse(const std::vector<std::string>& arguments, bool displayAvailable)
{
    CommandLine line;
    line.frontEnd = displayAvailable ? FrontEnd::Windows : FrontEnd::Terminal;
    bool optionSeen = false;
    bool consoleSeen = false;
    bool pathSeen = false;
    bool optionsEnded = false;
    // Right after --undo or --history, which a run number may follow.
    bool afterUndo = false;
    for (const std::string& argument : arguments) {
        bool numberMayFollow = afterUndo;
        afterUndo = false;
        if (!optionsEnded && argument == "--") {
            optionsEnded = true;
            continue;
        }
        if (numberMayFollow && !optionsEnded && isRunNumber(argument)) {
            (line.action == Action::History ? line.historyRun : line.undoRun) = std::stoll(argument);
            continue;
        }
        if (optionsEnded || argument.empty() || argument.front() != '-') {
            if (pathSeen)
                return failed(line, "too many arguments");
            pathSeen = true;
            line.vendorPath = argument;
            continue;
        }
        // --console goes with --undo; any other two options are too many.
        bool console = argument == "--console";
        if (optionSeen && !(console && !consoleSeen && line.action == Action::Undo) &&
            !(argument == "--undo" && consoleSeen && line.action == Action::Run))
            return failed(line, "too many arguments");
        optionSeen = true;
        consoleSeen = consoleSeen || console;
        if (console)
            line.frontEnd = FrontEnd::Terminal;
        else if (argument == "--help" || argument == "-h")
            line.action = Action::Help;
        else if (argument == "--version")
            line.action = Action::Version;
        else if (argument == "--locate")
            line.action = Action::Locate;
        else if (argument == "--history") {
            line.action = Action::History;
            afterUndo = true;
        } else if (argument == "--history-window")
            line.action = Action::HistoryWindow;
        else if (argument == "--undo") {
            line.action = Action::Undo;
            afterUndo = true;
        } else
            return failed(line, "unknown argument: " + argument);
    }
    // An empty path names nothing; it is refused rather than taken for the
    // current folder.
    if (pathSeen && line.vendorPath.empty())
        return failed(line, "an empty path names no folder or file");
    return line;
}

std::string usageText()
{
    return std::string(kUsageLine) +
           "\n\n"
           "Brings a vendor's price list into the host application's product table, after\n"
           "a backup copy of the host database.\n\n"
           "  FOLDER         the vendor's folder: its invupdate.mdb is the price list and\n"
           "                 its Merlow.INI may store the host database location\n"
           "  FILE           the vendor's price list itself (any name); Merlow.INI is\n"
           "                 looked for in its folder\n"
           "                 Without either, the program's own folder is used; an installed\n"
           "                 program with no price list beside it asks for one.\n"
           "                 With no location in Merlow.INI there, the user's own\n"
           "                 $XDG_CONFIG_HOME/tarvex/Merlow.INI (~/.config/tarvex/) is read.\n\n"
           "  (no option)    run in windows when a display is available, else in the terminal\n"
           "  --console      run in the terminal\n"
           "  --locate       print the host database path that a run would use, say on\n"
           "                 standard error which settings file it came from, and exit\n"
           "  --history [N]  print the price updates recorded for that host database,\n"
           "                 newest first, and exit; with N, the products run N wrote\n"
           "  --history-window  show them in a window, from which one is undone (without\n"
           "                 a display, print them as --history does)\n"
           "  --undo [N]     put back the values the latest price update not yet undone\n"
           "                 (or run N of --history) changed, after a backup copy and a\n"
           "                 review as in a normal run; goes with --console\n"
           "  --help         print this text and exit\n"
           "  --version      print the version and exit\n";
}

} // namespace tarvex
