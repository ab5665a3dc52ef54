// The terminal review over real database files, driven through text streams:
// its table, and the messages it shares with the window.
#include "review/ConsoleReview.h"

#include "ReviewFixture.h"

#include <filesystem>
#include <sstream>
#include <sys/wait.h>
#include <unistd.h>

namespace tarvex::test {

namespace {

class ConsoleReviewTest : public ReviewFixture {
protected:
    std::istringstream in;
    std::ostringstream out;
    std::ostringstream err;
    ConsolePrompter console{in, out, err, false};
};

TEST_F(ConsoleReviewTest, AListThatCannotBeBuiltIsReportedAndEndsTheRun)
{
    make({{1, "A1", "Alpha", 2.0, 3.0}}, {{"A1", 1.0, 3.0}});
    execSql(hostPath, "DROP TABLE product;");
    open();
    PriceReview review(*update, *host, console);
    ConsoleReview terminal(review, console, {});
    EXPECT_EQ(terminal.run(), RunEnd::Error);
    EXPECT_EQ(out.str().rfind("[Error Reading Database] The list of proposed changes could not be built.\n", 0), 0u)
        << out.str();
    EXPECT_EQ(out.str().find("Proposed Changes to Products"), std::string::npos);
}

TEST_F(ConsoleReviewTest, MarksFollowTheSelectionAndAPdfWithoutPrinterIsRefused)
{
    make({{1, "A1", "Alpha", 2.0, 3.0}, {2, "B2", "Beta", 5.0, 9.0}}, {{"A1", 1.0, 3.0}, {"B2", 1.0, 3.0}});
    open();
    PriceReview review(*update, *host, console);
    ASSERT_TRUE(review.build().ok());
    ConsoleReview terminal(review, console, {});
    EXPECT_TRUE(terminal.execute("SELECT 2"));
    std::string table = terminal.tableText();
    EXPECT_NE(table.find("\n1 | [ ] | A1"), std::string::npos) << table;
    EXPECT_NE(table.find("\n2 | [x] | B2"), std::string::npos) << table;
    EXPECT_EQ(table.find(" \n"), std::string::npos) << "no trailing blanks";

    EXPECT_TRUE(terminal.execute("print " + dir.file("list.pdf")));
    EXPECT_NE(out.str().find("[Print List] The list could not be printed."), std::string::npos) << out.str();
    EXPECT_FALSE(std::filesystem::exists(dir.file("list.pdf")));

    EXPECT_FALSE(terminal.execute("exit"));
    EXPECT_EQ(terminal.end(), RunEnd::Normal);
    EXPECT_EQ(readHostProducts(hostPath).at(1).cost, 1.0);
}

TEST_F(ConsoleReviewTest, ALongNameIsCutInTheTableAndShownWholeByShow)
{
    std::string longName = "Шампунь \x1b[2J" + std::string(200000, 'x') + " end";
    make({{1, "A1", longName, 2.0, 3.0}, {2, "B\n2", "Beta\xc2\x9b", 5.0, 9.0}},
         {{"A1", 1.0, 3.0}, {"B\n2", 1.0, 3.0}});
    open();
    PriceReview review(*update, *host, console);
    ASSERT_TRUE(review.build().ok());
    ConsoleReview terminal(review, console, {});
    std::string table = terminal.tableText();
    EXPECT_LT(table.size(), 1000u) << "each cell is cut at " << ConsoleReview::kCellWidth << " columns";
    EXPECT_NE(table.find("\n1 | [ ] | A1 "), std::string::npos) << table;
    EXPECT_NE(table.find("| Шампунь \\x1b[2Jxxx"), std::string::npos) << table;
    EXPECT_NE(table.find("x…"), std::string::npos) << table;
    EXPECT_NE(table.find("\n2 | [ ] | B\\x0a2"), std::string::npos) << table;
    EXPECT_NE(table.find("Beta\\u009b"), std::string::npos) << table;

    EXPECT_TRUE(terminal.execute("show 1"));
    EXPECT_NE(out.str().find("  Product Name: Шампунь \\x1b[2J" + std::string(200000, 'x') + " end\n"),
              std::string::npos);
    EXPECT_EQ(out.str().find('\x1b'), std::string::npos);
    EXPECT_TRUE(terminal.execute("show 3"));
    EXPECT_NE(out.str().find("no row 3 (rows are 1 to 2)"), std::string::npos);
}

// Each case names the file "print" is given (after the set-up made it) and
// whether the list may be written there; a refused file keeps its content.
TEST_F(ConsoleReviewTest, PrintNeverWritesOverADatabaseAJournalOrABackup)
{
    make({{1, "A1", "Alpha", 2.0, 3.0}}, {{"A1", 1.0, 3.0}});
    open();
    std::string backup = hostPath + "_Tarvex_12062026215742";
    std::filesystem::copy_file(hostPath, backup);
    namespace fs = std::filesystem;
    fs::create_directories(dir.file("sub"));
    dir.write("notes.txt", "old notes\n");
    fs::copy_file(hostPath, dir.file("renamed-host"));
    dir.write("access.mdb", std::string("\0\1\0\0Standard Jet DB\0", 20));
    dir.write("other_Tarvex_01012026000000_2", "a backup of another host\n");
    fs::create_symlink(hostPath, dir.file("list.txt"));
    fs::create_symlink("../" + fs::path(backup).filename().string(), dir.file("sub/backup.txt"));
    fs::create_symlink(hostPath + "-wal", dir.file("wal.txt"));
    fs::create_symlink("notes.txt", dir.file("notes-link.txt"));

    struct Case {
        std::string path;
        bool written;
    } cases[] = {
        {hostPath, false},
        {dir.file("list.txt"), false},
        {dir.file("sub/../kv.mdb"), false},
        {updatePath, false},
        {backup, false},
        {dir.file("sub/backup.txt"), false},
        {hostPath + "-journal", false},
        {dir.file("wal.txt"), false},
        {updatePath + "-shm", false},
        {dir.file("renamed-host"), false},
        {dir.file("access.mdb"), false},
        {dir.file("other_Tarvex_01012026000000_2"), false},
        {dir.file("sub"), false},
        {dir.file("notes-link.txt"), true},
        {dir.file("sub/new.txt"), true},
    };
    for (const Case& c : cases) {
        std::string before = fs::exists(c.path) && fs::is_regular_file(c.path) ? readFile(c.path) : "";
        in.clear();
        in.str("yes\n");
        out.str("");
        PriceReview review(*update, *host, console);
        ASSERT_TRUE(review.build().ok());
        ConsoleReview terminal(review, console, {}, {hostPath, updatePath, backup});
        EXPECT_TRUE(terminal.execute("print " + c.path));
        bool printed = out.str().find("The list was printed to") != std::string::npos;
        EXPECT_EQ(printed, c.written) << c.path << "\n" << out.str();
        if (c.written)
            continue;
        if (fs::is_regular_file(c.path)) {
            EXPECT_EQ(readFile(c.path), before) << c.path;
        }
        EXPECT_NE(out.str().find("[Print List] The list could not be printed."), std::string::npos) << out.str();
    }
    // Through a link the question names the file that is replaced, and the
    // link stays a link.
    in.clear();
    in.str("yes\n");
    out.str("");
    PriceReview review(*update, *host, console);
    ASSERT_TRUE(review.build().ok());
    ConsoleReview terminal(review, console, {});
    EXPECT_TRUE(terminal.execute("print " + dir.file("notes-link.txt")));
    EXPECT_NE(out.str().find("[Print List] " + dir.file("notes.txt") + " (linked from " + dir.file("notes-link.txt") +
                             ") already exists."),
              std::string::npos)
        << out.str();
    EXPECT_TRUE(fs::is_symlink(dir.file("notes-link.txt")));
    EXPECT_EQ(readFile(dir.file("notes.txt")).rfind("Product Updates\n", 0), 0u);
    EXPECT_EQ(readHostProducts(hostPath).at(0).cost, 1.0);
    for (const char* journal : {"-journal", "-wal", "-shm"})
        EXPECT_FALSE(fs::exists(hostPath + journal) || fs::exists(updatePath + journal)) << journal;
    for (const auto& entry : fs::directory_iterator(dir.path()))
        EXPECT_EQ(entry.path().string().find(".part"), std::string::npos) << entry.path();
}

// A shared folder both users may write, holding a file the user may not
// write: "print" must refuse it before asking, though the folder would let
// the staged list be renamed over it; a file the user may write is replaced
// as before. Run as another user (nobody) in a child when the test runs as
// root, for whom every file is writable; otherwise the user's own file is
// made read-only.
TEST_F(ConsoleReviewTest, PrintNeverReplacesAFileTheUserMayNotWrite)
{
    make({{1, "A1", "Alpha", 2.0, 3.0}}, {{"A1", 1.0, 3.0}});
    open();
    namespace fs = std::filesystem;
    fs::permissions(dir.path(), fs::perms::group_exec | fs::perms::others_exec, fs::perm_options::add);
    fs::create_directories(dir.file("shared"));
    fs::permissions(dir.file("shared"), fs::perms::all);
    std::string theirs = dir.write("shared/notes.txt", "alice's notes\n");
    std::string writable = dir.write("shared/open.txt", "anyone's notes\n");
    fs::permissions(theirs, fs::perms::owner_read);
    fs::permissions(writable, static_cast<fs::perms>(0666));
    PriceReview review(*update, *host, console);
    ASSERT_TRUE(review.build().ok());
    in.str("yes\nyes\n");

    int pipeFds[2];
    ASSERT_EQ(::pipe(pipeFds), 0);
    pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        ::close(pipeFds[0]);
        if (::getuid() == 0 && (::setgid(65534) != 0 || ::setuid(65534) != 0))
            ::_exit(77);
        ConsoleReview terminal(review, console, {}, {hostPath, updatePath});
        terminal.execute("print " + theirs);
        terminal.execute("print " + writable);
        std::string text = out.str();
        bool written = ::write(pipeFds[1], text.data(), text.size()) == static_cast<ssize_t>(text.size());
        ::_exit(written ? 0 : 1);
    }
    ::close(pipeFds[1]);
    std::string text;
    char buffer[4096];
    for (ssize_t n; (n = ::read(pipeFds[0], buffer, sizeof buffer)) > 0;)
        text.append(buffer, static_cast<std::size_t>(n));
    ::close(pipeFds[0]);
    int status = 0;
    ASSERT_EQ(::waitpid(child, &status, 0), child);
    ASSERT_TRUE(WIFEXITED(status));
    if (WEXITSTATUS(status) == 77)
        GTEST_SKIP() << "the test runs as root but cannot take on another user's id (65534)";
    ASSERT_EQ(WEXITSTATUS(status), 0);

    EXPECT_EQ(readFile(theirs), "alice's notes\n");
    EXPECT_EQ(text.find(theirs + " already exists"), std::string::npos) << text;
    EXPECT_NE(text.find(theirs + ": you may not write this file (Permission denied); the list is not written over it"),
              std::string::npos)
        << text;
    EXPECT_NE(text.find(writable + " already exists"), std::string::npos) << text;
    EXPECT_EQ(readFile(writable).rfind("Product Updates\n", 0), 0u);
}

} // namespace

} // namespace tarvex::test
