// Generating vendor price lists and writing the two database files.
#include "BenchData.h"

#include "data/DatabaseNames.h"
#include "platform/Database.h"
#include "pricelist/PriceListWriter.h"
#include "samplehost/SampleHost.h"

#include <array>
#include <cmath>
#include <cstdio>
#include <map>
#include <random>

namespace tarvex::bench {

namespace {

constexpr std::array<const char*, 8> kBrands = {"Aurelle",     "Brightwater", "Calloway Salon", "Dunmore",
                                                "Halcyon Spa", "Ivory Lane",  "Kestrel Lab",    "Marisol"};
constexpr std::array<const char*, 10> kLines = {
    "Hydrating Shampoo", "Repair Conditioner",   "Bond Repair Treatment",
    "Volumising Mousse", "Firm Hold Hair Spray", "Permanent Colour 6.1 Dark Ash Blonde",
    "Gel Polish",        "Cuticle Oil",          "Kaolin Clay Mask",
    "Massage Oil"};
constexpr std::array<const char*, 5> kSizes = {"50 ml", "300 ml", "1 L", "100 g", "Travel"};

double cents(double value)
{
    return std::round(value * 100.0) / 100.0;
}

} // namespace

std::vector<PriceListEntry> BenchData::vendorProducts(std::size_t count, std::uint64_t seed)
{
    std::mt19937_64 engine(seed);
    auto unit = [&] { return static_cast<double>(engine() >> 11) * 0x1.0p-53; };
    std::vector<PriceListEntry> entries;
    entries.reserve(count);
    for (std::size_t i = 0; i < count; ++i) {
        PriceListEntry entry;
        entry.line = static_cast<int>(i) + 2;
        char code[32];
        std::snprintf(code, sizeof code, "VP-%07zu", i + 1);
        entry.quickid = code;
        entry.name = std::string(kBrands[engine() % kBrands.size()]) + " " + kLines[engine() % kLines.size()] + " " +
                     kSizes[engine() % kSizes.size()];
        double cost = cents(2.0 + 23.0 * unit());
        entry.cost = cost;
        entry.retailPrice = cents(std::ceil(cost * (1.8 + 0.8 * unit()) * 2.0) / 2.0 - 0.01);
        entries.push_back(std::move(entry));
    }
    return entries;
}

std::vector<PriceListEntry> BenchData::hostShare(const std::vector<PriceListEntry>& vendor, double share)
{
    // Spread evenly through the list: of every 1000 products, the first
    // share*1100 are handed on.
    const std::size_t perThousand = static_cast<std::size_t>(std::lround(std::min(1.0, share * 1.1) * 1000));
    std::vector<PriceListEntry> chosen;
    for (std::size_t i = 0; i < vendor.size(); ++i)
        if ((i * 37) % 1000 < perThousand)
            chosen.push_back(vendor[i]);
    return chosen;
}

Status BenchData::writeVendor(const std::string& path, const std::vector<PriceListEntry>& vendor)
{
    return PriceListWriter::write(path, "Benchmark Vendor", vendor, true);
}

Result<std::vector<PriceListEntry>> BenchData::hostPriceList(const std::string& hostPath, std::size_t count)
{
    using R = Result<std::vector<PriceListEntry>>;
    Result<Database> host = Database::open(hostPath);
    if (!host)
        return R::failure(host.error());
    Result<Recordset> products = host->openTable(
        names::kProduct, {names::kQuickId, names::kName, names::kCost, names::kRetailPrice, names::kDelete});
    if (!products)
        return R::failure(products.error());
    // Every live product, in the order the file stores them, and how many
    // hold each code: a code held twice is found by a seek as its first.
    std::vector<PriceListEntry> live;
    std::map<std::string, int> held;
    for (Status walk = products->moveFirst(); !products->eof(); walk = products->moveNext()) {
        if (!walk.ok())
            return R::failure(hostPath + ": " + walk.error());
        Result<std::optional<std::string>> code = products->text(names::kQuickId);
        Result<std::optional<std::int64_t>> deleted = products->integer(names::kDelete);
        Result<std::optional<double>> cost = products->number(names::kCost);
        Result<std::optional<double>> price = products->number(names::kRetailPrice);
        Result<std::optional<std::string>> name = products->text(names::kName);
        if (!code || !deleted || !cost || !price || !name)
            return R::failure(hostPath + ": a product cannot be read");
        if (!*code)
            continue;
        ++held[**code];
        if (deleted->value_or(0) != 0)
            continue;
        PriceListEntry entry;
        entry.quickid = **code;
        entry.name = name->value_or("");
        entry.cost = cents(cost->value_or(0) + 1.25);
        entry.retailPrice = cents(price->value_or(0) + 2.50);
        live.push_back(std::move(entry));
    }
    std::vector<PriceListEntry> once;
    for (PriceListEntry& entry : live)
        if (held[entry.quickid] == 1)
            once.push_back(std::move(entry));
    if (once.size() < count)
        return R::failure(hostPath + ": only " + std::to_string(once.size()) + " products to make a price list of " +
                          std::to_string(count));
    std::vector<PriceListEntry> chosen;
    for (std::size_t i = 0; i < count; ++i) {
        chosen.push_back(once[i * once.size() / count]);
        chosen.back().line = static_cast<int>(i) + 2;
    }
    return chosen;
}

Result<std::int64_t> BenchData::writeHost(const std::string& path, const std::vector<PriceListEntry>& matched,
                                          std::int64_t hostProducts, std::uint64_t seed)
{
    SampleHostOptions options;
    options.products = hostProducts;
    options.seed = seed;
    options.vendorPrices = matched;
    return SampleHost::write(path, options, true);
}

} // namespace tarvex::bench
