// Reading the program's few arguments.
#include "startup/CommandLine.h"

namespace tarvex {

CommandLine CommandLine::parse(const std::vector<std::string>& arguments, bool displayAvailable)
{
    CommandLine line;
    line.frontEnd = displayAvailable ? FrontEnd::Windows : FrontEnd::Terminal;
    if (arguments.empty())
        return line;
    if (arguments.size() > 1) {
        line.action = Action::Error;
        line.error = "too many arguments";
        return line;
    }
    const std::string& argument = arguments.front();
    if (argument == "--console")
        line.frontEnd = FrontEnd::Terminal;
    else if (argument == "--help" || argument == "-h")
        line.action = Action::Help;
    else if (argument == "--version")
        line.action = Action::Version;
    else if (argument == "--locate")
        line.action = Action::Locate;
    else {
        line.action = Action::Error;
        line.error = "unknown argument: " + argument;
    }
    return line;
}

std::string usageText()
{
    return std::string(kUsageLine) +
           "\n\n"
           "Brings the vendor price list invupdate.mdb, kept beside the program, into the\n"
           "host application's product table, after a backup copy of the host database.\n\n"
           "  (no argument)  run in windows when a display is available, else in the terminal\n"
           "  --console      run in the terminal\n"
           "  --locate       print the host database path that a run would use, and exit\n"
           "  --help         print this text and exit\n"
           "  --version      print the version and exit\n";
}

} // namespace tarvex
