// Choosing the engine for a database file by its first bytes, and what a
// Database does the same whatever the engine: the file's identity, the read
// hold, the tables it hands out.
#include "platform/Database.h"

#include "platform/SqliteDatabase.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

namespace tarvex {

namespace {

enum class FileKind { Access, Other };

// What the start of the file at path says it is. Access (Jet 3 and 4, and ACE)
// files carry their format's name at byte 4; anything else, including a file
// that cannot be read, is left to SQLite, whose open gives today's reasons.
FileKind fileKind(const std::string& path)
{
    // O_NONBLOCK: a pipe or device named by mistake must not hold the run.
    int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
    if (fd < 0)
        return FileKind::Other;
    char start[19] = {};
    ssize_t got = ::pread(fd, start, sizeof start, 0);
    ::close(fd);
    if (got < static_cast<ssize_t>(sizeof start))
        return FileKind::Other;
    if (std::memcmp(start + 4, "Standard Jet DB", 15) == 0 || std::memcmp(start + 4, "Standard ACE DB", 15) == 0)
        return FileKind::Access;
    return FileKind::Other;
}

std::string accessRefusal(const std::string& path)
{
    return path + ": is an Access database, which this version cannot open";
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
    if (fileKind(path) == FileKind::Access)
        return Result<Database>::failure(accessRefusal(path), ErrorKind::NotADatabase);
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

CopyResult Database::copyFile(const std::string& source, const std::string& destination, mode_t mode,
                              FileCopy& plainCopy, Progress* progress, const OpenOptions& options)
{
    // No engine reads an Access file yet: it is copied as it stands, and the
    // open that follows refuses it.
    if (fileKind(source) == FileKind::Access)
        return plainCopy.copy(source, destination, progress);
    return SqliteDatabase::copyFile(source, destination, mode, plainCopy, progress, options);
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
