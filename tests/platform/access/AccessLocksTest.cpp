// Who else has an Access database, Tarvex's own claim on one, and saving
// records under that claim: genuine Access files copied into a temporary
// folder, lock files as Access writes them, and real child processes that
// hold locks on the files or have them open.
#include "platform/access/AccessCopy.h"
#include "platform/access/AccessFileClaim.h"
#include "platform/access/AccessFileUsers.h"
#include "platform/access/AccessLockFile.h"
#include "platform/access/AccessSaving.h"
#include "platform/os/StopSignals.h"
#include "platform/os/UserIdentity.h"

#include "support/Fixtures.h"
#include "support/ProcessRunner.h"
#include "support/TempDir.h"

#include <gtest/gtest.h>

#include <csignal>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

using namespace tarvex;
using namespace tarvex::test;

namespace {

// A lock file entry as Access writes it: each name ended by a NUL, the rest
// of its 32 bytes filled with pad.
std::string entry(const std::string& computer, const std::string& user, char pad = '\0')
{
    std::string computerField = computer + '\0';
    std::string userField = user + '\0';
    return computerField + std::string(32 - computerField.size(), pad) + userField +
           std::string(32 - userField.size(), pad);
}

// Two users, neither of them here any more unless a test holds a lock.
const std::string kTwoUsers = entry("FRONTDESK", "Admin", ' ') + entry("BACKOFFICE", "Anna");

std::string holdersOf(const AccessFileUsers& users)
{
    std::string text;
    for (const std::string& holder : users.holders)
        text += holder + "\n";
    return text;
}

AccessFileUsers usersOf(const std::string& database)
{
    Result<AccessFileUsers> users = findAccessFileUsers(database);
    EXPECT_TRUE(users.ok()) << users.error();
    return users.ok() ? *users : AccessFileUsers{};
}

// What a check made in another process finds: one holder a line, or
// "nobody".
std::string usersSeenByAnotherProcess(const std::string& database)
{
    return runInChild([&] {
        Result<AccessFileUsers> users = findAccessFileUsers(database);
        if (!users.ok())
            return users.error();
        return users->anyone() ? holdersOf(*users) : "nobody";
    });
}

enum class LockKind { Posix, OpenFileDescription, Flock };

// A child process of the test, killed when the object goes.
class ChildProcess {
public:
    ChildProcess() = default;
    ~ChildProcess()
    {
        if (m_pid > 0) {
            ::kill(m_pid, SIGKILL);
            ::waitpid(m_pid, nullptr, 0);
        }
    }
    ChildProcess(const ChildProcess&) = delete;
    ChildProcess& operator=(const ChildProcess&) = delete;

    pid_t pid() const { return m_pid; }

protected:
    pid_t m_pid = -1;
};

// A child process that holds a lock on a file until the object goes.
class LockingChild : public ChildProcess {
public:
    LockingChild(const std::string& path, LockKind kind, ByteRange range = {0, kToEnd})
    {
        int ready[2];
        if (::pipe(ready) != 0)
            return;
        m_pid = ::fork();
        if (m_pid == 0) {
            ::close(ready[0]);
            int fd = ::open(path.c_str(), O_RDWR);
            struct flock lock {};
            lock.l_type = F_WRLCK;
            lock.l_whence = SEEK_SET;
            lock.l_start = range.start;
            lock.l_len = range.length;
            bool locked = fd >= 0 && (kind == LockKind::Flock                 ? ::flock(fd, LOCK_EX) == 0
                                      : kind == LockKind::OpenFileDescription ? ::fcntl(fd, F_OFD_SETLK, &lock) == 0
                                                                              : ::fcntl(fd, F_SETLK, &lock) == 0);
            char answer = locked ? '1' : '0';
            if (::write(ready[1], &answer, 1) != 1)
                ::_exit(1);
            for (;;)
                ::pause();
        }
        ::close(ready[1]);
        char answer = '0';
        m_holding = m_pid > 0 && ::read(ready[0], &answer, 1) == 1 && answer == '1';
        ::close(ready[0]);
    }
    bool holding() const { return m_holding; }

private:
    bool m_holding = false;
};

// `sleep 30 < path`: another program with the file open, ended at the end.
class SleepingReader : public ChildProcess {
public:
    // program: the sleep program, or a link to it whose name the process
    // then has.
    explicit SleepingReader(const std::string& path, const std::string& program = "/bin/sleep")
    {
        // The write end closes when exec succeeds: then the program runs
        // under its own name with the file open.
        int started[2];
        if (::pipe2(started, O_CLOEXEC) != 0)
            return;
        m_pid = ::fork();
        if (m_pid == 0) {
            int fd = ::open(path.c_str(), O_RDONLY);
            if (fd < 0 || ::dup2(fd, 0) < 0)
                ::_exit(127);
            ::execl(program.c_str(), "sleep", "30", static_cast<char*>(nullptr));
            ::_exit(127);
        }
        ::close(started[1]);
        char ignored;
        while (::read(started[0], &ignored, 1) > 0) {
        }
        ::close(started[0]);
    }
};

} // namespace

