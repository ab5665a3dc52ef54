// PriceListCsv: reads a vendor's price list from a CSV file and checks every
// line of it. The file is RFC 4180 CSV (quoted fields may hold commas, doubled
// quotes and line breaks; lines end in CRLF or LF; a UTF-8 byte order mark is
// skipped) whose first row names the columns. Any column order is accepted,
// and the column names are matched without regard to case, spaces, "_" or
// "-": product code (code, product code, quickid), name (name, product name),
// cost, retail price (retail price, retailprice, price) and an optional
// deleted flag (deleted, delete).
//
// A price list is all or nothing: every problem found is reported with the
// file name and line number, and one problem refuses the whole file.
#pragma once

#include "platform/Result.h"

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace tarvex {

// One product of the price list.
struct PriceListEntry {
    int line = 0; // the line of the file where the product's row starts
    std::string quickid;
    std::string name;
    std::optional<double> cost; // nothing when the cell is empty
    std::optional<double> retailPrice;
    bool deleted = false;
};

// What reading a price list found. errors refuse the file; warnings (a
// product code that repeats, a column that is ignored) do not.
struct PriceList {
    std::vector<PriceListEntry> entries;
    std::vector<std::string> errors;
    std::vector<std::string> warnings;

    bool ok() const { return errors.empty(); }
};

class PriceListCsv {
public:
    // Reads and checks the file at path. A file that cannot be read gives one
    // error naming it.
    static PriceList readFile(const std::string& path);

    // Checks text, the whole content of a price list; fileName is the name
    // the messages use. Every message has the form
    // "FILE, line N: problem" (or "FILE: problem" for the file as a whole).
    static PriceList parse(std::string_view text, const std::string& fileName);

    // A cost or price cell: nothing for an empty cell, else a non-negative
    // decimal number written with a point ("12.50", "3", ".75"). Fails on a
    // non-number or a negative number with the reason (without the file and
    // line).
    static Result<std::optional<double>> parseAmount(std::string_view cell);

    // Whether text is well-formed UTF-8.
    static bool isUtf8(std::string_view text);
};

} // namespace tarvex
