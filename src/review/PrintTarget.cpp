// Following the links of a print file's name and checking what it leads to.
#include "review/PrintTarget.h"

#include "platform/Database.h"
#include "platform/text/TextHelpers.h"

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <string_view>
#include <sys/stat.h>
#include <unistd.h>

namespace tarvex {

namespace {

// Linux gives up after 40 links in a row; so does this.
constexpr int kMaxLinks = 40;

struct Resolved {
    std::string path;
    bool exists = false;
    bool viaLink = false;
};

// path with its links followed, also when the file at the end does not exist
// yet: its folder is then resolved and its name kept.
Result<Resolved> resolve(const std::string& path)
{
    std::string current = path;
    for (int hop = 0; hop <= kMaxLinks; ++hop) {
        struct stat info {};
        if (::lstat(current.c_str(), &info) == 0 && !S_ISLNK(info.st_mode)) {
            char* real = ::realpath(current.c_str(), nullptr);
            if (!real)
                return Result<Resolved>::failure(path + ": " + std::strerror(errno));
            Resolved resolved{real, true, hop > 0};
            std::free(real);
            return resolved;
        }
        if (S_ISLNK(info.st_mode)) {
            // A link, dangling or not, is followed by hand: realpath() fails
            // on a dangling one, yet writing to it would create its target.
            char target[PATH_MAX];
            ssize_t length = ::readlink(current.c_str(), target, sizeof target - 1);
            if (length < 0)
                return Result<Resolved>::failure(path + ": " + std::strerror(errno));
            std::string next(target, static_cast<std::size_t>(length));
            current = next.front() == '/' ? next : folderOf(current) + "/" + next;
            continue;
        }
        if (errno != ENOENT)
            return Result<Resolved>::failure(path + ": " + std::strerror(errno));
        std::string name = fileNameOf(current);
        char* folder = ::realpath(folderOf(current).c_str(), nullptr);
        if (!folder)
            return Result<Resolved>::failure(path + ": the folder " + folderOf(current) +
                                             " cannot be found: " + std::strerror(errno));
        Resolved resolved{std::string(folder) + (std::string_view(folder) == "/" ? "" : "/") + name, false, hop > 0};
        std::free(folder);
        return resolved;
    }
    return Result<Resolved>::failure(path + ": too many levels of symbolic links");
}

bool sameFile(const std::string& a, const std::string& b)
{
    struct stat first {
    }, second{};
    return ::stat(a.c_str(), &first) == 0 && ::stat(b.c_str(), &second) == 0 && first.st_dev == second.st_dev &&
           first.st_ino == second.st_ino;
}

// Whether path (resolved, an existing ordinary file) starts as a database
// does. A file that cannot be read is not known to hold one: writing over
// it fails on its own.
bool holdsDatabase(const std::string& path)
{
    Result<DatabaseFileKind> kind = Database::fileKind(path);
    return kind && kind->database;
}

bool allDigits(std::string_view text)
{
    return !text.empty() && text.find_first_not_of("0123456789") == std::string_view::npos;
}

// "<host>_Tarvex_" and a 14-digit time stamp, with "_N" after it when that
// name was taken.
bool isBackupName(const std::string& name)
{
    std::string::size_type marker = name.rfind("_Tarvex_");
    if (marker == std::string::npos || marker == 0)
        return false;
    std::string_view rest = std::string_view(name).substr(marker + 8);
    std::string_view stamp = rest.substr(0, 14);
    rest.remove_prefix(stamp.size());
    return stamp.size() == 14 && allDigits(stamp) && (rest.empty() || (rest[0] == '_' && allDigits(rest.substr(1))));
}

// Whether target is one of keepOff's files or their journals.
const std::string* guardedFile(const Resolved& target, const std::vector<std::string>& keepOff)
{
    for (const std::string& kept : keepOff) {
        if (kept.empty())
            continue;
        Result<Resolved> real = resolve(kept);
        for (const char* suffix : {"", "-journal", "-wal", "-shm"}) {
            std::vector<std::string> names = {kept + suffix};
            if (real)
                names.push_back(real->path + suffix);
            for (const std::string& name : names) {
                Result<Resolved> guarded = resolve(name);
                if ((guarded && guarded->path == target.path) || (target.exists && sameFile(name, target.path)))
                    return &kept;
            }
        }
    }
    return nullptr;
}

} // namespace

Result<PrintTarget> findPrintTarget(const std::string& path, const std::vector<std::string>& keepOff)
{
    using R = Result<PrintTarget>;
    Result<Resolved> target = resolve(path);
    if (!target)
        return R::failure(target.error());
    std::string shown = target->viaLink ? path + " (a link to " + target->path + ")" : path;
    if (fileNameOf(target->path).empty())
        return R::failure(shown + ": names a folder, not a file");
    if (const std::string* kept = guardedFile(*target, keepOff))
        return R::failure(shown + ": is " + *kept + " or one of its journal files; the list is not written over it");
    if (isBackupName(fileNameOf(target->path)))
        return R::failure(shown + ": is named as a backup copy; the list is not written over a backup");
    if (target->exists) {
        struct stat info {};
        if (::stat(target->path.c_str(), &info) != 0 || !S_ISREG(info.st_mode))
            return R::failure(shown + ": is not an ordinary file");
        if (holdsDatabase(target->path))
            return R::failure(shown + ": holds a database; the list is not written over a database");
        // The list is staged beside the file and renamed over it, which
        // needs only the folder's write permission: in a shared folder that
        // would let one user replace another's file. The file itself must
        // be one the user may write, by the same check open(O_WRONLY) makes.
        if (::faccessat(AT_FDCWD, target->path.c_str(), W_OK, AT_EACCESS) != 0)
            return R::failure(shown + ": you may not write this file (" + std::strerror(errno) +
                              "); the list is not written over it");
    }
    return PrintTarget{target->path, target->exists, target->viaLink};
}

mode_t printFileMode(const std::string& path)
{
    struct stat info {};
    if (::stat(path.c_str(), &info) == 0)
        return info.st_mode & 0777;
    // umask() can only be read by setting it; it is put back at once.
    mode_t mask = ::umask(0);
    ::umask(mask);
    return 0666 & ~mask;
}

} // namespace tarvex
