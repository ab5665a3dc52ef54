// tarvex-samplehost: writes a sample host database (kv.mdb) to try Tarvex
// out on, optionally shaped against a vendor's CSV price list so that a run
// shows every kind of proposed change. The work is done by SampleHost; this
// file only handles the command line and the messages.
#include "common/OptionValue.h"
#include "pricelist/PriceListCsv.h"
#include "samplehost/SampleHost.h"

#include <charconv>
#include <filesystem>
#include <iostream>
#include <optional>
#include <string>

namespace {

constexpr int kExitOk = 0;
constexpr int kExitRefused = 1;
constexpr int kExitUsage = 2;
constexpr size_t kShownProblems = 50;
// Far past any real host table, and still a file that fits on a disk.
constexpr std::int64_t kMaxProducts = 100'000'000;

const char* const kUsage = R"(Usage: tarvex-samplehost -o FILE [--products N] [--vendor-prices CSV] [--seed S] [--force]

Writes a sample host database FILE (normally kv.mdb) with N salon and spa
products (300 unless given). With --vendor-prices, the host also holds
products for most product codes of that CSV price list, with costs and prices
that make a Tarvex run show every kind of change (cost up, cost down, price
up, price down, both up, equal values, empty host values, a deleted host
product sharing a code with a live one); some of its codes are left out.

Options:
  -o, --output FILE      the host database to write
  --products N           products in all (default 300)
  --vendor-prices CSV    the vendor's price list to shape the host against
  --seed S               a whole number; the same seed makes the same file
  --force                replace FILE if it already exists
  -h, --help             show this text

Exit status: 0 written, 1 refused or not written, 2 wrong command line.
)";

int usageError(const std::string& problem)
{
    std::cerr << "tarvex-samplehost: " << problem << "\nTry 'tarvex-samplehost --help' for more information.\n";
    return kExitUsage;
}

template <class T> std::optional<T> wholeNumber(const std::string& text)
{
    T value{};
    auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (text.empty() || ec != std::errc() || end != text.data() + text.size())
        return std::nullopt;
    return value;
}

struct Options {
    std::optional<std::string> output;
    std::optional<std::string> products;
    std::optional<std::string> vendorPrices;
    std::optional<std::string> seed;
    bool force = false;
    bool help = false;
};

// Parses argv into options; on a usage problem, returns its text.
std::optional<std::string> parseArguments(int argc, char** argv, Options& options)
{
    for (int i = 1; i < argc; ++i) {
        std::string arg = argv[i];
        auto value = [&](const std::string& name, std::optional<std::string>& into) {
            return tarvex::takeOptionValue(argc, argv, i, name, into);
        };
        auto is = [&](const std::string& name) { return arg == name || arg.starts_with(name + "="); };
        std::optional<std::string> problem;
        if (arg == "-h" || arg == "--help")
            options.help = true;
        else if (arg == "--force")
            options.force = true;
        else if (arg == "-o")
            problem = value("-o", options.output);
        else if (is("--output"))
            problem = value("--output", options.output);
        else if (is("--products"))
            problem = value("--products", options.products);
        else if (is("--vendor-prices"))
            problem = value("--vendor-prices", options.vendorPrices);
        else if (is("--seed"))
            problem = value("--seed", options.seed);
        else if (arg.starts_with("-"))
            problem = "unknown option " + arg;
        else
            problem = "unexpected argument " + arg;
        if (problem)
            return problem;
    }
    return std::nullopt;
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
    if (!options.output || options.output->empty())
        return usageError("the file to write is missing (-o FILE)");

    tarvex::SampleHostOptions make;
    if (options.products) {
        std::optional<std::int64_t> n = wholeNumber<std::int64_t>(*options.products);
        if (!n || *n < 0 || *n > kMaxProducts)
            return usageError("--products takes a whole number from 0 to " + std::to_string(kMaxProducts) + ", not \"" +
                              *options.products + "\"");
        make.products = *n;
    }
    if (options.seed) {
        std::optional<std::uint64_t> seed = wholeNumber<std::uint64_t>(*options.seed);
        if (!seed)
            return usageError("--seed takes a whole number, not \"" + *options.seed + "\"");
        make.seed = *seed;
    }
    std::error_code ec;
    if (options.vendorPrices && std::filesystem::equivalent(*options.vendorPrices, *options.output, ec))
        return usageError("the file to write is the price list itself");
    if (!options.force && std::filesystem::exists(std::filesystem::symlink_status(*options.output, ec))) {
        std::cerr << "tarvex-samplehost: " << *options.output << ": already exists (give --force to replace it)\n";
        return kExitRefused;
    }

    if (options.vendorPrices) {
        // Repeated codes are expected in a sample price list; only problems
        // that refuse the file are shown.
        tarvex::PriceList list = tarvex::PriceListCsv::readFile(*options.vendorPrices);
        if (!list.ok()) {
            for (size_t i = 0; i < list.errors.size() && i < kShownProblems; ++i)
                std::cerr << "error: " << list.errors[i] << '\n';
            if (list.errors.size() > kShownProblems)
                std::cerr << "... and " << list.errors.size() - kShownProblems << " more problems\n";
            std::cerr << "tarvex-samplehost: " << *options.vendorPrices << " refused; nothing was written\n";
            return kExitRefused;
        }
        make.vendorPrices = std::move(list.entries);
    }

    tarvex::Result<std::int64_t> written = tarvex::SampleHost::write(*options.output, make, options.force);
    if (!written) {
        std::cerr << "tarvex-samplehost: " << written.error() << "; nothing was written\n";
        return kExitRefused;
    }
    std::cout << "Wrote " << *options.output << ": " << *written << (*written == 1 ? " product" : " products");
    if (options.vendorPrices)
        std::cout << ", shaped against " << *options.vendorPrices;
    std::cout << '\n';
    return kExitOk;
}
