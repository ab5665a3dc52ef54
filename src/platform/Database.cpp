// Choosing the engine for a database file by its first bytes, and what a
// Database does the same whatever the engine: the file's identity, the read
// hold, the tables it hands out.
#include "platform/Database.h"

#include "platform/DatabaseKind.h"
#include "platform/SqliteDatabase.h"

#include <sys/stat.h>

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
    return kind && (*kind == DatabaseKind::Jet || *kind == DatabaseKind::Ace);
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
    if (isAccessFile(path))
        return Result<Database>::failure(path + ": is an Access database, which this version cannot open",
                                         ErrorKind::NotADatabase);
    Result<std::unique_ptr<SqliteDatabase>> engine = SqliteDatabase::open(path, options);
    if (!engine)
        return engine.status();
    Database db(path, std::move(*engine));
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
    // No engine reads an Access file yet: it is copied as it stands, and the
    // open that follows refuses it.
    if (isAccessFile(source))
        return plainCopy.copy(source, destination, progress);
    return SqliteDatabase::copyFile(source, destination, plainCopy, progress, options);
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

void Database::endRead()
{
    // A moved-from Database has no engine.
    if (m_engine)
        m_engine->endRead();
}

} // namespace tarvex
