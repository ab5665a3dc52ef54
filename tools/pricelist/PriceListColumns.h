// PriceListColumns: which column of a price list holds what, as its header
// row names them. Column names are matched without regard to case, blanks,
// "_" or "-"; the product code, name, cost and retail price columns are
// required, the deleted flag is optional, and other columns are ignored with
// a warning.
#pragma once

#include "pricelist/CsvRecords.h"
#include "pricelist/PriceListProblems.h"

#include <cstddef>
#include <map>
#include <optional>

namespace tarvex {

enum class Column { Code, Name, Cost, Price, Deleted, Ignored };

struct PriceListColumns {
    std::map<Column, std::size_t> at; // the field of each column named
    std::size_t width = 0;            // the fields of the header row

    bool has(Column column) const { return at.count(column) != 0; }
};

// The columns header names. Every problem with the header is reported to
// problems; nothing is returned when there was any.
std::optional<PriceListColumns> readColumns(const CsvRecord& header, PriceListProblems& problems);

} // namespace tarvex
