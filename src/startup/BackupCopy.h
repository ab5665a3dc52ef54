// BackupCopy: the start-up backup copy of the host database. The copy is made
// before anything can write to the host database, under a name of its own
// (see BackupName), and it is a consistent picture of the database: it is
// taken through Database::copyFile, which holds a read lock on the file so
// that another program cannot commit half-way through. A journal left by an
// interrupted write is rolled back first, so the copy is of the file as it
// was last completely saved. Unfinished copies that earlier
// runs left beside the host when they stopped are removed first.
#pragma once

#include "platform/Database.h"
#include "platform/os/FileCopy.h"
#include "platform/prompt/Prompter.h"

#include <ctime>
#include <string>

namespace tarvex {

struct BackupResult {
    enum class Outcome {
        Made,            // backupPath holds the complete copy
        NothingToBackUp, // the host path names no file; error says so
        NotADatabase,    // the file is no database; error says why; no copy was made
        Cancelled,       // the user cancelled; nothing was left behind
        Failed           // error names the file and the reason; nothing was left behind
    };
    Outcome outcome = Outcome::Failed;
    std::string backupPath;
    std::string error;
    // Made only: an interrupted write to the host file was rolled back before
    // the copy.
    bool rolledBack = false;
};

class BackupCopy {
public:
    // options.busyTimeoutMs bounds the wait for another program's lock.
    BackupCopy(FileCopy& fileCopy, Prompter& prompter, const OpenOptions& options = {});

    // Copies the file at hostPath to a new backup beside it named for the
    // local time when, showing progress with a Cancel button. A file whose
    // first bytes are not those of a database (a program file chosen by
    // mistake, a shortcut that could not be read) is not copied: a copy would
    // only be a stray file beside it. An Access database is copied only
    // while no other program has it open (see Database::copyFile).
    BackupResult make(const std::string& hostPath, const std::tm& when);

private:
    FileCopy& m_fileCopy;
    Prompter& m_prompter;
    OpenOptions m_options;
};

} // namespace tarvex
