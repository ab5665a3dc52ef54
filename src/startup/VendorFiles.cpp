// Choosing the vendor's folder and price list from the command line and the
// program's place.
#include "startup/VendorFiles.h"

#include "Version.h"
#include "data/DatabaseNames.h"
#include "platform/text/TextHelpers.h"

#include <sys/stat.h>

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <utility>

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
        if (S_ISDIR(info.st_mode)) {
            return VendorFiles(resolved(vendorPath));
        }
        // Any other file is the price list: one that is not a database is
        // refused by the open, with "Error Loading database" naming it.
        std::string folder = resolved(folderOf(vendorPath));
        std::size_t slash = vendorPath.rfind('/');
        std::string name = slash == std::string::npos ? vendorPath : vendorPath.substr(slash + 1);
        return VendorFiles{folder, folder + "/" + name, false};
    }
    VendorFiles files(programFolder);
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
