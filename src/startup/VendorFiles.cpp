// Choosing the vendor's folder and price list from the command line and the
// program's place.
#include "startup/VendorFiles.h"

#include "Version.h"
#include "data/DatabaseNames.h"
#include "platform/Database.h"
#include "platform/text/TextHelpers.h"

#include <dirent.h>
#include <sys/stat.h>

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <utility>
#include <vector>

namespace tarvex {

namespace {

// path with its links and "." and ".." resolved, or path itself when that
// fails: a folder compared or shown as the user would find it.
std::string resolved(const std::string& path)
{
    std::unique_ptr<char, decltype(&std::free)> real(::realpath(path.c_str(), nullptr), &std::free);
    return real ? std::string(real.get()) : path;
}

bool exists(const std::string& path)
{
    struct stat info {};
    return ::stat(path.c_str(), &info) == 0;
}

// The Access or SQLite files directly in folder, told by their content: a
// price list saved under another name is still found, and nothing else in
// a download folder (a note, a spreadsheet) is taken for one.
std::vector<std::string> databasesIn(const std::string& folder)
{
    std::vector<std::string> found;
    DIR* dir = ::opendir(folder.c_str());
    if (!dir)
        return found;
    while (const dirent* entry = ::readdir(dir)) {
        std::string path = folder + "/" + entry->d_name;
        struct stat info {};
        if (entry->d_name[0] == '.' || ::stat(path.c_str(), &info) != 0 || !S_ISREG(info.st_mode))
            continue;
        Result<DatabaseFileKind> kind = Database::fileKind(path);
        if (kind && kind->database)
            found.push_back(path);
    }
    ::closedir(dir);
    return found;
}

// folder's own files with its price list: invupdate.mdb, else
// invupdate.accdb, else (when anyName) its only database. Without any,
// invupdate.mdb, which the open reports missing.
VendorFiles filesOfFolder(const std::string& folder, bool anyName)
{
    VendorFiles files(folder);
    if (exists(files.updateDatabase))
        return files;
    std::string accdb = folder + "/" + names::kUpdateFileAccdb;
    if (exists(accdb))
        return VendorFiles{folder, accdb, false};
    if (!anyName)
        return files;
    std::vector<std::string> databases = databasesIn(folder);
    if (databases.size() != 1)
        return files;
    VendorFiles only{folder, databases.front(), false};
    only.foundAs = "Price list: " + databases.front() + ", the only database in its folder (no " + names::kUpdateFile +
                   " or " + names::kUpdateFileAccdb + " there).";
    return only;
}

} // namespace

VendorFiles::VendorFiles(std::string programFolder)
    : folder(std::move(programFolder))
    , updateDatabase(folder + "/" + names::kUpdateFile)
{
}

VendorFiles::VendorFiles(std::string folder, std::string updateDatabase, bool askForPriceList)
    : folder(std::move(folder))
    , updateDatabase(std::move(updateDatabase))
    , askForPriceList(askForPriceList)
{
}

Result<VendorFiles> findVendorFiles(const std::string& vendorPath, const std::string& programFolder,
                                    const std::vector<std::string>& installFolders)
{
    if (!vendorPath.empty()) {
        struct stat info {};
        if (::stat(vendorPath.c_str(), &info) != 0)
            return Result<VendorFiles>::failure(vendorPath + ": no such folder or file (" + std::strerror(errno) + ")");
        if (S_ISDIR(info.st_mode))
            return filesOfFolder(resolved(vendorPath), true);
        // Any other file is the price list: one that is not a database is
        // refused by the open, with "Error Loading database" naming it.
        std::string folder = resolved(folderOf(vendorPath));
        std::size_t slash = vendorPath.rfind('/');
        std::string name = slash == std::string::npos ? vendorPath : vendorPath.substr(slash + 1);
        return VendorFiles{folder, folder + "/" + name, false};
    }
    // The program's own folder holds the program: only the price list's own
    // names are looked for there.
    VendorFiles files = filesOfFolder(programFolder, false);
    if (exists(files.updateDatabase))
        return files;
    std::string here = resolved(programFolder);
    for (const std::string& installed : installFolders)
        if (!installed.empty() && resolved(installed) == here)
            files.askForPriceList = true;
    return files;
}

std::vector<std::string> programInstallFolders()
{
    return {kInstallBinFolder, kPackageBinFolder};
}

} // namespace tarvex
