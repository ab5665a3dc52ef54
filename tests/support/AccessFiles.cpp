// mdb-export's reading of a table, and where a record's amounts are stored.
#include "support/AccessFiles.h"

#include "support/ProcessRunner.h"

#include <gtest/gtest.h>

#include <fstream>
#include <sstream>

namespace tarvex::test {

namespace {

// The fields of one line of mdb-export's output.
std::vector<std::string> csvFields(const std::string& line)
{
    std::vector<std::string> fields(1);
    bool quoted = false;
    for (std::size_t i = 0; i < line.size(); ++i) {
        char c = line[i];
        if (c == '"' && quoted && i + 1 < line.size() && line[i + 1] == '"')
            fields.back() += line[++i];
        else if (c == '"')
            quoted = !quoted;
        else if (c == ',' && !quoted)
            fields.emplace_back();
        else
            fields.back() += c;
    }
    return fields;
}

} // namespace

bool haveMdbExport()
{
    return runProcess({"sh", "-c", "command -v mdb-export"}).exitCode == 0;
}

std::optional<std::vector<std::map<std::string, std::string>>> mdbExportRows(const std::string& path,
                                                                             const std::string& table)
{
    ProcessOptions options;
    options.environment = {"LC_ALL=C"};
    ProcessResult run = runProcess({"mdb-export", path, table}, options);
    if (run.exitCode != 0)
        return std::nullopt;
    std::vector<std::map<std::string, std::string>> rows;
    std::istringstream lines(run.out);
    std::string line;
    std::getline(lines, line);
    std::vector<std::string> header = csvFields(line);
    while (std::getline(lines, line)) {
        std::vector<std::string> fields = csvFields(line);
        if (fields.size() != header.size())
            return std::nullopt;
        std::map<std::string, std::string>& row = rows.emplace_back();
        for (std::size_t i = 0; i < header.size(); ++i)
            row[header[i]] = fields[i];
    }
    return rows;
}

void addAmountOffsets(const AccessFile& file, const AccessTableDefinition& definition, AccessPlace place,
                      const std::vector<std::string>& columns, std::set<std::size_t>& offsets)
{
    Result<std::optional<AccessRowBytes>> row = file.image().liveRow(definition.page, place);
    ASSERT_TRUE(row.ok() && *row);
    AccessRowFields fields;
    ASSERT_TRUE(fields.split(file.image(), **row, definition.hasVariableColumns));
    auto offset = [&](const unsigned char* p) { return static_cast<std::size_t>(file.image().fileOffset(p).value()); };
    for (const std::string& name : columns) {
        for (const AccessColumn& column : definition.columns) {
            if (column.name != name)
                continue;
            std::optional<AccessRowBytes> value = fields.bytes(column);
            if (!value || !fields.maskByte(column))
                continue;
            for (std::size_t k = 0; k < value->size; ++k)
                offsets.insert(offset(value->data) + k);
            offsets.insert(offset(fields.maskByte(column)));
        }
    }
}

void setColumnEntry(const std::string& path, const std::string& table, const std::string& column,
                    column_entry::Field field, unsigned value)
{
    // The definition's counts, then an entry per real index, then one per
    // column (Jet 4 and ACE).
    constexpr std::size_t kPage = 4096, kColumnCountAt = 45, kRealIndexCountAt = 51, kEntriesAt = 63;
    constexpr std::size_t kRealIndexEntry = 12, kColumnEntry = 25;
    std::size_t entry = 0;
    {
        Result<AccessFile> file = AccessFile::open(path);
        ASSERT_TRUE(file.ok()) << file.error();
        Result<AccessTableDefinition> definition = file->definition(table);
        ASSERT_TRUE(definition.ok()) << definition.error();
        const AccessColumn* described = findColumn(*definition, column);
        ASSERT_NE(described, nullptr) << column;
        const unsigned char* p = file->image().page(definition->page);
        auto number = [&](std::size_t at, std::size_t size) {
            unsigned n = 0;
            for (std::size_t k = 0; k < size; ++k)
                n |= static_cast<unsigned>(p[at + k]) << (8 * k);
            return n;
        };
        std::size_t first = kEntriesAt + number(kRealIndexCountAt, 4) * kRealIndexEntry;
        for (std::size_t i = 0; i < number(kColumnCountAt, 2) && first + (i + 1) * kColumnEntry <= kPage; ++i)
            if (number(first + i * kColumnEntry + column_entry::kNumber.at, 2) ==
                static_cast<unsigned>(described->number))
                entry = definition->page * kPage + first + i * kColumnEntry;
        ASSERT_NE(entry, 0u) << column << " has no entry on the first page of the definition";
    }
    std::string bytes;
    for (std::size_t k = 0; k < field.size; ++k)
        bytes += static_cast<char>(value >> (8 * k) & 0xFF);
    std::fstream out(path, std::ios::binary | std::ios::in | std::ios::out);
    out.seekp(static_cast<std::streamoff>(entry + field.at));
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    ASSERT_TRUE(out.good()) << path;
}

std::set<std::size_t> differingOffsets(const std::string& before, const std::string& after)
{
    std::set<std::size_t> offsets;
    for (std::size_t i = 0; i < std::max(before.size(), after.size()); ++i)
        if (i >= before.size() || i >= after.size() || before[i] != after[i])
            offsets.insert(i);
    return offsets;
}

} // namespace tarvex::test
