// The start-up backup copy: its name, names and links already standing in
// the way, and a copy taken while another program keeps writing to the
// database. A copy that fails half-way (a full disk) is a case of
// tests/reliability/FaultTest.
#include "StartupFixture.h"

#include "platform/os/StagedFile.h"
#include "startup/BackupCopy.h"
#include "startup/BackupName.h"
#include "support/Fixtures.h"

#include <sqlite3.h>

#include <csignal>
#include <fstream>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>
#include <utility>

using namespace tarvex;
using namespace tarvex::test;

namespace {

using BackupCopyTest = StartupFixture;

TEST(BackupNameTest, TheTimeStampIsMonthDayYearHourMinutesSeconds)
{
    std::tm when = fixedTime();
    EXPECT_EQ(BackupName::timeStamp(when), "12062026215742");
    EXPECT_EQ(BackupName::candidate("/d/kv.mdb", when, 1), "/d/kv.mdb_Tarvex_12062026215742");
    EXPECT_EQ(BackupName::candidate("/d/kv.mdb", when, 3), "/d/kv.mdb_Tarvex_12062026215742_3");
    std::tm morning{};
    morning.tm_year = 2027 - 1900;
    morning.tm_mon = 0;
    morning.tm_mday = 2;
    morning.tm_hour = 7;
    morning.tm_min = 5;
    morning.tm_sec = 9;
    EXPECT_EQ(BackupName::timeStamp(morning), "01022027070509");
}

TEST(BackupNameTest, OnlyTheNamesOfBackupCopiesAreRecognised)
{
    for (const char* name :
         {"kv.mdb_Tarvex_12062026215742", "kv.mdb_Tarvex_12062026215742_2", "kv.mdb_Tarvex_12062026215742_17"})
        EXPECT_TRUE(BackupName::isCandidateName("/d/kv.mdb", name)) << name;
    for (const char* name :
         {"kv.mdb", "kv.mdb_Tarvex_", "kv.mdb_Tarvex_1206202621574", "kv.mdb_Tarvex_1206202621574x",
          "kv.mdb_Tarvex_12062026215742_", "kv.mdb_Tarvex_12062026215742_1", "kv.mdb_Tarvex_12062026215742_02",
          "kv.mdb_Tarvex_12062026215742.txt", "xkv.mdb_Tarvex_12062026215742", "other.mdb_Tarvex_12062026215742"})
        EXPECT_FALSE(BackupName::isCandidateName("/d/kv.mdb", name)) << name;
}

TEST_F(BackupCopyTest, LinksAtTheBackupOrTemporaryNameAreNeverFollowed)
{
    standardSetup();
    std::string victim = dir.write("victim.txt", "precious");
    std::filesystem::create_symlink(victim, expectedBackup);
    std::filesystem::create_symlink(victim, expectedBackup + "_2.part");
    std::filesystem::create_symlink(dir.file("nowhere"), expectedBackup + "_2.part2");

    BackupCopy copy(fileCopy, prompter);
    BackupResult result = copy.make(host, now);
    ASSERT_EQ(result.outcome, BackupResult::Outcome::Made) << result.error;
    EXPECT_EQ(result.backupPath, expectedBackup + "_2");
    EXPECT_EQ(readFile(result.backupPath), readFile(host));
    EXPECT_FALSE(std::filesystem::is_symlink(result.backupPath));
    EXPECT_EQ(readFile(victim), "precious");
    EXPECT_TRUE(std::filesystem::is_symlink(expectedBackup));
    EXPECT_TRUE(std::filesystem::is_symlink(expectedBackup + "_2.part"));
    EXPECT_FALSE(std::filesystem::exists(dir.file("nowhere")));
    EXPECT_FALSE(std::filesystem::exists(expectedBackup + "_2.part3"));
}

// Another run taking the chosen name while the copy is made (its copy named
// first, in the same second): its file is left as it is, and the backup gets
// the next name.
TEST_F(BackupCopyTest, ANameAnotherRunTakesDuringTheCopyIsLeftToItAndTheNextIsUsed)
{
    class OtherRunFirst : public FileCopy {
    public:
        SystemFileCopy plain;
        bool taken = false;
        CopyResult copy(const std::string& source, const std::string& destination, Progress* progress) override
        {
            if (!std::exchange(taken, true))
                std::ofstream(destination) << "the other run's copy";
            return plain.copy(source, destination, progress);
        }
    } copier;
    copyFixture(dir, "access/kv-2000.mdb", "data/kv.mdb");
    BackupResult result = BackupCopy(copier, prompter).make(host, now);
    ASSERT_EQ(result.outcome, BackupResult::Outcome::Made) << result.error;
    EXPECT_EQ(result.backupPath, expectedBackup + "_2");
    EXPECT_TRUE(readFile(result.backupPath) == readFile(host));
    EXPECT_EQ(readFile(expectedBackup), "the other run's copy");
}

// A writer in a child process that keeps inserting rows in short
// transactions until it is stopped; busy answers are waited out.
pid_t startWriter(const std::string& path, int readyPipe)
{
    pid_t child = ::fork();
    if (child != 0)
        return child;
    sqlite3* db = nullptr;
    if (sqlite3_open_v2(path.c_str(), &db, SQLITE_OPEN_READWRITE, nullptr) != SQLITE_OK)
        ::_exit(2);
    sqlite3_busy_timeout(db, 20);
    bool told = false;
    for (int i = 0;; ++i) {
        int rc = sqlite3_exec(db,
                              "BEGIN IMMEDIATE;"
                              "INSERT INTO product (quickid, Name, cost, retailprice)"
                              " SELECT 'W' || abs(random()), hex(randomblob(600)), 1, 2 FROM product LIMIT 50;"
                              "DELETE FROM product WHERE rowid IN (SELECT rowid FROM product WHERE quickid LIKE 'W%' "
                              " ORDER BY random() LIMIT 25);"
                              "COMMIT;",
                              nullptr, nullptr, nullptr);
        if (rc != SQLITE_OK)
            sqlite3_exec(db, "ROLLBACK", nullptr, nullptr, nullptr);
        else if (!told) {
            told = true;
            char byte = 1;
            if (::write(readyPipe, &byte, 1) != 1)
                ::_exit(3);
        }
    }
}

void copyWhileWriting(BackupCopyTest& test, const std::string& host, const std::string& journalMode)
{
    std::vector<HostRow> rows;
    for (int i = 0; i < 20000; ++i)
        rows.push_back({"Q" + std::to_string(i), 1.0, 2.0, 0, std::string(300, 'n')});
    makeHostDatabase(host, rows);
    execSql(host, "PRAGMA journal_mode = " + journalMode);

    int pipeEnds[2];
    ASSERT_EQ(::pipe(pipeEnds), 0);
    pid_t writer = startWriter(host, pipeEnds[1]);
    ASSERT_GT(writer, 0);
    char byte = 0;
    ASSERT_EQ(::read(pipeEnds[0], &byte, 1), 1) << "the writer never committed";

    SystemFileCopy fileCopy;
    ScriptedPrompter prompter;
    BackupCopy copy(fileCopy, prompter);
    BackupResult result = copy.make(host, fixedTime());

    ::kill(writer, SIGKILL);
    ::waitpid(writer, nullptr, 0);
    ::close(pipeEnds[0]);
    ::close(pipeEnds[1]);
    ASSERT_EQ(result.outcome, BackupResult::Outcome::Made) << result.error;
    EXPECT_EQ(integrityCheck(result.backupPath), "ok");
    EXPECT_GE(readHostProducts(result.backupPath).size(), 20000u);
    EXPECT_FALSE(std::filesystem::exists(result.backupPath + "-wal"));
    EXPECT_EQ(integrityCheck(host), "ok");
    (void)test;
}

TEST_F(BackupCopyTest, ACopyTakenWhileAnotherProgramWritesIsConsistent)
{
    copyWhileWriting(*this, host, "DELETE");
}

TEST_F(BackupCopyTest, AWalDatabaseIsCopiedWithItsCommittedPagesWhileAnotherProgramWrites)
{
    copyWhileWriting(*this, host, "WAL");
}

TEST_F(BackupCopyTest, AWalDatabaseCopyHoldsPagesNotYetInTheMainFile)
{
    makeHostDatabase(host, {{"A1", 1.0, 2.0}});
    // A connection kept open with checkpoints off: the new rows live only in
    // the -wal file when the copy is made.
    sqlite3* db = nullptr;
    ASSERT_EQ(sqlite3_open(host.c_str(), &db), SQLITE_OK);
    sqlite3_exec(db, "PRAGMA journal_mode = WAL; PRAGMA wal_autocheckpoint = 0;", nullptr, nullptr, nullptr);
    ASSERT_EQ(sqlite3_exec(db, "INSERT INTO product (quickid, cost, retailprice) VALUES ('B2', 5, 6)", nullptr, nullptr,
                           nullptr),
              SQLITE_OK);

    BackupCopy copy(fileCopy, prompter);
    BackupResult result = copy.make(host, now);
    sqlite3_close(db);
    ASSERT_EQ(result.outcome, BackupResult::Outcome::Made) << result.error;
    std::vector<HostRow> copied = readHostProducts(result.backupPath);
    ASSERT_EQ(copied.size(), 2u);
    EXPECT_EQ(copied[1].quickid, "B2");
    EXPECT_FALSE(std::filesystem::exists(result.backupPath + "-wal"));
    EXPECT_FALSE(std::filesystem::exists(result.backupPath + ".part"));
}

TEST_F(BackupCopyTest, AWalDatabaseThatNoOneHasOpenIsCopiedToo)
{
    makeHostDatabase(host, {{"A1", 1.0, 2.0}});
    execSql(host, "PRAGMA journal_mode = WAL");
    BackupCopy copy(fileCopy, prompter);
    BackupResult result = copy.make(host, now);
    ASSERT_EQ(result.outcome, BackupResult::Outcome::Made) << result.error;
    EXPECT_EQ(readHostProducts(result.backupPath).size(), 1u);
    EXPECT_EQ(integrityCheck(result.backupPath), "ok");
    for (const std::string& name : dataFiles())
        EXPECT_EQ(name.find(".part"), std::string::npos) << name << " was left behind";
}

// A power cut during the copy leaves its staged file, perhaps with the
// engine's journal beside it. The next run removes exactly those, and never
// the staged file of a run still copying (it holds a lock), nor a link, a
// folder, or a name that is not quite a backup's.
TEST_F(BackupCopyTest, CopiesLeftByAStoppedRunAreRemovedButNotOneStillBeingWritten)
{
    makeHostDatabase(host, {{"A1", 1.0, 2.0}});
    const std::string earlier = host + "_Tarvex_12052026101010";
    std::vector<std::string> abandoned = {earlier + ".part", earlier + ".part-journal", earlier + "_2.part3"};
    for (const std::string& path : abandoned)
        dir.write("data/" + std::filesystem::path(path).filename().string(), "half a copy");
    std::string victim = dir.write("victim.txt", "precious");
    std::filesystem::create_symlink(victim, earlier + "_3.part");
    std::filesystem::create_directory(earlier + "_4.part");
    std::vector<std::string> kept = {earlier + ".part.txt", earlier + "_1.part",
                                     data + "/other.mdb_Tarvex_12052026101010.part",
                                     host + "_Tarvex_120520261010.part"};
    for (const std::string& path : kept)
        dir.write("data/" + std::filesystem::path(path).filename().string(), "not ours");
    // Another run's copy in progress: its staged file is open and locked.
    Result<StagedFile> running = StagedFile::create(earlier + "_5", 0600);
    ASSERT_TRUE(running.ok()) << running.error();

    BackupCopy copy(fileCopy, prompter);
    BackupResult result = copy.make(host, now);
    ASSERT_EQ(result.outcome, BackupResult::Outcome::Made) << result.error;
    EXPECT_EQ(result.backupPath, expectedBackup);
    for (const std::string& path : abandoned)
        EXPECT_FALSE(std::filesystem::exists(path)) << path;
    for (const std::string& path : kept)
        EXPECT_EQ(readFile(path), "not ours") << path;
    EXPECT_TRUE(std::filesystem::is_symlink(earlier + "_3.part"));
    EXPECT_EQ(readFile(victim), "precious");
    EXPECT_TRUE(std::filesystem::is_directory(earlier + "_4.part"));
    EXPECT_TRUE(std::filesystem::exists(running->path()));
    EXPECT_TRUE(running->commit(earlier + "_5").status.ok());
}

// A write killed part-way leaves a journal that only a connection that may
// write can roll back; the backup must not fail on it run after run.
TEST_F(BackupCopyTest, AJournalLeftByAnInterruptedWriteIsRolledBackBeforeTheCopy)
{
    makeHostDatabase(host, {{"A1", 1.0, 2.0}, {"B2", 3.0, 4.0}});
    leaveInterruptedWrite(host, "UPDATE product SET cost = 99");
    ASSERT_TRUE(std::filesystem::exists(host + "-journal"));

    BackupCopy copy(fileCopy, prompter);
    BackupResult result = copy.make(host, now);
    ASSERT_EQ(result.outcome, BackupResult::Outcome::Made) << result.error;
    EXPECT_TRUE(result.rolledBack);
    EXPECT_EQ(integrityCheck(result.backupPath), "ok");
    std::vector<HostRow> copied = readHostProducts(result.backupPath);
    ASSERT_EQ(copied.size(), 2u);
    EXPECT_EQ(copied[0].cost, 1.0);
    EXPECT_EQ(copied[1].cost, 3.0);
    EXPECT_FALSE(std::filesystem::exists(host + "-journal"));
    EXPECT_EQ(readFile(result.backupPath), readFile(host));

    BackupResult again = copy.make(host, now);
    ASSERT_EQ(again.outcome, BackupResult::Outcome::Made) << again.error;
    EXPECT_FALSE(again.rolledBack);
}

} // namespace
