// Reading the program's few arguments.
#include "startup/CommandLine.h"

namespace tarvex {

namespace {

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
    bool pathSeen = false;
    bool optionsEnded = false;
    for (const std::string& argument : arguments) {
        if (!optionsEnded && argument == "--") {
            optionsEnded = true;
            continue;
        }
        if (optionsEnded || argument.empty() || argument.front() != '-') {
            if (pathSeen)
                return failed(line, "too many arguments");
            pathSeen = true;
            line.vendorPath = argument;
            continue;
        }
        if (optionSeen)
            return failed(line, "too many arguments");
        optionSeen = true;
        if (argument == "--console")
            line.frontEnd = FrontEnd::Terminal;
        else if (argument == "--help" || argument == "-h")
            line.action = Action::Help;
        else if (argument == "--version")
            line.action = Action::Version;
        else if (argument == "--locate")
            line.action = Action::Locate;
        else
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
           "  --help         print this text and exit\n"
           "  --version      print the version and exit\n";
}

} // namespace tarvex
