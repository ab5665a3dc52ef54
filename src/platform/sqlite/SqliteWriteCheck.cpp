// Whether an SQLite file could be written, told before it is opened: the
// file, the folder its journal is made in, a journal another user's
// interrupted write left where this user cannot remove it, and another
// user's write-ahead log this user cannot write.
#include "platform/sqlite/SqliteDatabase.h"

#include "platform/text/TextHelpers.h"

#include <sqlite3.h>

#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <vector>

namespace tarvex {

namespace {

// The login name of uid, or "user <uid>" when it has none here.
std::string userNamed(uid_t uid)
{
    std::vector<char> buffer(16384);
    passwd entry{};
    passwd* found = nullptr;
    if (::getpwuid_r(uid, &entry, buffer.data(), buffer.size(), &found) == 0 && found)
        return found->pw_name;
    return "user " + std::to_string(uid);
}

// Whether this process may remove the file at path, described by info, from
// its folder: the folder must be writable, and in a folder marked sticky
// (as shared folders are, so that users cannot remove each other's files)
// only the file's owner, the folder's owner and root may remove it.
bool mayRemove(const std::string& path, const struct stat& info)
{
    std::string folder = folderOf(path);
    struct stat dir {};
    if (::stat(folder.c_str(), &dir) != 0 || ::access(folder.c_str(), W_OK | X_OK) != 0)
        return false;
    uid_t me = ::geteuid();
    return (dir.st_mode & S_ISVTX) == 0 || me == 0 || me == info.st_uid || me == dir.st_uid;
}

// The extended result of the first read of path through a connection opened
// with flags: SQLITE_READONLY_ROLLBACK for a read-only connection means a
// journal left by an interrupted write is waiting to be played back.
int firstRead(const std::string& path, int flags, std::string& error)
{
    sqlite3* db = nullptr;
    int rc = sqlite3_open_v2(path.c_str(), &db, flags, nullptr);
    if (rc == SQLITE_OK) {
        sqlite3_extended_result_codes(db, 1);
        rc = sqlite3_exec(db, "SELECT count(*) FROM sqlite_schema", nullptr, nullptr, nullptr);
    }
    if (rc != SQLITE_OK)
        error = sqlite3_errmsg(db);
    sqlite3_close_v2(db);
    return rc;
}

// A journal left beside path by an interrupted write that this user cannot
// remove. SQLite removes a journal once it has played it back; while it
// cannot, every read plays it back again and fails, so no run could ever
// copy or open the file. Left to the backup copy, that reads only as "disk
// I/O error".
Status leftJournalCheck(const std::string& path)
{
    const std::string journal = path + "-journal";
    struct stat info {};
    if (::lstat(journal.c_str(), &info) != 0 || mayRemove(journal, info))
        return Status::success();
    std::string error;
    // A journal is only waiting to be played back when no program is
    // writing with it: a write under way is no concern here.
    if (firstRead(path, SQLITE_OPEN_READONLY, error) != SQLITE_READONLY_ROLLBACK)
        return Status::success();
    std::string owner = userNamed(info.st_uid);
    std::string text = journal + ": an interrupted write by " + owner + " left this journal beside " + path +
                       ", and this user (" + userNamed(::geteuid()) +
                       ") may not remove it from its folder; until it is removed no run can read the database.";
    // Played back by a connection that may write, as the backup copy would
    // do: the file then holds what was last completely saved, and only the
    // removal fails.
    if (firstRead(path, SQLITE_OPEN_READWRITE, error) == SQLITE_IOERR_DELETE)
        return Status::failure(text + " The interrupted write has been rolled back, so nothing is lost. Ask " + owner +
                                   " to run Tarvex once, or remove " + journal + " as its owner (" + owner +
                                   "), and run Tarvex again.",
                               ErrorKind::Busy);
    return Status::failure(text + " It cannot be rolled back here either (" + error + "). Ask " + owner +
                               " to run Tarvex once, which rolls it back and removes it, and run Tarvex again.",
                           ErrorKind::Busy);
}

// A write-ahead log or its index beside path that this user may not write.
// Another user's program saved changes into the log (committed, and read
// from it until they are moved into the database) and did not end cleanly,
// or is still running; SQLite then opens both files for reading only, and
// every save of this run would fail as "attempt to write a readonly
// database", after the backup and the review. The log is never to be
// removed: it holds saved changes.
Status leftLogCheck(const std::string& path)
{
    struct File {
        const char* end;
        const char* what;
        const char* warning;
    };
    const File files[] = {{"-wal", "its log of saved changes", " Do not remove it: it holds saved changes."},
                          {"-shm", "the index of its log of saved changes", ""}};
    for (const File& left : files) {
        const std::string file = path + left.end;
        struct stat info {};
        if (::stat(file.c_str(), &info) != 0 || ::access(file.c_str(), W_OK) == 0)
            continue;
        const std::string owner = userNamed(info.st_uid);
        const std::string what = file + ": " + owner + "'s use of the database left this file (" + left.what +
                                 ") beside " + path + ", and this user (" + userNamed(::geteuid()) +
                                 ") may not write it, so no save of this run could be made.";
        const std::string todo = " Ask " + owner +
                                 " to close the salon application and run Tarvex once, which moves the changes "
                                 "into the database and removes the file, and run Tarvex again.";
        return Status::failure(what + todo + left.warning, ErrorKind::ReadOnly);
    }
    return Status::success();
}

} // namespace

Status SqliteDatabase::folderCheck(const std::string& path)
{
    std::string folder = folderOf(path);
    if (::access(folder.c_str(), W_OK | X_OK) != 0)
        return Status::failure(path + ": its folder " + folder + " cannot be written (" + std::strerror(errno) + ")",
                               ErrorKind::ReadOnly);
    return Status::success();
}

Status SqliteDatabase::writeCheck(const std::string& path)
{
    if (Status journal = leftJournalCheck(path); !journal)
        return journal;
    if (Status log = leftLogCheck(path); !log)
        return log;
    if (::access(path.c_str(), W_OK) != 0)
        return Status::failure(path + ": " + kReadOnlyFile, ErrorKind::ReadOnly);
    return folderCheck(path);
}

} // namespace tarvex
