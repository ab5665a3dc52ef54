// Writing a database file through a temporary file in the same folder, so that
// the final name appears only when the file is complete.
#include "pricelist/NewDatabaseFile.h"

#include "platform/SqliteStatement.h"

#include <sqlite3.h>

#include <cerrno>
#include <csignal>
#include <cstring>
#include <fcntl.h>
#include <filesystem>
#include <sys/stat.h>
#include <unistd.h>
#include <utility>

namespace tarvex {

namespace {

std::string systemError(int error)
{
    return std::strerror(error);
}

// Flushes a file or folder to disk. A folder is flushed so that a rename in
// it survives a power cut; file systems that cannot flush folders are let be.
bool flush(const std::string& path, bool folder)
{
    int fd = ::open(path.c_str(), (folder ? O_DIRECTORY : 0) | O_RDONLY | O_CLOEXEC);
    if (fd < 0)
        return folder;
    bool ok = ::fsync(fd) == 0 || (folder && (errno == EINVAL || errno == EBADF));
    ::close(fd);
    return ok;
}

// The temporary file being written, for the signal handler below. Fixed
// buffers, because a signal handler may not allocate; one slot, because a
// tool writes one file at a time.
char g_temporary[4096];
char g_journal[4096];
volatile sig_atomic_t g_armed = 0;

extern "C" void removeTemporaryAndStop(int signal)
{
    if (g_armed) {
        ::unlink(g_temporary);
        ::unlink(g_journal);
    }
    // SA_RESETHAND has put the default action back: stop as the signal meant.
    ::raise(signal);
}

// Makes Ctrl+C, a closed terminal or a kill remove the temporary file, so
// that an interrupted run leaves nothing behind either. A handler the program
// has installed itself is left alone.
void arm(const std::string& temporary)
{
    std::string journal = temporary + "-journal";
    if (journal.size() >= sizeof g_journal)
        return;
    g_armed = 0;
    std::memcpy(g_temporary, temporary.c_str(), temporary.size() + 1);
    std::memcpy(g_journal, journal.c_str(), journal.size() + 1);
    for (int signal : {SIGINT, SIGTERM, SIGHUP}) {
        struct sigaction current {};
        if (::sigaction(signal, nullptr, &current) != 0 || current.sa_handler != SIG_DFL)
            continue;
        struct sigaction action {};
        action.sa_handler = removeTemporaryAndStop;
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

} // namespace

NewDatabaseFile::NewDatabaseFile(std::string path, std::string temporary, sqlite3* db, bool replace)
    : m_path(std::move(path))
    , m_temporary(std::move(temporary))
    , m_db(db)
    , m_replace(replace)
{
}

NewDatabaseFile::NewDatabaseFile(NewDatabaseFile&& other) noexcept
    : m_path(std::move(other.m_path))
    , m_temporary(std::exchange(other.m_temporary, std::string()))
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
    if (m_db) {
        sqlite3_close_v2(m_db);
        m_db = nullptr;
    }
    if (m_temporary.empty())
        return;
    disarm();
    for (const char* suffix : {"", "-journal", "-wal", "-shm"})
        ::unlink((m_temporary + suffix).c_str());
    m_temporary.clear();
}

Result<NewDatabaseFile> NewDatabaseFile::create(const std::string& path, bool replace)
{
    namespace fs = std::filesystem;
    using R = Result<NewDatabaseFile>;
    std::error_code ec;
    fs::file_status status = fs::symlink_status(path, ec);
    if (fs::exists(status)) {
        if (!replace)
            return R::failure(path + ": already exists (give --force to replace it)");
        if (fs::is_directory(status))
            return R::failure(path + ": is a folder, not a file");
    }

    fs::path target(path);
    std::string folder = target.parent_path().empty() ? std::string(".") : target.parent_path().string();
    std::string temporary = (fs::path(folder) / ("." + target.filename().string() + ".XXXXXX")).string();
    int fd = ::mkstemp(temporary.data());
    if (fd < 0)
        return R::failure(path + ": cannot write a file in the folder " + folder + ": " + systemError(errno));
    // mkstemp makes the file private to its owner; the finished database gets
    // the permissions any new file of this user would get.
    mode_t mask = ::umask(0);
    ::umask(mask);
    ::fchmod(fd, 0666 & ~mask);
    ::close(fd);
    arm(temporary);

    sqlite3* db = nullptr;
    int rc = sqlite3_open_v2(temporary.c_str(), &db, SQLITE_OPEN_READWRITE, nullptr);
    NewDatabaseFile file(path, temporary, db, replace);
    if (rc != SQLITE_OK)
        return R::failure(path + ": cannot write: " + sqliteError(db));
    sqlite3_extended_result_codes(db, 1);
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
    if (!m_db || m_temporary.empty())
        return Status::failure(m_path + ": nothing to save");
    // sqlite3_close (not _v2) refuses while a statement is still open, so a
    // file is never renamed with a write of it unfinished.
    if (sqlite3_close(m_db) != SQLITE_OK)
        return Status::failure(m_path + ": cannot finish writing: " + sqliteError(m_db));
    m_db = nullptr;
    if (!flush(m_temporary, false))
        return Status::failure(m_path + ": cannot write to disk: " + systemError(errno));

    if (m_replace) {
        if (::rename(m_temporary.c_str(), m_path.c_str()) != 0)
            return Status::failure(m_path + ": cannot replace: " + systemError(errno));
    } else {
        // link() fails when the name exists, in one step, so a file made by
        // someone else since create() is never overwritten.
        if (::link(m_temporary.c_str(), m_path.c_str()) == 0) {
            ::unlink(m_temporary.c_str());
        } else if (errno == EEXIST) {
            return Status::failure(m_path + ": already exists (give --force to replace it)");
        } else {
            // File systems without hard links: test and rename.
            std::error_code ec;
            if (std::filesystem::exists(std::filesystem::symlink_status(m_path, ec)))
                return Status::failure(m_path + ": already exists (give --force to replace it)");
            if (::rename(m_temporary.c_str(), m_path.c_str()) != 0)
                return Status::failure(m_path + ": cannot write: " + systemError(errno));
        }
    }
    disarm();
    m_temporary.clear();
    std::filesystem::path parent = std::filesystem::path(m_path).parent_path();
    flush(parent.empty() ? std::string(".") : parent.string(), true);
    return Status::success();
}

} // namespace tarvex
