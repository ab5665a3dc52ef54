// Generating vendor price lists and writing the two database files.
#include "BenchData.h"

#include "pricelist/PriceListWriter.h"
#include "samplehost/SampleHost.h"

#include <array>
#include <cmath>
#include <cstdio>
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