TEST(AccessFileUsersTest, StaleLockFilesAreNobody)
{
    // Entries whose users have gone, under the names Access and a Windows
    // share give the lock file.
    struct Case {
        const char* fixture;
        const char* database;
        const char* lockFile;
        std::string bytes;
    } cases[] = {
        {"kv-single-2000.mdb", "kv.mdb", "kv.ldb", kTwoUsers},
        {"kv-single-2000.mdb", "kv.mdb", "KV.LDB", kTwoUsers},
        {"kv-single-2000.mdb", "KV.MDB", "kv.ldb", entry("FRONTDESK", "Admin")},
        {"testV1997.mdb", "kv.mdb", "kv.ldb", ""},
        {"invupdate-2007.accdb", "kv.accdb", "kv.laccdb", kTwoUsers},
    };
    for (const Case& c : cases) {
        TempDir dir;
        std::string database = copyFixture(dir, std::string("access/") + c.fixture, c.database);
        dir.write(c.lockFile, c.bytes);
        // The test's own descriptor on the file is not another user.
        int own = ::open(database.c_str(), O_RDONLY);
        AccessFileUsers users = usersOf(database);
        EXPECT_FALSE(users.anyone()) << c.lockFile << ": " << holdersOf(users);
        ::close(own);
    }
}

TEST(AccessFileUsersTest, ALockedEntryNamesItsUser)
{
    struct Case {
        const char* fixture;
        const char* database;
        const char* lockFile;
        ByteRange lock;
        std::string found;
        std::string notFound;
        std::string bytes = kTwoUsers;
    } cases[] = {
        // The entry's own bytes, as Tarvex locks them.
        {"kv-single-2000.mdb", "kv.mdb", "kv.ldb", {64, 64}, "Anna on computer BACKOFFICE", "FRONTDESK"},
        {"kv-single-2000.mdb", "kv.mdb", "KV.LDB", {70, 1}, "Anna on computer BACKOFFICE", "FRONTDESK"},
        // Access's user-lock byte for the first entry.
        {"kv-single-2000.mdb", "kv.mdb", "kv.ldb", {0x10000001, 1}, "Admin on computer FRONTDESK", "BACKOFFICE"},
        {"invupdate-2007.accdb", "kv.accdb", "kv.laccdb", {0x10000002, 1}, "Anna on computer BACKOFFICE", "FRONTDESK"},
        // A lock elsewhere: any of the users may be there.
        {"kv-single-2000.mdb",
         "kv.mdb",
         "kv.ldb",
         {0x20000000, 8},
         "a user of kv.ldb, one of: Admin on computer FRONTDESK, Anna on computer BACKOFFICE",
         ""},
        // Names in the Windows code page come out as UTF-8, and a control
        // character in them cannot reach the terminal.
        {"kv-single-2000.mdb",
         "kv.mdb",
         "kv.ldb",
         {0, 64},
         "Jos\xc3\xa9\\x1b[2J on computer CAF\xc3\x89",
         "\x1b",
         entry("CAF\xc9", "Jos\xe9\x1b[2J")},
    };
    for (const Case& c : cases) {
        TempDir dir;
        std::string database = copyFixture(dir, std::string("access/") + c.fixture, c.database);
        std::string lockFile = dir.write(c.lockFile, c.bytes);
        LockingChild child(lockFile, LockKind::Posix, c.lock);
        ASSERT_TRUE(child.holding());
        AccessFileUsers users = usersOf(database);
        std::string holders = holdersOf(users);
        EXPECT_NE(holders.find(c.found + "\n"), std::string::npos) << holders;
        if (!c.notFound.empty()) {
            EXPECT_EQ(holders.find(c.notFound), std::string::npos) << holders;
        }
        std::string message = users.message(database);
        EXPECT_EQ(message.rfind(database + " is in use by ", 0), 0u) << message;
        EXPECT_NE(message.find(". Close the salon application on every computer and run Tarvex again."),
                  std::string::npos)
            << message;
    }
}

