// Making a sample host database: a seeded generator of salon and spa
// products, the host products for a vendor's codes, and the writing of both
// in one transaction through one prepared statement.
#include "samplehost/SampleHost.h"

#include "common/NewDatabaseFile.h"
#include "data/Schema.h"
#include "platform/sqlite/SqlText.h"
#include "platform/sqlite/SqliteStatement.h"
#include "platform/text/TextHelpers.h"

#include <sqlite3.h>

#include <array>
#include <cmath>
#include <iterator>
#include <memory>
#include <random>
#include <unordered_map>
#include <unordered_set>

namespace tarvex {

namespace {

// A seeded source of numbers. std::mt19937_64 yields the same sequence on
// every platform; the distributions are written out here for the same reason.
class Random {
public:
    explicit Random(std::uint64_t seed)
        : m_engine(seed)
    {
    }
    double unit() { return static_cast<double>(m_engine() >> 11) * 0x1.0p-53; }
    double between(double low, double high) { return low + (high - low) * unit(); }
    size_t below(size_t n) { return static_cast<size_t>(m_engine() % n); }
    bool chance(double p) { return unit() < p; }

private:
    std::mt19937_64 m_engine;
};

double cents(double value)
{
    return std::round(value * 100.0) / 100.0;
}

// A shelf price for a cost: a markup of 1.8 to 2.6, ending in .49 or .99.
double shelfPrice(Random& random, double cost)
{
    double price = std::ceil(cost * random.between(1.8, 2.6) * 2.0) / 2.0 - 0.01;
    return cents(std::max(price, cost + 0.5));
}

double lowered(Random& random, double value)
{
    double lower = cents(value * (1.0 - random.between(0.04, 0.15)));
    if (lower >= value)
        lower = cents(value - 0.01);
    return std::max(lower, 0.0);
}

double raised(Random& random, double value)
{
    double higher = cents(value * (1.0 + random.between(0.04, 0.15)));
    if (higher <= value)
        higher = cents(value + 0.01);
    return higher;
}

struct ProductLine {
    const char* prefix; // of the product code
    const char* name;
    double minCost;
    double maxCost;
    bool scented; // whether a scent or variant is named
    std::array<const char*, 3> sizes;
};

constexpr std::array<const char*, 12> kBrands = {
    "Aurelle",   "Brightwater", "Calloway Salon", "Dunmore", "Elora",       "Fenwick Pro",
    "Glasshaus", "Halcyon Spa", "Ivory Lane",     "Juniper", "Kestrel Lab", "Marisol",
};

constexpr std::array<const char*, 8> kVariants = {
    "Lavender", "Citrus", "Unscented", "Coconut", "Rose", "Eucalyptus", "Vanilla", "Green Tea",
};

constexpr std::array<ProductLine, 24> kLines = {{
    {"SH", "Hydrating Shampoo", 2.5, 9.0, true, {"300 ml", "1 L", "50 ml"}},
    {"SH", "Colour Safe Shampoo", 3.0, 10.0, false, {"250 ml", "1 L", "75 ml"}},
    {"CN", "Repair Conditioner", 3.0, 11.0, true, {"250 ml", "1 L", "50 ml"}},
    {"CN", "Leave-In Conditioner", 3.5, 9.5, false, {"150 ml", "200 ml", "50 ml"}},
    {"TR", "Bond Repair Treatment", 8.0, 24.0, false, {"100 ml", "500 ml", "30 ml"}},
    {"TR", "Argan Hair Oil", 5.0, 16.0, false, {"100 ml", "50 ml", "30 ml"}},
    {"ST", "Volumising Mousse", 3.0, 8.0, false, {"200 ml", "400 ml", "75 ml"}},
    {"ST", "Firm Hold Hair Spray", 2.5, 7.5, false, {"300 ml", "500 ml", "75 ml"}},
    {"ST", "Matte Styling Paste", 3.5, 9.0, false, {"85 g", "50 g", "150 g"}},
    {"CL", "Permanent Colour 6.1 Dark Ash Blonde", 2.8, 6.5, false, {"60 ml", "100 ml", "60 ml"}},
    {"CL", "Permanent Colour 8.3 Light Golden Blonde", 2.8, 6.5, false, {"60 ml", "100 ml", "60 ml"}},
    {"CL", "Demi Gloss Toner 9V", 3.0, 7.0, false, {"60 ml", "100 ml", "60 ml"}},
    {"CL", "Cream Developer 20 Vol", 3.0, 9.0, false, {"1 L", "250 ml", "4 L"}},
    {"CL", "Lightening Powder", 9.0, 22.0, false, {"500 g", "900 g", "30 g"}},
    {"NC", "Gel Polish", 4.0, 9.5, false, {"15 ml", "10 ml", "7 ml"}},
    {"NC", "Base Coat", 3.0, 7.0, false, {"15 ml", "10 ml", "7 ml"}},
    {"NC", "Cuticle Oil", 1.5, 5.0, true, {"15 ml", "30 ml", "100 ml"}},
    {"NC", "Acetone-Free Polish Remover", 1.2, 4.0, false, {"250 ml", "1 L", "100 ml"}},
    {"NC", "Crystal Nail File", 0.8, 4.5, false, {"Standard", "Travel", "Pro"}},
    {"SK", "Gentle Facial Cleanser", 4.0, 12.0, false, {"200 ml", "500 ml", "50 ml"}},
    {"SK", "Kaolin Clay Mask", 4.5, 14.0, false, {"100 ml", "250 ml", "30 ml"}},
    {"SP", "Salt Body Scrub", 5.0, 15.0, true, {"300 g", "600 g", "100 g"}},
    {"SP", "Massage Oil", 6.0, 20.0, true, {"500 ml", "1 L", "100 ml"}},
    {"SP", "Hand and Foot Cream", 2.0, 8.0, true, {"75 ml", "250 ml", "30 ml"}},
}};

// Generates products one at a time; codes count up from 100001 with the
// product line's prefix and skip any code in reserved (lower case).
class ProductGenerator {
public:
    ProductGenerator(std::uint64_t seed, const std::unordered_set<std::string>& reserved)
        : m_random(seed)
        , m_reserved(reserved)
    {
    }

