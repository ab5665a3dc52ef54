// VendorFiles: where a run takes the vendor's files from. A folder or price
// list named on the command line plays the part of the program's folder;
// without one the program's own folder does, as when a vendor ships the
// program beside its files. An installed program with no price list beside it
// asks the user for one.
#pragma once

#include "platform/Result.h"

#include <string>
#include <vector>

namespace tarvex {

struct VendorFiles {
    // A folder's own files: its invupdate.mdb and Merlow.INI. Implicit, so
    // that a folder serves wherever vendor files are asked for (the price
    // list's name is not looked up here: see findVendorFiles).
    VendorFiles(std::string programFolder);
    VendorFiles(std::string folder, std::string updateDatabase, bool askForPriceList);

    // Where Merlow.INI is looked for.
    std::string folder;
    // The price list (the update database).
    std::string updateDatabase;
    // No price list is where the program is installed and none was named:
    // the run asks for one, and its folder then serves as folder.
    bool askForPriceList = false;
    // How the price list was found when it is not the folder's
    // invupdate.mdb nor a file the user named, for the user to see which
    // file the run reads; empty otherwise.
    std::string foundAs;
};

// The vendor's files for a run. vendorPath is the command line's path (empty
// for none): a folder gives its invupdate.mdb, else its invupdate.accdb,
// else the one Access or SQLite file it holds when it holds exactly one
// (told by content; foundAs then says so), else its invupdate.mdb, which the
// open reports missing. Any other file is taken as the price list itself, in
// its folder. Without vendorPath, programFolder's invupdate.mdb, else its
// invupdate.accdb; asked for instead when both are missing and programFolder
// is one of installFolders. Fails, naming the path, when vendorPath names
// nothing that exists.
Result<VendorFiles> findVendorFiles(const std::string& vendorPath, const std::string& programFolder,
                                    const std::vector<std::string>& installFolders);

// The folders this program is installed in (kInstallBinFolder and
// kPackageBinFolder), for findVendorFiles.
std::vector<std::string> programInstallFolders();

} // namespace tarvex
