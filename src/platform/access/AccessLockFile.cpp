// The lock file's name and the format of its entries.
#include "platform/access/AccessLockFile.h"

#include "platform/access/AccessText.h"
#include "platform/text/TextHelpers.h"
#include "platform/text/VisibleText.h"

#include <algorithm>
#include <dirent.h>
#include <sys/stat.h>

namespace tarvex {

namespace {

// Access marks a user's entry by locking one byte far beyond the file's
// data, counted from this offset for the first entry.
constexpr off_t kUserLockBase = 0x10000001;
// The code page Access writes the names in on Western European systems.
constexpr unsigned kNameCodePage = 1252;

// The file name without its extension: "kv" for "kv.mdb" and for "kv".
std::string baseNameOf(const std::string& fileName)
{
    std::string::size_type dot = fileName.rfind('.');
    return dot == std::string::npos || dot == 0 ? fileName : fileName.substr(0, dot);
}

// A name field: its bytes up to the first NUL, without the spaces after.
std::string nameField(std::string_view field)
{
    field = field.substr(0, field.find('\0'));
    field = trimmedEnd(field, " ");
    std::string text =
        codePageTextToUtf8(reinterpret_cast<const unsigned char*>(field.data()), field.size(), kNameCodePage);
    return visibleText(text);
}

bool overlaps(ByteRange a, ByteRange b)
{
    // A length of kToEnd reaches every later offset.
    bool aBeforeB = a.length != kToEnd && a.start + a.length <= b.start;
    bool bBeforeA = b.length != kToEnd && b.start + b.length <= a.start;
    return !aBeforeB && !bBeforeA;
}

} // namespace

std::string lockFilePathFor(const std::string& databasePath, DatabaseKind kind)
{
    std::string::size_type nameStart = databasePath.find_last_of('/') + 1; // 0 without a folder
    return databasePath.substr(0, nameStart) + baseNameOf(databasePath.substr(nameStart)) +
           (kind == DatabaseKind::Ace ? ".laccdb" : ".ldb");
}

std::vector<std::string> lockFilesBeside(const std::string& databasePath, DatabaseKind kind)
{
    std::vector<std::string> wanted;
    if (kind != DatabaseKind::Ace)
        wanted.push_back(fileNameOf(lockFilePathFor(databasePath, DatabaseKind::Jet4)));
    if (kind != DatabaseKind::Jet3 && kind != DatabaseKind::Jet4)
        wanted.push_back(fileNameOf(lockFilePathFor(databasePath, DatabaseKind::Ace)));
    std::vector<std::string> found;
    std::string folder = folderOf(databasePath);
    DIR* entries = ::opendir(folder.c_str());
    if (!entries) {
        // A folder that may be entered but not listed: the names as Access
        // spells them can still be looked up.
        struct stat info {};
        for (const std::string& name : wanted)
            if (::lstat((folder + "/" + name).c_str(), &info) == 0)
                found.push_back(folder + "/" + name);
        return found;
    }
    while (const dirent* entry = ::readdir(entries)) {
        for (const std::string& name : wanted)
            if (sameIgnoringCase(entry->d_name, name))
                found.push_back(folder + "/" + entry->d_name);
    }
    ::closedir(entries);
    // The names as Access spells them first, then the others in a fixed order.
    std::sort(found.begin(), found.end());
    std::stable_partition(found.begin(), found.end(), [&](const std::string& path) {
        return std::find(wanted.begin(), wanted.end(), fileNameOf(path)) != wanted.end();
    });
    return found;
}

std::vector<LockFileEntry> lockFileEntries(std::string_view bytes)
{
    std::vector<LockFileEntry> entries;
    for (int slot = 0; slot < kLockFileMaxEntries; ++slot) {
        std::size_t offset = static_cast<std::size_t>(slot) * kLockFileEntryBytes;
        if (offset >= bytes.size())
            break;
        std::string_view entry = bytes.substr(offset, kLockFileEntryBytes);
        if (entry.find_first_not_of(std::string_view("\0 ", 2)) == std::string_view::npos)
            continue;
        entries.push_back({slot, nameField(entry.substr(0, kLockFileNameBytes)),
                           nameField(entry.substr(std::min<std::size_t>(entry.size(), kLockFileNameBytes)))});
    }
    return entries;
}

std::string lockFileEntry(std::string_view computer, std::string_view user)
{
    std::string entry(kLockFileEntryBytes, '\0');
    // One byte of each field is kept for the NUL that ends the name.
    computer = computer.substr(0, kLockFileNameBytes - 1);
    user = user.substr(0, kLockFileNameBytes - 1);
    std::copy(computer.begin(), computer.end(), entry.begin());
    std::copy(user.begin(), user.end(), entry.begin() + kLockFileNameBytes);
    return entry;
}

std::array<ByteRange, 2> slotLockRanges(int slot)
{
    return {ByteRange{off_t{slot} * kLockFileEntryBytes, kLockFileEntryBytes}, ByteRange{kUserLockBase + slot, 1}};
}

bool lockMarksSlot(ByteRange range, int slot)
{
    for (ByteRange marker : slotLockRanges(slot))
        if (overlaps(range, marker))
            return true;
    return false;
}

} // namespace tarvex
