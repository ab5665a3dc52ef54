// The in-place Access writer over copies of genuine Access files (see
// tests/data/access/PROVENANCE.md): every format takes new amounts, which
// read back in this program's reader and in libmdb's mdb-export while every
// other byte of the file stays as it was; each kind of host gets its outcome
// (written, refused per product, refused as a whole); a record another
// program changed is kept; kills at any moment leave every product old or
// new. The validation rules people put on amounts are checked as Access does.
#include "platform/access/AccessWriter.h"
#include "platform/access/AccessFile.h"
#include "platform/access/AccessRule.h"
#include "platform/Database.h"

#include "support/AccessFiles.h"
#include "support/ChildWatch.h"
#include "support/ProcessRunner.h"
#include "support/TempDir.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <csignal>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <map>
#include <random>
#include <set>
#include <sys/wait.h>
#include <unistd.h>

using namespace tarvex;
using namespace tarvex::test;

namespace {

namespace fs = std::filesystem;
using Amounts = std::vector<std::optional<double>>;

std::string fixture(const std::string& name)
{
    return std::string(TARVEX_SOURCE_DIR) + "/tests/data/access/" + name;
}

// A writable copy of a fixture in dir.
std::string copyOf(const TempDir& dir, const std::string& name)
{
    std::string path = dir.file(name);
    fs::copy_file(fixture(name), path, fs::copy_options::overwrite_existing);
    fs::permissions(path, fs::perms::owner_read | fs::perms::owner_write);
    return path;
}

// Where a table and its amounts are, and how its records are found.
struct Shape {
    std::string table = "product";
    std::string key = "quickid";
    std::vector<std::string> columns = {"cost", "retailprice"};
};

// Amounts to write: nothing leaves a column as it is.
std::vector<AccessAmount> toWrite(const Amounts& values)
{
    return {values.begin(), values.end()};
}

// One record to change: its key and the new amounts (nothing: left as is).
struct Change {
    std::string key;
    Amounts values;
};

// The name of the index whose first column is the key.
std::string indexOn(const AccessTableDefinition& definition, const std::string& key)
{
    for (const AccessIndex& index : definition.indexes)
        if (!index.columns.empty() && index.columns[0] == key)
            return index.name;
    return {};
}

// A record found by its key: where it lives, its amounts as read and as stored.
struct Found {
    AccessPlace place;
    Amounts amounts;
    std::vector<AccessStoredField> stored;
};

std::optional<Found> find(AccessTable& table, const Shape& shape, const std::string& key)
{
    EXPECT_TRUE(table.seek(Key{key}).ok());
    if (table.noMatch())
        return std::nullopt;
    Found found{table.place(), {}, {}};
    for (const std::string& column : shape.columns) {
        Result<std::optional<double>> amount = table.number(column);
        found.amounts.push_back(amount.ok() ? *amount : std::nullopt);
        Result<AccessStoredField> stored = table.stored(column);
        EXPECT_TRUE(stored.ok()) << stored.error();
        found.stored.push_back(stored.ok() ? *stored : AccessStoredField{});
    }
    return found;
}

AccessTable openShape(const AccessFile& file, const Shape& shape)
{
    std::vector<std::string> columns{shape.key};
    columns.insert(columns.end(), shape.columns.begin(), shape.columns.end());
    Result<AccessTable> table = file.openTable(shape.table, columns);
    EXPECT_TRUE(table.ok()) << table.error();
    Status indexed = table->setIndex(indexOn(table->definition(), shape.key));
    EXPECT_TRUE(indexed.ok()) << indexed.error();
    return std::move(*table);
}

// The file offsets a change to a record may touch: the written amounts'
// bytes, and their null-mask bytes.
void addPlannedOffsets(const AccessFile& file, const AccessTableDefinition& definition, AccessPlace place,
                       const Change& change, const Shape& shape, std::set<std::size_t>& planned)
{
    std::vector<std::string> written;
    for (std::size_t i = 0; i < shape.columns.size(); ++i)
        if (change.values[i])
            written.push_back(shape.columns[i]);
    addAmountOffsets(file, definition, place, written, planned);
}

// What applying changes to the file at path gave, product by product, and
// the file offsets the changes that were saved were planned to touch.
struct Applied {
    std::vector<AccessWriteStatus> outcomes;
    std::set<std::size_t> planned;
};

Applied apply(const std::string& path, const Shape& shape, const std::vector<Change>& changes)
{
    Applied applied;
    Result<AccessFile> file = AccessFile::open(path);
    EXPECT_TRUE(file.ok()) << file.error();
    AccessTable table = openShape(*file, shape);
    Result<AccessWriter> writer = AccessWriter::open(*file, shape.table, shape.columns);
    EXPECT_TRUE(writer.ok()) << writer.error();
    if (!writer.ok())
        return applied;
    for (const Change& change : changes) {
        std::optional<Found> found = find(table, shape, change.key);
        EXPECT_TRUE(found) << change.key;
        if (!found)
            continue;
        AccessWriteStatus outcome = writer->save(found->place, found->stored, toWrite(change.values));
        if (outcome.ok())
            addPlannedOffsets(*file, table.definition(), found->place, change, shape, applied.planned);
        applied.outcomes.push_back(outcome);
    }
    return applied;
}

// The amounts of every record, by key (keys repeated in a table get a
// number after them), as this program's reader reads them.
std::map<std::string, Amounts> amountsOf(const std::string& path, const Shape& shape)
{
    std::map<std::string, Amounts> all;
    Result<AccessFile> file = AccessFile::open(path);
    EXPECT_TRUE(file.ok()) << file.error();
    if (!file.ok())
        return all;
    AccessTable table = openShape(*file, shape);
    EXPECT_TRUE(table.moveFirst().ok());
    while (!table.eof()) {
        std::string key = table.text(shape.key)->value_or("");
        while (all.count(key))
            key += "+";
        Amounts& amounts = all[key];
        for (const std::string& column : shape.columns)
            amounts.push_back(*table.number(column));
        EXPECT_TRUE(table.moveNext().ok());
    }
    return all;
}

// The amounts of the records with the given keys as libmdb's mdb-export
// reads them, run as a separate program; nothing when it fails.
std::optional<std::map<std::string, Amounts>> exportedAmounts(const std::string& path, const Shape& shape)
{
    std::optional<std::vector<std::map<std::string, std::string>>> rows = mdbExportRows(path, shape.table);
    if (!rows)
        return std::nullopt;
    std::map<std::string, Amounts> all;
    for (std::map<std::string, std::string>& row : *rows) {
        std::string key = row[shape.key];
        while (all.count(key))
            key += "+";
        for (const std::string& column : shape.columns) {
            const std::string& text = row[column];
            all[key].push_back(text.empty() ? std::nullopt : std::optional<double>(std::strtod(text.c_str(), nullptr)));
        }
    }
    return all;
}

// The text as Access stores names and properties (UTF-16, little-endian),
// after prefix.
std::string utf16(const std::string& prefix, const std::string& text)
{
    std::string bytes = prefix;
    for (char c : text) {
        bytes += c;
        bytes += '\0';
    }
    return bytes;
}

// Replaces the one place in the file at path that holds from with to (of the
// same length), as another program changing it would; false when from is
// not there exactly once.
bool replaceOnce(const std::string& path, const std::string& from, const std::string& to)
{
    std::string bytes = readFile(path);
    std::size_t at = bytes.find(from);
    if (at == std::string::npos || bytes.find(from, at + 1) != std::string::npos || from.size() != to.size())
        return false;
    std::fstream out(path, std::ios::binary | std::ios::in | std::ios::out);
    out.seekp(static_cast<std::streamoff>(at));
    out.write(to.data(), static_cast<std::streamsize>(to.size()));
    return out.good();
}

// What a change leaves in a record: the new amount where one was given.
Amounts changed(const Amounts& old, const Amounts& values)
{
    Amounts result = old;
    for (std::size_t i = 0; i < values.size(); ++i)
        if (values[i])
            result[i] = values[i];
    return result;
}

// Applies changes to a copy of name, expects every save to succeed, and
// checks that both readers see exactly the new amounts, every other record
// as before, and only planned bytes changed.
void expectWritten(const std::string& name, const Shape& shape, const std::vector<Change>& changes)
{
    SCOPED_TRACE(name);
    TempDir dir;
    std::string path = copyOf(dir, name);
    std::string before = readFile(path);
    std::map<std::string, Amounts> expected = amountsOf(path, shape);
    for (const Change& change : changes)
        expected[change.key] = changed(expected[change.key], change.values);

    Applied applied = apply(path, shape, changes);
    ASSERT_EQ(applied.outcomes.size(), changes.size());
    for (const AccessWriteStatus& outcome : applied.outcomes)
        EXPECT_TRUE(outcome.ok()) << outcome.error;

    EXPECT_EQ(amountsOf(path, shape), expected);
    for (std::size_t offset : differingOffsets(before, readFile(path)))
        EXPECT_TRUE(applied.planned.count(offset)) << "byte " << offset << " changed unplanned";
    if (haveMdbExport()) {
        std::optional<std::map<std::string, Amounts>> exported = exportedAmounts(path, shape);
        ASSERT_TRUE(exported);
        EXPECT_EQ(*exported, expected);
    }
}

const std::vector<Change> kHostChanges = {
    {"BW-100", {11.25, 27.5}}, {"BW-101", {12, std::nullopt}}, {"BW-102", {std::nullopt, 26.75}},
    {"BW-103", {8, 16}},       {"BW-104", {4.5, 9.75}},
};

TEST(AccessWriterTest, EveryFormatTakesTheWritesAndNothingElseChanges)
{
    // The price lists hold products in every format; BW-108 has no cost and
    // BW-112 no price, so their null-mask bits change too.
    std::vector<Change> changes = {
        {"BW-100", {10.25, 26}}, {"BW-101", {12.5, std::nullopt}}, {"BW-102", {std::nullopt, 25.5}},
        {"BW-103", {8, 15}},     {"BW-104", {0.75, 6.25}},         {"BW-108", {5.5, 13}},
        {"BW-112", {5.45, 11}},
    };
    for (const char* name :
         {"invupdate-2000.mdb", "invupdate-2003.mdb", "invupdate-2007.accdb", "invupdate-2010.accdb"})
        expectWritten(name, Shape{}, changes);
    // Access 97: Table1's Double column F and Currency column H, found by
    // its text key A.
    expectWritten("testV1997.mdb", Shape{"Table1", "A", {"F", "H"}},
                  {{"a", {123.5, 0.25}}, {"abcdefg", {-0.125, std::nullopt}}});
    // A host whose amounts are Double, with one record moved to another
    // page: it is written where it now lives.
    expectWritten("kv-overflow-2000.mdb", Shape{}, {{"BW-114", {8.75, 21}}, {"BW-100", {9, 26}}});
    expectWritten("kv-validation-2000.mdb", Shape{}, kHostChanges);
}

TEST(AccessWriterTest, OtherTablesReadTheSameAfterwards)
{
    TempDir dir;
    std::string path = copyOf(dir, "invupdate-2003.mdb");
    auto vendorNames = [&] {
        Result<AccessFile> file = AccessFile::open(path);
        Result<AccessTable> table = file->openTable("Vendor", {"ID", "Name"});
        table->useStoredOrder();
        std::vector<std::string> names;
        EXPECT_TRUE(table->moveFirst().ok());
        while (!table->eof()) {
            names.push_back(std::to_string(**table->integer("ID")) + " " + **table->text("Name"));
            EXPECT_TRUE(table->moveNext().ok());
        }
        return names;
    };
    std::vector<std::string> before = vendorNames();
    ASSERT_EQ(before.size(), 2u);
    Applied applied = apply(path, Shape{}, {{"BW-100", {1, 2}}});
    ASSERT_TRUE(applied.outcomes.at(0).ok()) << applied.outcomes[0].error;
    EXPECT_EQ(vendorNames(), before);
}

// The amounts of one record after a change, as a reader sees them.
struct Outcome {
    std::string key;
    Amounts values;
    AccessWriteFailure failure;
    std::string reason; // part of the failure's text
    Amounts after;      // what the record holds afterwards
};

TEST(AccessWriterTest, EachHostVariantGetsItsOutcome)
{
    struct Case {
        const char* file;
        std::vector<Outcome> outcomes;
    };
    using F = AccessWriteFailure;
    const std::optional<double> none;
    const std::vector<Case> cases = {
        // Currency: four decimals, the nearest ten-thousandth, ties to even.
        {"kv-currency-2000.mdb",
         {{"BW-100", {10.12345678, 27.5}, F::None, "", {10.1235, 27.5}},
          {"BW-101", {0.00025, 1250000}, F::None, "", {0.0002, 1250000}},
          {"BW-102", {1e15, 30}, F::Refused, "cannot hold", {10, 25}},
          {"BW-103", {-99999999999.9999, 99999999999.9999}, F::None, "", {-99999999999.9999, 99999999999.9999}},
          {"BW-104", {3, none}, F::None, "", {3, none}}}},
        // Single: the nearest float, read back at its own precision.
        {"kv-single-2000.mdb",
         {{"BW-100", {5.2, 12.99}, F::None, "", {5.2, 12.99}},
          {"BW-101", {1e39, 30}, F::Refused, "cannot hold", {10, 25}},
          {"BW-104", {none, 0.1}, F::None, "", {none, 0.1}}}},
        // Records written before the amounts were added have no place for them.
        {"kv-addedcols-2000.mdb",
         {{"BW-100", {11, 26}, F::Refused, "before \"cost\" was added", {none, none}},
          {"BW-113", {8, 18}, F::Refused, "was added", {none, none}},
          {"BW-102", {11, 26}, F::None, "", {11, 26}}}},
        // cost carries "Is Null Or >=0".
        {"kv-validation-2000.mdb",
         {{"BW-100", {-1, 26}, F::Refused, "validation rule \"Is Null Or >=0\"", {10, 25}},
          {"BW-101", {0, 26}, F::None, "", {0, 26}},
          {"BW-104", {2.5, 6}, F::None, "", {2.5, 6}}}},
    };
    for (const Case& test : cases) {
        SCOPED_TRACE(test.file);
        TempDir dir;
        std::string path = copyOf(dir, test.file);
        std::vector<Change> changes;
        for (const Outcome& outcome : test.outcomes)
            changes.push_back({outcome.key, outcome.values});
        Applied applied = apply(path, Shape{}, changes);
        ASSERT_EQ(applied.outcomes.size(), test.outcomes.size());
        std::map<std::string, Amounts> after = amountsOf(path, Shape{});
        std::optional<std::map<std::string, Amounts>> exported;
        if (haveMdbExport())
            exported = exportedAmounts(path, Shape{});
        for (std::size_t i = 0; i < test.outcomes.size(); ++i) {
            const Outcome& expected = test.outcomes[i];
            SCOPED_TRACE(expected.key);
            EXPECT_EQ(applied.outcomes[i].failure, expected.failure) << applied.outcomes[i].error;
            EXPECT_NE(applied.outcomes[i].error.find(expected.reason), std::string::npos) << applied.outcomes[i].error;
            EXPECT_EQ(after[expected.key], expected.after);
            if (exported) {
                EXPECT_EQ((*exported)[expected.key], expected.after);
            }
        }
    }
}

TEST(AccessWriterTest, TablesThatCannotBeWrittenSafelyAreRefusedAtOpen)
{
    struct Case {
        const char* file;
        const char* table;
        std::vector<std::string> columns;
        const char* reason;
    };
    const std::vector<Case> cases = {
        {"kv-costindex-2000.mdb", "product", {"cost", "retailprice"}, "index \"CostIdx\""},
        {"calcFieldTestV2010.accdb", "Table1", {"MonthlySalary"}, "calculated"},
        {"kv-overflow-2000.mdb", "product", {"cost", "onhand"}, "neither Double, Currency nor Single"},
        {"kv-overflow-2000.mdb", "product", {"quickid"}, "neither Double, Currency nor Single"},
        {"kv-overflow-2000.mdb", "product", {"cost", "margin"}, "has no column \"margin\""},
        {"kv-overflow-2000.mdb", "stock", {"cost"}, "has no table"},
    };
    for (const Case& test : cases) {
        SCOPED_TRACE(std::string(test.file) + " " + test.columns.back());
        Result<AccessFile> file = AccessFile::open(fixture(test.file));
        ASSERT_TRUE(file.ok()) << file.error();
        Result<AccessWriter> writer = AccessWriter::open(*file, test.table, test.columns);
        ASSERT_FALSE(writer.ok());
        EXPECT_EQ(writer.kind(), ErrorKind::ReadOnly);
        EXPECT_NE(writer.error().find(test.reason), std::string::npos) << writer.error();
    }
    // A rule kept for no column is the table's own. Here the block of cost's
    // rule in the table's properties is renamed in place, so that its rule
    // belongs to no column.
    TempDir dir;
    std::string ruled = copyOf(dir, "kv-validation-2000.mdb");
    const std::string nameBlock("\x0e\0\0\0\x08\0", 6); // the block's length, then the name's
    ASSERT_TRUE(replaceOnce(ruled, utf16(nameBlock, "cost"), utf16(nameBlock, "Rule")));
    Result<AccessFile> ruledFile = AccessFile::open(ruled);
    ASSERT_TRUE(ruledFile.ok()) << ruledFile.error();
    Result<AccessWriter> refused = AccessWriter::open(*ruledFile, "product", {"cost", "retailprice"});
    ASSERT_FALSE(refused.ok());
    EXPECT_NE(refused.error().find("validation rule of its own (\"Is Null Or >=0\")"), std::string::npos)
        << refused.error();

    // Exactly the calculated columns carry the flag; a stored amount beside
    // them is written as any other.
    Result<AccessFile> file = AccessFile::open(fixture("calcFieldTestV2010.accdb"));
    ASSERT_TRUE(file.ok());
    Result<AccessTableDefinition> definition = file->definition("Table1");
    ASSERT_TRUE(definition.ok());
    const std::set<std::string> calculated = {"LastFirst",   "LastFirstLen", "MonthlySalary", "IsRich",
                                              "AllNames",    "WeeklySalary", "SalaryTest",    "BoolTest",
                                              "DecimalTest", "FloatTest",    "BigNumTest"};
    for (const AccessColumn& column : definition->columns)
        EXPECT_EQ(column.calculated, calculated.count(column.name) == 1) << column.name;
    Result<AccessWriter> stored = AccessWriter::open(*file, "Table1", {"Salary"});
    EXPECT_TRUE(stored.ok()) << stored.error();
}

TEST(AccessWriterTest, ARecordChangedOrDeletedSinceItWasReadIsKept)
{
    TempDir dir;
    std::string path = copyOf(dir, "kv-overflow-2000.mdb");
    Shape shape;
    Result<AccessFile> file = AccessFile::open(path);
    ASSERT_TRUE(file.ok());
    AccessTable table = openShape(*file, shape);
    std::optional<Found> first = find(table, shape, "BW-101");
    std::optional<Found> second = find(table, shape, "BW-102");
    ASSERT_TRUE(first && second);
    Result<AccessWriter> writer = AccessWriter::open(*file, shape.table, shape.columns);
    ASSERT_TRUE(writer.ok()) << writer.error();

    // Another program changes BW-101's price meanwhile: its change is kept.
    Applied other = apply(path, shape, {{"BW-101", {std::nullopt, 99}}});
    ASSERT_TRUE(other.outcomes.at(0).ok());
    AccessWriteStatus late = writer->save(first->place, first->stored, {11, 30});
    EXPECT_EQ(late.failure, AccessWriteFailure::Changed) << late.error;
    EXPECT_NE(late.error.find("another program"), std::string::npos) << late.error;
    EXPECT_EQ(amountsOf(path, shape)["BW-101"], (Amounts{10, 99}));

    // Another program deletes BW-102 (the deleted flag on its row-table entry).
    std::string bytes = readFile(path);
    std::size_t entry = second->place.page * 4096 + 0x0e + second->place.row * 2;
    bytes[entry + 1] = static_cast<char>(bytes[entry + 1] | 0x80);
    {
        std::fstream out(path, std::ios::binary | std::ios::in | std::ios::out);
        out.seekp(static_cast<std::streamoff>(entry + 1));
        out.put(bytes[entry + 1]);
    }
    AccessWriteStatus gone = writer->save(second->place, second->stored, {11, 30});
    EXPECT_EQ(gone.failure, AccessWriteFailure::RecordGone) << gone.error;
    EXPECT_EQ(readFile(path), bytes);

    // Another program changes the table's definition page in place (here its
    // count of records): the places of the columns come from that page, so
    // a writer is not opened on the definition as it was read.
    std::size_t count = std::size_t{table.definition().page} * 4096 + 16;
    {
        std::fstream out(path, std::ios::binary | std::ios::in | std::ios::out);
        out.seekp(static_cast<std::streamoff>(count));
        out.put(static_cast<char>(bytes[count] + 1));
    }
    Result<AccessWriter> redefined = AccessWriter::open(*file, shape.table, shape.columns);
    ASSERT_FALSE(redefined.ok());
    EXPECT_EQ(redefined.kind(), ErrorKind::Changed);
    EXPECT_NE(redefined.error().find("the definition of table \"product\" has changed"), std::string::npos)
        << redefined.error();

    // A file put in the place of the one read is not written.
    fs::rename(path, path + ".old");
    fs::copy_file(path + ".old", path);
    Result<AccessWriter> replaced = AccessWriter::open(*file, shape.table, shape.columns);
    ASSERT_FALSE(replaced.ok());
    EXPECT_EQ(replaced.kind(), ErrorKind::Changed);
    EXPECT_NE(replaced.error().find("no longer the one that was read"), std::string::npos) << replaced.error();
}

TEST(AccessWriterTest, AColumnWhoseRuleCannotBeCheckedIsNotWritten)
{
    // cost's rule becomes one that compares it with another column.
    TempDir dir;
    std::string path = copyOf(dir, "kv-validation-2000.mdb");
    ASSERT_TRUE(replaceOnce(path, utf16("", "Is Null Or >=0"), utf16("", ">[retailprice]")));
    Applied applied = apply(path, Shape{}, {{"BW-100", {11, 26}}, {"BW-101", {std::nullopt, 27}}});
    ASSERT_EQ(applied.outcomes.size(), 2u);
    EXPECT_EQ(applied.outcomes[0].failure, AccessWriteFailure::Refused);
    EXPECT_NE(applied.outcomes[0].error.find("\"cost\": its validation rule \">[retailprice]\" cannot be checked"),
              std::string::npos)
        << applied.outcomes[0].error;
    // A price alone does not touch cost, whose rule does not apply to it.
    EXPECT_TRUE(applied.outcomes[1].ok()) << applied.outcomes[1].error;
    std::map<std::string, Amounts> after = amountsOf(path, Shape{});
    EXPECT_EQ(after["BW-100"], (Amounts{10, 25}));
    EXPECT_EQ(after["BW-101"], (Amounts{10, 27}));
}

// An amount is made empty only where Access allows an empty value: with
// cost's rule made "Is Not Null", or cost marked required, emptying it is
// refused and nothing written; the price beside it, which has neither, is
// made empty.
TEST(AccessWriterTest, AnAmountIsMadeEmptyOnlyWhereItsRuleAllowsIt)
{
    struct Case {
        const char* fixture;
        const char* rule; // cost's rule made this, or nullptr
        const char* refusal;
    };
    const Case cases[] = {
        {"kv-validation-2000.mdb", "Is Not Null   ",
         "\"cost\" would break its validation rule \"Is Not Null   \" if it were empty"},
        {"kv-required-2000.mdb", nullptr, "\"cost\" requires a value in Access, so it cannot be made empty"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.fixture);
        TempDir dir;
        std::string path = copyOf(dir, c.fixture);
        if (c.rule) {
            ASSERT_TRUE(replaceOnce(path, utf16("", "Is Null Or >=0"), utf16("", c.rule)));
        }
        std::string before = readFile(path);
        Result<AccessFile> file = AccessFile::open(path);
        ASSERT_TRUE(file.ok()) << file.error();
        AccessTable table = openShape(*file, Shape{});
        std::optional<Found> found = find(table, Shape{}, "BW-100");
        ASSERT_TRUE(found);
        Result<AccessWriter> writer = AccessWriter::open(*file, "product", {"cost", "retailprice"});
        ASSERT_TRUE(writer.ok()) << writer.error();
        AccessWriteStatus refused = writer->save(found->place, found->stored, {AccessAmount::empty(), std::nullopt});
        EXPECT_EQ(refused.failure, AccessWriteFailure::Refused);
        EXPECT_NE(refused.error.find(c.refusal), std::string::npos) << refused.error;
        EXPECT_EQ(readFile(path), before);
        AccessWriteStatus emptied = writer->save(found->place, found->stored, {std::nullopt, AccessAmount::empty()});
        EXPECT_TRUE(emptied.ok()) << emptied.error;
        EXPECT_EQ(amountsOf(path, Shape{})["BW-100"], (Amounts{10, std::nullopt}));
        std::set<std::size_t> planned;
        addAmountOffsets(*file, table.definition(), found->place, {"retailprice"}, planned);
        for (std::size_t offset : differingOffsets(before, readFile(path)))
            EXPECT_TRUE(planned.count(offset)) << "byte " << offset << " changed unplanned";
    }
}

TEST(AccessWriterTest, AFileThatRefusesWritesIsNotOpenedForWriting)
{
    // Run as an ordinary user, whom the permission bits bind.
    TempDir dir;
    std::string path = copyOf(dir, "kv-overflow-2000.mdb");
    fs::permissions(dir.path(), fs::perms::owner_all | fs::perms::group_exec | fs::perms::others_exec);
    fs::permissions(path, fs::perms::owner_read | fs::perms::group_read | fs::perms::others_read);
    std::string seen = runInChild(
        [&] {
            Result<AccessFile> file = AccessFile::open(path);
            if (!file.ok())
                return file.error();
            Result<AccessWriter> writer = AccessWriter::open(*file, "product", {"cost", "retailprice"});
            if (writer.ok())
                return std::string("opened");
            return std::string(writer.kind() == ErrorKind::ReadOnly ? "read-only: " : "other: ") + writer.error();
        },
        true);
    EXPECT_NE(seen.find("read-only: cannot be written"), std::string::npos) << seen;
}

// A record whose own variable-length offsets are damaged, under a sound
// definition, is not written where the amounts would go over another
// column's bytes or past its fixed-length values; an amount clear of the
// damage is.
TEST(AccessWriterTest, ARecordWhoseLayoutIsDamagedIsWrittenOnlyInItsOwnBytes)
{
    TempDir dir;
    std::string path = copyOf(dir, "kv-overflow-2000.mdb");
    Shape shape;
    AccessPlace cut;
    AccessPlace overlapping;
    {
        Result<AccessFile> sound = AccessFile::open(path);
        ASSERT_TRUE(sound.ok());
        AccessTable table = openShape(*sound, shape);
        cut = find(table, shape, "BW-101")->place;
        overlapping = find(table, shape, "BW-102")->place;
        // Jet 4 keeps a record's variable-length offsets, first to last,
        // backwards from before their count and its null mask: the first is
        // where the fixed-length values end, the third where "supplier"
        // begins. The amounts lie at 6 (cost) and 14 (retailprice).
        auto setOffset = [&](AccessPlace place, std::size_t slot, char value) {
            Result<std::optional<AccessRowBytes>> row = sound->image().liveRow(table.definition().page, place);
            ASSERT_TRUE(row.ok() && *row);
            const unsigned char* d = (*row)->data;
            std::size_t mask = ((d[0] | d[1] << 8) + 7u) / 8;
            std::size_t at =
                static_cast<std::size_t>(sound->image().fileOffset(d).value()) + (*row)->size - mask - 4 - 2 * slot;
            std::fstream out(path, std::ios::binary | std::ios::in | std::ios::out);
            out.seekp(static_cast<std::streamoff>(at));
            out.put(value);
        };
        setOffset(cut, 0, 10);
        setOffset(overlapping, 2, 14);
    }
    Result<AccessFile> file = AccessFile::open(path);
    ASSERT_TRUE(file.ok()) << file.error();
    AccessTable table = openShape(*file, shape);
    Result<AccessWriter> writer = AccessWriter::open(*file, shape.table, shape.columns);
    ASSERT_TRUE(writer.ok()) << writer.error();
    std::string before = readFile(path);

    std::optional<Found> second = find(table, shape, "BW-102");
    ASSERT_TRUE(second);
    AccessWriteStatus over = writer->save(second->place, second->stored, {11, 30});
    EXPECT_EQ(over.failure, AccessWriteFailure::Refused) << over.error;
    EXPECT_NE(over.error.find("\"retailprice\" shares its bytes with \"supplier\"; nothing was written"),
              std::string::npos)
        << over.error;
    EXPECT_EQ(readFile(path), before);
    AccessWriteStatus clear = writer->save(second->place, second->stored, {11, std::nullopt});
    EXPECT_TRUE(clear.ok()) << clear.error;
    {
        Result<AccessFile> after = AccessFile::open(path);
        ASSERT_TRUE(after.ok());
        AccessTable reread = openShape(*after, shape);
        EXPECT_EQ(find(reread, shape, "BW-102")->amounts, (Amounts{11, 25}));
    }

    // BW-101's code now reads cut short, so it is found by its place.
    before = readFile(path);
    table.useStoredOrder();
    ASSERT_TRUE(table.moveFirst().ok());
    while (!table.eof() && (table.place().page != cut.page || table.place().row != cut.row))
        ASSERT_TRUE(table.moveNext().ok());
    ASSERT_FALSE(table.eof());
    std::vector<AccessStoredField> stored;
    for (const std::string& column : shape.columns)
        stored.push_back(*table.stored(column));
    AccessWriteStatus past = writer->save(cut, stored, {11, 30});
    EXPECT_EQ(past.failure, AccessWriteFailure::Refused) << past.error;
    EXPECT_NE(past.error.find("\"cost\" lies outside its fixed-length values"), std::string::npos) << past.error;
    EXPECT_EQ(readFile(path), before);
}

// Saves through Database and Recordset, as the apply and the undo make them:
// the amounts given are saved together, the recordset then reads them as
// stored (a Currency rounded, a Single as its float) and as storedNumber()
// said they would be, a second change of the
// same record starts from them rather than being taken for another program's
// change, an amount can be made empty again, and only the planned bytes of
// the file change.
TEST(AccessWriterTest, TheEngineSavesRecordsOfEveryKindOfHost)
{
    struct Case {
        const char* file;
        Shape shape;
        std::string key;
        Amounts first;    // cost, then price: the first change
        double second;    // then a new price alone
        Amounts readBack; // what the recordset and mdb-export read at the end
    };
    const std::vector<Case> cases = {
        {"kv-currency-2000.mdb", Shape{}, "BW-100", {10.12345678, 27.5}, 28.00004, {10.1235, 28}},
        {"kv-single-2000.mdb", Shape{}, "BW-104", {2.5, std::nullopt}, 0.1, {2.5, 0.1}},
        {"kv-2010.accdb", Shape{}, "BW-104", {std::nullopt, 6.5}, 7.25, {std::nullopt, 7.25}},
        // Access 97: Table1's Double column F (and Currency H), found by A.
        {"testV1997.mdb", Shape{"Table1", "A", {"F", "H"}}, "a", {123.5, 0.25}, -7, {123.5, -7}},
    };
    for (const Case& test : cases) {
        SCOPED_TRACE(test.file);
        TempDir dir;
        std::string path = copyOf(dir, test.file);
        std::string before = readFile(path);
        std::set<std::size_t> planned;
        {
            Result<AccessFile> file = AccessFile::open(path);
            ASSERT_TRUE(file.ok()) << file.error();
            AccessTable table = openShape(*file, test.shape);
            std::optional<Found> found = find(table, test.shape, test.key);
            ASSERT_TRUE(found);
            addPlannedOffsets(*file, table.definition(), found->place, {test.key, {1.0, 1.0}}, test.shape, planned);
        }
        const std::string& cost = test.shape.columns[0];
        const std::string& price = test.shape.columns[1];
        {
            Result<Database> db = Database::open(path);
            ASSERT_TRUE(db.ok()) << db.error();
            EXPECT_TRUE(db->saveCheck().ok()) << db->saveCheck().error();
            Result<Recordset> records = db->openTable(test.shape.table, {test.shape.key, cost, price});
            ASSERT_TRUE(records.ok()) << records.error();
            Result<AccessFile> file = AccessFile::open(path);
            ASSERT_TRUE(records->setIndex(indexOn(*file->definition(test.shape.table), test.shape.key)).ok());
            ASSERT_TRUE(records->seek(Key{test.key}).ok());
            ASSERT_FALSE(records->noMatch());
            EXPECT_FALSE(records->setNumber(cost, 1).ok()) << "a change without edit()";
            ASSERT_TRUE(records->edit().ok());
            EXPECT_FALSE(records->setNumber("B", 1).ok()) << "a column not opened";
            for (std::size_t i = 0; i < 2; ++i) {
                if (test.first[i]) {
                    ASSERT_TRUE(records->setNumber(test.shape.columns[i], *test.first[i]).ok());
                }
            }
            Status saved = records->update();
            ASSERT_TRUE(saved.ok()) << saved.error();
            EXPECT_EQ(*records->number(cost), test.readBack[0]);
            if (test.first[0]) {
                EXPECT_EQ(records->storedNumber(cost, *test.first[0]), test.readBack[0]);
            }

            ASSERT_TRUE(records->edit().ok());
            EXPECT_EQ(records->storedNumber(price, test.second), test.readBack[1]) << "as the save stores it";
            ASSERT_TRUE(records->setNumber(price, test.second).ok());
            saved = records->update();
            ASSERT_TRUE(saved.ok()) << saved.error();
            EXPECT_EQ(*records->number(price), test.readBack[1]);

            // Then the cost made empty again, as an undo puts it back.
            ASSERT_TRUE(records->edit().ok());
            ASSERT_TRUE(records->setEmpty(cost).ok());
            saved = records->update();
            ASSERT_TRUE(saved.ok()) << saved.error();
            EXPECT_EQ(*records->number(cost), std::nullopt);

            // Read again after the other records were read: still what was
            // saved, not what the file held when it was read.
            for (Status walk = records->moveFirst(); walk.ok() && !records->eof(); walk = records->moveNext()) {
                ASSERT_TRUE(records->number(price).ok());
                if (records->text(test.shape.key)->value_or("") == test.key) {
                    EXPECT_EQ(*records->number(price), test.readBack[1]);
                }
            }
            ASSERT_TRUE(records->seek(Key{test.key}).ok());
            ASSERT_FALSE(records->noMatch());
            EXPECT_EQ(*records->number(cost), std::nullopt);
            EXPECT_EQ(*records->number(price), test.readBack[1]);
        }
        Amounts emptied{std::nullopt, test.readBack[1]};
        EXPECT_EQ(amountsOf(path, test.shape)[test.key], emptied);
        for (std::size_t offset : differingOffsets(before, readFile(path)))
            EXPECT_TRUE(planned.count(offset)) << "byte " << offset << " changed unplanned";
        if (haveMdbExport()) {
            std::optional<std::map<std::string, Amounts>> exported = exportedAmounts(path, test.shape);
            ASSERT_TRUE(exported);
            EXPECT_EQ((*exported)[test.key], emptied);
        }
        // No lock file was there, and none is left.
        EXPECT_FALSE(fs::exists(dir.file("kv.ldb")) || fs::exists(dir.file("kv.laccdb")) ||
                     fs::exists(dir.file("testV1997.ldb")));
    }
}

// A child writes the amounts of many products, one save each, and is killed
// at a random moment; every product must then be wholly old or wholly new,
// the file must read in both readers, and a second run writes exactly the
// products still old.
TEST(AccessWriterTest, KillsAtAnyMomentLeaveEveryProductOldOrNew)
{
    constexpr std::size_t kProducts = 120;
    constexpr int kKills = 30;
    TempDir dir;
    std::string original = copyOf(dir, "kv-overflow-2000.mdb");
    // The file being killed over lives in memory (see TempDir).
    TempDir memory(TempDir::Where::Memory);
    std::string path = memory.file("kv.mdb");
    Shape shape{"product", "ID", {"cost", "retailprice"}};
    std::mt19937 random(13);
    int partWay = 0;

    for (int round = 0; round < kKills; ++round) {
        SCOPED_TRACE("round " + std::to_string(round));
        fs::copy_file(original, path, fs::copy_options::overwrite_existing);
        Result<AccessFile> file = AccessFile::open(path);
        ASSERT_TRUE(file.ok());
        Result<AccessTable> table = file->openTable("product", {"ID", "cost", "retailprice"});
        ASSERT_TRUE(table.ok());
        ASSERT_TRUE(table->setIndex("PrimaryKey").ok());
        std::vector<Found> products;
        std::map<std::string, std::pair<Amounts, Amounts>> oldAndNew;
        ASSERT_TRUE(table->moveFirst().ok());
        while (!table->eof() && products.size() < kProducts) {
            Found found{table->place(), {*table->number("cost"), *table->number("retailprice")}, {}};
            found.stored = {*table->stored("cost"), *table->stored("retailprice")};
            Amounts next{found.amounts[0].value_or(0) + 1000, found.amounts[1].value_or(0) + 2000};
            oldAndNew[std::to_string(**table->integer("ID"))] = {found.amounts, next};
            products.push_back(std::move(found));
            EXPECT_TRUE(table->moveNext().ok());
        }
        ASSERT_EQ(products.size(), kProducts);

        int progress[2];
        ASSERT_EQ(::pipe(progress), 0);
        pid_t child = ::fork();
        ASSERT_GE(child, 0);
        if (child == 0) {
            ::close(progress[0]);
            Result<AccessWriter> writer = AccessWriter::open(*file, "product", {"cost", "retailprice"});
            if (!writer.ok())
                ::_exit(2);
            for (const Found& product : products) {
                if (::write(progress[1], "x", 1) != 1)
                    ::_exit(3);
                Amounts next{product.amounts[0].value_or(0) + 1000, product.amounts[1].value_or(0) + 2000};
                if (!writer->save(product.place, product.stored, toWrite(next)).ok())
                    ::_exit(4);
            }
            ::_exit(0);
        }
        ::close(progress[1]);
        // Let the child start the k-th save, then kill it a moment later.
        std::size_t started = std::uniform_int_distribution<std::size_t>(1, kProducts)(random);
        for (std::size_t k = 0; k < started; ++k)
            ASSERT_TRUE(readByteWithin(progress[0], child, "save " + std::to_string(k) + " to start"));
        ::usleep(std::uniform_int_distribution<unsigned>(0, 400)(random));
        ::kill(child, SIGKILL);
        std::optional<int> ended = waitWithin(child, "the writer's child to end after SIGKILL");
        ::close(progress[0]);
        ASSERT_TRUE(ended);
        int status = *ended;
        ASSERT_TRUE(WIFSIGNALED(status) || (WIFEXITED(status) && WEXITSTATUS(status) == 0)) << status;

        // Every product old or new, its cost and price together.
        std::map<std::string, Amounts> now = amountsOf(path, shape);
        std::vector<std::string> stillOld;
        for (const auto& [id, amounts] : oldAndNew) {
            EXPECT_TRUE(now[id] == amounts.first || now[id] == amounts.second) << "product " << id;
            if (now[id] == amounts.first)
                stillOld.push_back(id);
        }
        if (!stillOld.empty() && stillOld.size() < kProducts)
            ++partWay;
        if (haveMdbExport()) {
            EXPECT_TRUE(exportedAmounts(path, shape).has_value());
        }

        // The next run writes exactly the products still old.
        std::vector<Change> rest;
        for (const std::string& id : stillOld)
            rest.push_back({id, oldAndNew[id].second});
        Applied applied = apply(path, Shape{"product", "ID", {"cost", "retailprice"}}, rest);
        for (const AccessWriteStatus& outcome : applied.outcomes)
            EXPECT_TRUE(outcome.ok()) << outcome.error;
        now = amountsOf(path, shape);
        for (const auto& [id, amounts] : oldAndNew)
            EXPECT_EQ(now[id], amounts.second) << "product " << id;
    }
    std::cout << "[          ] " << partWay << " of " << kKills << " kills landed part-way through the writes\n";
    EXPECT_GT(partWay, 0);
}

TEST(AccessRuleTest, AmountRulesAreCheckedAsAccessChecksThem)
{
    const std::optional<double> null;
    struct Case {
        const char* rule;
        std::vector<std::pair<std::optional<double>, bool>> values; // value, allowed
    };
    const std::vector<Case> cases = {
        {"Is Null Or >=0", {{null, true}, {0, true}, {-0.01, false}, {5, true}}},
        {">0", {{null, true}, {0, false}, {0.01, true}}},
        {">0 And <1000", {{500, true}, {1000, false}, {-1, false}}},
        {"Between 0 And 100", {{0, true}, {100, true}, {100.5, false}, {null, true}}},
        {"[cost] Not Between 1 And 2", {{1.5, false}, {3, true}}},
        {"Not ([Cost] < 0)", {{-1, false}, {1, true}}},
        {"Is Not Null", {{null, false}, {0, true}}},
        {"<>0 Or Is Null", {{0, false}, {null, true}, {7, true}}},
        {"cost >= -5 and cost <= 5e2", {{-5, true}, {-6, false}, {500, true}, {501, false}}},
        {"=1 Or =2 Or =3", {{2, true}, {4, false}}},
        {"Null", {}},
    };
    for (const Case& test : cases) {
        SCOPED_TRACE(test.rule);
        Result<AccessRule> rule = AccessRule::parse(test.rule, "cost");
        if (test.values.empty()) {
            EXPECT_FALSE(rule.ok());
            continue;
        }
        ASSERT_TRUE(rule.ok()) << rule.error();
        for (const auto& [value, allowed] : test.values)
            EXPECT_EQ(rule->allows(value), allowed) << (value ? std::to_string(*value) : "Null");
    }
    // Rules that hold anything beyond comparisons with numbers are not
    // guessed at, nor are rules longer than any amount rule.
    std::string deep = std::string(2000, '(') + ">0" + std::string(2000, ')');
    std::string longChain;
    for (int i = 0; i < 300; ++i)
        longChain += ">0 And ";
    EXPECT_FALSE(AccessRule::parse(deep, "cost").ok());
    EXPECT_FALSE(AccessRule::parse(longChain + ">0", "cost").ok());
    for (const char* rule : {"Like \"1*\"", ">[retailprice]", ">Date()", "> #1/1/2000#", ">0 And", "(>0", ">0 +1",
                             ">'5'", "Between 1 2"}) {
        Result<AccessRule> parsed = AccessRule::parse(rule, "cost");
        EXPECT_FALSE(parsed.ok()) << rule;
    }
}

} // namespace
