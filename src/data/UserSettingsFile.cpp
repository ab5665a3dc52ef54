// Writing the user's own Merlow.INI: made whole beside its name, read back,
// then renamed into place, and never over a file this program did not write.
#include "data/UserSettingsFile.h"

#include "platform/desktop/PrivateProfile.h"
#include "platform/os/SmallFile.h"
#include "platform/os/StagedFile.h"
#include "platform/text/TextHelpers.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <optional>

namespace tarvex {

namespace {

// The file this program writes is a few hundred bytes; a larger one is not it.
constexpr std::size_t kMaxOwnFileBytes = 64 * 1024;

// Whether text holds nothing but blank lines, "[Settings]" and "DBLocation"
// keys: the settings file as this program writes it (or as the user edited
// its value by hand).
bool holdsOnlyTheLocation(const std::string& text)
{
    bool only = true;
    forEachLine(text, [&](std::string_view line) {
        std::size_t equals = line.find('=');
        only = line.empty() || sameIgnoringCase(line, "[Settings]") ||
               (equals != std::string_view::npos && sameIgnoringCase(trimmed(line.substr(0, equals)), "DBLocation"));
        return only;
    });
    return only;
}

// Makes folder with mode 0700 unless a folder (or a link to one) is there.
// The failure's text follows the settings file's name.
Status makeFolder(const std::string& folder)
{
    // mkdir never follows or replaces what is at the name: EEXIST leaves it
    // to the stat to say whether that is a folder.
    if (::mkdir(folder.c_str(), 0700) != 0 && errno != EEXIST)
        return Status::failure("its folder " + folder + " cannot be made: " + std::strerror(errno));
    struct stat info {};
    if (::stat(folder.c_str(), &info) != 0 || !S_ISDIR(info.st_mode))
        return Status::failure("its folder " + folder + " is not a folder");
    return Status::success();
}

// The value line's text for location: in quotes when the reader would
// otherwise take blanks off its ends or a pair of quotes off it.
std::string valueText(const std::string& location)
{
    bool bare = trimmed(location, " \t\x1a") == location && location.front() != '"' && location.front() != '\'';
    return bare ? location : '"' + location + '"';
}

} // namespace

Status storeUserLocation(const std::string& location, const std::string& file)
{
    auto refused = [&](const std::string& why) { return Status::failure(file + ": " + why); };
    if (location.empty() || location.find_first_of(std::string("\r\n\0", 3)) != std::string::npos)
        return refused("the location cannot be stored in a settings file: it is empty or holds a line break");
    if (location.size() > kProfileValueLimit)
        return refused("the location is longer than a settings file value may be (" +
                       std::to_string(kProfileValueLimit) + " characters)");

    std::string folder = folderOf(file);
    Status made = makeFolder(folderOf(folder));
    if (made.ok())
        made = makeFolder(folder);
    if (!made.ok())
        return refused(made.error());

    // lstat, not stat: a link at the name is never written through, nor
    // replaced, whatever it points to.
    struct stat existing {};
    bool replacing = false;
    if (::lstat(file.c_str(), &existing) == 0) {
        std::optional<std::string> text;
        if (S_ISREG(existing.st_mode) && existing.st_uid == ::geteuid())
            text = readSmallFile(file, kMaxOwnFileBytes);
        if (!text || !holdsOnlyTheLocation(*text))
            return refused("a file that this program did not write is there; it is left as it is");
        replacing = true;
    } else if (errno != ENOENT) {
        return refused(std::string("cannot be checked: ") + std::strerror(errno));
    }

    Result<StagedFile> staged = StagedFile::create(file, 0600);
    if (!staged)
        return staged.status();
    Status written = staged->write("[Settings]\nDBLocation=" + valueText(location) + "\n");
    if (!written.ok())
        return written;
    // What the next run will read, read now from the staged file: a value
    // that would not come back exactly is never put in place.
    if (readPrivateProfileString("Settings", "DBLocation", "", staged->path()) != location)
        return refused("the location would not read back as it is, so it is not stored");
    if (replacing)
        return staged->commitReplacing(file);
    StagedFile::Committed committed = staged->commit(file);
    if (committed.nameTaken)
        return refused("a file appeared at the name while the settings were written; it is left as it is");
    return committed.status;
}

} // namespace tarvex
