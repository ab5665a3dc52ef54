// mdb-export's reading of a table, and where a record's amounts are stored.
#include "support/AccessFiles.h"

#include "support/ProcessRunner.h"

#include <gtest/gtest.h>

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
    auto offset = [&](const unsigned char* p) {
        return static_cast<std::size_t>(p - reinterpret_cast<const unsigned char*>(file.image().bytes().data()));
    };
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

std::set<std::size_t> differingOffsets(const std::string& before, const std::string& after)
{
    std::set<std::size_t> offsets;
    for (std::size_t i = 0; i < std::max(before.size(), after.size()); ++i)
        if (i >= before.size() || i >= after.size() || before[i] != after[i])
            offsets.insert(i);
    return offsets;
}

} // namespace tarvex::test
