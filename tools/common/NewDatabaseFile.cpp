// Writing a database file through a StagedFile, so that the final name
// appears only when the file is complete, and removing the staged file when
// the tool is stopped by a signal.
#include "common/NewDatabaseFile.h"

#include "platform/sqlite/SqliteStatement.h"

#include <sqlite3.h>

#include <csignal>
#include <cstring>
#include <filesystem>
#include <sys/stat.h>
#include <unistd.h>
#include <utility>

namespace tarvex {

namespace {

// The staged file being written, for the signal handler below. Fixed
// buffers, because a signal handler may not allocate; one slot, because a
// tool writes one file at a time.
char g_staged[4096];
char g_journal[4096];
volatile sig_atomic_t g_armed = 0;

extern "C" void removeStagedAndStop(int signal)
{
    if (g_armed) {
        ::unlink(g_staged);
        ::unlink(g_journal);
    }
    // SA_RESETHAND has put the default action back: stop as the signal meant.
    ::raise(signal);
}

// Makes Ctrl+C, a closed terminal or a kill remove the staged file, so that
// an interrupted run leaves nothing behind either. A handler the program has
// installed itself is left alone.
void arm(const std::string& staged)
{
    std::string journal = staged + "-journal";
    if (journal.size() >= sizeof g_journal)
        return;
    g_armed = 0;
    std::memcpy(g_staged, staged.c_str(), staged.size() + 1);
    std::memcpy(g_journal, journal.c_str(), journal.size() + 1);
    for (int signal : {SIGINT, SIGTERM, SIGHUP}) {
        struct sigaction current {};
        if (::sigaction(signal, nullptr, &current) != 0 || current.sa_handler != SIG_DFL)
            continue;
        struct sigaction action {};
        action.sa_handler = removeStagedAndStop;
        action.sa_flags = SA_RESETHAND;
        sigemptyset(&action.sa_mask);
        ::sigaction(signal, &action, nullptr);
    }
    g_armed = 1;
}

void disarm()
{
    g_armed = 0;
}

// The permission bits any new file of this user gets.
mode_t newFileMode()
{
    mode_t mask = ::umask(0);
    ::umask(mask);
    return 0666 & ~mask;
}

} // namespace

NewDatabaseFile::NewDatabaseFile(std::string path, StagedFile staged, bool replace)
    : m_path(std::move(path))
    , m_staged(std::move(staged))
    , m_replace(replace)
{
}

NewDatabaseFile::NewDatabaseFile(NewDatabaseFile&& other) noexcept
    : m_path(std::move(other.m_path))
    , m_staged(std::exchange(other.m_staged, std::nullopt))
    , m_db(std::exchange(other.m_db, nullptr))
    , m_replace(other.m_replace)
{
}

NewDatabaseFile::~NewDatabaseFile()
{
    discard();
}

void NewDatabaseFile::discard()
{
    // The database is closed before the staged file: closing the staged
    // file's own descriptor would drop SQLite's locks on the file.
    if (m_db) {
        sqlite3_close_v2(m_db);
        m_db = nullptr;
    }
    if (!m_staged)
        return;
    disarm();
    m_staged.reset();
}

Result<NewDatabaseFile> NewDatabaseFile::create(const std::string& path, bool replace)
{
    namespace fs = std::filesystem;
    using R = Result<NewDatabaseFile>;
    std::error_code ec;
    fs::file_status status = fs::symlink_status(path, ec);
    if (fs::exists(status)) {
        if (!replace)
            return R::failure(path + ": already exists");
        if (fs::is_directory(status))
            return R::failure(path + ": is a folder, not a file");
    }

    // The stop signals are held back from the moment the staged file exists
    // until the handler knows its name: a signal in between would otherwise
    // stop the tool and leave the staged file behind.
    sigset_t stops;
    sigset_t previous;
    sigemptyset(&stops);
    for (int signal : {SIGINT, SIGTERM, SIGHUP})
        sigaddset(&stops, signal);
    ::sigprocmask(SIG_BLOCK, &stops, &previous);
    Result<StagedFile> staged = StagedFile::create(path, newFileMode());
    if (staged)
        arm(staged->path());
    // A signal that came meanwhile is delivered here, to the armed handler.
    ::sigprocmask(SIG_SETMASK, &previous, nullptr);
    if (!staged)
        return R(staged.status());
    std::string stagedPath = staged->path();
    NewDatabaseFile file(path, std::move(*staged), replace);
    // SQLite opens the empty staged file by its name and makes it a database.
    int rc = sqlite3_open_v2(stagedPath.c_str(), &file.m_db, SQLITE_OPEN_READWRITE, nullptr);
    if (rc != SQLITE_OK)
        return R::failure(path + ": cannot write: " + sqliteError(file.m_db));
    sqlite3_extended_result_codes(file.m_db, 1);
    return file;
}

Status NewDatabaseFile::execute(const std::string& sql)
{
    char* message = nullptr;
    if (sqlite3_exec(m_db, sql.c_str(), nullptr, nullptr, &message) != SQLITE_OK) {
        std::string text = message ? message : sqliteError(m_db);
        sqlite3_free(message);
        return Status::failure(m_path + ": cannot write: " + text);
    }
    return Status::success();
}

Status NewDatabaseFile::commit()
{
    if (!m_db || !m_staged)
        return Status::failure(m_path + ": nothing to save");
    // sqlite3_close (not _v2) refuses while a statement is still open, so a
    // file is never named with a write of it unfinished.
    if (sqlite3_close(m_db) != SQLITE_OK)
        return Status::failure(m_path + ": cannot finish writing: " + sqliteError(m_db));
    m_db = nullptr;

    Status named = Status::success();
    if (m_replace) {
        named = m_staged->commitReplacing(m_path);
    } else {
        StagedFile::Committed committed = m_staged->commit(m_path);
        // A file made by someone else since create() is never overwritten.
        named = committed.nameTaken ? Status::failure(m_path + ": already exists") : committed.status;
    }
    if (!named)
        return named;
    disarm();
    m_staged.reset();
    return Status::success();
}

} // namespace tarvex
