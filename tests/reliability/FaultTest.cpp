// Faults during a run: the disk filling during the backup, a folder where the
// backup cannot be written, a host database locked by another program past the
// busy timeout, the host file deleted or replaced between the list and the
// apply or half-way through it, and another program writing to a product
// between the moment the apply (or an undo) reads it and the moment it saves
// it.
#include "BadInput.h"

#include "data/RunJournal.h"
#include "platform/Database.h"
#include "review/PriceReview.h"
#include "support/Fixtures.h"
#include "support/ProcessRunner.h"
#include "support/ReviewRun.h"

#include <gtest/gtest.h>
#include <sqlite3.h>

#include <chrono>
#include <csignal>
#include <filesystem>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

using namespace tarvex;
using namespace tarvex::test;

namespace {

namespace fs = std::filesystem;

// A host large enough that its copy cannot fit under a small file size limit.
void largeHost(Scenario& s, const std::string& journalMode)
{
    std::vector<HostRow> rows = {{"P1", 4.0, 9.0}, {"P2", 3.0, 10.0}, {"P3", 2.0, 4.0}};
    for (int i = 0; i < 2000; ++i)
        rows.push_back({"Z" + std::to_string(i), 1.0, 2.0, 0, std::string(100, 'z')});
    fs::remove(s.hostPath);
    makeHostDatabase(s.hostPath, rows);
    execSql(s.hostPath, "PRAGMA journal_mode = " + journalMode);
}

// Runs the scenario in a child process prepared by setUp, and returns what the
// child reports through its exit status: 0 when check() held for its outcome.
int runInChild(Scenario& s, const std::string& name, const std::function<void()>& setUp,
               const std::function<bool(const RunOutcome&)>& check)
{
    pid_t child = ::fork();
    if (child == 0) {
        setUp();
        RunOutcome outcome = s.run();
        logOutcome("fault", name, outcome);
        ::_exit(check(outcome) ? 0 : 10 + static_cast<int>(outcome.end));
    }
    int status = 0;
    ::waitpid(child, &status, 0);
    return WIFEXITED(status) ? WEXITSTATUS(status) : 100 + WTERMSIG(status);
}

bool detailHas(const RunOutcome& outcome, const std::string& text)
{
    return outcome.detail().find(text) != std::string::npos;
}

TEST(FaultTest, TheDiskFillingDuringTheBackupEndsTheRunAndLeavesNothingBehind)
{
    for (const char* mode : {"DELETE", "WAL"}) {
        SCOPED_TRACE(mode);
        Scenario s;
        s.writeStandardFiles();
        largeHost(s, mode);
        std::vector<HostRow> before = readHostProducts(s.hostPath);
        int reported = runInChild(
            s, std::string("disk full during the backup, journal mode ") + mode,
            [] {
                // A file may not grow past 64 KiB: the copy meets "File too
                // large" half-way, as it would meet a full disk.
                ::signal(SIGXFSZ, SIG_IGN);
                rlimit limit{65536, 65536};
                ::setrlimit(RLIMIT_FSIZE, &limit);
            },
            [&](const RunOutcome& outcome) {
                return outcome.end == End::BackupFailed && outcome.exitStatus != 0 &&
                       detailHas(outcome, "File too large") && outcome.messages.back().icon == MessageIcon::Critical &&
                       outcome.messages.back().text.find(s.hostPath) != std::string::npos;
            });
        EXPECT_EQ(reported, 0);
        EXPECT_EQ(s.leftovers(), std::vector<std::string>{});
        for (const auto& entry : fs::directory_iterator(s.data))
            EXPECT_EQ(entry.path().filename().string().find("_Tarvex_"), std::string::npos) << entry.path();
        EXPECT_EQ(integrityCheck(s.hostPath), "ok");
        std::vector<HostRow> after = readHostProducts(s.hostPath);
        ASSERT_EQ(after.size(), before.size());
        for (std::size_t i = 0; i < after.size(); ++i)
            EXPECT_TRUE(after[i].cost == before[i].cost && after[i].price == before[i].price) << i;
    }
}

// Gives up root in a child, so that permissions bind it as they bind an
// ordinary user.
void becomeUser(uid_t uid)
{
    if (::getuid() == 0 && (::setgid(uid) != 0 || ::setuid(uid) != 0))
        ::_exit(99);
}

// Opens the scenario's files to every user, the host's folder with mode.
void shareScenario(Scenario& s, fs::perms folder)
{
    for (const std::string& path : {s.dir.path().string(), s.program, s.updatePath, s.settingsPath, s.hostPath})
        fs::permissions(path, fs::perms::all);
    fs::permissions(s.data, folder);
}

// Everything the run would write is checked before the backup: a file or
// folder it could not write ends the run, as an ordinary user, before the
// backup question, with the message the later refusal gives. No copy is
// left beside the host, however often the user tries.
TEST(FaultTest, WhatTheRunCannotWriteEndsItBeforeTheBackup)
{
    const fs::perms readOnly = fs::perms::owner_read | fs::perms::group_read | fs::perms::others_read;
    struct Case {
        const char* name;
        std::function<void(Scenario&)> spoil;
        const char* said;
    };
    const Case cases[] = {
        {"host folder read-only",
         [&](Scenario& s) {
             fs::permissions(s.data, readOnly | fs::perms::owner_exec | fs::perms::group_exec | fs::perms::others_exec);
         },
         "/data cannot be written (Permission denied), so the price changes could not be saved to it"},
        {"host file read-only", [&](Scenario& s) { fs::permissions(s.hostPath, readOnly); },
         "kv.mdb: the file can only be opened for reading, so the price changes could not be saved to it"},
        {"run record read-only",
         [&](Scenario& s) {
             s.dir.write("data/kv.mdb_TarvexHistory", "");
             fs::permissions(s.hostPath + "_TarvexHistory", readOnly);
         },
         "kv.mdb_TarvexHistory: the run record can only be opened for reading, so this run could not be recorded"},
        {"Access lock file read-only",
         [&](Scenario& s) {
             fs::copy_file(fixturePath("access/kv-2000.mdb"), s.hostPath, fs::copy_options::overwrite_existing);
             fs::permissions(s.hostPath, fs::perms::all);
             s.dir.write("data/kv.ldb", "");
             fs::permissions(s.data + "/kv.ldb", readOnly);
         },
         "kv.ldb: cannot open the lock file for writing: Permission denied"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Scenario s;
        s.writeStandardFiles();
        shareScenario(s, fs::perms::all);
        c.spoil(s);
        std::string before = fileBytes(s.hostPath);
        for (int attempt = 0; attempt < 2; ++attempt) {
            int reported = runInChild(
                s, c.name, [] { becomeUser(65534); },
                [&](const RunOutcome& outcome) {
                    bool asked = false;
                    for (const Message& m : outcome.messages)
                        asked = asked || m.caption == "Backup Data";
                    return outcome.end == End::UnableToOpen && !asked && detailHas(outcome, c.said) &&
                           detailHas(outcome, "Nothing has been changed, and no backup copy was made.");
                });
            EXPECT_EQ(reported, 0);
        }
        EXPECT_EQ(s.backups(), std::vector<std::string>{});
        EXPECT_EQ(s.leftovers(), std::vector<std::string>{});
        EXPECT_TRUE(fileBytes(s.hostPath) == before);
    }
}

// In a shared folder where each user may remove only their own files (the
// sticky bit), one user's write killed half-way leaves a journal no other
// user can remove. Another user's run names it, its owner and what to do,
// before the backup question; the owner's own run then puts it right.
// Two users of the host's folder, shared and marked sticky as shared folders
// are: bob leaves something beside the host, alice runs.
constexpr uid_t kBob = 65534;
constexpr uid_t kAlice = 65533;

void shareBetweenTwoUsers(Scenario& s)
{
    s.writeStandardFiles();
    shareScenario(s, fs::perms::all | fs::perms::sticky_bit);
}

// Whether alice's run ended before the backup question, with the texts said.
bool endedBeforeTheBackup(const RunOutcome& outcome, const std::vector<std::string>& said)
{
    bool asked = false;
    for (const Message& m : outcome.messages)
        asked = asked || m.caption == "Backup Data";
    bool all = true;
    for (const std::string& text : said)
        all = all && detailHas(outcome, text);
    return outcome.end == End::UnableToOpen && !asked && outcome.exitStatus != 0 && all;
}

TEST(FaultTest, AnotherUsersLeftoverJournalIsNamedBeforeTheBackupQuestion)
{
    if (::geteuid() != 0)
        GTEST_SKIP() << "needs root, to run as two other users";
    const uid_t bob = kBob;
    Scenario s;
    shareBetweenTwoUsers(s);
    std::string before = fileBytes(s.hostPath);
    // Bob's write, stopped before its commit: the journal holds the pages
    // as they were, and nobody holds the file any more.
    std::string left = tarvex::test::runInChild(
        [&] {
            sqlite3* db = nullptr;
            sqlite3_open_v2(s.hostPath.c_str(), &db, SQLITE_OPEN_READWRITE, nullptr);
            sqlite3_exec(db, "PRAGMA synchronous = OFF; BEGIN; UPDATE product SET cost = 99;", nullptr, nullptr,
                         nullptr);
            struct stat info {};
            bool made = ::stat((s.hostPath + "-journal").c_str(), &info) == 0 && info.st_uid == bob;
            // Left open: the child ends as a killed program would.
            return std::string(made ? "" : "no journal of bob's");
        },
        true);
    ASSERT_EQ(left, "");

    const std::string journal = s.hostPath + "-journal";
    int reported = runInChild(
        s, "another user's journal", [&] { becomeUser(kAlice); },
        [&](const RunOutcome& outcome) {
            return endedBeforeTheBackup(outcome,
                                        {journal + ": an interrupted write by nobody left this journal",
                                         "Ask nobody to run Tarvex once, or remove " + journal + " as its owner"});
        });
    EXPECT_EQ(reported, 0);
    EXPECT_EQ(s.backups(), std::vector<std::string>{});
    EXPECT_TRUE(fileBytes(s.hostPath) == before);

    // Bob's run removes his journal and goes on as usual.
    reported = runInChild(
        s, "the journal's owner", [&] { becomeUser(bob); },
        [&](const RunOutcome& outcome) { return outcome.end == End::Complete; });
    EXPECT_EQ(reported, 0);
    EXPECT_FALSE(fs::exists(s.hostPath + "-journal"));
    EXPECT_EQ(readHostProducts(s.hostPath)[0].cost, 5.0);
}

// Run as an ordinary user, the look for other programs that have an Access
// host open cannot see other users' open files: the backup question says so
// in its detail, which the terminal shows before its answer is read.
TEST(FaultTest, ACheckForOtherUsersThatCouldNotSeeEverythingIsSaidInTheBackupQuestion)
{
    if (::geteuid() != 0)
        GTEST_SKIP() << "needs root, to look as another user at root's processes";
    Scenario s;
    s.writeStandardFiles();
    fs::copy_file(fixturePath("access/kv-2000.mdb"), s.hostPath, fs::copy_options::overwrite_existing);
    shareScenario(s, fs::perms::all);
    int reported = runInChild(
        s, "other users' processes unseen", [] { becomeUser(65534); },
        [&](const RunOutcome& outcome) {
            if (outcome.messages.size() < 2)
                return false;
            const Message& question = outcome.messages[1];
            return question.caption == "Backup Data" && question.buttons == MessageButtons::OkCancel &&
                   question.detail.rfind("Tarvex could not check whether other programs have kv.mdb open: the "
                                         "open files of ",
                                         0) == 0 &&
                   question.detail.ends_with(" of other users could not be checked; make sure the salon "
                                             "application is closed on every computer");
        });
    EXPECT_EQ(reported, 0);
}

TEST(FaultTest, AHostLockedByAnotherProgramPastTheBusyTimeoutIsNotBackedUpOrOpened)
{
    Scenario s;
    s.writeStandardFiles();
    std::string before = fileBytes(s.hostPath);
    int locked[2];
    int release[2];
    ASSERT_EQ(::pipe(locked), 0);
    ASSERT_EQ(::pipe(release), 0);
    pid_t holder = ::fork();
    if (holder == 0) {
        sqlite3* db = nullptr;
        sqlite3_open_v2(s.hostPath.c_str(), &db, SQLITE_OPEN_READWRITE, nullptr);
        // An exclusive lock, as another program takes while it commits.
        int rc = sqlite3_exec(db, "BEGIN EXCLUSIVE; UPDATE product SET cost = 99 WHERE quickid = 'P3';", nullptr,
                              nullptr, nullptr);
        char byte = rc == SQLITE_OK ? 1 : 0;
        if (::write(locked[1], &byte, 1) != 1)
            ::_exit(2);
        ::read(release[0], &byte, 1);
        sqlite3_exec(db, "ROLLBACK", nullptr, nullptr, nullptr);
        sqlite3_close_v2(db);
        ::_exit(0);
    }
    char byte = 0;
    ASSERT_EQ(::read(locked[0], &byte, 1), 1);
    ASSERT_EQ(byte, 1);
    // The lock is held until the run ends: a short wait for it is enough.
    s.openOptions.busyTimeoutMs = 100;
    RunOutcome outcome = s.run();
    logOutcome("fault", "host locked by another process past the busy timeout", outcome);
    ASSERT_EQ(::write(release[1], &byte, 1), 1);
    ::waitpid(holder, nullptr, 0);
    for (int fd : {locked[0], locked[1], release[0], release[1]})
        ::close(fd);

    EXPECT_EQ(outcome.end, End::BackupFailed) << outcome.summary();
    EXPECT_TRUE(detailHas(outcome, s.hostPath) && detailHas(outcome, "locked")) << outcome.summary();
    EXPECT_EQ(s.leftovers(), std::vector<std::string>{});
    EXPECT_TRUE(fileBytes(s.hostPath) == before);
}

TEST(FaultTest, AHostFileDeletedOrReplacedBetweenTheListAndTheApplyIsNotWritten)
{
    struct Case {
        const char* name;
        std::function<void(Scenario&)> meddle;
        const char* said;
    };
    std::vector<Case> cases = {
        {"deleted", [](Scenario& s) { fs::remove(s.hostPath); }, "the file is gone"},
        {"moved away", [](Scenario& s) { fs::rename(s.hostPath, s.data + "/kv-old.mdb"); }, "the file is gone"},
        {"replaced",
         [](Scenario& s) {
             // Another copy of the database, as a restore from a backup
             // would put there.
             fs::copy_file(s.hostPath, s.data + "/restored.mdb");
             fs::rename(s.data + "/restored.mdb", s.hostPath);
         },
         "replaced by another one"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Scenario s;
        s.writeStandardFiles();
        s.beforeApply = [&] { c.meddle(s); };
        RunOutcome outcome = s.run();
        logOutcome("host database", std::string(c.name) + " between the list and the apply", outcome);
        EXPECT_EQ(outcome.end, End::Incomplete) << outcome.summary();
        EXPECT_EQ(outcome.messages.back().caption, "Update Incomplete");
        EXPECT_TRUE(detailHas(outcome, s.hostPath) && detailHas(outcome, c.said)) << outcome.summary();
        EXPECT_EQ(outcome.report.updated, 0u);
        EXPECT_EQ(outcome.report.failed.size(), 2u);
        if (fs::exists(s.hostPath)) {
            std::vector<HostRow> host = readHostProducts(s.hostPath);
            EXPECT_EQ(host[0].cost, 4.0);
            EXPECT_EQ(host[1].price, 10.0);
        }
    }
}

TEST(FaultTest, AChangeByAnotherProgramAfterTheApplyReadTheProductIsKeptAndReported)
{
    TempDir dir;
    std::string update = dir.file("invupdate.mdb");
    std::string host = dir.file("kv.mdb");
    makeTwoProducts(update, host);
    ReviewRun run(update, host);
    ASSERT_TRUE(run.buildAndSelectAll());
    // The apply has read P1 and decided to write it; another program raises
    // its price first.
    run.prompter.onEvents = [&] { execSql(host, "UPDATE product SET retailprice = 20 WHERE quickid = 'P1'"); };
    EXPECT_EQ(run.review.apply(), PriceReview::ApplyOutcome::Incomplete);

    std::vector<HostRow> now = readHostProducts(host);
    EXPECT_EQ(now[0].price, 20.0);
    EXPECT_EQ(now[0].cost, 4.0);
    EXPECT_EQ(now[1].price, 12.0);
    ASSERT_EQ(run.review.lastReport().failed.size(), 1u);
    EXPECT_EQ(run.review.lastReport().failed[0].code, "P1");
    EXPECT_NE(run.review.lastReport().failed[0].reason.find("another program changed the record"), std::string::npos)
        << run.review.lastReport().failed[0].reason;
    EXPECT_EQ(run.prompter.messages.back().caption, "Update Incomplete");
}

// The host file deleted, moved away or replaced by a copy after the first
// product was saved, in both journal modes. The apply must stop before the
// next save and say where the saved product went; nothing may be left beside
// the path that would replay it into a file given that name later.
TEST(FaultTest, AHostFileDeletedOrReplacedHalfWayStopsTheApplyAndLeavesNothingToReplay)
{
    struct Case {
        const char* name;
        const char* said;
        bool movedAway;
    };
    std::vector<Case> cases = {
        {"deleted", "the file is gone", false},
        {"moved away", "the file is gone", true},
        {"replaced", "the file was replaced by another one", false},
    };
    for (const char* mode : {"DELETE", "WAL"}) {
        for (const Case& c : cases) {
            SCOPED_TRACE(std::string(mode) + ", " + c.name);
            TempDir dir;
            std::string update = dir.file("invupdate.mdb");
            std::string host = dir.file("kv.mdb");
            std::string snapshot = dir.file("snapshot.mdb");
            std::string movedTo = dir.file("kv-old.mdb");
            makeTwoProducts(update, host);
            execSql(host, std::string("PRAGMA journal_mode = ") + mode);
            // What the host file holds before the apply, as a backup would.
            fs::copy_file(host, snapshot);
            {
                ReviewRun run(update, host);
                ASSERT_TRUE(run.buildAndSelectAll());
                HookedPrompter& prompter = run.prompter;
                PriceReview& review = run.review;
                // Events run before P1's save, and again, once this pause
                // has passed, right after it: the file leaves its path then.
                prompter.onEvents = [&] {
                    std::this_thread::sleep_for(std::chrono::milliseconds(30));
                    prompter.onEvents = [&] {
                        if (c.movedAway) {
                            fs::rename(host, movedTo);
                        } else {
                            fs::remove(host);
                            if (std::string(c.name) == "replaced")
                                fs::copy_file(snapshot, host);
                        }
                    };
                };
                EXPECT_EQ(review.apply(), PriceReview::ApplyOutcome::Incomplete);
                const ApplyReport& report = review.lastReport();
                EXPECT_EQ(report.stopped, ApplyReport::Stop::HostLeftPath);
                EXPECT_EQ(report.updated, 1u);
                ASSERT_EQ(report.failed.size(), 1u);
                EXPECT_EQ(report.failed[0].code, "P2");
                const Message& m = prompter.messages.back();
                EXPECT_EQ(m.caption, "Update Incomplete");
                EXPECT_NE(m.detail.find(host + ": " + c.said), std::string::npos) << m.detail;
                EXPECT_EQ(m.text.find("keep their new values"), std::string::npos) << m.text;
                EXPECT_NE(m.text.find("no longer at that path"), std::string::npos) << m.text;
            }
            // The saved product is in the file that was opened.
            if (c.movedAway) {
                EXPECT_EQ(readHostProducts(movedTo)[0].cost, 5.0);
            }
            // A backup put back at the path reads as it was copied: nothing
            // of the apply replays into it.
            fs::remove(host);
            fs::copy_file(snapshot, host);
            std::vector<HostRow> restored = readHostProducts(host);
            EXPECT_EQ(restored[0].cost, 4.0);
            EXPECT_EQ(restored[1].price, 10.0);
            EXPECT_EQ(integrityCheck(host), "ok");
        }
    }
}

// An undo's list is built, then another program changes or deletes one of
// its products: at the moment of writing that product no longer holds what
// the undone run wrote, so it is not put back, the other program's change
// stands, and the row says why.
TEST(FaultTest, AnUndoKeepsAChangeAnotherProgramMadeAfterItsListWasBuilt)
{
    struct Case {
        const char* change;
        const char* said;
        std::vector<HostRow> after;
    };
    const Case cases[] = {
        {"UPDATE product SET retailprice = 20 WHERE quickid = 'P1'",
         "changed since the price update it undoes; not put back",
         {{"P1", 5.0, 20.0}, {"P2", 3.0, 10.0}}},
        {"DELETE FROM product WHERE quickid = 'P1'",
         "no longer in the host database; nothing was put back",
         {{"P2", 3.0, 10.0}}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.change);
        TempDir dir;
        std::string update = dir.file("invupdate.mdb");
        std::string host = dir.file("kv.mdb");
        makeTwoProducts(update, host);
        {
            ReviewRun run(update, host, ReviewRun::Record::Yes);
            ASSERT_TRUE(run.buildAndSelectAll());
            ASSERT_EQ(run.review.apply(), PriceReview::ApplyOutcome::Complete);
        }
        Result<Database> h = Database::open(host);
        ASSERT_TRUE(h.ok());
        RunInfo info = runInfoNow("Acme", "", host + "_Tarvex_backup");
        info.kind = RunKind::Undo;
        info.undoes = 1;
        RunJournal journal(info);
        ASSERT_TRUE(journal.open(*h).ok());
        Result<std::vector<RecordedEntry>> entries = journal.entriesOf(1);
        ASSERT_TRUE(entries.ok());
        ScriptedPrompter prompter;
        PriceReview review(*h, prompter, std::move(*entries));
        review.setJournal(&journal);
        ASSERT_TRUE(review.build().ok());
        ASSERT_EQ(review.rows().size(), 2u);
        review.selectAll();
        execSql(host, c.change);
        EXPECT_EQ(review.apply(), PriceReview::ApplyOutcome::Incomplete);

        ASSERT_EQ(review.lastReport().failed.size(), 1u);
        EXPECT_EQ(review.lastReport().failed[0].code, "P1");
        EXPECT_NE(review.lastReport().failed[0].reason.find(c.said), std::string::npos)
            << review.lastReport().failed[0].reason;
        std::vector<HostRow> now = readHostProducts(host);
        ASSERT_EQ(now.size(), c.after.size());
        for (std::size_t i = 0; i < now.size(); ++i) {
            EXPECT_EQ(now[i].quickid, c.after[i].quickid);
            EXPECT_EQ(now[i].cost, c.after[i].cost);
            EXPECT_EQ(now[i].price, c.after[i].price);
        }
    }
}

// The host file deleted after the list was built and before the apply: the
// apply tries nothing and says that the file is gone, not that the run could
// not be recorded.
TEST(FaultTest, AHostFileGoneBeforeTheApplyIsReportedAsGone)
{
    TempDir dir;
    std::string update = dir.file("invupdate.mdb");
    std::string host = dir.file("kv.mdb");
    makeTwoProducts(update, host);
    ReviewRun run(update, host, ReviewRun::Record::Yes);
    ASSERT_TRUE(run.buildAndSelectAll());
    fs::remove(host);
    EXPECT_EQ(run.review.apply(), PriceReview::ApplyOutcome::Incomplete);

    const ApplyReport& report = run.review.lastReport();
    EXPECT_EQ(report.stopped, ApplyReport::Stop::HostLeftPath);
    EXPECT_EQ(report.updated, 0u);
    ASSERT_EQ(report.failed.size(), 2u);
    for (const ProductProblem& problem : report.failed)
        EXPECT_NE(problem.reason.find(host + ": the file is gone"), std::string::npos) << problem.reason;
    EXPECT_NE(report.failed[0].reason.find("nothing was written to it"), std::string::npos) << report.failed[0].reason;
    const std::string& text = run.prompter.messages.back().text;
    EXPECT_NE(text.find(host + " was deleted, moved or replaced after it was opened; nothing was written to it."),
              std::string::npos)
        << text;
}

} // namespace

// Another user's program saved into the host in WAL mode and left its log and
// the log's index where this user may not write them: every save would fail,
// so the run ends before the backup question, naming the file and its owner.
// The owner's run moves the changes into the database and goes on as usual.
TEST(FaultTest, AnotherUsersLogThatCannotBeWrittenIsNamedBeforeTheBackupQuestion)
{
    if (::geteuid() != 0)
        GTEST_SKIP() << "needs root, to run as two other users";
    Scenario s;
    shareBetweenTwoUsers(s);
    execSql(s.hostPath, "PRAGMA journal_mode = WAL");
    // Bob's save, committed into the log, and his program killed.
    std::string left = tarvex::test::runInChild(
        [&] {
            sqlite3* db = nullptr;
            sqlite3_open_v2(s.hostPath.c_str(), &db, SQLITE_OPEN_READWRITE, nullptr);
            sqlite3_exec(db, "UPDATE product SET name = 'saved by bob'", nullptr, nullptr, nullptr);
            struct stat info {};
            bool made = ::stat((s.hostPath + "-wal").c_str(), &info) == 0 && info.st_uid == kBob;
            return std::string(made ? "" : "no log of bob's");
        },
        true);
    ASSERT_EQ(left, "");
    const std::string log = s.hostPath + "-wal";
    for (const char* end : {"-wal", "-shm"})
        fs::permissions(s.hostPath + end, fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read |
                                              fs::perms::others_read);
    const std::string before = fileBytes(s.hostPath) + fileBytes(log);

    int reported = runInChild(
        s, "another user's log", [&] { becomeUser(kAlice); },
        [&](const RunOutcome& outcome) {
            return endedBeforeTheBackup(outcome, {log + ": nobody's use of the database left this file",
                                                  "Ask nobody to close the salon application and run Tarvex once",
                                                  "Nothing has been changed, and no backup copy was made."});
        });
    EXPECT_EQ(reported, 0);
    EXPECT_EQ(s.backups(), std::vector<std::string>{});
    EXPECT_TRUE(fileBytes(s.hostPath) + fileBytes(log) == before);

    reported = runInChild(
        s, "the log's owner", [&] { becomeUser(kBob); },
        [&](const RunOutcome& outcome) { return outcome.end == End::Complete; });
    EXPECT_EQ(reported, 0);
    EXPECT_FALSE(fs::exists(log));
    EXPECT_EQ(readHostProducts(s.hostPath)[0].cost, 5.0);
    EXPECT_EQ(readHostProducts(s.hostPath)[0].name, "saved by bob");
}
