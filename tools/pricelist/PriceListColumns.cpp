// Reading a price list's header row: the column each header cell names, and
// the checks that every required column is there once.
#include "pricelist/PriceListColumns.h"

#include "platform/text/TextHelpers.h"

#include <string>

namespace tarvex {

namespace {

const char* columnTitle(Column column)
{
    switch (column) {
    case Column::Code:
        return "product code";
    case Column::Name:
        return "product name";
    case Column::Cost:
        return "cost";
    case Column::Price:
        return "retail price";
    case Column::Deleted:
        return "deleted flag";
    case Column::Ignored:
        break;
    }
    return "ignored";
}

// The column a header cell names. Case, blanks, "_" and "-" do not count, so
// "Product Code", "product_code" and "PRODUCTCODE" are the same column.
Column columnFor(std::string_view header)
{
    std::string key;
    for (char c : lowerAscii(header))
        if (c != ' ' && c != '\t' && c != '_' && c != '-')
            key += c;
    if (key == "code" || key == "productcode" || key == "quickid")
        return Column::Code;
    if (key == "name" || key == "productname")
        return Column::Name;
    if (key == "cost")
        return Column::Cost;
    if (key == "retailprice" || key == "price")
        return Column::Price;
    if (key == "deleted" || key == "delete")
        return Column::Deleted;
    return Column::Ignored;
}

const char* expectedHeaders(Column column)
{
    switch (column) {
    case Column::Code:
        return "\"code\", \"product code\" or \"quickid\"";
    case Column::Name:
        return "\"name\" or \"product name\"";
    case Column::Cost:
        return "\"cost\"";
    case Column::Price:
        return "\"retail price\", \"retailprice\" or \"price\"";
    default:
        return "\"deleted\" or \"delete\"";
    }
}

} // namespace

std::optional<PriceListColumns> readColumns(const CsvRecord& header, PriceListProblems& problems)
{
    PriceListColumns columns;
    columns.width = header.fields.size();
    bool ok = true;
    auto refuse = [&](const std::string& problem) {
        problems.lineError(header.line, problem);
        ok = false;
    };
    for (size_t i = 0; i < header.fields.size(); ++i) {
        Column column = columnFor(trimmed(header.fields[i]));
        if (column == Column::Ignored) {
            if (!trimmed(header.fields[i]).empty())
                problems.lineWarning(header.line, "column " + std::to_string(i + 1) + " " +
                                                      shownCell(trimmed(header.fields[i])) + " is ignored");
            continue;
        }
        auto [it, added] = columns.at.emplace(column, i);
        if (!added)
            refuse("columns " + std::to_string(it->second + 1) + " and " + std::to_string(i + 1) + " both give the " +
                   columnTitle(column));
    }
    // Spreadsheets set to a decimal comma save "CSV" with semicolons; say so
    // instead of listing every column as missing.
    if (header.fields.size() == 1 && header.fields[0].find_first_of(";\t") != std::string::npos) {
        refuse("the columns are separated by semicolons or tabs, not commas; save the price list "
               "as CSV with commas");
        return std::nullopt;
    }
    for (Column required : {Column::Code, Column::Name, Column::Cost, Column::Price})
        if (!columns.has(required))
            refuse(std::string("the header names no ") + columnTitle(required) + " column (expected one headed " +
                   expectedHeaders(required) + ")");
    if (!ok)
        return std::nullopt;
    return columns;
}

} // namespace tarvex
