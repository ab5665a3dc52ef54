// Choosing the engine for a database file by its first bytes, and what a
// Database does the same whatever the engine: the file's identity, the read
// hold, the tables it hands out.
#include "platform/Database.h"

#include "platform/access/AccessDatabase.h"
#include "platform/access/AccessFileUsers.h"
#include "platform/db/DatabaseKind.h"
#include "platform/sqlite/SqliteDatabase.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

namespace tarvex {

namespace {

// Whether the start of the file at path marks it as an Access (Jet or ACE)
// database. A file that cannot be read is left to the engine, whose open
// gives its own reason.
bool isAccessFile(const std::string& path)
{
    Result<DatabaseKind> kind = databaseKind(path);
    return kind && isAccess(*kind);
}

// Whether the files at a and b hold the same bytes. Fails, naming the file,
// when one cannot be read.
Result<bool> sameBytes(const std::string& a, const std::string& b)
{
    struct File {
        int fd;
        ~File()
        {
            if (fd >= 0)
                ::close(fd);
        }
    };
    File first{::open(a.c_str(), O_RDONLY | O_CLOEXEC)};
    if (first.fd < 0)
        return Result<bool>::failure(a + ": cannot open to compare with its copy: " + std::strerror(errno));
    File second{::open(b.c_str(), O_RDONLY | O_CLOEXEC)};
    if (second.fd < 0)
        return Result<bool>::failure(b + ": cannot open to compare with " + a + ": " + std::strerror(errno));
    std::string left(1 << 20, '\0');
    std::string right(1 << 20, '\0');
    for (;;) {
        ssize_t n = ::read(first.fd, left.data(), left.size());
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0)
            return Result<bool>::failure(a + ": cannot read to compare with its copy: " + std::strerror(errno));
        // The copy is read to the same length, and one byte more at the end.
        std::size_t want = n == 0 ? 1 : static_cast<std::size_t>(n);
        std::size_t got = 0;
        while (got < want) {
            ssize_t m = ::read(second.fd, right.data() + got, want - got);
            if (m < 0 && errno == EINTR)
                continue;
            if (m < 0)
                return Result<bool>::failure(b + ": cannot read to compare with " + a + ": " + std::strerror(errno));
            if (m == 0)
                break;
            got += static_cast<std::size_t>(m);
        }
        if (n == 0)
            return got == 0;
        if (got != want || std::memcmp(left.data(), right.data(), want) != 0)
            return false;
    }
}

// The copy of an Access database: only while no other program has the file
// open, since one that writes it while it is copied would leave a copy that
// is half old and half new (Access's record locks are not documented, so its
// writes cannot be held off the way SQLite's are), and then compared with the
// file, which shows a write that began after the check.
CopyResult copyAccessFile(const std::string& source, const std::string& destination, FileCopy& plainCopy,
                          Progress* progress)
{
    Result<AccessFileUsers> users = findAccessFileUsers(source);
    if (!users.ok())
        return {CopyResult::Outcome::Failed, users.error()};
    if (users->anyone())
        return {CopyResult::Outcome::Failed, users->message(source)};
    CopyResult copied = plainCopy.copy(source, destination, progress);
    if (!copied.ok())
        return copied;
    Result<bool> same = sameBytes(source, destination);
    if (same.ok() && *same)
        return copied;
    ::unlink(destination.c_str());
    return {CopyResult::Outcome::Failed,
            same.ok() ? source + ": the file changed while it was copied; another program is writing it"
                      : same.error()};
}

} // namespace

Database::Database(std::string path, std::unique_ptr<DatabaseEngine> engine)
    : m_path(std::move(path))
    , m_engine(std::move(engine))
{
}

Database::Database(Database&&) noexcept = default;
Database& Database::operator=(Database&&) noexcept = default;
Database::~Database() = default;

Result<Database> Database::open(const std::string& path, const OpenOptions& options)
{
    std::unique_ptr<DatabaseEngine> engine;
    if (isAccessFile(path)) {
        Result<std::unique_ptr<AccessDatabase>> access = AccessDatabase::open(path, options.access);
        if (!access)
            return access.status();
        engine = std::move(*access);
    } else {
        Result<std::unique_ptr<SqliteDatabase>> sqlite = SqliteDatabase::open(path, options);
        if (!sqlite)
            return sqlite.status();
        engine = std::move(*sqlite);
    }
    Database db(path, std::move(engine));
    // Taken after the engine has read the file, so that it is the file the
    // engine holds.
    struct stat info {};
    if (::stat(path.c_str(), &info) == 0) {
        db.m_device = static_cast<unsigned long long>(info.st_dev);
        db.m_inode = static_cast<unsigned long long>(info.st_ino);
    }
    return db;
}

CopyResult Database::copyFile(const std::string& source, const std::string& destination, FileCopy& plainCopy,
                              Progress* progress, const OpenOptions& options)
{
    if (isAccessFile(source))
        return copyAccessFile(source, destination, plainCopy, progress);
    return SqliteDatabase::copyFile(source, destination, plainCopy, progress, options);
}

Status Database::writeCheck(const std::string& path)
{
    // A path that names no database is refused by the steps that read it,
    // with their own reasons.
    struct stat info {};
    Result<DatabaseKind> kind = databaseKind(path);
    if (::stat(path.c_str(), &info) != 0 || !S_ISREG(info.st_mode) || !kind || *kind == DatabaseKind::NotADatabase)
        return Status::success();
    if (isAccess(*kind))
        return accessSaveCheck(path, *kind);
    return SqliteDatabase::writeCheck(path);
}

std::string Database::otherUsersUnchecked(const std::string& path)
{
    if (!isAccessFile(path))
        return {};
    // A look that fails altogether is the backup copy's to report, as it
    // makes the same look again.
    Result<AccessFileUsers> users = findAccessFileUsers(path);
    return users.ok() ? users->unchecked : std::string();
}

Status Database::stillAtPath() const
{
    struct stat info {};
    if (::stat(m_path.c_str(), &info) != 0)
        return Status::failure(m_path + ": the file is gone (" + std::strerror(errno) +
                                   "); it was deleted or moved after it was opened",
                               ErrorKind::Changed);
    if (m_inode != 0 && (static_cast<unsigned long long>(info.st_dev) != m_device ||
                         static_cast<unsigned long long>(info.st_ino) != m_inode))
        return Status::failure(m_path + ": the file was replaced by another one after it was opened",
                               ErrorKind::Changed);
    return Status::success();
}

Result<Recordset> Database::openTable(const std::string& table, const std::vector<std::string>& columns)
{
    Result<std::unique_ptr<EngineTable>> opened = m_engine->openTable(table, columns);
    if (!opened)
        return opened.status();
    return Recordset(std::move(*opened));
}

void Database::endHold()
{
    if (m_engine)
        m_engine->endHold();
}

void Database::endRead()
{
    // A moved-from Database has no engine.
    if (m_engine)
        m_engine->endRead();
}

// Here rather than in the SQLite room, which knows nothing of the door.
sqlite3* sqliteHandle(const Database& db)
{
    auto* sqlite = dynamic_cast<SqliteDatabase*>(&db.engine());
    return sqlite ? sqlite->handle() : nullptr;
}

} // namespace tarvex
