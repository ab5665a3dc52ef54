// Reading a price list: a small RFC 4180 record reader that keeps the line
// where each record starts, then the header match and the checks of every
// product row.
#include "pricelist/PriceListCsv.h"

#include <charconv>
#include <cmath>
#include <filesystem>
#include <fstream>
#include <map>
#include <sstream>

namespace tarvex {

namespace {

struct Record {
    int line = 0;
    std::vector<std::string> fields;
};

bool isBlank(char c)
{
    return c == ' ' || c == '\t';
}

std::string_view trimmed(std::string_view s)
{
    while (!s.empty() && isBlank(s.front()))
        s.remove_prefix(1);
    while (!s.empty() && isBlank(s.back()))
        s.remove_suffix(1);
    return s;
}

std::string lowerAscii(std::string_view s)
{
    std::string lower(s);
    for (char& c : lower)
        if (c >= 'A' && c <= 'Z')
            c = static_cast<char>(c - 'A' + 'a');
    return lower;
}

// Splits text into records. Line breaks are CRLF, LF or a lone CR; inside a
// quoted field any of them is kept as LF. Problems are reported through
// error() with the line they were found on, and reading goes on with the
// next line so that one run reports every broken row.
class CsvReader {
public:
    CsvReader(std::string_view text, std::vector<std::pair<int, std::string>>& problems)
        : m_text(text)
        , m_problems(problems)
    {
    }

    // The next record, false at the end of the text.
    bool next(Record& record)
    {
        if (m_pos >= m_text.size())
            return false;
        record.line = m_line;
        record.fields.clear();
        for (;;) {
            std::string field;
            bool endOfRecord = readField(field);
            record.fields.push_back(std::move(field));
            if (endOfRecord)
                return true;
        }
    }

private:
    bool atEnd() const { return m_pos >= m_text.size(); }
    bool atLineBreak() const { return !atEnd() && (m_text[m_pos] == '\n' || m_text[m_pos] == '\r'); }

    // Consumes one line break (CRLF counts as one).
    void skipLineBreak()
    {
        if (m_text[m_pos] == '\r' && m_pos + 1 < m_text.size() && m_text[m_pos + 1] == '\n')
            ++m_pos;
        ++m_pos;
        ++m_line;
    }

    // Reads one field into field and the separator after it. Returns true
    // when the field ended its record.
    bool readField(std::string& field)
    {
        // A quote after leading blanks still opens a quoted field: spreadsheet
        // users write `, "a, b"` and mean the quoted text.
        size_t start = m_pos;
        while (!atEnd() && isBlank(m_text[m_pos]))
            ++m_pos;
        if (!atEnd() && m_text[m_pos] == '"')
            return readQuoted(field);
        m_pos = start;
        while (!atEnd() && m_text[m_pos] != ',' && !atLineBreak())
            field += m_text[m_pos++];
        return endField();
    }

    bool readQuoted(std::string& field)
    {
        int openedOn = m_line;
        ++m_pos;
        for (;;) {
            if (atEnd()) {
                m_problems.emplace_back(openedOn, "a quoted field that starts on this line is never closed");
                return true;
            }
            char c = m_text[m_pos];
            if (c == '"') {
                if (m_pos + 1 < m_text.size() && m_text[m_pos + 1] == '"') {
                    field += '"';
                    m_pos += 2;
                    continue;
                }
                ++m_pos;
                break;
            }
            if (c == '\r' || c == '\n') {
                skipLineBreak();
                field += '\n';
                continue;
            }
            field += c;
            ++m_pos;
        }
        while (!atEnd() && isBlank(m_text[m_pos]))
            ++m_pos;
        if (!atEnd() && m_text[m_pos] != ',' && !atLineBreak()) {
            m_problems.emplace_back(m_line, "text follows the closing quote of a field (a quote inside a quoted field "
                                            "must be doubled)");
            // The rest of the line belongs to the broken field.
            while (!atEnd() && !atLineBreak())
                field += m_text[m_pos++];
        }
        return endField();
    }

