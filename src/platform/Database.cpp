// Choosing the engine for a database file by its first bytes, and what a
// Database does the same whatever the engine: the file's identity, the read
// hold, the tables it hands out.
#include "platform/Database.h"

#include "platform/access/AccessCopy.h"
#include "platform/access/AccessDatabase.h"
#include "platform/access/AccessFileUsers.h"
#include "platform/db/DatabaseKind.h"
#include "platform/sqlite/SqliteDatabase.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>

#include <cerrno>
#include <cstring>

namespace tarvex {

namespace {

DatabaseFileKind fileKindOf(DatabaseKind kind)
{
    return {kind != DatabaseKind::NotADatabase, isAccess(kind), databaseKindName(kind)};
}

// Whether the start of the file at path marks it as an Access (Jet or ACE)
// database. A file that cannot be read is left to the engine, whose open
// gives its own reason.
bool isAccessFile(const std::string& path)
{
    Result<DatabaseKind> kind = databaseKind(path);
    return kind && isAccess(*kind);
}

} // namespace

Database::Database(std::string path, DatabaseFileKind kind, std::unique_ptr<DatabaseEngine> engine)
    : m_path(std::move(path))
    , m_kind(std::move(kind))
    , m_engine(std::move(engine))
{
}

Database::Database(Database&&) noexcept = default;
Database& Database::operator=(Database&&) noexcept = default;
Database::~Database() = default;

Result<Database> Database::open(const std::string& path, const OpenOptions& options)
{
    std::unique_ptr<DatabaseEngine> engine;
    Result<DatabaseKind> read = databaseKind(path);
    DatabaseKind kind = read ? *read : DatabaseKind::NotADatabase;
    if (tarvex::isAccess(kind)) {
        Result<std::unique_ptr<AccessDatabase>> access = AccessDatabase::open(path, options.mode);
        if (!access)
            return access.status();
        engine = std::move(*access);
    } else {
        Result<std::unique_ptr<SqliteDatabase>> sqlite = SqliteDatabase::open(path, options);
        if (!sqlite)
            return sqlite.status();
        engine = std::move(*sqlite);
    }
    // Whatever the SQLite engine opened, it serves as an SQLite database (an
    // empty file is an empty one to it).
    Database db(path, fileKindOf(tarvex::isAccess(kind) ? kind : DatabaseKind::Sqlite), std::move(engine));
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

Result<DatabaseFileKind> Database::fileKind(const std::string& path)
{
    Result<DatabaseKind> kind = databaseKind(path);
    if (!kind)
        return kind.status();
    return fileKindOf(*kind);
}

Status Database::writeCheck(const std::string& path)
{
    // A path that names no database is refused by the steps that read it,
    // with their own reasons.
    struct stat info {};
    Result<DatabaseKind> kind = databaseKind(path);
    if (::stat(path.c_str(), &info) != 0 || !S_ISREG(info.st_mode) || !kind || *kind == DatabaseKind::NotADatabase)
        return Status::success();
    if (tarvex::isAccess(*kind))
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
    // Only the file's identity is asked for, never its times: a look at a
    // file's change time makes the system give the file's next write a
    // fine-grained new time (Linux 6.13 and later), and where the times are
    // not journalled (ext4 without a journal) each flush of a save then
    // writes the file's inode as well as its data. Checked before every
    // save, stat() would double the writes to the disk.
    unsigned long long device = 0;
    unsigned long long inode = 0;
    struct statx identity {};
    int found = ::statx(AT_FDCWD, m_path.c_str(), 0, STATX_INO, &identity);
    if (found == 0) {
        device = makedev(identity.stx_dev_major, identity.stx_dev_minor);
        inode = identity.stx_ino;
    } else if (errno == ENOSYS) {
        // A system without statx.
        struct stat info {};
        found = ::stat(m_path.c_str(), &info);
        device = static_cast<unsigned long long>(info.st_dev);
        inode = static_cast<unsigned long long>(info.st_ino);
    }
    if (found != 0)
        return Status::failure(m_path + ": the file is gone (" + std::strerror(errno) +
                                   "); it was deleted or moved after it was opened",
                               ErrorKind::Changed);
    if (m_inode != 0 && (device != m_device || inode != m_inode))
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
