// The price-list reader: CSV quoting and line breaks, the header's column
// names, and every check that refuses a file or warns about it, each with
// the line number it names.
#include "pricelist/PriceListCsv.h"

#include "support/TempDir.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

using namespace tarvex;
using ::testing::ElementsAre;
using ::testing::HasSubstr;

namespace {

PriceList parse(const std::string& text)
{
    return PriceListCsv::parse(text, "prices.csv");
}

// The list's single error; fails the test when there is not exactly one.
std::string onlyError(const PriceList& list)
{
    EXPECT_EQ(list.errors.size(), 1u) << ::testing::PrintToString(list.errors);
    return list.errors.empty() ? std::string() : list.errors.front();
}

TEST(PriceListCsvTest, ReadsQuotedFieldsWithCommasDoubledQuotesAndLineBreaks)
{
    PriceList list = parse("code,name,cost,price\r\n"
                           "A1,\"Cuticle Oil, Lavender\",2.10,5.99\r\n"
                           "A2,\"Lumen \"\"Hold Fast\"\" Spray\",4.2,10.99\r\n"
                           "A3,\"Gift Set\r\nShampoo + Conditioner\",12,24\n"
                           "A4, \"  spaced  \" ,1,2\n");
    ASSERT_TRUE(list.ok()) << ::testing::PrintToString(list.errors);
    ASSERT_EQ(list.entries.size(), 4u);
    EXPECT_EQ(list.entries[0].name, "Cuticle Oil, Lavender");
    EXPECT_EQ(list.entries[1].name, "Lumen \"Hold Fast\" Spray");
    EXPECT_EQ(list.entries[2].name, "Gift Set\nShampoo + Conditioner");
    // Blanks around a value are dropped, inside quotes too.
    EXPECT_EQ(list.entries[3].name, "spaced");
    // Each product carries the line its row starts on; the line break inside
    // the quoted name moves the next row down one line.
    EXPECT_EQ(list.entries[0].line, 2);
    EXPECT_EQ(list.entries[2].line, 4);
    EXPECT_EQ(list.entries[3].line, 6);
    EXPECT_EQ(list.entries[1].cost, 4.2);
    EXPECT_EQ(list.entries[2].retailPrice, 24.0);
}

TEST(PriceListCsvTest, AcceptsAByteOrderMarkAnyColumnOrderAndHeaderSpellings)
{
    PriceList list = parse("\xEF\xBB\xBF"
                           "Retail_Price , DELETE, Product Name,Supplier,QuickID,COST\n"
                           "5.99,yes,Shampoo,Acme,SH1,2.5\n"
                           "\n"
                           ",,,,,\n"
                           "7,,Conditioner,Acme,CN1,\n");
    ASSERT_TRUE(list.ok()) << ::testing::PrintToString(list.errors);
    ASSERT_EQ(list.entries.size(), 2u);
    EXPECT_EQ(list.entries[0].quickid, "SH1");
    EXPECT_EQ(list.entries[0].name, "Shampoo");
    EXPECT_EQ(list.entries[0].cost, 2.5);
    EXPECT_EQ(list.entries[0].retailPrice, 5.99);
    EXPECT_TRUE(list.entries[0].deleted);
    // Blank lines and rows of empty cells are passed over.
    EXPECT_EQ(list.entries[1].line, 5);
    EXPECT_FALSE(list.entries[1].deleted);
    EXPECT_FALSE(list.entries[1].cost.has_value());
    EXPECT_THAT(list.warnings, ElementsAre("prices.csv, line 1: column 4 \"Supplier\" is ignored"));

    for (const char* header : {"code,product name,cost,retailprice", "Product Code,Name,Cost,Price",
                               "product-code,NAME,cost,RETAIL PRICE,deleted"}) {
        PriceList other = parse(std::string(header) + "\nX,Y,1,2,\n");
        EXPECT_TRUE(other.ok()) << header << ": " << ::testing::PrintToString(other.errors);
    }
}

TEST(PriceListCsvTest, EmptyCostsAndPricesStayEmptyAndFlagsTakeEveryAcceptedSpelling)
{
    PriceList list = parse("code,name,cost,price,deleted\n"
                           "A,a,,,\nB,b, ,3,0\nC,c,0,,1\nD,d,1,1,NO\nE,e,1,1,True\nF,f,1,1,false\nG,g,1,1,Yes\n");
    ASSERT_TRUE(list.ok()) << ::testing::PrintToString(list.errors);
    ASSERT_EQ(list.entries.size(), 7u);
    EXPECT_FALSE(list.entries[0].cost.has_value());
    EXPECT_FALSE(list.entries[0].retailPrice.has_value());
    EXPECT_FALSE(list.entries[1].cost.has_value());
    // Zero is a value, not an empty cell.
    EXPECT_EQ(list.entries[2].cost, 0.0);
    std::vector<bool> deleted;
    for (const PriceListEntry& entry : list.entries)
        deleted.push_back(entry.deleted);
    EXPECT_THAT(deleted, ElementsAre(false, false, true, false, true, false, true));
}

TEST(PriceListCsvTest, AmountsArePlainNonNegativeDecimals)
{
    auto amount = [](std::string_view cell) {
        Result<std::optional<double>> parsed = PriceListCsv::parseAmount(cell);
        EXPECT_TRUE(parsed.ok()) << cell << ": " << parsed.error();
        return parsed ? *parsed : std::nullopt;
    };
    EXPECT_EQ(amount(" 12.50 "), 12.5);
    EXPECT_EQ(amount(".75"), 0.75);
    EXPECT_EQ(amount("3."), 3.0);
    EXPECT_EQ(amount("+4"), 4.0);
    EXPECT_EQ(amount("-0"), 0.0);
    EXPECT_FALSE(amount("").has_value());

    for (const char* bad : {"abc", "1e3", "inf", "nan", "$5", "1.2.3", ".", "-", "12 50", "0x10"}) {
        Result<std::optional<double>> refused = PriceListCsv::parseAmount(bad);
        EXPECT_FALSE(refused.ok()) << bad;
        EXPECT_THAT(refused.error(), HasSubstr("is not a number")) << bad;
    }
    EXPECT_THAT(PriceListCsv::parseAmount("1,234.50").error(), HasSubstr("no thousands separator"));
    EXPECT_EQ(PriceListCsv::parseAmount("-2.5").error(), "\"-2.5\" is negative");
    EXPECT_THAT(PriceListCsv::parseAmount(std::string(400, '9')).error(), HasSubstr("is too large"));
}

TEST(PriceListCsvTest, EveryBadLineIsReportedWithItsNumberAndRefusesTheFile)
{
    PriceList list = parse("code,name,cost,price,deleted\n"
                           "A1,good,1,2,0\n"
                           ",no code,1,2,0\n"
                           "A3,text cost,abc,2,0\n"
                           "A4,negative price,1,-2,0\n"
                           "A5,bad flag,1,2,maybe\n"
                           "A6,short row,1\n"
                           "A7,long row,1,2,0,extra\n"
                           "A8,trailing empty cells are fine,1,2,0,,\n");
    EXPECT_FALSE(list.ok());
    EXPECT_THAT(list.errors,
                ElementsAre("prices.csv, line 3: the product code is missing",
                            "prices.csv, line 4: cost \"abc\" is not a number",
                            "prices.csv, line 5: retail price \"-2\" is negative",
                            "prices.csv, line 6: deleted flag \"maybe\" is not one of 0, 1, yes, no, true, false or "
                            "empty",
                            "prices.csv, line 7: has 3 fields where the header has 5",
                            "prices.csv, line 8: has 6 fields where the header has 5"));
}

TEST(PriceListCsvTest, AMissingOrRepeatedColumnRefusesTheFileAtTheHeader)
{
    PriceList missing = parse("name,cost,retail\nShampoo,1,2\n");
    EXPECT_THAT(missing.errors,
                ElementsAre("prices.csv, line 1: the header names no product code column (expected one headed "
                            "\"code\", \"product code\" or \"quickid\")",
                            "prices.csv, line 1: the header names no retail price column (expected one headed "
                            "\"retail price\", \"retailprice\" or \"price\")"));
    EXPECT_TRUE(missing.entries.empty());

    PriceList twice = parse("code,name,cost,price,Retail Price\nA,b,1,2,3\n");
    EXPECT_EQ(onlyError(twice), "prices.csv, line 1: columns 4 and 5 both give the retail price");

    EXPECT_THAT(onlyError(parse("code;name;cost;price\nA;b;1,5;2\n")), HasSubstr("line 1: the columns are separated by "
                                                                                 "semicolons or tabs"));

    // The header is the first row that is not blank.
    PriceList late = parse("\n\nname,cost,price\nx,1,2\n");
    EXPECT_THAT(onlyError(late), HasSubstr("prices.csv, line 3: the header names no product code column"));
}

TEST(PriceListCsvTest, BrokenQuotingIsReportedWhereItHappens)
{
    PriceList stray = parse("code,name,cost,price\nA,\"Oil\" 50 ml,1,2\nB,ok,1,2\n");
    EXPECT_THAT(onlyError(stray), HasSubstr("prices.csv, line 2: text follows the closing quote"));

    // An unclosed quote swallows the rest of the file; the message names the
    // line where the quote opened, not the last line.
    PriceList unclosed = parse("code,name,cost,price\nA,ok,1,2\nB,\"never closed,1,2\nC,x,1,2\n");
    EXPECT_EQ(onlyError(unclosed), "prices.csv, line 3: a quoted field that starts on this line is never closed");
}

TEST(PriceListCsvTest, RepeatedCodesAreWarningsIgnoringLetterCase)
{
    PriceList list = parse("code,name,cost,price\nAB1,a,1,2\nCD2,b,1,2\nab1,c,1,2\nAB1,d,1,2\n");
    ASSERT_TRUE(list.ok());
    EXPECT_EQ(list.entries.size(), 4u);
    EXPECT_THAT(list.warnings,
                ElementsAre("prices.csv, line 4: product code \"ab1\" already appears on line 2; both rows are kept",
                            "prices.csv, line 5: product code \"AB1\" already appears on line 2; both rows are kept"));
}

TEST(PriceListCsvTest, FilesThatAreNotUtf8CsvTextAreRefusedAsAWhole)
{
    EXPECT_EQ(onlyError(parse("")), "prices.csv: is empty; a price list starts with a header row naming its columns");
    EXPECT_EQ(onlyError(parse("\n \n")),
              "prices.csv: is empty; a price list starts with a header row naming its columns");
    EXPECT_EQ(onlyError(parse("code,name,cost,price\n")), "prices.csv: holds a header row but no products");
    EXPECT_THAT(onlyError(parse("code,name,cost,price\nA,Cr\xE8me,1,2\n")),
                HasSubstr("prices.csv, line 2: is not UTF-8 text"));
    EXPECT_THAT(onlyError(parse(std::string("\xFF\xFE"
                                            "c\0o\0",
                                            6))),
                HasSubstr("is UTF-16 text"));
    EXPECT_THAT(onlyError(parse(std::string("PK\x03\x04\x14\0", 6))), HasSubstr("not CSV text"));
    EXPECT_THAT(onlyError(parse(std::string("code,name\0", 10))), HasSubstr("NUL bytes"));
    EXPECT_TRUE(parse("code,name,cost,price\nA,Cr\xC3\xA8me,1,2\n").ok());
}

TEST(PriceListCsvTest, ReadFileNamesTheFileItCannotRead)
{
    test::TempDir dir;
    PriceList missing = PriceListCsv::readFile(dir.file("none.csv"));
    EXPECT_THAT(missing.errors, ElementsAre(dir.file("none.csv") + ": cannot be read"));

    std::string path = dir.write("p.csv", "code,name,cost,price\nA,b,x,2\n");
    EXPECT_THAT(PriceListCsv::readFile(path).errors, ElementsAre(path + ", line 2: cost \"x\" is not a number"));
    EXPECT_THAT(PriceListCsv::readFile(dir.path().string()).errors,
                ElementsAre(dir.path().string() + ": is a folder, not a price list"));
}

} // namespace
