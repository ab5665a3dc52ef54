// BenchData: the files the benchmark measures on. A vendor's price list of
// any length is generated (product codes VP-0000001 on, salon product names,
// costs and prices in cents) and written as an update database with the
// price-list maker's own writer; the host database is written by the sample
// host maker, with host products for the vendor codes it is given spread
// through a table of the requested size. A price list can also be made from
// the products of a host at hand (a genuine Access file).
#pragma once

#include "platform/Result.h"
#include "pricelist/PriceListCsv.h"

#include <cstdint>
#include <string>
#include <vector>

namespace tarvex::bench {

class BenchData {
public:
    // count vendor products, the same for the same seed. No product is marked
    // deleted and every product has a cost and a price.
    static std::vector<PriceListEntry> vendorProducts(std::size_t count, std::uint64_t seed);

    // The products whose codes are handed to the host maker so that the given
    // share of all vendor codes is found in the host: the host maker leaves
    // out one code in eleven of those it is given, so a share s needs s*11/10
    // of the list.
    static std::vector<PriceListEntry> hostShare(const std::vector<PriceListEntry>& vendor, double share);

    // Writes the update database at path (replacing it).
    static Status writeVendor(const std::string& path, const std::vector<PriceListEntry>& vendor);

    // A price list for count products of the host database at hostPath,
    // spread through its product table: every product it names holds one
    // code in the host, not marked deleted, and gets a cost 1.25 above the
    // host's and a price 2.50 above it, so that each is listed. Fails when
    // the host cannot be read or holds fewer such products.
    static Result<std::vector<PriceListEntry>> hostPriceList(const std::string& hostPath, std::size_t count);
    // Writes the host database at path (replacing it) with hostProducts
    // products in all, among them products for the codes of matched. Result:
    // how many were written.
    static Result<std::int64_t> writeHost(const std::string& path, const std::vector<PriceListEntry>& matched,
                                          std::int64_t hostProducts, std::uint64_t seed);
};

} // namespace tarvex::bench