// Reported, and no copy of the file is taken while the lock is held: a
// program holding it may be writing the file.
TEST(AccessFileUsersTest, ALockOnTheDatabaseIsReported)
{
    TempDir dir;
    std::string database = copyFixture(dir, "access/kv-single-2000.mdb", "kv.mdb");
    dir.write("kv.ldb", kTwoUsers);
    SystemFileCopy plainCopy;
    for (LockKind kind : {LockKind::Posix, LockKind::OpenFileDescription, LockKind::Flock}) {
        // A Windows program under Wine locks beyond the end of the file.
        LockingChild child(database, kind, {0x10000000, 1});
        ASSERT_TRUE(child.holding());
        CopyResult copied = copyAccessFile(database, dir.file("kv.mdb_Tarvex_backup"), plainCopy, nullptr);
        EXPECT_EQ(copied.outcome, CopyResult::Outcome::Failed);
        EXPECT_EQ(copied.error, usersOf(database).message(database));
        EXPECT_FALSE(std::filesystem::exists(dir.file("kv.mdb_Tarvex_backup")));
        std::string holders = holdersOf(usersOf(database));
        // A POSIX lock tells its process; the others only that a program holds them.
        std::string holder = kind == LockKind::Posix ? "process " + std::to_string(child.pid()) + " (" : "a program";
        EXPECT_NE(holders.find(holder), std::string::npos) << holders;
        EXPECT_NE(holders.find(" holding a lock on kv.mdb\n"), std::string::npos) << holders;
        // Only a lock on the lock file makes an entry live.
        EXPECT_EQ(holders.find("FRONTDESK"), std::string::npos) << holders;
    }
}

TEST(AccessFileUsersTest, AProgramWithTheFileOpenIsNamed)
{
    TempDir dir;
    std::string database = copyFixture(dir, "access/kv-single-2000.mdb", "kv.mdb");
    std::string lockFile = dir.write("kv.ldb", kTwoUsers);
    {
        SleepingReader reader(database);
        std::string holders = holdersOf(usersOf(database));
        EXPECT_EQ(holders, "process " + std::to_string(reader.pid()) + " (sleep) with kv.mdb open\n");
    }
    SleepingReader reader(lockFile);
    std::string holders = holdersOf(usersOf(database));
    EXPECT_EQ(holders, "process " + std::to_string(reader.pid()) + " (sleep) with kv.ldb open\n");
}

TEST(AccessFileUsersTest, OtherUsersProcessesMakeTheCheckPartial)
{
    if (::geteuid() != 0)
        GTEST_SKIP() << "needs root, to look as another user at root's processes";
    TempDir dir;
    std::string database = copyFixture(dir, "access/kv-single-2000.mdb", "kv.mdb");
    std::filesystem::permissions(dir.path(), std::filesystem::perms(0755));
    std::string seen = runInChild(
        [&] {
            Result<AccessFileUsers> users = findAccessFileUsers(database);
            if (!users.ok())
                return users.error();
            return (users->anyone() ? "someone; " : "nobody; ") + users->unchecked;
        },
        true);
    EXPECT_EQ(seen.rfind("nobody; the open files of ", 0), 0u) << seen;
    EXPECT_NE(seen.find(" of other users could not be checked"), std::string::npos) << seen;
}

