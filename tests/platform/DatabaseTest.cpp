// The database engine over real SQLite files: opening, schema matching by
// name, walking in index order, seeking, reading typed fields and saving.
#include "platform/Database.h"
#include "platform/access/AccessValue.h"
#include "platform/db/FieldReading.h"
#include "platform/sqlite/SqliteDatabase.h"
#include "platform/sqlite/SqliteTable.h"

#include "support/Fixtures.h"
#include "support/SampleDatabases.h"
#include "support/TempDir.h"

#include <gtest/gtest.h>

#include <sqlite3.h>

#include <filesystem>
#include <functional>

using namespace tarvex;
using namespace tarvex::test;

namespace {

class DatabaseTest : public ::testing::Test {
protected:
    TempDir dir;
    std::string host = dir.file("kv.mdb");

    Recordset openProducts(Database& db)
    {
        Result<Recordset> table = db.openTable("PRODUCT", {"QuickId", "cost", "retailprice"});
        EXPECT_TRUE(table.ok()) << table.error();
        return std::move(*table);
    }

    // Seeks code through QuickID and saves a new cost into it; meanwhile runs
    // between the read and the save.
    Status saveCost(Recordset& products, const std::string& code, double cost, const std::function<void()>& meanwhile)
    {
        EXPECT_TRUE(products.setIndex("QuickID").ok());
        EXPECT_TRUE(products.seek(Key{code}).ok());
        meanwhile();
        EXPECT_TRUE(products.edit().ok());
        EXPECT_TRUE(products.setNumber("cost", cost).ok());
        return products.update();
    }
};

TEST_F(DatabaseTest, OpeningAMissingOrForeignFileFailsAndCreatesNothing)
{
    Result<Database> missing = Database::open(host);
    EXPECT_FALSE(missing.ok());
    EXPECT_EQ(missing.kind(), ErrorKind::NotFound);
    EXPECT_NE(missing.error().find(host), std::string::npos);
    EXPECT_FALSE(std::filesystem::exists(host));

    std::string text = dir.write("notes.mdb", "this is not a database, just some text that is long enough");
    Result<Database> foreign = Database::open(text);
    EXPECT_FALSE(foreign.ok());
    EXPECT_EQ(foreign.kind(), ErrorKind::NotADatabase);
    EXPECT_NE(foreign.error().find("not a database"), std::string::npos) << foreign.error();

    // Told by its first bytes, whatever the file is called: the Access
    // reader takes it, and finds a first page and nothing more.
    for (const char* format : {"Jet", "ACE"}) {
        std::string access = dir.write(std::string(format) + ".dat", accessFileStart(format));
        Result<Database> refused = Database::open(access);
        EXPECT_FALSE(refused.ok());
        EXPECT_EQ(refused.kind(), ErrorKind::NotADatabase);
        EXPECT_EQ(refused.error(), access + ": damaged: the file is cut short");
    }
}

// The kind the door tells the layers above it, of a path and of an open
// file, whatever the file is called.
TEST_F(DatabaseTest, TheDoorTellsAFilesKind)
{
    makeHostDatabase(host, {{"A1", 1.0, 2.0}});
    struct Case {
        std::string path;
        DatabaseFileKind kind;
    };
    const Case cases[] = {
        {host, {true, false, "SQLite"}},
        {copyFixture(dir, "access/kv-2000.mdb", "kv.dat"), {true, true, "Access 2000-2003"}},
        {dir.write("notes.mdb", "Standard Jet DB, said the note"), {false, false, "not a database"}},
        {dir.write("empty.mdb", ""), {false, false, "not a database"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.path);
        Result<DatabaseFileKind> kind = Database::fileKind(c.path);
        ASSERT_TRUE(kind.ok()) << kind.error();
        EXPECT_EQ(kind->database, c.kind.database);
        EXPECT_EQ(kind->access, c.kind.access);
        EXPECT_EQ(kind->name, c.kind.name);
        if (!c.kind.database)
            continue;
        Result<Database> db = Database::open(c.path, {.mode = OpenMode::ReadOnly});
        ASSERT_TRUE(db.ok()) << db.error();
        EXPECT_EQ(db->kind().name, c.kind.name);
        EXPECT_EQ(db->isAccess(), c.kind.access);
    }
    Result<DatabaseFileKind> missing = Database::fileKind(dir.file("missing.mdb"));
    ASSERT_FALSE(missing.ok());
    EXPECT_NE(missing.error().find(dir.file("missing.mdb")), std::string::npos) << missing.error();
}

TEST_F(DatabaseTest, NamesAreMatchedWithoutRegardToCase)
{
    makeHostDatabase(host, {{"A1", 1.0, 2.0}});
    Result<Database> db = Database::open(host);
    ASSERT_TRUE(db.ok()) << db.error();
    EXPECT_TRUE(db->hasTable("Product"));
    Recordset products = openProducts(*db);
    EXPECT_TRUE(products.setIndex("quickid").ok());
    EXPECT_FALSE(products.setIndex("NoSuchIndex").ok());
    EXPECT_FALSE(db->openTable("product", {"nosuchcolumn"}).ok());
    EXPECT_FALSE(db->openTable("vendor", {"Name"}).ok());
}

TEST_F(DatabaseTest, SeekFindsTheFirstOfDuplicateKeysInIndexOrderIgnoringCase)
{
    makeHostDatabase(host, {{"B2", 5.0, 6.0}, {"a1", 1.0, 2.0}, {"A1", 3.0, 4.0}});
    Result<Database> db = Database::open(host);
    ASSERT_TRUE(db.ok());
    Recordset products = openProducts(*db);
    ASSERT_TRUE(products.setIndex("QuickID").ok());

    ASSERT_TRUE(products.seek(Key{std::string("A1")}).ok());
    ASSERT_FALSE(products.noMatch());
    EXPECT_EQ(products.rowId(), 2);
    EXPECT_EQ(**products.number("cost"), 1.0);

    ASSERT_TRUE(products.seek(Key{std::string("zz")}).ok());
    EXPECT_TRUE(products.noMatch());
}

TEST_F(DatabaseTest, WalkFollowsTheNamedIndexNotTheRowid)
{
    makeHostDatabase(host, {{"C", 1.0, 1.0}, {"a", 2.0, 2.0}, {"B", 3.0, 3.0}, {"A", 4.0, 4.0}});
    Result<Database> db = Database::open(host);
    ASSERT_TRUE(db.ok());
    Recordset products = openProducts(*db);
    ASSERT_TRUE(products.setIndex("QuickID").ok());
    std::vector<std::string> order;
    for (Status s = products.moveFirst(); s.ok() && !products.eof(); s = products.moveNext())
        order.push_back(**products.text("quickid"));
    EXPECT_EQ(order, (std::vector<std::string>{"a", "A", "B", "C"}));
}

TEST_F(DatabaseTest, NonNumericValuesAreReadErrorsNotZero)
{
    makeHostDatabase(host, {{"A", std::nullopt, 1.0}});
    execSql(host, "INSERT INTO product (quickid, cost, retailprice) VALUES ('T', 'ten', X'00'), ('N', 1e999, -1e999)");
    Result<Database> db = Database::open(host);
    ASSERT_TRUE(db.ok());
    Recordset products = openProducts(*db);
    ASSERT_TRUE(products.setIndex("QuickID").ok());

    ASSERT_TRUE(products.seek(Key{std::string("A")}).ok());
    Result<std::optional<double>> empty = products.number("cost");
    ASSERT_TRUE(empty.ok());
    EXPECT_FALSE(empty->has_value());

    ASSERT_TRUE(products.seek(Key{std::string("T")}).ok());
    EXPECT_FALSE(products.number("cost").ok());
    EXPECT_FALSE(products.number("retailprice").ok());
    ASSERT_TRUE(products.seek(Key{std::string("N")}).ok());
    Result<std::optional<double>> infinite = products.number("cost");
    EXPECT_FALSE(infinite.ok());
    EXPECT_NE(infinite.error().find("cost"), std::string::npos);
}

// One rule reads a field for every engine; only a real number's text is the
// engine's own (SQLite's "5.0", Access's "5", as each shows it).
TEST(FieldReadingTest, EveryEngineReadsAFieldByOneRule)
{
    auto real = [](double value) {
        FieldValue field;
        field.type = FieldValue::Type::Real;
        field.real = value;
        return field;
    };
    FieldValue whole;
    whole.type = FieldValue::Type::Integer;
    whole.integer = -7;
    FieldValue text;
    text.type = FieldValue::Type::Text;
    text.bytes = "BW-100";
    FieldValue blob;
    blob.type = FieldValue::Type::Blob;
    const RecordName record = [] { return std::string("record"); };
    struct Case {
        FieldValue value;
        const char* sqliteText; // nullptr: a read error
        const char* accessText;
        std::optional<double> number; // nothing with numberFails: a read error
        bool numberFails;
        bool integerFails;
    };
    const std::vector<Case> cases = {
        {FieldValue{}, "", "", std::nullopt, false, false},
        {whole, "-7", "-7", -7, false, false},
        {real(5), "5.0", "5", 5, false, false},
        {real(1250000), "1250000.0", "1250000", 1250000, false, false},
        {real(5.2), "5.2", "5.2", 5.2, false, true},
        {real(0.1 + 0.2), "0.3", "0.3", 0.1 + 0.2, false, true},
        {real(1e300 * 1e300), "Inf", "inf", std::nullopt, true, true},
        {text, "BW-100", "BW-100", std::nullopt, true, true},
        {blob, nullptr, nullptr, std::nullopt, true, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.sqliteText ? c.sqliteText : "blob");
        for (auto [form, expected] : {std::pair{&sqliteRealText, c.sqliteText}, {&accessNumberText, c.accessText}}) {
            Result<std::optional<std::string>> read = fieldAsText(c.value, record, "column", form);
            ASSERT_EQ(read.ok(), expected != nullptr) << read.error();
            if (read.ok()) {
                EXPECT_EQ(read->value_or(""), expected);
            }
        }
        Result<std::optional<double>> number = fieldAsNumber(c.value, record, "column");
        ASSERT_EQ(number.ok(), !c.numberFails) << number.error();
        if (number.ok()) {
            EXPECT_EQ(*number, c.number);
        }
        EXPECT_EQ(fieldAsInteger(c.value, record, "column").ok(), !c.integerFails);
    }
    // A date is a day count, never an amount.
    EXPECT_EQ(fieldAsNumber(real(45000), record, "column", true).error(),
              "record: \"column\" holds a date (a Date/Time column), not a number");
}

TEST_F(DatabaseTest, UpdateSavesOneRecordAndReadsBackTheNewValue)
{
    makeHostDatabase(host, {{"A", 1.0, 2.0}, {"B", 3.0, 4.0}});
    {
        Result<Database> db = Database::open(host);
        ASSERT_TRUE(db.ok());
        Recordset products = openProducts(*db);
        ASSERT_TRUE(products.setIndex("QuickID").ok());
        ASSERT_TRUE(products.seek(Key{std::string("b")}).ok());
        ASSERT_TRUE(products.edit().ok());
        ASSERT_TRUE(products.setNumber("cost", 9.5).ok());
        ASSERT_TRUE(products.update().ok());
        EXPECT_EQ(**products.number("cost"), 9.5);
    }
    std::vector<HostRow> rows = readHostProducts(host);
    EXPECT_EQ(rows[0].cost, 1.0);
    EXPECT_EQ(rows[1].cost, 9.5);
    EXPECT_EQ(rows[1].price, 4.0);
}

TEST_F(DatabaseTest, AnUpdateThatSavesNothingSaysWhy)
{
    makeHostDatabase(host, {{"A", 1.0, 2.0}, {"B", 1.0, 2.0}});
    // The file's own trigger skips any change to B.
    execSql(host, "CREATE TRIGGER keep_b BEFORE UPDATE ON product WHEN old.quickid = 'B' "
                  "BEGIN SELECT RAISE(IGNORE); END");
    Result<Database> db = Database::open(host);
    ASSERT_TRUE(db.ok());
    Recordset products = openProducts(*db);

    Status ignored = saveCost(products, "B", 2.0, [] {});
    EXPECT_FALSE(ignored.ok());
    EXPECT_NE(ignored.error().find("the database ignored the change"), std::string::npos) << ignored.error();
    EXPECT_EQ(readHostProducts(host)[1].cost, 1.0);

    Status vanished = saveCost(products, "A", 2.0, [&] { execSql(host, "DELETE FROM product WHERE quickid = 'A'"); });
    EXPECT_FALSE(vanished.ok());
    EXPECT_NE(vanished.error().find("no longer exists"), std::string::npos) << vanished.error();
    EXPECT_EQ(vanished.kind(), ErrorKind::Changed);
}

TEST_F(DatabaseTest, AColumnNamedRowidDoesNotHideTheRecordsOwnId)
{
    makeHostDatabase(host, {{"A", 1.0, 2.0}, {"A", 1.0, 2.0}});
    execSql(host, "ALTER TABLE product ADD COLUMN rowid INTEGER; UPDATE product SET rowid = 5;"
                  "ALTER TABLE product ADD COLUMN OID TEXT;");
    Result<Database> db = Database::open(host);
    ASSERT_TRUE(db.ok());
    Recordset products = openProducts(*db);
    ASSERT_TRUE(saveCost(products, "A", 3.0, [] {}).ok());
    EXPECT_EQ(products.rowId(), 1);
    EXPECT_EQ(sqlite3_changes(sqliteHandle(*db)), 1);
    std::vector<HostRow> rows = readHostProducts(host);
    EXPECT_EQ(*rows[0].cost + *rows[1].cost, 4.0);
}

// A seek, and a seek of a code in several case forms, use the index.
TEST_F(DatabaseTest, SeekUsesTheIndexNotAScan)
{
    makeHostDatabase(host, {{"A", 1.0, 2.0}});
    Result<Database> db = Database::open(host);
    ASSERT_TRUE(db.ok());
    sqlite3* handle = sqliteHandle(*db);
    for (const char* condition :
         {"= ?1 ORDER BY \"quickid\" COLLATE \"NOCASE\", rowid", "IN (?1, ?2) ORDER BY rowid"}) {
        sqlite3_stmt* stmt = nullptr;
        std::string sql = "EXPLAIN QUERY PLAN SELECT rowid, \"cost\" FROM \"product\" WHERE \"quickid\" COLLATE "
                          "\"NOCASE\" " +
                          std::string(condition) + " LIMIT 1";
        ASSERT_EQ(sqlite3_prepare_v2(handle, sql.c_str(), -1, &stmt, nullptr), SQLITE_OK);
        std::string plan;
        while (sqlite3_step(stmt) == SQLITE_ROW)
            plan += reinterpret_cast<const char*>(sqlite3_column_text(stmt, 3));
        sqlite3_finalize(stmt);
        EXPECT_NE(plan.find("USING INDEX QuickID (quickid=?)"), std::string::npos) << plan;
    }
}

// Codes that differ in the case of letters beyond ASCII, in a genuine Access
// host (kv-case-2000.mdb, made with Jackcess) and in an SQLite host holding
// the same records: each key finds the same record in both, the one Access's
// index holds equal to it (É and é, Ω and ω, Ж and ж, ǅ and ǆ) or none where
// Access keeps the letters apart (İ and i, ẞ and ß, the Kelvin sign and k);
// of ÉW-108 and éW-108, both equal to the key, the one added first.
TEST_F(DatabaseTest, BothEnginesIgnoreTheLetterCaseAccessIndexesIgnore)
{
    std::string access = fixturePath("access/kv-case-2000.mdb");
    {
        Result<Database> db = Database::open(access);
        ASSERT_TRUE(db.ok()) << db.error();
        Recordset products = openProducts(*db);
        ASSERT_TRUE(products.setIndex("PrimaryKey").ok());
        std::vector<HostRow> rows;
        for (Status walk = products.moveFirst(); walk.ok() && !products.eof(); walk = products.moveNext())
            rows.push_back({*products.text("quickid"), 1.0, 2.0});
        ASSERT_EQ(rows.size(), 10u);
        makeHostDatabase(host, rows);
    }
    const std::pair<const char*, const char*> cases[] = {
        {"éW-100", "ÉW-100"}, {"ÉW-100", "ÉW-100"}, {"iW-101", ""},       {"IW-101", ""},
        {"İW-101", "İW-101"}, {"ßW-102", ""},       {"ẞW-102", "ẞW-102"}, {"ωW-103", "ΩW-103"},
        {"жw-104", "ЖW-104"}, {"kW-105", ""},       {"KW-105", ""},       {"ǆW-106", "ǅW-106"},
        {"ǄW-106", "ǅW-106"}, {"BW-107", "bw-107"}, {"éW-108", "ÉW-108"}, {"ÉW-108", "ÉW-108"},
    };
    for (const std::string& path : {access, host}) {
        Result<Database> db = Database::open(path);
        ASSERT_TRUE(db.ok()) << db.error();
        Recordset products = openProducts(*db);
        ASSERT_TRUE(products.setIndex("QuickID").ok());
        for (auto [key, found] : cases) {
            ASSERT_TRUE(products.seek(Key{std::string(key)}).ok());
            EXPECT_EQ(products.noMatch() ? "" : **products.text("quickid"), found) << path << ": " << key;
        }
    }
}

} // namespace
