// The Access reader over genuine Access files (tests/data/access, see its
// PROVENANCE.md): every format opens, values read exactly from their stored
// bytes whatever the locale, indexes give Access's order and seeks, and
// encrypted, linked and damaged files are refused by name without a crash.
#include "platform/Database.h"
#include "platform/access/AccessFile.h"
#include "platform/access/AccessText.h"
#include "platform/access/AccessValue.h"
#include "platform/db/DatabaseKind.h"

#include "support/AccessFiles.h"
#include "support/ProcessRunner.h"
#include "support/TempDir.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <clocale>
#include <cstdlib>
#include <filesystem>
#include <locale.h>

using namespace tarvex;
using namespace tarvex::test;

namespace {

std::string fixture(const std::string& name)
{
    return std::string(TARVEX_SOURCE_DIR) + "/tests/data/access/" + name;
}

// One product as a test expects it.
struct Product {
    std::int64_t id;
    std::string quickid;
    std::optional<double> cost;
    std::optional<double> price;
    bool deleted = false;
};

AccessTable openProducts(const std::string& file, const std::string& index)
{
    Result<AccessFile> db = AccessFile::open(file);
    EXPECT_TRUE(db.ok()) << db.error();
    Result<AccessTable> table = db->openTable("PRODUCT", {"ID", "QuickID", "Name", "cost", "retailprice", "Delete"});
    EXPECT_TRUE(table.ok()) << table.error();
    Status indexed = table->setIndex(index);
    EXPECT_TRUE(indexed.ok()) << indexed.error();
    return std::move(*table);
}

Product current(const AccessTable& table)
{
    Product product{};
    product.id = table.integer("ID")->value_or(-1);
    product.quickid = table.text("quickid")->value_or("(empty)");
    product.cost = *table.number("cost");
    product.price = *table.number("retailprice");
    product.deleted = table.integer("Delete")->value_or(0) != 0;
    return product;
}

// The products in the table's current index order, at most limit of them.
std::vector<Product> walk(AccessTable& table, std::size_t limit = SIZE_MAX)
{
    std::vector<Product> products;
    EXPECT_TRUE(table.moveFirst().ok());
    while (!table.eof() && products.size() < limit) {
        products.push_back(current(table));
        EXPECT_TRUE(table.moveNext().ok());
    }
    return products;
}

void expectProducts(const std::vector<Product>& actual, const std::vector<Product>& expected, const std::string& file)
{
    ASSERT_EQ(actual.size(), expected.size()) << file;
    for (std::size_t i = 0; i < expected.size(); ++i) {
        SCOPED_TRACE(file + " " + expected[i].quickid);
        EXPECT_EQ(actual[i].id, expected[i].id);
        EXPECT_EQ(actual[i].quickid, expected[i].quickid);
        EXPECT_EQ(actual[i].cost, expected[i].cost);
        EXPECT_EQ(actual[i].price, expected[i].price);
        EXPECT_EQ(actual[i].deleted, expected[i].deleted);
    }
}

const std::optional<double> kEmpty;

// The price list's products, in every format.
const std::vector<Product> kPriceList = {
    {1, "BW-100", 9.5, 25},        {2, "BW-101", 11, 30},        {3, "BW-102", 10, 24},      {4, "BW-103", 7.25, 14},
    {5, "BW-104", 0, 5},           {6, "BW-105", 4, 9},          {7, "BW-106", 6.5, 13},     {8, "BW-107", 1, 2, true},
    {9, "BW-108", kEmpty, 12},     {10, "BW-109", 7.25, 14},     {11, "BW-109", 6.75, 16.5}, {12, "BW-110", 3, 6},
    {13, "BW-111", 12.5, 1250000}, {14, "BW-112", 5.45, kEmpty}, {15, "BW-113", 8, 18},      {16, "BW-114", 9, 21},
};

// The host's first products, the same in every host variant.
const std::vector<Product> kHostFirst = {
    {1, "BW-100", 10, 25},         {2, "BW-101", 10, 25}, {3, "BW-102", 10, 25},      {4, "BW-103", 7, 15},
    {5, "BW-104", kEmpty, kEmpty}, {6, "bw-105", 3, 9},   {7, "BW-106", 5, 10, true}, {8, "BW-106", 6, 12},
    {9, "BW-107", 1.5, 3},         {10, "BW-108", 6, 11}, {11, "BW-109", 7, 15},      {12, "BW-111", 12, 1200000},
    {13, "BW-112", 5.2, 12.99},    {14, "BW-113", 7, 17}, {15, "BW-114", 8, 20},
};

TEST(AccessFileKindTest, KindComesFromTheBytesNotTheName)
{
    struct Case {
        std::string file;
        DatabaseKind kind;
    };
    for (const Case& c : std::vector<Case>{{"testV1997.mdb", DatabaseKind::Jet3},
                                           {"invupdate-2000.mdb", DatabaseKind::Jet4},
                                           {"invupdate-2003.mdb", DatabaseKind::Jet4},
                                           {"invupdate-2007.accdb", DatabaseKind::Ace},
                                           {"invupdate-2010.accdb", DatabaseKind::Ace}}) {
        Result<DatabaseKind> kind = databaseKind(fixture(c.file));
        ASSERT_TRUE(kind.ok()) << kind.error();
        EXPECT_EQ(*kind, c.kind) << c.file;
    }
    TempDir dir;
    std::filesystem::copy_file(fixture("invupdate-2010.accdb"), dir.file("invupdate.mdb"));
    EXPECT_EQ(*databaseKind(dir.file("invupdate.mdb")), DatabaseKind::Ace);
    EXPECT_EQ(*databaseKind(dir.write("sqlite.mdb", std::string("SQLite format 3\0 and more", 25))),
              DatabaseKind::Sqlite);
    EXPECT_EQ(*databaseKind(dir.write("text.mdb", "Standard Jet DB, said the note")), DatabaseKind::NotADatabase);
    EXPECT_EQ(*databaseKind(dir.write("empty.mdb", "")), DatabaseKind::NotADatabase);
    Result<DatabaseKind> missing = databaseKind(dir.file("missing.mdb"));
    ASSERT_FALSE(missing.ok());
    EXPECT_NE(missing.error().find(dir.file("missing.mdb")), std::string::npos);
}

TEST(AccessReaderTest, EveryFormatReadsThePriceListExactly)
{
    for (const char* file :
         {"invupdate-2000.mdb", "invupdate-2003.mdb", "invupdate-2007.accdb", "invupdate-2010.accdb"}) {
        AccessTable products = openProducts(fixture(file), "PrimaryKey");
        expectProducts(walk(products), kPriceList, file);

        ASSERT_TRUE(products.seek(Key{std::int64_t{5}}).ok());
        EXPECT_EQ(**products.text("Name"), "Crème Brûlée Hand Cream 75 ml") << file;
        EXPECT_TRUE(products.seek(Key{std::int64_t{10}}).ok());
        EXPECT_EQ(**products.text("Name"), "Cuticle Oil | Almond \"Pro\"") << file;
        EXPECT_TRUE(products.seek(Key{std::int64_t{13}}).ok());
        EXPECT_EQ(**products.text("Name"), "Шампунь Объём 250 мл") << file;

        Result<AccessFile> db = AccessFile::open(fixture(file));
        Result<AccessTable> vendors = db->openTable("Vendor", {"Name"});
        ASSERT_TRUE(vendors.ok()) << vendors.error();
        ASSERT_FALSE(vendors->definition().indexes.empty()) << file;
        ASSERT_TRUE(vendors->setIndex(vendors->definition().indexes.front().name).ok());
        EXPECT_TRUE(vendors->moveFirst().ok());
        EXPECT_EQ(**vendors->text("Name"), "Brightwell Salon Supply") << file;
    }
}

TEST(AccessReaderTest, TablesColumnsAndIndexesAreDescribed)
{
    Result<AccessFile> db = AccessFile::open(fixture("invupdate-2003.mdb"));
    ASSERT_TRUE(db.ok()) << db.error();
    EXPECT_EQ(db->kind(), DatabaseKind::Jet4);
    std::vector<std::string> tables = db->tableNames();
    EXPECT_NE(std::find(tables.begin(), tables.end(), "product"), tables.end());
    EXPECT_EQ(std::find(tables.begin(), tables.end(), "MSysObjects"), tables.end());
    EXPECT_TRUE(db->hasTable("PRODUCT"));
    EXPECT_FALSE(db->hasTable("client"));

    Result<AccessTableDefinition> product = db->definition("product");
    ASSERT_TRUE(product.ok()) << product.error();
    std::vector<std::string> names;
    for (const AccessColumn& column : product->columns)
        names.push_back(column.name);
    EXPECT_EQ(names, (std::vector<std::string>{"ID", "quickid", "Name", "cost", "retailprice", "Delete"}));
    EXPECT_TRUE(product->columns[3].fixed);
    EXPECT_EQ(product->columns[3].size, 8);
    EXPECT_FALSE(product->columns[1].fixed);
    ASSERT_EQ(product->indexes.size(), 2u);
    const AccessIndex& primary = product->indexes[0].primary ? product->indexes[0] : product->indexes[1];
    const AccessIndex& update = product->indexes[0].primary ? product->indexes[1] : product->indexes[0];
    EXPECT_EQ(primary.name, "Primarykey");
    EXPECT_TRUE(primary.unique);
    EXPECT_EQ(primary.columns, std::vector<std::string>{"ID"});
    EXPECT_EQ(update.name, "UpdateID");
    EXPECT_FALSE(update.unique);
    EXPECT_EQ(update.columns, (std::vector<std::string>{"quickid", "ID"}));

    Result<AccessTable> missing = db->openTable("product", {"ID", "onhand"});
    ASSERT_FALSE(missing.ok());
    EXPECT_NE(missing.error().find("onhand"), std::string::npos);
    Result<AccessTable> noTable = db->openTable("client", {"ID"});
    ASSERT_FALSE(noTable.ok());
    EXPECT_NE(noTable.error().find(fixture("invupdate-2003.mdb")), std::string::npos);
    Result<AccessTable> table = db->openTable("product", {"ID"});
    EXPECT_FALSE(table->setIndex("QuickID").ok());
}

TEST(AccessReaderTest, Access97TablesRead)
{
    Result<AccessFile> db = AccessFile::open(fixture("testV1997.mdb"));
    ASSERT_TRUE(db.ok()) << db.error();
    Result<AccessTable> table = db->openTable("Table1", {"A", "B", "C", "D", "E", "F", "H", "I"});
    ASSERT_TRUE(table.ok()) << table.error();
    ASSERT_TRUE(table->setIndex("PrimaryKey").ok());
    EXPECT_TRUE(table->moveFirst().ok());
    EXPECT_EQ(**table->text("A"), "a");
    EXPECT_EQ(**table->text("B"), "b");
    EXPECT_EQ(**table->number("F"), 0.0);
    EXPECT_EQ(**table->integer("I"), 0);
    EXPECT_TRUE(table->moveNext().ok());
    EXPECT_EQ(**table->text("A"), "abcdefg");
    EXPECT_EQ(**table->text("B"), "hijklmnop");
    EXPECT_EQ(**table->integer("C"), 2);
    EXPECT_EQ(**table->integer("D"), 222);
    EXPECT_EQ(**table->integer("E"), 333333333);
    EXPECT_EQ(**table->number("F"), 444.555);
    EXPECT_EQ(**table->number("H"), 3.5);
    EXPECT_EQ(**table->integer("I"), -1);
    EXPECT_TRUE(table->moveNext().ok());
    EXPECT_TRUE(table->eof());
    ASSERT_TRUE(table->seek(Key{std::string("ABCDEFG")}).ok());
    EXPECT_EQ(**table->text("B"), "hijklmnop");
}

// A price list whose amounts are Decimal reads as one whose amounts are
// Double: each the double nearest its digits, whatever its scale, sign or
// size (the last products need all 96 bits, and a negative one every place).
TEST(AccessReaderTest, DecimalAmountsReadAsTheDoubleNearestTheirDigits)
{
    std::vector<Product> expected = kPriceList;
    expected.push_back({17, "BW-115", -0.0001, 79228162514264337593543950.33});
    expected.push_back({18, "BW-116", 98765432109876.5432, 0.01});
    for (const char* file : {"invupdate-decimal-2000.mdb", "invupdate-decimal-2010.accdb"}) {
        AccessTable products = openProducts(fixture(file), "PrimaryKey");
        expectProducts(walk(products), expected, file);
        ASSERT_TRUE(products.seek(Key{std::int64_t{14}}).ok());
        EXPECT_EQ(**products.text("cost"), "5.45") << file;
    }
}

TEST(AccessReaderTest, HostValuesReadTheSameInDoubleCurrencyAndSingleColumns)
{
    for (const char* file : {"kv-overflow-2000.mdb", "kv-currency-2000.mdb", "kv-single-2000.mdb"}) {
        AccessTable products = openProducts(fixture(file), "PrimaryKey");
        EXPECT_EQ(products.recordCount(), 515u) << file;
        expectProducts(walk(products, kHostFirst.size()), kHostFirst, file);
        // Shown in their shortest decimal form.
        EXPECT_TRUE(products.seek(Key{std::int64_t{13}}).ok());
        EXPECT_EQ(**products.text("cost"), "5.2") << file;
        EXPECT_EQ(**products.text("retailprice"), "12.99") << file;
    }
    const std::vector<double> singles = {5.2f, 12.99f, 0.1f, 1e-7f, 3.4028235e38f, 16777217.0f, 1.17549435e-38f};
    const std::vector<double> shortest = {5.2, 12.99, 0.1, 1e-7, 3.4028235e38, 16777216, 1.1754944e-38};
    for (std::size_t i = 0; i < singles.size(); ++i)
        EXPECT_EQ(singleAsDouble(static_cast<float>(singles[i])), shortest[i]);
}

TEST(AccessReaderTest, RowsWrittenBeforeAColumnWasAddedReadItEmpty)
{
    AccessTable products = openProducts(fixture("kv-addedcols-2000.mdb"), "QuickID");
    for (const char* code : {"BW-100", "BW-101", "BW-113"}) {
        ASSERT_TRUE(products.seek(Key{std::string(code)}).ok());
        ASSERT_FALSE(products.noMatch()) << code;
        EXPECT_EQ(*products.number("cost"), kEmpty) << code;
        EXPECT_EQ(*products.number("retailprice"), kEmpty) << code;
        EXPECT_FALSE(products.text("Name")->value_or("").empty()) << code;
    }
    EXPECT_TRUE(products.seek(Key{std::string("BW-102")}).ok());
    EXPECT_EQ(**products.number("cost"), 10);
    EXPECT_EQ(**products.number("retailprice"), 25);
}

TEST(AccessReaderTest, AMovedRowIsReadOnceInItsPlace)
{
    AccessTable products = openProducts(fixture("kv-overflow-2000.mdb"), "PrimaryKey");
    int seen = 0;
    std::int64_t previousId = 0;
    for (Status walk = products.moveFirst(); walk.ok() && !products.eof(); walk = products.moveNext()) {
        std::int64_t id = **products.integer("ID");
        EXPECT_GT(id, previousId);
        previousId = id;
        if (**products.text("quickid") != "BW-114")
            continue;
        ++seen;
        EXPECT_EQ(id, 15);
        EXPECT_EQ(**products.number("cost"), 8);
        EXPECT_EQ(products.text("Name")->value_or("").rfind("Moved", 0), 0u);
        // Known by its first place, its bytes now elsewhere.
        AccessPlace place = products.place();
        EXPECT_NE(std::make_pair(place.page, place.row), std::make_pair(place.livePage, place.liveRow));
    }
    EXPECT_EQ(seen, 1);
    EXPECT_TRUE(products.seek(Key{std::int64_t{14}}).ok());
    AccessPlace unmoved = products.place();
    EXPECT_EQ(unmoved.page, unmoved.livePage);
    EXPECT_EQ(unmoved.row, unmoved.liveRow);
}

TEST(AccessReaderTest, IndexesGiveAccessOrderAndSeeksIgnoreLetterCase)
{
    AccessTable products = openProducts(fixture("kv-overflow-2000.mdb"), "QuickID");
    std::vector<Product> order = walk(products);
    ASSERT_EQ(order.size(), 515u);
    // Equal keys stay together, in the order the index keeps them.
    auto twin = std::find_if(order.begin(), order.end(), [](const Product& p) { return p.quickid == "BW-106"; });
    ASSERT_NE(twin, order.end());
    EXPECT_EQ(twin->id, 7);
    EXPECT_EQ((twin + 1)->id, 8);
    EXPECT_EQ(order.front().quickid, "BW-100");

    struct Case {
        std::string key;
        std::int64_t id; // 0: no match
    };
    for (const Case& c : std::vector<Case>{
             {"BW-106", 7}, {"bw-106", 7}, {"BW-105", 6}, {"bW-114", 15}, {"BW-110", 0}, {"BW-10", 0}, {"", 0}}) {
        ASSERT_TRUE(products.seek(Key{c.key}).ok());
        EXPECT_EQ(products.noMatch(), c.id == 0) << c.key;
        if (c.id != 0) {
            EXPECT_EQ(**products.integer("ID"), c.id) << c.key;
        }
    }
    // After a seek the walk goes on in index order.
    EXPECT_TRUE(products.seek(Key{std::string("BW-106")}).ok());
    EXPECT_TRUE(products.moveNext().ok());
    EXPECT_EQ(**products.integer("ID"), 8);

    AccessTable list = openProducts(fixture("invupdate-2010.accdb"), "UpdateID");
    EXPECT_TRUE(list.seek(Key{std::string("bw-109")}).ok());
    EXPECT_EQ(**list.integer("ID"), 10);
    EXPECT_TRUE(list.moveNext().ok());
    EXPECT_EQ(**list.integer("ID"), 11);
}

// Seeks by an index's own keys (the leads of its entries) find what seeks by
// every record's code find: in hosts whose codes share leads (kv-leads-*:
// codes equal but for letter case, apostrophes, hyphens, accents or blanks,
// an empty code, an empty field, codes over several leaf pages) in both
// General sort orders, and in two other hosts. The codes seeks read are
// had by seeking a code beyond ASCII first, which no lead can answer.
TEST(AccessReaderTest, SeeksByTheIndexKeysFindWhatEveryCodeFinds)
{
    for (const char* file : {"kv-leads-2000.mdb", "kv-leads-2010.accdb", "kv-overflow-2000.mdb", "kv-2010.accdb"}) {
        SCOPED_TRACE(file);
        AccessTable byKeys = openProducts(fixture(file), "QuickID");
        AccessTable byCodes = openProducts(fixture(file), "QuickID");
        ASSERT_TRUE(byCodes.seek(Key{std::string("\xC3\xA9")}).ok());
        EXPECT_FALSE(byCodes.seeksByIndexKeys());
        std::vector<std::string> keys = {"", " ", "x", "lp-1001", "L'P-1001", "EW1", "ew-1", "np2", "zz99", "nothing"};
        for (const Product& product : walk(byCodes)) {
            std::string code = product.quickid;
            std::string small = code;
            std::string bare;
            for (char& c : small)
                c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
            for (char c : code)
                if (c != '-' && c != '\'')
                    bare += c;
            for (const std::string& key : {code, small, bare, code + "-", code + " "})
                if (std::all_of(key.begin(), key.end(), [](char c) { return c >= 0x20 && c <= 0x7E; }))
                    keys.push_back(key);
        }
        for (const std::string& key : keys) {
            ASSERT_TRUE(byKeys.seek(Key{key}).ok());
            ASSERT_TRUE(byCodes.seek(Key{key}).ok());
            ASSERT_EQ(byKeys.noMatch(), byCodes.noMatch()) << key;
            if (!byKeys.noMatch()) {
                EXPECT_EQ(**byKeys.integer("ID"), **byCodes.integer("ID")) << key;
            }
        }
        EXPECT_TRUE(byKeys.seeksByIndexKeys());
    }
    // The first of equal codes in index order, and the codes kept apart.
    AccessTable products = openProducts(fixture("kv-leads-2000.mdb"), "QuickID");
    const std::pair<const char*, std::int64_t> cases[] = {
        {"lp-1001", 1}, {"LP1001", 2}, {"l'p1001", 4}, {"ew-1", 7},  {"EW1", 8},   {"x", 11},   {"x ", 9},
        {" x", 10},     {"", 12},      {"a~B{C}", 15}, {"np-2", 18}, {"ABC-", 19}, {"abc", 20}, {"ew-2", 0},
    };
    for (auto [key, id] : cases) {
        ASSERT_TRUE(products.seek(Key{std::string(key)}).ok());
        EXPECT_EQ(products.noMatch() ? 0 : **products.integer("ID"), id) << key;
    }
    ASSERT_TRUE(products.seek(Key{std::int64_t{12345}}).ok());
    EXPECT_EQ(products.noMatch() ? 0 : **products.integer("ID"), 14);
    EXPECT_TRUE(products.seeksByIndexKeys());
    ASSERT_TRUE(products.seek(Key{std::string("\xC3\x89W-1")}).ok());
    EXPECT_EQ(products.noMatch() ? 0 : **products.integer("ID"), 6);

    // A whole number sought in an index on a Long column (the records' ID)
    // is found among the entries' own numbers, the same record as by every
    // record's number; one found nowhere there is sought by every record's.
    for (const char* file : {"kv-leads-2000.mdb", "kv-overflow-2000.mdb", "kv-2010.accdb", "invupdate-2010.accdb"}) {
        SCOPED_TRACE(file);
        AccessTable byEntries = openProducts(fixture(file), "PrimaryKey");
        AccessTable byRecords = openProducts(fixture(file), "PrimaryKey");
        ASSERT_TRUE(byRecords.seek(Key{std::string("x")}).ok());
        std::vector<std::int64_t> ids;
        for (const Product& product : walk(byRecords))
            ids.push_back(product.id);
        ASSERT_FALSE(ids.empty());
        const std::size_t held = ids.size();
        for (std::int64_t id : {std::int64_t{0}, std::int64_t{-1}, ids.back() + 1, std::int64_t{2147483648},
                                std::int64_t{-2147483649}})
            ids.push_back(id);
        for (std::size_t k = 0; k < ids.size(); ++k) {
            ASSERT_TRUE(byEntries.seek(Key{ids[k]}).ok());
            ASSERT_TRUE(byRecords.seek(Key{ids[k]}).ok());
            ASSERT_EQ(byEntries.noMatch(), byRecords.noMatch()) << ids[k];
            EXPECT_EQ(byEntries.noMatch(), k >= held) << ids[k];
            EXPECT_EQ(byEntries.recordNumber(), byRecords.recordNumber()) << ids[k];
            if (k + 1 == held) {
                EXPECT_TRUE(byEntries.seeksByIndexKeys());
            }
        }
    }
    // A record whose ID no longer is its entry's number (a damaged file):
    // the entry finds it, the record does not confirm it, and the seek reads
    // every record's key instead.
    TempDir dir;
    std::string bytes = readFile(fixture("kv-leads-2000.mdb"));
    const std::string damaged = dir.write("kv.mdb", bytes);
    {
        AccessTable products = openProducts(damaged, "PrimaryKey");
        ASSERT_TRUE(products.seek(Key{std::int64_t{5}}).ok());
        ASSERT_FALSE(products.noMatch());
        const AccessPlace place = products.place();
        const std::size_t pageAt = std::size_t{place.page} * kJet4Format.pageSize;
        const auto* page = reinterpret_cast<const unsigned char*>(bytes.data() + pageAt);
        unsigned flags = 0;
        std::optional<AccessRowBytes> row = rowOnPage(page, kJet4Format, place.row, flags);
        ASSERT_TRUE(row);
        AccessRowFields fields;
        ASSERT_TRUE(fields.split(kJet4Format, *row, products.definition().hasVariableColumns));
        std::optional<AccessRowBytes> id = fields.bytes(*findColumn(products.definition(), "ID"));
        ASSERT_TRUE(id && id->size == 4);
        bytes[pageAt + static_cast<std::size_t>(id->data - page)] = 6;
    }
    dir.write("kv.mdb", bytes);
    AccessTable byEntries = openProducts(damaged, "PrimaryKey");
    AccessTable byRecords = openProducts(damaged, "PrimaryKey");
    ASSERT_TRUE(byRecords.seek(Key{std::string("x")}).ok());
    for (std::int64_t id : {5, 6, 5}) {
        ASSERT_TRUE(byEntries.seek(Key{id}).ok());
        ASSERT_TRUE(byRecords.seek(Key{id}).ok());
        EXPECT_EQ(byEntries.noMatch(), id == 5) << id;
        EXPECT_EQ(byEntries.recordNumber(), byRecords.recordNumber()) << id;
    }
}

TEST(AccessReaderTest, ATableOpenedAgainInTheSameFileReadsAsTheFirstTime)
{
    // The second opening starts from the walk the first one left: the same
    // records, in each index's order, found by the same seeks.
    Result<AccessFile> db = AccessFile::open(fixture("kv-overflow-2000.mdb"));
    ASSERT_TRUE(db.ok()) << db.error();
    auto open = [&](const std::vector<std::string>& columns) {
        Result<AccessTable> table = db->openTable("PRODUCT", columns);
        EXPECT_TRUE(table.ok()) << table.error();
        return std::move(*table);
    };
    const std::vector<std::string> columns = {"ID", "QuickID", "Name", "cost", "retailprice", "Delete"};
    std::vector<Product> byCode;
    std::vector<Product> byId;
    {
        AccessTable first = open(columns);
        ASSERT_TRUE(first.setIndex("PrimaryKey").ok());
        byId = walk(first);
        ASSERT_TRUE(first.setIndex("QuickID").ok());
        ASSERT_TRUE(first.seek(Key{std::string("bw-106")}).ok());
        byCode = walk(first);
    }
    ASSERT_EQ(byCode.size(), 515u);
    ASSERT_EQ(db->openTable("PRODUCT", {})->recordCount(), 515u);
    AccessTable again = open(columns);
    for (const std::string index : {"QuickID", "PrimaryKey", "QuickID"}) {
        SCOPED_TRACE(index);
        const bool byCodeIndex = index == "QuickID";
        ASSERT_TRUE(again.setIndex(index).ok());
        expectProducts(walk(again), byCodeIndex ? byCode : byId, "kv-overflow-2000.mdb");
        ASSERT_TRUE(again.seek(byCodeIndex ? Key{std::string("bw-106")} : Key{std::int64_t{8}}).ok());
        ASSERT_FALSE(again.noMatch());
        EXPECT_EQ(**again.integer("ID"), byCodeIndex ? 7 : 8);
    }
    ASSERT_TRUE(again.seek(Key{std::string("BW-110")}).ok());
    EXPECT_TRUE(again.noMatch());
}

TEST(AccessReaderTest, CompressedUnicodeTextReads)
{
    std::string everyByte;
    for (int c = 1; c <= 0xFF; ++c) {
        if (c < 0x80) {
            everyByte += static_cast<char>(c);
        } else {
            everyByte += static_cast<char>(0xC0 | (c >> 6));
            everyByte += static_cast<char>(0x80 | (c & 0x3F));
        }
    }
    const std::vector<std::string> expected = {
        "only ascii chars",
        "ääkkösiä",
        "Мир",
        "\u03F0\u03B1\u1F76 \u03C4\u1F79\u03C4' \u1F10\u03B3\u1F7C \u039A\u1F7B\u03F0\u03BB\u03C9\u03C0\u03B1",
        "漢字仮名交じり文",
        std::string("3L9\x1d"
                    "52\x02_AB(¥\x05!!V"),
        "ümlaut",
        everyByte,
    };
    Result<AccessFile> db = AccessFile::open(fixture("testUnicodeCompV2003.mdb"));
    ASSERT_TRUE(db.ok()) << db.error();
    Result<AccessTable> table = db->openTable("Table", {"ID", "Unicode"});
    ASSERT_TRUE(table.ok()) << table.error();
    ASSERT_TRUE(table->setIndex("PrimaryKey").ok());
    std::size_t i = 0;
    for (Status walk = table->moveFirst(); walk.ok() && !table->eof(); walk = table->moveNext(), ++i) {
        ASSERT_LT(i, expected.size());
        EXPECT_EQ(**table->integer("ID"), static_cast<std::int64_t>(i + 1));
        EXPECT_EQ(**table->text("Unicode"), expected[i]) << i;
    }
    EXPECT_EQ(i, expected.size());
    // Letter case folds beyond ASCII too.
    EXPECT_TRUE(table->setIndex("Unicode").ok());
    EXPECT_TRUE(table->seek(Key{std::string("мир")}).ok());
    EXPECT_EQ(**table->integer("ID"), 3);
    EXPECT_TRUE(table->seek(Key{std::string("ÜMLAUT")}).ok());
    EXPECT_EQ(**table->integer("ID"), 7);
    EXPECT_TRUE(table->seek(Key{std::string("Only ASCII Chars")}).ok());
    EXPECT_EQ(**table->integer("ID"), 1);
}

// An ASCII key is folded straight from its stored bytes, compressed or
// UTF-16; it must give the key the full decoding gives, and anything else
// must be left to the full decoding.
TEST(AccessReaderTest, AsciiKeysFoldFromTheirBytesAsFromTheirText)
{
    struct Case {
        std::string bytes;
        bool ascii;
    };
    using namespace std::string_literals;
    const std::vector<Case> cases = {
        {"\377\376Ab-9 Z"s, true},   // compressed
        {"\377\376"s, true},         // compressed, empty
        {"A\0b\0-\0Z\0"s, true},     // UTF-16
        {""s, true},                 // UTF-16, empty
        {"\377\376A\0\1\4"s, false}, // compressed, then UTF-16
        {"\377\376\304x"s, false},   // beyond ASCII
        {"\304\0x\0"s, false},       // UTF-16 beyond ASCII
        {"\020\004"s, false},        // Cyrillic in UTF-16
        {"\0\0A\0"s, false},         // a zero character
        {"A\0b"s, false},            // an odd byte
    };
    for (const Case& c : cases) {
        const auto* data = reinterpret_cast<const unsigned char*>(c.bytes.data());
        std::string folded;
        ASSERT_EQ(asciiFoldedKey(data, c.bytes.size(), folded), c.ascii) << testing::PrintToString(c.bytes);
        if (c.ascii) {
            EXPECT_EQ(folded, foldedKey(unicodeTextToUtf8(data, c.bytes.size()))) << testing::PrintToString(c.bytes);
        }
    }
}

// Makes a copy of a host whose first product's supplier is stored as empty
// text and whose second product's supplier is NULL. Jet 4 row layout: the
// null mask (one byte for these eight columns) ends the row, before it the
// count of variable-length columns and their offsets, last one first.
std::string hostWithEmptyAndNullText(const TempDir& dir)
{
    std::string bytes = readFile(fixture("kv-overflow-2000.mdb"));
    const std::size_t page = 33 * 4096; // the first data page of product
    auto get16 = [&](std::size_t at) {
        return static_cast<unsigned>(static_cast<unsigned char>(bytes[at])) |
               static_cast<unsigned>(static_cast<unsigned char>(bytes[at + 1])) << 8;
    };
    std::size_t firstEnd = 4096;
    std::size_t secondEnd = get16(page + 0x0e) & 0x1FFF;
    // Supplier is the third variable-length column: its end is the fourth offset.
    std::size_t supplierStart = page + firstEnd - 1 - 2 - 2 - 2 * 2;
    std::size_t supplierEnd = supplierStart - 2;
    bytes[supplierEnd] = bytes[supplierStart];
    bytes[supplierEnd + 1] = bytes[supplierStart + 1];
    // Supplier is column 6 of the null mask.
    bytes[page + secondEnd - 1] = static_cast<char>(bytes[page + secondEnd - 1] & ~(1 << 6));
    return dir.write("kv.mdb", bytes);
}

TEST(AccessReaderTest, NullAndEmptyTextDiffer)
{
    TempDir dir;
    Result<AccessFile> db = AccessFile::open(hostWithEmptyAndNullText(dir));
    ASSERT_TRUE(db.ok()) << db.error();
    Result<AccessTable> table = db->openTable("product", {"quickid", "supplier"});
    ASSERT_TRUE(table.ok()) << table.error();
    EXPECT_TRUE(table->setIndex("PrimaryKey").ok());
    EXPECT_TRUE(table->moveFirst().ok());
    EXPECT_EQ(**table->text("quickid"), "BW-100");
    EXPECT_EQ(*table->text("supplier"), std::optional<std::string>(""));
    EXPECT_EQ(table->field("supplier")->type, FieldValue::Type::Text);
    EXPECT_TRUE(table->moveNext().ok());
    EXPECT_EQ(**table->text("quickid"), "BW-101");
    EXPECT_EQ(*table->text("supplier"), std::nullopt);
    EXPECT_TRUE(table->moveNext().ok());
    EXPECT_EQ(**table->text("supplier"), "acme");
}

// A German locale, made in a temporary folder when the system has none.
class GermanLocale {
public:
    GermanLocale()
    {
        m_locale = newlocale(LC_ALL_MASK, "de_DE.UTF-8", static_cast<locale_t>(nullptr));
        if (!m_locale) {
            ProcessResult made =
                runProcess({"/usr/bin/localedef", "-i", "de_DE", "-f", "UTF-8", m_dir.file("de_DE.UTF-8")}, {});
            if (made.exitCode == 0) {
                ::setenv("LOCPATH", m_dir.path().c_str(), 1);
                m_locale = newlocale(LC_ALL_MASK, "de_DE.UTF-8", static_cast<locale_t>(nullptr));
            }
        }
        if (m_locale) {
            m_previous = setlocale(LC_ALL, nullptr);
            setlocale(LC_ALL, "de_DE.UTF-8");
            uselocale(m_locale);
        }
    }
    ~GermanLocale()
    {
        if (m_locale) {
            uselocale(LC_GLOBAL_LOCALE);
            setlocale(LC_ALL, m_previous.c_str());
            freelocale(m_locale);
        }
        ::unsetenv("LOCPATH");
    }
    bool active() const { return m_locale != nullptr; }

private:
    TempDir m_dir;
    locale_t m_locale = nullptr;
    std::string m_previous;
};

TEST(AccessReaderTest, NumbersReadTheSameUnderAGermanLocale)
{
    GermanLocale german;
    if (!german.active())
        GTEST_SKIP() << "no de_DE.UTF-8 locale, and localedef could not make one";
    char check[16];
    std::snprintf(check, sizeof check, "%.1f", 2.5);
    ASSERT_EQ(std::string(check), "2,5") << "the German locale is not in effect";

    for (const char* file : {"kv-overflow-2000.mdb", "kv-currency-2000.mdb", "kv-single-2000.mdb"}) {
        AccessTable products = openProducts(fixture(file), "QuickID");
        EXPECT_TRUE(products.seek(Key{std::string("BW-112")}).ok());
        EXPECT_EQ(**products.number("cost"), 5.2) << file;
        EXPECT_EQ(**products.number("retailprice"), 12.99) << file;
        EXPECT_EQ(**products.text("retailprice"), "12.99") << file;
        EXPECT_TRUE(products.seek(Key{std::string("BW-111")}).ok());
        EXPECT_EQ(**products.number("retailprice"), 1200000) << file;
        EXPECT_EQ(**products.text("retailprice"), "1200000") << file;
    }
    Result<AccessFile> jet3 = AccessFile::open(fixture("testV1997.mdb"));
    Result<AccessTable> table = jet3->openTable("Table1", {"A", "F", "H"});
    EXPECT_TRUE(table->setIndex("PrimaryKey").ok());
    EXPECT_TRUE(table->seek(Key{std::string("abcdefg")}).ok());
    EXPECT_EQ(**table->number("F"), 444.555);
    EXPECT_EQ(**table->text("F"), "444.555");
    EXPECT_EQ(**table->number("H"), 3.5);
}

TEST(AccessReaderTest, PasswordsAndEncryptionAreToldApart)
{
    std::string encrypted = fixture("V2010_with-password.accdb");
    Result<AccessFile> refused = AccessFile::open(encrypted);
    ASSERT_FALSE(refused.ok());
    EXPECT_NE(refused.error().find(encrypted), std::string::npos);
    EXPECT_NE(refused.error().find("encrypted"), std::string::npos);

    // A Jet 4 database password does not encrypt the pages.
    Result<AccessFile> db = AccessFile::open(fixture("V2003_with-password.mdb"));
    ASSERT_TRUE(db.ok()) << db.error();
    Result<AccessTable> table = db->openTable("Table1", {"ID", "Data"});
    ASSERT_TRUE(table.ok()) << table.error();
    EXPECT_TRUE(table->setIndex("PrimaryKey").ok());
    std::vector<std::string> texts;
    for (Status walk = table->moveFirst(); walk.ok() && !table->eof(); walk = table->moveNext())
        texts.push_back(table->text("Data")->value_or(""));
    EXPECT_EQ(texts, (std::vector<std::string>{"One", "Two", "Three"}));
}

TEST(AccessReaderTest, LinkedTablesAreRefusedNamingWhereTheirRecordsAre)
{
    std::string linker = fixture("linkerTestV2007.accdb");
    Result<AccessFile> db = AccessFile::open(linker);
    ASSERT_TRUE(db.ok()) << db.error();
    EXPECT_TRUE(db->hasTable("Table2"));
    Result<AccessTable> linked = db->openTable("Table2", {});
    ASSERT_FALSE(linked.ok());
    EXPECT_NE(linked.error().find(linker), std::string::npos);
    EXPECT_NE(linked.error().find("Z:\\jackcess_test\\linkeeTest.accdb"), std::string::npos);
    EXPECT_TRUE(db->openTable("Table1", {}).ok());

    std::string odbc = fixture("odbcLinkerTestV2007.accdb");
    Result<AccessFile> odbcDb = AccessFile::open(odbc);
    ASSERT_TRUE(odbcDb.ok()) << odbcDb.error();
    Result<AccessTable> odbcLinked = odbcDb->openTable("Ordrar", {});
    ASSERT_FALSE(odbcLinked.ok());
    EXPECT_NE(odbcLinked.error().find("ODBC"), std::string::npos);
    // The connection text holds a password: never shown.
    EXPECT_EQ(odbcLinked.error().find("PWD"), std::string::npos);
}

TEST(AccessReaderTest, DamagedFilesAreRefusedWithoutACrash)
{
    TempDir dir;
    const std::string sound = readFile(fixture("kv-overflow-2000.mdb"));
    auto overwrite = [&](std::size_t page, std::size_t from, std::size_t to, char with) {
        std::string bytes = sound;
        for (std::size_t i = page * 4096 + from; i < page * 4096 + to; ++i)
            bytes[i] = with;
        return bytes;
    };
    // The sound file with one field of a column's entry in the definition
    // of product changed.
    auto redefined = [&](const std::string& column, column_entry::Field field, unsigned value) {
        std::string path = dir.write("redefined.mdb", sound);
        setColumnEntry(path, "product", column, field, value);
        return readFile(path);
    };
    // The sound file with bytes put at an offset.
    auto patched = [&](std::vector<std::pair<std::size_t, std::string>> changes) {
        std::string bytes = sound;
        for (const auto& [offset, with] : changes)
            bytes.replace(offset, with.size(), with);
        return bytes;
    };
    // The file has 55 pages. Page 33 row 14 holds the pointer of the moved
    // record (its row, then its page in three bytes); page 48 has 42 rows,
    // and room for a 43rd record between its row table and its last record;
    // the table definition (page 29) names the two indexes' roots at 0x1b5
    // and 0x1e9; leaf 45 names the next leaf at 0x10.
    const std::size_t kPage = 4096;
    const std::string kPastTheLastPage("\x37\0\0\0", 4);
    // The QuickID index (root 32, a node over leaves 40, 45, 49, 39) under
    // 34 more nodes, copies of its root added as pages 55 to 88, each
    // leading to the next and the last to leaf 40: deeper than any Access
    // makes, the walk down gives up on page 88.
    auto tooDeep = [&] {
        std::string bytes = patched({{29 * kPage + 0x1e9, std::string("\x37\0\0\0", 4)}});
        for (unsigned n = 55; n <= 88; ++n) {
            std::string node = sound.substr(32 * kPage, kPage);
            unsigned child = n < 88 ? n + 1 : 40;
            node.replace(0x1f9, 1, 1, static_cast<char>(child));
            bytes += node;
        }
        return bytes;
    };
    struct Case {
        std::string name;
        std::string bytes;
        bool refused; // false: may read, but must not crash
        // Text a refusal on the way (the open, an index, a walk) must hold.
        std::string said = {};
        // The size the file is cut to after the open, before the table is read.
        std::optional<std::size_t> cutAfterOpen = {};
        // Another file put at the path after the open.
        bool replacedAfterOpen = false;
    };
    std::vector<Case> cases = {
        {"empty", "", true},
        {"header only", sound.substr(0, 100), true},
        {"cut inside a page", sound.substr(0, 20 * 4096 + 100), true},
        {"cut after the catalog", sound.substr(0, 20 * 4096), true},
        {"cut after the table definition", sound.substr(0, 31 * 4096), true},
        {"not Access", "Standard Jet DB but just text, long enough to be read", true},
        {"catalog page garbage", overwrite(2, 0, 4096, '\x5a'), true},
        {"table definition garbage", overwrite(29, 8, 4096, '\x7f'), false},
        {"index pages garbage", overwrite(31, 0, 2 * 4096, '\xff'), false},
        {"row table garbage", overwrite(33, 12, 400, '\xee'), false},
        {"records garbage", overwrite(33, 400, 4096, '\x01'), false},
        // Definitions whose places would have one column written over
        // another: refused before a record is read.
        {"an amount over the next amount and onhand", redefined("retailprice", column_entry::kFixedOffset, 20), true,
         "table \"product\": column \"retailprice\" and column \"onhand\" share bytes of each record"},
        {"an amount over the ID", redefined("cost", column_entry::kFixedOffset, 0), true,
         "column \"ID\" and column \"cost\" share bytes"},
        {"an amount past the room of a record", redefined("onhand", column_entry::kFixedOffset, 4060), true,
         "column \"onhand\" lies beyond the room a record has"},
        {"a variable-length number out of range", redefined("Name", column_entry::kVarNumber, 3), true,
         "column \"Name\" has the variable-length number 3, but the table has 3"},
        {"two variable-length columns as one", redefined("supplier", column_entry::kVarNumber, 1), true,
         "column \"Name\" and column \"supplier\" have the same variable-length number"},
        {"a column number out of range", redefined("onhand", column_entry::kNumber, 8), true,
         "column \"onhand\" has the number 8, but its records hold 8 columns"},
        // The exact edges: one past the last row of a page (here a record
        // and a row-table entry for it stand just past the table, as a
        // reader that counted one row too many would take them), and one
        // past the last page.
        {"a moved record's pointer at row == the page's row count",
         patched({{48 * kPage + 0x0e + 42 * 2, std::string("\xb7\0", 2)},
                  {48 * kPage + 0xb7, sound.substr(48 * kPage + 0x112, 0x5b)},
                  {33 * kPage + 0xbcf, std::string("\x2a\x30\0\0", 4)}}),
         false, "page 33 row 14 points to a place that holds no record"},
        {"a moved record's pointer at page == the page count",
         patched({{33 * kPage + 0xbcf, std::string("\x09\x37\0\0", 4)}}), false,
         "page 33 row 14 points to a place that holds no record"},
        {"index roots at page == the page count",
         patched({{29 * kPage + 0x1b5, kPastTheLastPage}, {29 * kPage + 0x1e9, kPastTheLastPage}}), false,
         "page 55 is not a page of the index"},
        {"a next-leaf pointer at page == the page count", patched({{45 * kPage + 0x10, kPastTheLastPage}}), false,
         "page 55 is not a leaf of the index"},
        // Pointers back into what was read: a leaf that names itself as the
        // next, a moved record's pointer to itself, a row inside the row
        // table.
        {"a next-leaf pointer to its own leaf", patched({{45 * kPage + 0x10, std::string("\x2d\0\0\0", 4)}}), false,
         "page 45 is not a leaf of the index"},
        {"a moved record's pointer to itself", patched({{33 * kPage + 0xbcf, std::string("\x0e\x21\0\0", 4)}}), false,
         "page 33 row 14 points to a place that holds no record"},
        {"a row that starts inside the row table", patched({{48 * kPage + 0x0e, std::string("\x10\0", 2)}}), false,
         "page 48 row 0 is not a record of the table"},
        {"an index deeper than any Access makes", tooDeep(), false, "page 88 is not a page of the index"},
        // Page 48 row 0 (at 0xfa5) ends "Name" at 84, inside the table of
        // offsets after the record's data (which ends at 80).
        {"a field past the record's data", patched({{48 * kPage + 0xfa5 + 82, std::string("\x54\0", 2)}}), false,
         "page 48 row 0: \"Name\" cannot be read: the value lies outside its record"},
        // Pages are read when needed: a file that shrank since the open no
        // longer holds them, and that is a failure, never a read past it.
        {"cut short after the open", sound, true, "its pages run past the end of the file", 31 * kPage},
        {"replaced after the open", sound, true, "is no longer the file that was read", {}, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        std::string path = dir.write(c.name + ".mdb", c.bytes);
        Result<AccessFile> db = AccessFile::open(path);
        if (c.cutAfterOpen)
            std::filesystem::resize_file(path, *c.cutAfterOpen);
        if (c.replacedAfterOpen)
            std::filesystem::rename(dir.write("other.mdb", sound), path);
        Result<AccessTable> table = db.ok() ? db->openTable("product", {"ID", "quickid", "Name", "cost"})
                                            : Result<AccessTable>::failure(db.error());
        if (c.refused) {
            EXPECT_FALSE(table.ok());
        }
        std::string refusals;
        auto refusal = [&](const Status& status) {
            EXPECT_NE(status.error().find(path), std::string::npos) << status.error();
            refusals += status.error() + "\n";
        };
        if (!table.ok()) {
            refusal(table.status());
            EXPECT_NE(refusals.find(c.said), std::string::npos) << refusals;
            continue;
        }
        for (const char* index : {"PrimaryKey", "QuickID"}) {
            Status indexed = table->setIndex(index);
            if (!indexed.ok()) {
                refusal(indexed);
                continue;
            }
            Status walk = table->moveFirst();
            for (; walk.ok() && !table->eof(); walk = table->moveNext())
                for (const char* column : {"ID", "quickid", "Name", "cost"})
                    if (Result<std::optional<std::string>> text = table->text(column); !text.ok())
                        refusal(text.status());
            if (!walk.ok())
                refusal(walk);
            (void)table->seek(Key{std::string("BW-100")});
        }
        EXPECT_NE(refusals.find(c.said), std::string::npos) << refusals;
    }
}

// The host is read page by page as the table needs it: pages nobody refers
// to (here 4 MiB added after the last) are never read.
TEST(AccessReaderTest, ATableIsReadWithoutReadingTheWholeFile)
{
    TempDir dir;
    const std::string sound = readFile(fixture("kv-2000.mdb"));
    std::string path = dir.write("kv.mdb", sound + std::string(std::size_t{4} << 20, '\0'));
    Result<AccessFile> db = AccessFile::open(path);
    ASSERT_TRUE(db.ok()) << db.error();
    Result<AccessTable> table = db->openTable("product", {"quickid", "cost"});
    ASSERT_TRUE(table.ok()) << table.error();
    ASSERT_TRUE(table->setIndex("QuickID").ok());
    ASSERT_TRUE(table->seek(Key{std::string("BW-100")}).ok());
    EXPECT_FALSE(table->noMatch());
    EXPECT_EQ(*table->number("cost"), 10.0);
    EXPECT_LT(db->image().bytesRead(), sound.size());
}

} // namespace

// Through Database and Recordset, an Access file is served as an SQLite file
// is: names matched whatever their letter case, index descriptions, counts,
// seeks, the repeated-key check, numbers as text as Access shows them, and
// the same texts for what is missing. A file opened only for reading
// refuses saves; the backup copy is a copy of the bytes.
TEST(AccessReaderTest, TheDatabaseServesAccessFilesLikeSqliteFiles)
{
    for (const char* file :
         {"invupdate-2000.mdb", "invupdate-2003.mdb", "invupdate-2007.accdb", "invupdate-2010.accdb"}) {
        SCOPED_TRACE(file);
        std::string path = fixture(file);
        Result<Database> db = Database::open(path);
        ASSERT_TRUE(db.ok()) << db.error();
        EXPECT_TRUE(db->hasTable("VENDOR"));
        EXPECT_FALSE(db->hasTable("Vendors"));
        EXPECT_TRUE(db->saveCheck().ok());
        EXPECT_EQ(*db->recordCount("product"), 16u);
        Result<IndexInfo> byCode = db->index("Product", "updateid");
        ASSERT_TRUE(byCode.ok()) << byCode.error();
        EXPECT_EQ(byCode->name, "UpdateID");
        EXPECT_EQ(byCode->columns, (std::vector<std::string>{"quickid", "ID"}));
        EXPECT_FALSE(byCode->unique);
        Result<IndexInfo> byId = db->index("product", "PRIMARYKEY");
        ASSERT_TRUE(byId.ok()) << byId.error();
        EXPECT_EQ(byId->columns, std::vector<std::string>{"ID"});
        EXPECT_TRUE(byId->unique);

        Result<Database> missing = Database::open(path);
        Result<Recordset> none = missing->openTable("products", {});
        EXPECT_EQ(none.kind(), ErrorKind::NotFound);
        EXPECT_EQ(none.error(), path + ": has no table \"products\"");
        Result<Recordset> noColumn = db->openTable("product", {"ID", "price"});
        EXPECT_EQ(noColumn.error(), path + ": table \"product\" has no column \"price\"");
        Result<IndexInfo> noIndex = db->index("product", "QuickID");
        EXPECT_EQ(noIndex.kind(), ErrorKind::NotFound);
        EXPECT_EQ(noIndex.error(), path + ": table \"product\" has no index \"QuickID\"");

        Result<Recordset> products = db->openTable("PRODUCT", {"id", "QUICKID", "Cost", "RetailPrice"});
        ASSERT_TRUE(products.ok()) << products.error();
        ASSERT_TRUE(products->setIndex("updateid").ok());
        EXPECT_EQ(*products->repeatedKey(), std::optional<std::string>("BW-109"));
        ASSERT_TRUE(products->setIndex("Primarykey").ok());
        EXPECT_EQ(*products->repeatedKey(), std::nullopt);
        ASSERT_TRUE(products->seek(Key{std::int64_t{11}}).ok());
        ASSERT_FALSE(products->noMatch());
        EXPECT_EQ(**products->text("quickid"), "BW-109");
        EXPECT_EQ(**products->text("cost"), "6.75");
        EXPECT_EQ(**products->text("retailprice"), "16.5");
        EXPECT_GT(products->rowId(), 0);
        ASSERT_TRUE(products->seek(Key{std::int64_t{13}}).ok());
        EXPECT_EQ(**products->text("retailprice"), "1250000");

        // Opened only for reading: never written.
        Result<Database> reading = Database::open(path, OpenOptions{1000, OpenMode::ReadOnly});
        ASSERT_TRUE(reading.ok()) << reading.error();
        EXPECT_EQ(reading->saveCheck().kind(), ErrorKind::ReadOnly);
        EXPECT_EQ(reading->saveCheck().error(), path + ": the file was opened only for reading");
        Result<Recordset> readOnly = reading->openTable("product", {"ID", "cost"});
        ASSERT_TRUE(readOnly.ok() && readOnly->setIndex("PrimaryKey").ok() && readOnly->moveFirst().ok());
        EXPECT_EQ(readOnly->edit().kind(), ErrorKind::ReadOnly);
        EXPECT_EQ(readOnly->update().kind(), ErrorKind::ReadOnly);
    }

    // An index on a number: the repeated key is the first met in index order
    // (costs 2.23, records 182 and 346, are the lowest that repeat), and a
    // seek finds the first of equal keys.
    Result<Database> costs = Database::open(fixture("kv-costindex-2000.mdb"));
    ASSERT_TRUE(costs.ok()) << costs.error();
    Result<Recordset> byCost = costs->openTable("product", {"ID", "cost"});
    ASSERT_TRUE(byCost.ok() && byCost->setIndex("CostIdx").ok());
    EXPECT_EQ(*byCost->repeatedKey(), std::optional<std::string>("2.23"));
    ASSERT_TRUE(byCost->seek(Key{std::string("2.23")}).ok());
    ASSERT_FALSE(byCost->noMatch());
    EXPECT_EQ(**byCost->integer("ID"), 182);
    ASSERT_TRUE(byCost->seek(Key{std::int64_t{3}}).ok());
    EXPECT_EQ(**byCost->number("cost"), 3.0);
    ASSERT_TRUE(byCost->seek(Key{std::string("2.24")}).ok());
    EXPECT_TRUE(byCost->noMatch());

    // Opening refuses what cannot be read, with the reader's reason.
    Result<Database> encrypted = Database::open(fixture("V2010_with-password.accdb"));
    EXPECT_EQ(encrypted.kind(), ErrorKind::NotADatabase);
    EXPECT_NE(encrypted.error().find("encrypted"), std::string::npos) << encrypted.error();
    Result<Database> linker = Database::open(fixture("linkerTestV2007.accdb"));
    ASSERT_TRUE(linker.ok()) << linker.error();
    Result<Recordset> linked = linker->openTable("table2", {});
    EXPECT_NE(linked.error().find("is a linked table; its records are in \"Z:\\jackcess_test\\linkeeTest.accdb\""),
              std::string::npos)
        << linked.error();

    // The backup copy of an Access file nobody else has open.
    TempDir dir;
    std::string host = dir.file("kv.mdb");
    std::filesystem::copy_file(fixture("kv-2003.mdb"), host);
    SystemFileCopy plain;
    CopyResult copied = Database::copyFile(host, dir.file("kv.mdb_copy"), plain, nullptr);
    EXPECT_TRUE(copied.ok()) << copied.error;
    EXPECT_FALSE(copied.rolledBack);
    EXPECT_EQ(readFile(dir.file("kv.mdb_copy")), readFile(host));
}

// A calculated column keeps its expression's last result, wrapped, in the
// type the expression gives: here a Double column's results are Currency
// amounts (MonthlySalary) and decimals (WeeklySalary), a Yes/No column's a
// byte. Values as Jackcess reads them.
TEST(AccessReaderTest, CalculatedColumnsReadTheirStoredResults)
{
    Result<AccessFile> db = AccessFile::open(fixture("calcFieldTestV2010.accdb"));
    ASSERT_TRUE(db.ok()) << db.error();
    Result<AccessTable> table = db->openTable("Table1", {"ID", "LastFirst", "LastFirstLen", "MonthlySalary", "IsRich",
                                                         "AllNames", "FloatTest", "WeeklySalary"});
    ASSERT_TRUE(table.ok()) << table.error();
    ASSERT_TRUE(table->setIndex(table->definition().indexes.front().name).ok());
    ASSERT_TRUE(table->seek(Key{std::int64_t{2}}).ok());
    EXPECT_EQ(**table->text("LastFirst"), "Simpson, Bart");
    EXPECT_EQ(**table->integer("LastFirstLen"), 13);
    EXPECT_EQ(**table->number("MonthlySalary"), -0.0833);
    EXPECT_EQ(**table->integer("IsRich"), 0);
    EXPECT_EQ(**table->text("AllNames"), "Simpson, Bart=Simpson, Bart");
    EXPECT_EQ(**table->text("FloatTest"), "0.0035889593");
    ASSERT_TRUE(table->seek(Key{std::int64_t{1}}).ok());
    EXPECT_EQ(**table->number("MonthlySalary"), 83333.3333);
    EXPECT_EQ(**table->integer("IsRich"), -1);
    // A decimal is read as no number at all, never as a wrong one.
    EXPECT_FALSE(table->number("WeeklySalary").ok());
}
