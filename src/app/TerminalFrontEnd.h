// The program's front-end choice and everything it does without windows:
// --help, --version, --locate, a command line it does not understand, and a
// whole run in the terminal with the terminal prompts and review.
#pragma once

#include "review/ConsoleReview.h"
#include "startup/CommandLine.h"
#include "startup/StartupSequence.h"
#include "startup/VendorFiles.h"

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
// of out, says on err which settings file it came from, and returns kExitOk.
// settingsFolder: where Merlow.INI is looked for first. With no stored
// location it says so on err and returns kExitError. Opens no database and
// copies nothing.
int locateHostDatabase(const std::string& settingsFolder, std::ostream& out, std::ostream& err);

// Prints the runs recorded for the host database a run would use (found as
// locateHostDatabase finds it), newest first, or with run the products that
// run wrote, and returns the exit status. Opens nothing for writing.
int historyOfHostDatabase(const std::string& settingsFolder, std::ostream& out, std::ostream& err,
                          std::optional<std::int64_t> run = std::nullopt);

// A whole run in the terminal: the splash line, the start-up with the
// terminal prompts, and the terminal review. errIsTerminal: whether err is a
// terminal, where progress is drawn; inIsTerminal: whether in is one (when it
// is not, answers are echoed so that a scripted run's output reads in order).
// With undo, the run is that undo (see StartupSequence::setUndo). Returns
// the exit status.
int runInTerminal(const VendorFiles& files, std::istream& in, std::ostream& out, std::ostream& err, bool errIsTerminal,
                  bool inIsTerminal, PdfPrinter printPdf, std::optional<UndoRequest> undo = std::nullopt);

// Does what line asks unless it is a run in windows: the exit status, or
// nothing when the caller is to start the windows. files: the vendor's files
// that line's path (or the program's folder) gives.
std::optional<int> runWithoutWindows(const CommandLine& line, const VendorFiles& files, std::istream& in,
                                     std::ostream& out, std::ostream& err, bool errIsTerminal, bool inIsTerminal,
                                     PdfPrinter printPdf);

} // namespace tarvex