TEST(AccessFileClaimTest, RegistersAsAUserAndRemovesTheLockFileItMade)
{
    struct Case {
        const char* fixture;
        const char* database;
        const char* lockFile;
    } cases[] = {{"kv-single-2000.mdb", "kv.mdb", "kv.ldb"},
                 {"testV1997.mdb", "KV.MDB", "KV.ldb"},
                 {"invupdate-2007.accdb", "kv.accdb", "kv.laccdb"}};
    for (const Case& c : cases) {
        TempDir dir;
        std::string database = copyFixture(dir, std::string("access/") + c.fixture, c.database);
        {
            Result<AccessFileClaim> claim = AccessFileClaim::take(database);
            ASSERT_TRUE(claim.ok()) << claim.error();
            EXPECT_EQ(claim->lockFilePath(), dir.file(c.lockFile));
            EXPECT_EQ(claim->slot(), 0);
            std::string bytes = readFile(dir.file(c.lockFile));
            EXPECT_EQ(bytes, lockFileEntry(computerName(), userName()));
            ASSERT_EQ(bytes.size(), 64u);
            EXPECT_EQ(bytes.substr(0, bytes.find('\0')), computerName().substr(0, 31));

            // Another process sees the claim's entry live and its lock.
            std::string seen = usersSeenByAnotherProcess(database);
            std::string self = userName() + " on computer " + computerName();
            EXPECT_NE(seen.find(self + "\n"), std::string::npos) << seen;
            EXPECT_NE(seen.find("a program holding a lock on " + std::string(c.database) + "\n"), std::string::npos)
                << seen;
            // The claim itself finds nobody.
            Result<AccessFileUsers> others = claim->others();
            ASSERT_TRUE(others.ok()) << others.error();
            EXPECT_FALSE(others->anyone()) << holdersOf(*others);
        }
        EXPECT_FALSE(std::filesystem::exists(dir.file(c.lockFile))) << c.lockFile;
        EXPECT_EQ(usersSeenByAnotherProcess(database), "nobody");
    }
}

TEST(AccessFileClaimTest, PutsAFoundLockFileBackAsItWas)
{
    // Two stale entries, and a file cut short inside its last entry.
    for (std::string found : {kTwoUsers, kTwoUsers.substr(0, 100)}) {
        TempDir dir;
        std::string database = copyFixture(dir, "access/kv-single-2000.mdb", "kv.mdb");
        std::string lockFile = dir.write("kv.ldb", found);
        // A time of its own, to see it put back.
        timespec times[2] = {{1000000000, 0}, {1000000000, 0}};
        ASSERT_EQ(::utimensat(AT_FDCWD, lockFile.c_str(), times, 0), 0);
        {
            Result<AccessFileClaim> claim = AccessFileClaim::take(database);
            ASSERT_TRUE(claim.ok()) << claim.error();
            // The first entry nobody holds, as Access takes one.
            EXPECT_EQ(claim->slot(), 0);
            std::string seen = usersSeenByAnotherProcess(database);
            EXPECT_NE(seen.find(userName() + " on computer " + computerName()), std::string::npos) << seen;
            EXPECT_EQ(seen.find("BACKOFFICE"), std::string::npos) << seen;
        }
        EXPECT_EQ(readFile(lockFile), found);
        struct stat info {};
        ASSERT_EQ(::stat(lockFile.c_str(), &info), 0);
        EXPECT_EQ(info.st_mtim.tv_sec, 1000000000);
    }
}

TEST(AccessFileClaimTest, AStopSignalEndsTheClaimAsAnyReturnDoes)
{
    TempDir dir;
    std::string database = copyFixture(dir, "access/kv-single-2000.mdb", "kv.mdb");
    std::string lockFile = dir.write("kv.ldb", kTwoUsers);
    std::string ended = runInChild([&] {
        StopSignals stop;
        Result<AccessFileClaim> claim = AccessFileClaim::take(database);
        if (!claim.ok())
            return claim.error();
        ::raise(SIGTERM);
        // A writer's loop ends at its next safe point, and the claim with it.
        while (!StopSignals::requested()) {
        }
        return StopSignals::askedBy();
    });
    EXPECT_EQ(ended, "SIGTERM");
    EXPECT_EQ(readFile(lockFile), kTwoUsers);
}

