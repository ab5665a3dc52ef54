// Reading a price list: the checks of the file as a whole, then its header
// (PriceListColumns) and every product row, read as CSV records (CsvRecords).
#include "pricelist/PriceListCsv.h"

#include "platform/text/TextHelpers.h"
#include "pricelist/CsvRecords.h"
#include "pricelist/PriceListColumns.h"
#include "pricelist/PriceListProblems.h"

#include <charconv>
#include <cmath>
#include <filesystem>
#include <fstream>
#include <map>
#include <sstream>

namespace tarvex {

namespace {

// The line of the first byte that is not part of well-formed UTF-8, or 0
// when the whole text is UTF-8.
int firstNonUtf8Line(std::string_view text)
{
    int line = 1;
    size_t i = 0;
    while (i < text.size()) {
        unsigned char c = static_cast<unsigned char>(text[i]);
        if (c == '\n')
            ++line;
        if (c < 0x80) {
            ++i;
            continue;
        }
        size_t length = 0;
        unsigned lowest = 0;
        if (c >= 0xC2 && c <= 0xDF) {
            length = 2;
            lowest = 0x80;
        } else if (c >= 0xE0 && c <= 0xEF) {
            length = 3;
            lowest = 0x800;
        } else if (c >= 0xF0 && c <= 0xF4) {
            length = 4;
            lowest = 0x10000;
        } else {
            return line;
        }
        if (i + length > text.size())
            return line;
        unsigned code = c & (0xFF >> (length + 1));
        for (size_t k = 1; k < length; ++k) {
            unsigned char next = static_cast<unsigned char>(text[i + k]);
            if ((next & 0xC0) != 0x80)
                return line;
            code = (code << 6) | (next & 0x3F);
        }
        // Overlong forms, UTF-16 surrogates and code points past U+10FFFF.
        if (code < lowest || (code >= 0xD800 && code <= 0xDFFF) || code > 0x10FFFF)
            return line;
        i += length;
    }
    return 0;
}

std::optional<bool> parseFlag(std::string_view cell)
{
    std::string value = lowerAscii(trimmed(cell));
    if (value.empty() || value == "0" || value == "no" || value == "false")
        return false;
    if (value == "1" || value == "yes" || value == "true")
        return true;
    return std::nullopt;
}

bool hasControlCharacter(std::string_view s)
{
    for (char c : s)
        if (static_cast<unsigned char>(c) < 0x20 || c == 0x7F)
            return true;
    return false;
}

// Refuses text that is not UTF-8 CSV text at all (UTF-16, a workbook, binary
// data), with one problem that says what it is instead; true when refused. A
// UTF-8 byte order mark is taken off text.
bool refuseAsAWhole(std::string_view& text, PriceListProblems& problems)
{
    if (text.starts_with("\xEF\xBB\xBF"))
        text.remove_prefix(3);
    else if (text.starts_with("\xFF\xFE") || text.starts_with("\xFE\xFF")) {
        problems.fileError("is UTF-16 text; save the price list as CSV in UTF-8");
        return true;
    } else if (text.starts_with("PK\x03\x04")) {
        problems.fileError("is a workbook or another zip file, not CSV text; save the price list as CSV first");
        return true;
    }
    if (text.find('\0') != std::string_view::npos) {
        problems.fileError("holds NUL bytes; it is not a CSV text file");
        return true;
    }
    if (int line = firstNonUtf8Line(text)) {
        problems.lineError(line, "is not UTF-8 text; save the price list as CSV in UTF-8");
        return true;
    }
    return false;
}

// The product of one row, or nothing when the row has a problem; every
// problem of the row is reported.
std::optional<PriceListEntry> readEntry(const CsvRecord& record, const PriceListColumns& columns,
                                        PriceListProblems& problems)
{
    auto refuse = [&](const std::string& problem) { problems.lineError(record.line, problem); };
    bool extra = false;
    for (size_t i = columns.width; i < record.fields.size(); ++i)
        extra = extra || !trimmed(record.fields[i]).empty();
    if (record.fields.size() < columns.width || extra) {
        refuse("has " + std::to_string(record.fields.size()) + " fields where the header has " +
               std::to_string(columns.width));
        return std::nullopt;
    }
    auto cell = [&](Column column) -> const std::string& { return record.fields[columns.at.at(column)]; };

    PriceListEntry entry;
    entry.line = record.line;
    bool valid = true;
    entry.quickid = trimmed(cell(Column::Code));
    if (entry.quickid.empty()) {
        refuse("the product code is missing");
        valid = false;
    } else if (hasControlCharacter(entry.quickid)) {
        refuse("the product code " + shownCell(entry.quickid) + " holds a line break or tab");
        valid = false;
    }
    entry.name = trimmed(cell(Column::Name));
    Result<std::optional<double>> cost = PriceListCsv::parseAmount(cell(Column::Cost));
    if (cost) {
        entry.cost = *cost;
    } else {
        refuse("cost " + cost.error());
        valid = false;
    }
    Result<std::optional<double>> retailPrice = PriceListCsv::parseAmount(cell(Column::Price));
    if (retailPrice) {
        entry.retailPrice = *retailPrice;
    } else {
        refuse("retail price " + retailPrice.error());
        valid = false;
    }
    if (columns.has(Column::Deleted)) {
        const std::string& flagCell = cell(Column::Deleted);
        std::optional<bool> flag = parseFlag(flagCell);
        if (!flag) {
            refuse("deleted flag " + shownCell(trimmed(flagCell)) +
                   " is not one of 0, 1, yes, no, true, false or empty");
            valid = false;
        } else {
            entry.deleted = *flag;
        }
    }
    if (!valid)
        return std::nullopt;
    return entry;
}

} // namespace

Result<std::optional<double>> PriceListCsv::parseAmount(std::string_view cell)
{
    using R = Result<std::optional<double>>;
    std::string_view value = trimmed(cell);
    if (value.empty())
        return std::optional<double>();
    std::string_view digits = value;
    bool negative = false;
    if (digits.front() == '-' || digits.front() == '+') {
        negative = digits.front() == '-';
        digits.remove_prefix(1);
    }
    // Plain decimals only: an exponent, "inf", "nan", a currency sign or a
    // thousands separator would make a price list mean something else in
    // another program, so they are refused rather than guessed at.
    size_t points = 0, count = 0;
    bool wellFormed = !digits.empty();
    for (char c : digits) {
        if (c == '.')
            ++points;
        else if (c >= '0' && c <= '9')
            ++count;
        else
            wellFormed = false;
    }
    if (!wellFormed || points > 1 || count == 0) {
        std::string error = shownCell(value) + " is not a number";
        if (value.find(',') != std::string_view::npos)
            error += " (write decimals with a point and no thousands separator, as in 1234.50)";
        return R::failure(error);
    }
    double number = 0;
    auto [end, ec] = std::from_chars(digits.data(), digits.data() + digits.size(), number);
    if (ec != std::errc() || end != digits.data() + digits.size() || !std::isfinite(number))
        return R::failure(shownCell(value) + " is too large");
    if (negative && number != 0)
        return R::failure(shownCell(value) + " is negative");
    return std::optional<double>(number);
}

bool PriceListCsv::isUtf8(std::string_view text)
{
    return firstNonUtf8Line(text) == 0;
}

PriceList PriceListCsv::readFile(const std::string& path)
{
    std::error_code ec;
    if (std::filesystem::is_directory(path, ec)) {
        PriceList list;
        list.errors.push_back(path + ": is a folder, not a price list");
        return list;
    }
    std::ifstream in(path, std::ios::binary);
    if (!in) {
        PriceList list;
        list.errors.push_back(path + ": cannot be read");
        return list;
    }
    std::ostringstream text;
    text << in.rdbuf();
    if (in.bad()) {
        PriceList list;
        list.errors.push_back(path + ": cannot be read");
        return list;
    }
    return parse(text.str(), path);
}

PriceList PriceListCsv::parse(std::string_view text, const std::string& fileName)
{
    PriceList list;
    PriceListProblems problems(list, fileName);
    if (refuseAsAWhole(text, problems))
        return list;

    std::vector<std::pair<int, std::string>> syntaxProblems;
    CsvReader reader(text, syntaxProblems);
    auto reportSyntax = [&] {
        for (const auto& [line, problem] : syntaxProblems)
            problems.lineError(line, problem);
        bool any = !syntaxProblems.empty();
        syntaxProblems.clear();
        return any;
    };

    // The header: the first row that is not empty.
    CsvRecord header;
    bool haveHeader = false;
    while (!haveHeader && reader.next(header))
        haveHeader = !header.blank();
    reportSyntax();
    if (!haveHeader) {
        problems.fileError("is empty; a price list starts with a header row naming its columns");
        return list;
    }
    std::optional<PriceListColumns> columns = readColumns(header, problems);
    if (!columns || !list.ok())
        return list;

    std::map<std::string, int> firstLineOfCode;
    CsvRecord record;
    while (reader.next(record)) {
        bool broken = reportSyntax();
        if (record.blank() || broken)
            continue;
        std::optional<PriceListEntry> entry = readEntry(record, *columns, problems);
        if (!entry)
            continue;
        // Codes are matched without regard to letter case, so "ab1" repeats "AB1".
        auto [it, added] = firstLineOfCode.emplace(lowerAscii(entry->quickid), entry->line);
        if (!added)
            problems.lineWarning(entry->line, "product code " + shownCell(entry->quickid) +
                                                  " already appears on line " + std::to_string(it->second) +
                                                  "; both rows are kept");
        list.entries.push_back(std::move(*entry));
    }
    reportSyntax();

    if (list.ok() && list.entries.empty())
        problems.fileError("holds a header row but no products");
    return list;
}

} // namespace tarvex