    // Consumes the separator after a field; true when it ended the record.
    bool endField()
    {
        if (atEnd())
            return true;
        if (m_text[m_pos] == ',') {
            ++m_pos;
            return false;
        }
        skipLineBreak();
        return true;
    }

    std::string_view m_text;
    std::vector<std::pair<int, std::string>>& m_problems;
    size_t m_pos = 0;
    int m_line = 1;
};

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

enum class Column { Code, Name, Cost, Price, Deleted, Ignored };

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
        if (!isBlank(c) && c != '_' && c != '-')
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

// A cell as shown in a message: quoted, and cut short when long.
std::string shown(std::string_view cell)
{
    std::string text(cell.substr(0, 40));
    if (cell.size() > 40)
        text += "...";
    return "\"" + text + "\"";
}

} // namespace

std::optional<double> PriceListCsv::parseAmount(std::string_view cell, std::string& error)
{
    error.clear();
    std::string_view value = trimmed(cell);
    if (value.empty())
        return std::nullopt;
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
        error = shown(value) + " is not a number";
        if (value.find(',') != std::string_view::npos)
            error += " (write decimals with a point and no thousands separator, as in 1234.50)";
        return std::nullopt;
    }
    double number = 0;
    auto [end, ec] = std::from_chars(digits.data(), digits.data() + digits.size(), number);
    if (ec != std::errc() || end != digits.data() + digits.size() || !std::isfinite(number)) {
        error = shown(value) + " is too large";
        return std::nullopt;
    }
    if (negative && number != 0) {
        error = shown(value) + " is negative";
        return std::nullopt;
    }
    return number;
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
    auto fileError = [&](const std::string& problem) { list.errors.push_back(fileName + ": " + problem); };
    auto lineError = [&](int line, const std::string& problem) {
        list.errors.push_back(fileName + ", line " + std::to_string(line) + ": " + problem);
    };
    auto lineWarning = [&](int line, const std::string& problem) {
        list.warnings.push_back(fileName + ", line " + std::to_string(line) + ": " + problem);
    };

    if (text.starts_with("\xEF\xBB\xBF"))
        text.remove_prefix(3);
    else if (text.starts_with("\xFF\xFE") || text.starts_with("\xFE\xFF")) {
        fileError("is UTF-16 text; save the price list as CSV in UTF-8");
        return list;
    } else if (text.starts_with("PK\x03\x04")) {
        fileError("is a workbook or another zip file, not CSV text; save the price list as CSV first");
        return list;
    }
    if (text.find('\0') != std::string_view::npos) {
        fileError("holds NUL bytes; it is not a CSV text file");
        return list;
    }
    if (int line = firstNonUtf8Line(text)) {
        lineError(line, "is not UTF-8 text; save the price list as CSV in UTF-8");
        return list;
    }

    std::vector<std::pair<int, std::string>> syntaxProblems;
    CsvReader reader(text, syntaxProblems);
    auto isEmptyRecord = [](const Record& r) {
        for (const std::string& field : r.fields)
            if (!trimmed(field).empty())
                return false;
        return true;
    };

    // The header: the first row that is not empty.
    Record header;
    bool haveHeader = false;
    while (reader.next(header))
        if (!isEmptyRecord(header)) {
            haveHeader = true;
            break;
        }
    for (const auto& [line, problem] : syntaxProblems)
        lineError(line, problem);
    syntaxProblems.clear();
    if (!haveHeader) {
        fileError("is empty; a price list starts with a header row naming its columns");
        return list;
    }