TEST(AccessFileClaimTest, RefusesAFileSomebodyHasAndChangesNothing)
{
    TempDir dir;
    std::string database = copyFixture(dir, "access/kv-single-2000.mdb", "kv.mdb");
    std::string lockFile = dir.write("kv.ldb", kTwoUsers);
    {
        LockingChild user(lockFile, LockKind::Posix, slotLockRanges(1)[1]);
        ASSERT_TRUE(user.holding());
        Result<AccessFileClaim> claim = AccessFileClaim::take(database);
        ASSERT_FALSE(claim.ok());
        EXPECT_NE(claim.error().find(database + " is in use by Anna on computer BACKOFFICE"), std::string::npos)
            << claim.error();
        EXPECT_NE(claim.error().find("Close the salon application on every computer and run Tarvex again."),
                  std::string::npos);
    }
    EXPECT_EQ(readFile(lockFile), kTwoUsers);
    std::filesystem::remove(lockFile);
    {
        // A program that has the file open without any lock: the lock file
        // made for the claim goes again.
        SleepingReader reader(database);
        Result<AccessFileClaim> claim = AccessFileClaim::take(database);
        ASSERT_FALSE(claim.ok());
        EXPECT_NE(claim.error().find("(sleep) with kv.mdb open"), std::string::npos) << claim.error();
        EXPECT_FALSE(std::filesystem::exists(lockFile));
    }
    // A second Tarvex, while one holds the file.
    Result<AccessFileClaim> first = AccessFileClaim::take(database);
    ASSERT_TRUE(first.ok()) << first.error();
    std::string second = runInChild([&] {
        Result<AccessFileClaim> claim = AccessFileClaim::take(database);
        return claim.ok() ? std::string("taken") : claim.error();
    });
    EXPECT_NE(second.find(database + " is in use by "), std::string::npos) << second;
    EXPECT_NE(second.find("a program holding a lock on kv.mdb"), std::string::npos) << second;
    EXPECT_EQ(readFile(lockFile), lockFileEntry(computerName(), userName()));
}

TEST(AccessFileClaimTest, TheCheckBeforeWritingFindsAProgramThatOpenedTheFileMeanwhile)
{
    TempDir dir;
    std::string database = copyFixture(dir, "access/kv-single-2000.mdb", "kv.mdb");
    Result<AccessFileClaim> claim = AccessFileClaim::take(database);
    ASSERT_TRUE(claim.ok()) << claim.error();
    SleepingReader reader(database);
    Result<AccessFileUsers> others = claim->others();
    ASSERT_TRUE(others.ok()) << others.error();
    EXPECT_EQ(holdersOf(*others), "process " + std::to_string(reader.pid()) + " (sleep) with kv.mdb open\n");
}

namespace {

// The product table of an Access host, walked by quickid.
AccessTable productsOf(const AccessFile& file)
{
    Result<AccessTable> table = file.openTable("product", {"quickid", "cost", "retailprice"});
    EXPECT_TRUE(table.ok()) << table.error();
    for (const AccessIndex& index : table->definition().indexes)
        if (!index.columns.empty() && index.columns[0] == "quickid") {
            EXPECT_TRUE(table->setIndex(index.name).ok());
        }
    return std::move(*table);
}

// Saves amounts for the columns into the record of quickid through saving.
Status saveProduct(AccessSaving& saving, AccessTable& products, const std::string& quickid,
                   const std::vector<std::string>& columns, const std::vector<std::optional<double>>& amounts)
{
    EXPECT_TRUE(products.seek(Key{quickid}).ok());
    EXPECT_FALSE(products.noMatch()) << quickid;
    std::vector<AccessStoredField> stored;
    for (const std::string& column : columns)
        stored.push_back(*products.stored(column));
    std::vector<AccessAmount> values(amounts.begin(), amounts.end());
    return saving.save("product", columns, products.place(), stored, values).status();
}

std::vector<std::optional<double>> amountsOfProduct(const std::string& database, const std::string& quickid)
{
    Result<AccessFile> file = AccessFile::open(database);
    EXPECT_TRUE(file.ok()) << file.error();
    AccessTable products = productsOf(*file);
    EXPECT_TRUE(products.seek(Key{quickid}).ok());
    return {*products.number("cost"), *products.number("retailprice")};
}

} // namespace

