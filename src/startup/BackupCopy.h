// BackupCopy: the start-up backup copy of the host database. The copy is made
// before anything can write to the host database, under a name of its own
// (see BackupName), and it is a consistent picture of the database: it is
// taken through Database::copyFile, which holds a read lock on the file so
// that another program cannot commit half-way through.
#pragma once

#include "platform/DatabaseEngine.h"
#include "platform/FileCopy.h"
#include "platform/Prompter.h"

#include <ctime>
#include <string>

namespace tarvex {

struct BackupResult {
    enum class Outcome {
        Made,            // backupPath holds the complete copy
        NothingToBackUp, // the host path names no file; error says so
        Cancelled,       // the user cancelled; nothing was left behind
        Failed           // error names the file and the reason; nothing was left behind
    };
    Outcome outcome = Outcome::Failed;
    std::string backupPath;
    std::string error;
};

class BackupCopy {
public:
    // options.busyTimeoutMs bounds the wait for another program's lock.
    BackupCopy(FileCopy& fileCopy, Prompter& prompter, const OpenOptions& options = {});

    // Copies the file at hostPath to a new backup beside it named for the
    // local time when, showing progress with a Cancel button. A file that is
    // not a database (a program file chosen by mistake) is copied as it
    // stands; the open that follows will refuse it.
    BackupResult make(const std::string& hostPath, const std::tm& when);

private:
    FileCopy& m_fileCopy;
    Prompter& m_prompter;
    OpenOptions m_options;
};

} // namespace tarvex