    std::map<Column, size_t> columns;
    for (size_t i = 0; i < header.fields.size(); ++i) {
        Column column = columnFor(trimmed(header.fields[i]));
        if (column == Column::Ignored) {
            if (!trimmed(header.fields[i]).empty())
                lineWarning(header.line,
                            "column " + std::to_string(i + 1) + " " + shown(trimmed(header.fields[i])) + " is ignored");
            continue;
        }
        auto [it, added] = columns.emplace(column, i);
        if (!added)
            lineError(header.line, "columns " + std::to_string(it->second + 1) + " and " + std::to_string(i + 1) +
                                       " both give the " + columnTitle(column));
    }
    // Spreadsheets set to a decimal comma save "CSV" with semicolons; say so
    // instead of listing every column as missing.
    if (header.fields.size() == 1 && header.fields[0].find_first_of(";\t") != std::string::npos) {
        lineError(header.line, "the columns are separated by semicolons or tabs, not commas; save the price list "
                               "as CSV with commas");
        return list;
    }
    for (Column required : {Column::Code, Column::Name, Column::Cost, Column::Price})
        if (!columns.count(required))
            lineError(header.line, std::string("the header names no ") + columnTitle(required) +
                                       " column (expected one headed " + expectedHeaders(required) + ")");
    if (!list.ok())
        return list;

    const size_t width = header.fields.size();
    std::map<std::string, int> firstLineOfCode;
    Record record;
    while (reader.next(record)) {
        for (const auto& [line, problem] : syntaxProblems)
            lineError(line, problem);
        bool broken = !syntaxProblems.empty();
        syntaxProblems.clear();
        if (isEmptyRecord(record))
            continue;
        if (broken)
            continue;
        if (record.fields.size() < width) {
            lineError(record.line, "has " + std::to_string(record.fields.size()) + " fields where the header has " +
                                       std::to_string(width));
            continue;
        }
        bool extra = false;
        for (size_t i = width; i < record.fields.size(); ++i)
            extra = extra || !trimmed(record.fields[i]).empty();
        if (extra) {
            lineError(record.line, "has " + std::to_string(record.fields.size()) + " fields where the header has " +
                                       std::to_string(width));
            continue;
        }

        PriceListEntry entry;
        entry.line = record.line;
        bool valid = true;
        entry.quickid = trimmed(record.fields[columns[Column::Code]]);
        if (entry.quickid.empty()) {
            lineError(record.line, "the product code is missing");
            valid = false;
        } else if (hasControlCharacter(entry.quickid)) {
            lineError(record.line, "the product code " + shown(entry.quickid) + " holds a line break or tab");
            valid = false;
        }
        entry.name = trimmed(record.fields[columns[Column::Name]]);
        std::string problem;
        entry.cost = parseAmount(record.fields[columns[Column::Cost]], problem);
        if (!problem.empty()) {
            lineError(record.line, "cost " + problem);
            valid = false;
        }
        entry.retailPrice = parseAmount(record.fields[columns[Column::Price]], problem);
        if (!problem.empty()) {
            lineError(record.line, "retail price " + problem);
            valid = false;
        }
        if (columns.count(Column::Deleted)) {
            const std::string& cell = record.fields[columns[Column::Deleted]];
            std::optional<bool> flag = parseFlag(cell);
            if (!flag) {
                lineError(record.line, "deleted flag " + shown(trimmed(cell)) +
                                           " is not one of 0, 1, yes, no, true, false or empty");
                valid = false;
            } else {
                entry.deleted = *flag;
            }
        }
        if (!valid)
            continue;

        // Codes are matched without regard to letter case, so "ab1" repeats "AB1".
        auto [it, added] = firstLineOfCode.emplace(lowerAscii(entry.quickid), entry.line);
        if (!added)
            lineWarning(entry.line, "product code " + shown(entry.quickid) + " already appears on line " +
                                        std::to_string(it->second) + "; both rows are kept");
        list.entries.push_back(std::move(entry));
    }
    for (const auto& [line, problem] : syntaxProblems)
        lineError(line, problem);

    if (list.ok() && list.entries.empty())
        fileError("holds a header row but no products");
    return list;
}

} // namespace tarvex