TEST(AccessSavingTest, SavesUnderTheClaimAndLeavesTheLockFileAsFound)
{
    // No lock file, then a lock file of two users who have gone.
    for (std::optional<std::string> found : {std::optional<std::string>(), std::optional<std::string>(kTwoUsers)}) {
        TempDir dir;
        std::string database = copyFixture(dir, "access/invupdate-2000.mdb", "kv.mdb");
        if (found)
            dir.write("kv.ldb", *found);
        Result<AccessFile> file = AccessFile::open(database);
        ASSERT_TRUE(file.ok()) << file.error();
        AccessTable products = productsOf(*file);
        {
            AccessSaving saving(*file);
            // Looking claims nothing: the backup copy must find the file free.
            EXPECT_TRUE(saving.check().ok()) << saving.check().error();
            EXPECT_FALSE(saving.claimed());
            EXPECT_EQ(usersSeenByAnotherProcess(database), "nobody");

            Status saved = saveProduct(saving, products, "BW-100", {"cost", "retailprice"}, {10.25, 26});
            ASSERT_TRUE(saved.ok()) << saved.error();
            EXPECT_TRUE(saving.claimed());
            std::string self = userName() + " on computer " + computerName();
            EXPECT_NE(usersSeenByAnotherProcess(database).find(self), std::string::npos);
            // The claim's own locks and descriptors are nobody else's.
            Status again = saving.claim();
            EXPECT_TRUE(again.ok()) << again.error();
            // A price alone goes through a writer of its own columns.
            saved = saveProduct(saving, products, "BW-101", {"retailprice"}, {27.5});
            ASSERT_TRUE(saved.ok()) << saved.error();
        }
        EXPECT_EQ(usersSeenByAnotherProcess(database), "nobody");
        if (found) {
            EXPECT_EQ(readFile(dir.file("kv.ldb")), *found);
        } else {
            EXPECT_FALSE(std::filesystem::exists(dir.file("kv.ldb")));
        }
        EXPECT_EQ(amountsOfProduct(database, "BW-100"), (std::vector<std::optional<double>>{10.25, 26}));
        EXPECT_EQ(amountsOfProduct(database, "BW-101")[1], 27.5);
    }
}

TEST(AccessSavingTest, AFileSomebodyHasIsNeverWritten)
{
    TempDir dir;
    std::string database = copyFixture(dir, "access/invupdate-2000.mdb", "kv.mdb");
    std::string before = readFile(database);
    Result<AccessFile> file = AccessFile::open(database);
    ASSERT_TRUE(file.ok()) << file.error();
    AccessTable products = productsOf(*file);
    AccessSaving saving(*file);
    {
        SleepingReader reader(database);
        // A save leaves the path to the table's caller, as for any record
        // it saves; the claim names the file.
        std::string holder = "is in use by process " + std::to_string(reader.pid()) +
                             " (sleep) with kv.mdb open. Close the salon application on every computer and run "
                             "Tarvex again.";
        Status claimed = saving.claim();
        EXPECT_EQ(claimed.kind(), ErrorKind::Busy);
        EXPECT_EQ(claimed.error(), database + " " + holder);
        Status saved = saveProduct(saving, products, "BW-100", {"cost"}, {1});
        EXPECT_EQ(saved.kind(), ErrorKind::Busy);
        EXPECT_EQ(saved.error(), holder);
        EXPECT_FALSE(saving.claimed());
    }
    EXPECT_EQ(readFile(database), before);
    EXPECT_FALSE(std::filesystem::exists(dir.file("kv.ldb")));
    // Another Tarvex run is let finish, not closed like the salon application.
    std::filesystem::create_symlink("/bin/sleep", dir.file("tarvex"));
    {
        SleepingReader run(database, dir.file("tarvex"));
        Status claimed = saving.claim();
        EXPECT_EQ(claimed.error(), database + " is in use by process " + std::to_string(run.pid()) +
                                       " (tarvex) with kv.mdb open. Another Tarvex run (process " +
                                       std::to_string(run.pid()) +
                                       ") is using it: let it finish, close the salon application on every "
                                       "computer and run Tarvex again.");
    }

    // Claimed, then opened by another program before the apply writes.
    ASSERT_TRUE(saving.claim().ok());
    {
        SleepingReader reader(database);
        Status late = saving.claim();
        EXPECT_EQ(late.kind(), ErrorKind::Busy) << late.error();
        EXPECT_NE(late.error().find("(sleep) with kv.mdb open"), std::string::npos) << late.error();
    }
    saving.release();
    EXPECT_EQ(readFile(database), before);
    EXPECT_FALSE(std::filesystem::exists(dir.file("kv.ldb")));
}

