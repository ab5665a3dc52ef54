// One whole run of the program against files a test has spoiled: a program
// folder with its price list and Merlow.INI, a host database in a folder of
// its own, the real start-up sequence with the real shell and file copy, and
// a hand-over that builds the review, selects every row and applies it, as a
// user pressing "Select All" and "Apply Changes" would. The outcome says where
// the run ended and with which message, and the checks every bad input must
// pass are made in one place: no partial backup left, the host untouched
// unless the user applied a change, and any error naming a file.
#pragma once

#include "platform/db/DatabaseEngine.h"
#include "platform/os/FileCopy.h"
#include "platform/os/Shell.h"
#include "review/ApplyReport.h"
#include "support/EnvOverride.h"
#include "support/SampleDatabases.h"
#include "support/ScriptedPrompter.h"
#include "support/TempDir.h"

#include <ctime>
#include <functional>
#include <string>
#include <vector>

namespace tarvex::test {

// Where a run ended.
enum class End {
    ErrorLoading,   // "Error Loading database"
    NoVendor,       // "Error Locating Vendor Record"
    NotLocated,     // "Database not located"
    BackupFailed,   // the backup could not be made; nothing opened
    UnableToOpen,   // "Unable to Open Database"
    ListFailed,     // the review list could not be built at all
    Complete,       // "Update Complete"
    Incomplete,     // "Update Incomplete"
    NothingToApply, // the list was empty
};

const char* endName(End end);

struct RunOutcome {
    End end = End::Complete;
    int exitStatus = -1;
    std::vector<Message> messages;
    // What the review listed and what applying it did.
    std::vector<std::string> listed;
    std::vector<std::string> notListed; // product codes reported as unreadable
    ApplyReport report;
    std::string buildError;

    // The critical or exclamation message that matters for the outcome (the
    // last one), empty when none.
    std::string detail() const;
    // "End: caption | detail", one line, for the test log and the figures.
    std::string summary() const;
};

class Scenario {
public:
    Scenario();

    TempDir dir;
    // The user's own settings folder, empty unless a case writes to it.
    EnvOverride configHome{"XDG_CONFIG_HOME", dir.file("config")};
    std::string program;
    std::string data;
    std::string desktop;
    std::string updatePath;
    std::string hostPath;
    std::string settingsPath;
    ScriptedPrompter prompter;

    // The standard files: vendor Acme with P1 (cost rises), P2 (price
    // rises), P3 (unchanged); the host with the same codes; Merlow.INI names
    // the host database.
    void writeStandardFiles();
    void storeLocation(const std::string& path);
    // Runs in the hand-over between building the list and applying it.
    std::function<void()> beforeApply;
    // How the run opens and copies the databases (its busy timeout).
    OpenOptions openOptions;

    RunOutcome run();

    // Files in the host's folder and the desktop whose names show an
    // unfinished copy.
    std::vector<std::string> leftovers() const;
    // The backup copies in the host's folder, by name.
    std::vector<std::string> backups() const;
};

// The bytes of a file, for before-and-after comparison.
std::string fileBytes(const std::string& path);

// Prints one outcome line to the test log, in the form the figures in the
// documentation are counted from.
void logOutcome(const std::string& group, const std::string& name, const RunOutcome& outcome);

} // namespace tarvex::test
