// The printed list, as a PDF file read back with pdftotext, and the plain-text
// listing.
#include "review/qt/ListPrinter.h"
#include "data/RunJournal.h"
#include "review/ListingText.h"
#include "support/TempDir.h"

#include <gtest/gtest.h>

#include <QPrinter>

#include <csignal>
#include <cstdio>
#include <filesystem>

#include <sstream>
#include <sys/resource.h>

using namespace tarvex;
using namespace tarvex::test;

namespace {

std::vector<ProposedChange> sampleRows(int count)
{
    std::vector<ProposedChange> rows;
    for (int i = 0; i < count; ++i) {
        char code[16];
        std::snprintf(code, sizeof code, "CODE-%03d", i);
        rows.push_back(
            {i + 1, code, "Product " + std::to_string(i), 10, 20, 12.5, 25, ChangeLabel::CostAndPriceChange});
    }
    return rows;
}

std::string pdfText(const std::string& pdf)
{
    std::string command = "pdftotext -layout '" + pdf + "' - 2>/dev/null";
    FILE* pipe = popen(command.c_str(), "r");
    if (!pipe)
        return {};
    std::string text;
    char buffer[4096];
    size_t n;
    while ((n = fread(buffer, 1, sizeof buffer, pipe)) > 0)
        text.append(buffer, n);
    pclose(pipe);
    return text;
}

TEST(ListPrinterTest, PrintsTitlesColumnTitlesOnEveryPageAndEveryCode)
{
    TempDir dir;
    std::string pdf = dir.file("list.pdf");
    std::vector<ProposedChange> rows = sampleRows(120);
    PrintHeading heading{"Acme Beauty", "/srv/salon/kv.mdb", 0, std::vector<char>(120, 0)};
    heading.selected[1] = heading.selected[119] = 1;
    Status printed = printListToPdf(rows, pdf, heading);
    ASSERT_TRUE(printed.ok()) << printed.error();

    std::string text = pdfText(pdf);
    ASSERT_FALSE(text.empty()) << "pdftotext gave nothing for " << pdf;
    std::vector<std::string> pages;
    std::stringstream split(text);
    for (std::string page; std::getline(split, page, '\f');)
        if (page.find_first_not_of(" \n") != std::string::npos)
            pages.push_back(page);
    ASSERT_GE(pages.size(), 2u) << "120 rows should need more than one page";
    EXPECT_NE(pages[0].find("Product Updates"), std::string::npos);
    EXPECT_NE(pages[0].find("Proposed Product Changes"), std::string::npos);
    EXPECT_EQ(pages[1].find("Product Updates"), std::string::npos);
    // Narrow columns may wrap their titles over two lines, so the words are
    // looked for one by one.
    for (const std::string& page : pages)
        for (const char* title : {"Product Code", "Product Name", "Current", "New Cost", "New Price", "Change"})
            EXPECT_NE(page.find(title), std::string::npos) << title;
    std::size_t marks = 0;
    for (std::size_t i = 0; i < pages.size(); ++i) {
        const std::string& page = pages[i];
        std::string number = "Page " + std::to_string(i + 1) + " of " + std::to_string(pages.size());
        EXPECT_NE(page.find(number), std::string::npos) << number;
        EXPECT_NE(page.find("Vendor: Acme Beauty"), std::string::npos) << number;
        EXPECT_NE(page.find("/srv/salon/kv.mdb"), std::string::npos) << number;
        for (std::size_t at = page.find("[x]"); at != std::string::npos; at = page.find("[x]", at + 1))
            ++marks;
    }
    EXPECT_EQ(marks, 2u);
    EXPECT_NE(text.find("[x] CODE-001"), std::string::npos);
    for (const std::string& page : pages) {
        size_t current = page.find("Current");
        ASSERT_NE(current, std::string::npos);
        EXPECT_NE(page.find("Current", current + 1), std::string::npos) << "both Current columns";
        EXPECT_NE(page.find("Price"), std::string::npos);
    }

    size_t last = 0;
    for (const ProposedChange& row : rows) {
        size_t at = text.find(row.quickid);
        ASSERT_NE(at, std::string::npos) << row.quickid;
        EXPECT_GT(at, last) << row.quickid << " out of list order";
        last = at;
    }
    EXPECT_NE(text.find("12.5"), std::string::npos);
}

TEST(ListPrinterTest, AnUnwritablePdfFileIsReportedByName)
{
    TempDir dir;
    std::string pdf = dir.file("no/such/folder/list.pdf");
    Status printed = printListToPdf(sampleRows(1), pdf);
    EXPECT_FALSE(printed.ok());
    EXPECT_NE(printed.error().find(pdf), std::string::npos) << printed.error();
}

// The window's print dialog may print to a file: a link to a database or a
// backup is refused, and an existing file is replaced only once the new PDF
// is complete, with nothing left beside it.
TEST(ListPrinterTest, PrintingToAFileFromTheDialogNeverWritesOverADatabase)
{
    namespace fs = std::filesystem;
    TempDir dir;
    std::string host = dir.write("kv.mdb", std::string("SQLite format 3\0", 16) + "pages");
    std::string other = dir.write("other.mdb", std::string("\0\1\0\0Standard ACE DB\0", 20));
    fs::create_symlink(host, dir.file("host.pdf"));
    fs::create_symlink(other, dir.file("other.pdf"));
    std::string old = dir.write("list.pdf", "old list");
    for (const char* name : {"host.pdf", "other.pdf", "kv.mdb-wal", "list.pdf"}) {
        QPrinter printer(QPrinter::HighResolution);
        printer.setOutputFormat(QPrinter::PdfFormat);
        printer.setOutputFileName(QString::fromStdString(dir.file(name)));
        Status printed = printList(sampleRows(3), printer, nullptr, {host});
        EXPECT_EQ(printed.ok(), std::string(name) == "list.pdf") << name << ": " << printed.error();
    }
    EXPECT_EQ(readFile(host), std::string("SQLite format 3\0", 16) + "pages");
    EXPECT_EQ(readFile(other).substr(4, 15), "Standard ACE DB");
    EXPECT_FALSE(fs::exists(dir.file("kv.mdb-wal")));
    EXPECT_NE(pdfText(old).find("CODE-002"), std::string::npos);
    for (const auto& entry : fs::directory_iterator(dir.path()))
        EXPECT_EQ(entry.path().string().find(".part"), std::string::npos) << entry.path();
}

// A PDF that meets a full disk (here a file-size limit) fails with the
// system's reason and leaves the file it was to replace as it was.
TEST(ListPrinterTest, APdfThatCannotBeWrittenLeavesTheOldFile)
{
    TempDir dir;
    std::string old = dir.write("list.pdf", "old list");
    auto previousHandler = std::signal(SIGXFSZ, SIG_IGN);
    rlimit previous{};
    ::getrlimit(RLIMIT_FSIZE, &previous);
    rlimit limit{4096, previous.rlim_max};
    ::setrlimit(RLIMIT_FSIZE, &limit);
    Status printed = printListToPdf(sampleRows(200), old);
    ::setrlimit(RLIMIT_FSIZE, &previous);
    std::signal(SIGXFSZ, previousHandler);
    EXPECT_FALSE(printed.ok());
    EXPECT_NE(printed.error().find(old + ": cannot be written: File too large"), std::string::npos) << printed.error();
    EXPECT_EQ(readFile(old), "old list");
    for (const auto& entry : std::filesystem::directory_iterator(dir.path()))
        EXPECT_EQ(entry.path().string().find(".part"), std::string::npos) << entry.path();
}

TEST(ListPrinterTest, PlainTextListingLinesUpTheColumns)
{
    std::vector<ProposedChange> rows = sampleRows(2);
    rows[1].name = "Tab\tand\nbreak";
    rows[1].newCost.reset();
    PrintHeading heading{"Acme\x1b Beauty", "/salon/kv.mdb", 1765190000, {1, 0}};
    std::string text = listingText(rows, heading);
    std::vector<std::string> lines;
    std::stringstream split(text);
    for (std::string line; std::getline(split, line);)
        lines.push_back(line);
    ASSERT_EQ(lines.size(), 7u) << text;
    EXPECT_EQ(lines[0], "Product Updates");
    EXPECT_EQ(lines[1], "Proposed Product Changes");
    EXPECT_EQ(lines[2], "Vendor: Acme\\x1b Beauty   " + runTimeText(1765190000) + "   /salon/kv.mdb");
    EXPECT_EQ(lines[3], "");
    EXPECT_EQ(lines[4].rfind("     Product Code", 0), 0u) << lines[4];
    // Numbers are right-aligned under their title.
    EXPECT_EQ(lines[5].find("10") + 2, lines[4].find("Current Cost") + 12);
    EXPECT_EQ(lines[5].rfind("[x]  CODE-000", 0), 0u) << lines[5];
    EXPECT_EQ(lines[6].rfind("[ ]  CODE-001", 0), 0u) << lines[6];
    EXPECT_NE(lines[6].find("Tab\\x09and\\x0abreak"), std::string::npos) << "control characters made visible";
    // Each row's change label starts where its title starts.
    EXPECT_EQ(lines[5].find(" Cost Change"), lines[4].find("Change"));
    EXPECT_EQ(lines[5].find(" Cost Change"), lines[6].find(" Cost Change"));
}

} // namespace