TEST(AccessSavingTest, EachFailureCarriesTheKindTheApplyDecidesBy)
{
    struct Case {
        const char* fixture;
        const char* quickid;
        std::vector<std::optional<double>> amounts;
        ErrorKind kind;
        const char* reason;
    };
    const std::vector<Case> cases = {
        // A table that cannot be written as it is: every save stops there.
        {"kv-costindex-2000.mdb", "BW-100", {11, 26}, ErrorKind::ReadOnly, "index \"CostIdx\""},
        // One record that cannot take its values.
        {"kv-validation-2000.mdb", "BW-100", {-1, 26}, ErrorKind::Other, "validation rule \"Is Null Or >=0\""},
        {"kv-currency-2000.mdb", "BW-102", {1e15, 30}, ErrorKind::Other, "cannot hold"},
    };
    for (const Case& test : cases) {
        SCOPED_TRACE(test.fixture);
        TempDir dir;
        std::string database = copyFixture(dir, std::string("access/") + test.fixture, "kv.mdb");
        std::string before = readFile(database);
        Result<AccessFile> file = AccessFile::open(database);
        ASSERT_TRUE(file.ok()) << file.error();
        AccessTable products = productsOf(*file);
        AccessSaving saving(*file);
        for (int attempt = 0; attempt < 2; ++attempt) {
            Status saved = saveProduct(saving, products, test.quickid, {"cost", "retailprice"}, test.amounts);
            EXPECT_EQ(saved.kind(), test.kind) << saved.error();
            EXPECT_NE(saved.error().find(test.reason), std::string::npos) << saved.error();
            // The table's caller puts the path before it, as for other saves.
            EXPECT_EQ(saved.error().rfind(database, 0), std::string::npos) << saved.error();
        }
        saving.release();
        EXPECT_EQ(readFile(database), before);
    }

    // A record another program deleted since it was read is Changed, as a
    // vanished record of an SQLite host is.
    TempDir dir;
    std::string database = copyFixture(dir, "access/kv-overflow-2000.mdb", "kv.mdb");
    Result<AccessFile> file = AccessFile::open(database);
    ASSERT_TRUE(file.ok()) << file.error();
    AccessTable products = productsOf(*file);
    ASSERT_TRUE(products.seek(Key{std::string("BW-102")}).ok());
    std::size_t entry = products.place().page * 4096 + 0x0e + products.place().row * 2 + 1;
    std::string bytes = readFile(database);
    bytes[entry] = static_cast<char>(bytes[entry] | 0x80);
    {
        std::ofstream out(database, std::ios::binary | std::ios::trunc);
        out << bytes;
    }
    AccessSaving saving(*file);
    Status gone = saveProduct(saving, products, "BW-102", {"cost", "retailprice"}, {11, 30});
    EXPECT_EQ(gone.kind(), ErrorKind::Changed) << gone.error();
    EXPECT_NE(gone.error().find("deleted since it was read"), std::string::npos) << gone.error();
    EXPECT_TRUE(saving.check().ok()) << saving.check().error();
    saving.release();

    // A file or folder that refuses writes, seen before anything is claimed.
    std::filesystem::permissions(dir.path(), std::filesystem::perms::owner_all | std::filesystem::perms::group_exec |
                                                 std::filesystem::perms::others_exec);
    std::filesystem::permissions(database, std::filesystem::perms::owner_read | std::filesystem::perms::group_read |
                                               std::filesystem::perms::others_read);
    std::string seen = runInChild(
        [&] {
            Status checked = saving.check();
            return std::string(checked.kind() == ErrorKind::ReadOnly ? "read-only: " : "other: ") + checked.error();
        },
        true);
    EXPECT_NE(seen.find("read-only: " + database + ": cannot be written"), std::string::npos) << seen;
}