    HostProduct next()
    {
        const ProductLine& line = kLines[m_random.below(kLines.size())];
        HostProduct product;
        do
            product.quickid = std::string(line.prefix) + "-" + std::to_string(100001 + m_count++);
        while (m_reserved.count(lowerAscii(product.quickid)));

        product.name = kBrands[m_random.below(kBrands.size())];
        product.name += ' ';
        product.name += line.name;
        if (line.scented) {
            product.name += ' ';
            product.name += kVariants[m_random.below(kVariants.size())];
        }
        product.name += ' ';
        // The first size is the common one.
        product.name += line.sizes[m_random.chance(0.6) ? 0 : 1 + m_random.below(2)];

        double cost = cents(m_random.between(line.minCost, line.maxCost));
        double price = shelfPrice(m_random, cost);
        // A working host table has gaps: products entered without a cost or a
        // price, and products marked deleted.
        if (!m_random.chance(0.02))
            product.cost = cost;
        if (!m_random.chance(0.02))
            product.retailPrice = price;
        product.deleted = m_random.chance(0.03);
        return product;
    }

private:
    Random m_random;
    const std::unordered_set<std::string>& m_reserved;
    std::int64_t m_count = 0;
};

constexpr std::array<HostCase, 11> kCaseTurns = {
    HostCase::CostUp,          HostCase::PriceUp,     HostCase::BothUp,          HostCase::CostDown,
    HostCase::Absent,          HostCase::PriceDown,   HostCase::Equal,           HostCase::EmptyValues,
    HostCase::CostDownPriceUp, HostCase::DeletedTwin, HostCase::OtherLetterCase,
};

std::string otherLetterCase(std::string code)
{
    for (char& c : code) {
        if (c >= 'A' && c <= 'Z')
            c = static_cast<char>(c - 'A' + 'a');
        else if (c >= 'a' && c <= 'z')
            c = static_cast<char>(c - 'a' + 'A');
    }
    return code;
}

void bindAmount(sqlite3_stmt* stmt, int i, const std::optional<double>& value)
{
    if (value)
        sqlite3_bind_double(stmt, i, *value);
    else
        sqlite3_bind_null(stmt, i);
}

} // namespace

std::vector<VendorMatch> SampleHost::matchVendorPrices(const std::vector<PriceListEntry>& prices, std::uint64_t seed)
{
    // Codes in order of first appearance, each with the row whose values the
    // host is set against: the first live one, else the first.
    std::vector<const PriceListEntry*> chosen;
    std::unordered_map<std::string, size_t> positions;
    for (const PriceListEntry& entry : prices) {
        auto [it, added] = positions.emplace(lowerAscii(entry.quickid), chosen.size());
        if (added)
            chosen.push_back(&entry);
        else if (chosen[it->second]->deleted && !entry.deleted)
            chosen[it->second] = &entry;
    }

    // A random source of its own, so that the matches do not depend on how
    // many other products are made.
    Random random(seed ^ 0x9E3779B97F4A7C15ull);
    std::vector<VendorMatch> matches;
    for (size_t i = 0; i < chosen.size(); ++i) {
        const PriceListEntry& vendor = *chosen[i];
        VendorMatch match;
        match.quickid = vendor.quickid;
        match.hostCase = kCaseTurns[i % kCaseTurns.size()];
        // Where the vendor leaves a value empty, the host's is made to fit the other.
        double cost = vendor.cost          ? *vendor.cost
                      : vendor.retailPrice ? cents(*vendor.retailPrice / random.between(1.8, 2.6))
                                           : cents(random.between(2.0, 15.0));
        double price = vendor.retailPrice ? *vendor.retailPrice : shelfPrice(random, cost);
        HostProduct host;
        host.quickid = vendor.quickid;
        host.name = vendor.name.empty() ? vendor.quickid : vendor.name;
        host.cost = cost;
        host.retailPrice = price;
        switch (match.hostCase) {
        case HostCase::CostUp:
            host.cost = lowered(random, cost);
            break;
        case HostCase::PriceUp:
            host.retailPrice = lowered(random, price);
            break;
        case HostCase::BothUp:
            host.cost = lowered(random, cost);
            host.retailPrice = lowered(random, price);
            break;
        case HostCase::CostDown:
            host.cost = raised(random, cost);
            break;
        case HostCase::Absent:
            break;
        case HostCase::PriceDown:
            host.retailPrice = raised(random, price);
            break;
        case HostCase::Equal:
            break;
        case HostCase::EmptyValues:
            host.cost.reset();
            host.retailPrice.reset();
            break;
        case HostCase::CostDownPriceUp:
            host.cost = raised(random, cost);
            host.retailPrice = lowered(random, price);
            break;
        case HostCase::DeletedTwin: {
            // Written first, so it comes first among equal codes.
            HostProduct twin = host;
            twin.deleted = true;
            twin.cost = lowered(random, cost);
            twin.retailPrice = lowered(random, price);
            match.products.push_back(twin);
            break;
        }
        case HostCase::OtherLetterCase:
            host.quickid = otherLetterCase(host.quickid);
            host.cost = lowered(random, cost);
            break;
        }
        if (match.hostCase != HostCase::Absent)
            match.products.push_back(host);
        matches.push_back(std::move(match));
    }
    return matches;
}

Result<std::int64_t> SampleHost::write(const std::string& path, const SampleHostOptions& options, bool replace)
{
    using R = Result<std::int64_t>;
    std::vector<VendorMatch> matches = options.exactProducts.empty()
                                           ? matchVendorPrices(options.vendorPrices, options.seed)
                                           : std::vector<VendorMatch>{{"", HostCase::Absent, options.exactProducts}};
    std::unordered_set<std::string> reserved;
    std::int64_t matchProducts = 0;
    for (const VendorMatch& match : matches) {
        reserved.insert(lowerAscii(match.quickid));
        matchProducts += static_cast<std::int64_t>(match.products.size());
    }
    std::erase_if(matches, [](const VendorMatch& m) { return m.products.empty(); });
    std::int64_t generated =
        options.exactProducts.empty() ? std::max<std::int64_t>(0, options.products - matchProducts) : 0;

    Result<NewDatabaseFile> file = NewDatabaseFile::create(path, replace);
    if (!file)
        return R(file.status());
    // No journal and no flushing while the file is made: a failed run
    // discards the temporary file, and commit() flushes it once at the end.
    Status status = file->execute(std::string("PRAGMA journal_mode = OFF; PRAGMA synchronous = OFF; "
                                              "PRAGMA cache_size = -65536; BEGIN;") +
                                  schema::kHostDatabase);
    if (!status)
        return R(status);

    sqlite3* db = file->handle();
    // An index is built faster once over all the rows than row by row: the
    // schema's indexes are dropped here and made again, from their own text,
    // after the rows are in.
    std::vector<std::string> indexes;
    sqlite3_stmt* raw = nullptr;
    if (sqlite3_prepare_v2(db, "SELECT name, sql FROM sqlite_schema WHERE type = 'index' AND sql IS NOT NULL", -1, &raw,
                           nullptr) != SQLITE_OK)
        return R::failure(path + ": cannot write: " + sqliteError(db));
    std::vector<std::string> dropped;
    while (sqlite3_step(raw) == SQLITE_ROW) {
        dropped.push_back(reinterpret_cast<const char*>(sqlite3_column_text(raw, 0)));
        indexes.push_back(reinterpret_cast<const char*>(sqlite3_column_text(raw, 1)));
    }
    sqlite3_finalize(raw);
    for (const std::string& name : dropped) {
        status = file->execute("DROP INDEX " + quoteIdentifier(name));
        if (!status)
            return R(status);
    }

    if (sqlite3_prepare_v2(db,
                           "INSERT INTO product (quickid, Name, cost, retailprice, \"Delete\") "
                           "VALUES (?1, ?2, ?3, ?4, ?5)",
                           -1, &raw, nullptr) != SQLITE_OK)
        return R::failure(path + ": cannot write: " + sqliteError(db));
    SqliteStatement insert(raw);
    auto add = [&](const HostProduct& product) {
        sqlite3_reset(raw);
        sqlite3_bind_text(raw, 1, product.quickid.data(), static_cast<int>(product.quickid.size()), SQLITE_STATIC);
        sqlite3_bind_text(raw, 2, product.name.data(), static_cast<int>(product.name.size()), SQLITE_STATIC);
        bindAmount(raw, 3, product.cost);
        bindAmount(raw, 4, product.retailPrice);
        sqlite3_bind_int(raw, 5, product.deleted ? 1 : 0);
        return sqlite3_step(raw) == SQLITE_DONE;
    };

    // The matches are spread evenly through the generated products, so that
    // they do not all sit at one end of the table.
    ProductGenerator generator(options.seed, reserved);
    std::int64_t written = 0;
    size_t nextMatch = 0;
    const std::int64_t slots = static_cast<std::int64_t>(matches.size()) + 1;
    for (std::int64_t i = 0; i <= generated; ++i) {
        while (nextMatch < matches.size() &&
               (i == generated || static_cast<std::int64_t>(nextMatch + 1) * generated / slots <= i)) {
            for (const HostProduct& product : matches[nextMatch].products) {
                if (!add(product))
                    return R::failure(path + ": cannot write: " + sqliteError(db));
                ++written;
            }
            ++nextMatch;
        }
        if (i == generated)
            break;
        if (!add(generator.next()))
            return R::failure(path + ": cannot write: " + sqliteError(db));
        ++written;
    }
    insert.reset();
    for (const std::string& sql : indexes) {
        status = file->execute(sql);
        if (!status)
            return R(status);
    }
    status = file->execute("COMMIT");
    if (!status)
        return R(status);
    status = file->commit();
    if (!status)
        return R(status);
    return written;
}

} // namespace tarvex
