// SampleHost: makes a host database (kv.mdb) for trying Tarvex out and for
// tests: a product table of plausible salon and spa products, and, when a
// vendor's price list is given, host products for most of its codes whose
// costs and prices stand against the vendor's values in every way the price
// change review tells apart (cost up or down, price up or down, both up,
// equal, empty host values, a deleted host product sharing the code of a live
// one, a code written in other letter case), with some codes left out.
//
// The same seed gives the same file.
#pragma once

#include "platform/Result.h"
#include "pricelist/PriceListCsv.h"

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace tarvex {

// How the host product(s) of one vendor code are made.
enum class HostCase {
    CostUp,          // the vendor's cost is above the host's
    PriceUp,         // the vendor's price is above the host's
    BothUp,          // both are above
    CostDown,        // the vendor's cost is below the host's
    Absent,          // the host has no product with the code
    PriceDown,       // the vendor's price is below the host's
    Equal,           // cost and price as the vendor's
    EmptyValues,     // the host's cost and price are empty
    CostDownPriceUp, // cost below, price above
    DeletedTwin,     // a deleted host product with lower values, then a live one with equal values
    OtherLetterCase, // the code in other letter case, with a lower cost
};

struct HostProduct {
    std::string quickid;
    std::string name;
    std::optional<double> cost;
    std::optional<double> retailPrice;
    bool deleted = false;
};

// The host products made for one distinct code of the vendor's list.
struct VendorMatch {
    std::string quickid; // as the vendor's list writes it
    HostCase hostCase = HostCase::Absent;
    std::vector<HostProduct> products; // in the order they are written
};

struct SampleHostOptions {
    std::int64_t products = 300; // products in all, vendor matches included
    std::uint64_t seed = 1;
    std::vector<PriceListEntry> vendorPrices;
    // When given, exactly these products are written, in this order, and
    // nothing is generated: the same rows as another host holds.
    std::vector<HostProduct> exactProducts;
};

class SampleHost {
public:
    // The host products for the codes of prices, one VendorMatch per distinct
    // code (letter case ignored) in the order of first appearance. The cases
    // take turns in the order of HostCase; the vendor values compared are
    // those of the first row of the code that is not marked deleted.
    static std::vector<VendorMatch> matchVendorPrices(const std::vector<PriceListEntry>& prices, std::uint64_t seed);

    // Writes the host database at path: the products of the vendor matches
    // spread through options.products products in all (more when the
    // matches alone need more). The file appears only when complete and
    // replaces an existing one only when replace is set. Result: the number
    // of products written; fails with a text naming path.
    static Result<std::int64_t> write(const std::string& path, const SampleHostOptions& options, bool replace);
};

} // namespace tarvex
