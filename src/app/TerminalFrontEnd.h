// The program's front-end choice and everything it does without windows:
// --help, --version, --locate, a command line it does not understand, and a
// whole run in the terminal with the terminal prompts and review.
#pragma once

#include "review/ConsoleReview.h"
#include "startup/CommandLine.h"

#include <iosfwd>
#include <optional>
#include <string>

namespace tarvex {

// Whether a window system can be reached: DISPLAY or WAYLAND_DISPLAY is set
// and not empty.
bool displayAvailable();

// The splash in one line: caption, product name, version label and company.
std::string splashLine();
// "Tarvex " and the version.
std::string versionLine();

// Prints the host database path a run would use, found from the stored
// location and the logon settings files only (no dialog), alone on one line
// of out, and returns kExitOk. With no stored location it says so on err and
// returns kExitError. Opens no database and copies nothing.
int locateHostDatabase(const std::string& programFolder, std::ostream& out, std::ostream& err);

// A whole run in the terminal: the splash line, the start-up with the
// terminal prompts, and the terminal review. errIsTerminal: whether err is a
// terminal, where progress is drawn; inIsTerminal: whether in is one (when it
// is not, answers are echoed so that a scripted run's output reads in order).
// Returns the exit status.
int runInTerminal(const std::string& programFolder, std::istream& in, std::ostream& out, std::ostream& err,
                  bool errIsTerminal, bool inIsTerminal, PdfPrinter printPdf);

// Does what line asks unless it is a run in windows: the exit status, or
// nothing when the caller is to start the windows.
std::optional<int> runWithoutWindows(const CommandLine& line, const std::string& programFolder, std::istream& in,
                                     std::ostream& out, std::ostream& err, bool errIsTerminal, bool inIsTerminal,
                                     PdfPrinter printPdf);

} // namespace tarvex
