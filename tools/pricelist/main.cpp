// tarvex-pricelist: turns a vendor's CSV price list into the update database
// (invupdate.mdb) that Tarvex reads. The reading and checking of the CSV file
// and the writing of the database live in PriceListCsv and PriceListWriter;
// this file only handles the command line and the messages.
#include "common/OptionValue.h"
#include "platform/text/TextHelpers.h"
#include "pricelist/PriceListCsv.h"
#include "pricelist/PriceListWriter.h"

#include <filesystem>
#include <iostream>
#include <optional>
#include <string>
#include <vector>

namespace {

constexpr int kExitOk = 0;
constexpr int kExitRefused = 1;
constexpr int kExitUsage = 2;
// A file with thousands of bad rows is usually the wrong file; the first
// problems say enough.
constexpr size_t kShownProblems = 50;

const char* const kUsage = R"(Usage: tarvex-pricelist --vendor NAME -o FILE [--force] PRICES.csv

Writes the update database FILE (normally invupdate.mdb) for the vendor NAME
from the CSV price list PRICES.csv.

The first row of the CSV file names its columns, in any order and any letter
case: the product code ("code", "product code" or "quickid"), the name ("name"
or "product name"), "cost", the retail price ("retail price", "retailprice" or
"price") and, optionally, "deleted" (0, 1, yes, no, true, false or empty).
Costs and prices are plain decimal numbers such as 12.50; an empty cell leaves
the value empty. Every line is checked first: one problem refuses the whole
file and nothing is written. Repeated product codes are reported as warnings.

Options:
  --vendor NAME      the vendor's name, stored in the Vendor table
  -o, --output FILE  the update database to write
  --force            replace FILE if it already exists
  -h, --help         show this text

Exit status: 0 written, 1 refused or not written, 2 wrong command line.
)";

int usageError(const std::string& problem)
{
    std::cerr << "tarvex-pricelist: " << problem << "\nTry 'tarvex-pricelist --help' for more information.\n";
    return kExitUsage;
}

struct Options {
    std::optional<std::string> vendor;
    std::optional<std::string> output;
    std::vector<std::string> inputs;
    bool force = false;
    bool help = false;
};

// Parses argv into options; on a usage problem, returns its text.
std::optional<std::string> parseArguments(int argc, char** argv, Options& options)
{
    bool optionsEnded = false;
    for (int i = 1; i < argc; ++i) {
        std::string arg = argv[i];
        auto value = [&](const std::string& name, std::optional<std::string>& into) {
            return tarvex::takeOptionValue(argc, argv, i, name, into);
        };
        std::optional<std::string> problem;
        if (optionsEnded || arg == "-" || !arg.starts_with("-"))
            options.inputs.push_back(arg);
        else if (arg == "--")
            optionsEnded = true;
        else if (arg == "-h" || arg == "--help")
            options.help = true;
        else if (arg == "--force")
            options.force = true;
        else if (arg == "--vendor" || arg.starts_with("--vendor="))
            problem = value("--vendor", options.vendor);
        else if (arg == "-o")
            problem = value("-o", options.output);
        else if (arg == "--output" || arg.starts_with("--output="))
            problem = value("--output", options.output);
        else
            problem = "unknown option " + arg;
        if (problem)
            return problem;
    }
    return std::nullopt;
}

bool sameFile(const std::string& a, const std::string& b)
{
    std::error_code ec;
    return std::filesystem::equivalent(a, b, ec);
}

} // namespace

int main(int argc, char** argv)
{
    Options options;
    if (std::optional<std::string> problem = parseArguments(argc, argv, options))
        return usageError(*problem);
    if (options.help) {
        std::cout << kUsage;
        return kExitOk;
    }
    if (!options.vendor)
        return usageError("the vendor's name is missing (--vendor NAME)");
    if (tarvex::trimmed(*options.vendor).empty())
        return usageError("the vendor's name is empty");
    if (!options.output || options.output->empty())
        return usageError("the file to write is missing (-o FILE)");
    if (options.inputs.size() != 1)
        return usageError(options.inputs.empty() ? "the CSV price list is missing" : "give exactly one CSV price list");
    const std::string& input = options.inputs.front();
    if (sameFile(input, *options.output))
        return usageError("the file to write is the price list itself");
    // The vendor's name is stored as text; it must be text the program can show.
    if (!tarvex::PriceListCsv::isUtf8(*options.vendor))
        return usageError("the vendor's name is not UTF-8 text");

    std::error_code ec;
    if (!options.force && std::filesystem::exists(std::filesystem::symlink_status(*options.output, ec))) {
        std::cerr << "tarvex-pricelist: " << *options.output << ": already exists (give --force to replace it)\n";
        return kExitRefused;
    }

    tarvex::PriceList list = tarvex::PriceListCsv::readFile(input);
    for (const std::string& warning : list.warnings)
        std::cerr << "warning: " << warning << '\n';
    if (!list.ok()) {
        for (size_t i = 0; i < list.errors.size() && i < kShownProblems; ++i)
            std::cerr << "error: " << list.errors[i] << '\n';
        if (list.errors.size() > kShownProblems)
            std::cerr << "... and " << list.errors.size() - kShownProblems << " more problems\n";
        std::cerr << "tarvex-pricelist: " << input << " refused; nothing was written\n";
        return kExitRefused;
    }

    tarvex::Status written =
        tarvex::PriceListWriter::write(*options.output, *options.vendor, list.entries, options.force);
    if (!written) {
        std::cerr << "tarvex-pricelist: " << written.error() << "; nothing was written\n";
        return kExitRefused;
    }
    size_t deleted = 0;
    for (const tarvex::PriceListEntry& entry : list.entries)
        deleted += entry.deleted ? 1 : 0;
    std::cout << "Wrote " << *options.output << ": vendor \"" << *options.vendor << "\", " << list.entries.size()
              << (list.entries.size() == 1 ? " product" : " products") << " (" << deleted << " marked deleted)\n";
    return kExitOk;
}
