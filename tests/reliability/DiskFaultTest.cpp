// A disk that does not keep what it was given: a flush that fails, a write
// cut short, a write that reads back otherwise, a source that changes while it is copied. Each
// runs with the disk fault shim (tests/shim) in a process of its own, breaks
// one step through the real system calls, and checks that the save or the
// copy fails and says why, that nothing is left under a final name, and that
// an apply stops there.
#include "data/RunJournal.h"
#include "data/UserSettingsFile.h"
#include "platform/Database.h"
#include "platform/access/AccessFile.h"
#include "platform/access/AccessSaving.h"
#include "platform/access/AccessTable.h"
#include "platform/os/FileCopy.h"
#include "review/PriceReview.h"
#include "support/DiskFaultShim.h"
#include "support/EnvOverride.h"
#include "support/Fixtures.h"
#include "support/ReviewRun.h"
#include "support/SampleDatabases.h"
#include "support/ScriptedPrompter.h"
#include "support/TempDir.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <functional>

using namespace tarvex;
using namespace tarvex::test;

namespace {

namespace fs = std::filesystem;

// The names in folder that show an unfinished staged file.
std::vector<std::string> stagedLeft(const fs::path& folder)
{
    std::vector<std::string> left;
    for (const fs::directory_entry& entry : fs::directory_iterator(folder))
        if (entry.path().filename().string().find(".part") != std::string::npos)
            left.push_back(entry.path().filename().string());
    return left;
}

// An apply into an Access host whose first save the disk does not keep: the
// save fails with the reason, the apply writes nothing more and says so.
TEST(DiskFaultTest, AnAccessSaveTheDiskDidNotKeepStopsTheApplyAndSaysWhy)
{
    if (!underDiskFaultShim())
        return runThisTestUnderDiskFaultShim();
    struct Case {
        const char* fault;
        const char* said;
    };
    const Case cases[] = {
        {"TARVEX_FAIL_FLUSH", "cannot flush to the disk: Input/output error"},
        {"TARVEX_FLIP_READBACK", "the record does not read back as written"},
        {"TARVEX_SHORT_WRITE", "cannot write: No space left on device"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.fault);
        TempDir dir;
        std::string host = copyFixture(dir, "access/kv-2000.mdb", "kv.mdb");
        std::string update = copyFixture(dir, "access/invupdate-2000.mdb", "invupdate.mdb");
        ReviewRun run(update, host);
        ASSERT_TRUE(run.buildAndSelectAll());
        PriceReview& review = run.review;
        PriceReview::ApplyOutcome outcome;
        {
            EnvOverride fault(c.fault, "/kv.mdb");
            outcome = review.apply();
        }
        EXPECT_EQ(outcome, PriceReview::ApplyOutcome::Incomplete);
        const ApplyReport& report = review.lastReport();
        EXPECT_EQ(report.updated, 0u);
        ASSERT_GE(report.failed.size(), 2u);
        EXPECT_NE(report.failed[0].reason.find(host + ": "), std::string::npos) << report.failed[0].reason;
        EXPECT_NE(report.failed[0].reason.find(c.said), std::string::npos) << report.failed[0].reason;
        EXPECT_EQ(report.failed[1].reason, "not tried: the host database refused the save before it");
        EXPECT_EQ(run.prompter.messages.back().caption, "Update Incomplete");
        // Nothing is written after the save the disk did not keep: the file
        // differs from the fixture in that one record's amounts at most.
        const std::string before = readFile(fixturePath("access/kv-2000.mdb"));
        const std::string after = readFile(host);
        ASSERT_EQ(after.size(), before.size());
        std::size_t first = before.size();
        std::size_t last = 0;
        for (std::size_t i = 0; i < before.size(); ++i)
            if (before[i] != after[i]) {
                first = std::min(first, i);
                last = i;
            }
        EXPECT_TRUE(first == before.size() || last - first < 32) << first << " to " << last;
    }
}

// One Access save on its way to the disk at a time: a save through another
// writer (other columns) flushes the one before it first, and when the disk
// does not keep that one, fails with why and writes nothing.
TEST(DiskFaultTest, AnAccessSaveWaitsForTheOneBeforeItAndWritesNothingWhenThatFails)
{
    if (!underDiskFaultShim())
        return runThisTestUnderDiskFaultShim();
    TempDir dir;
    std::string host = copyFixture(dir, "access/kv-2000.mdb", "kv.mdb");
    std::optional<double> secondCost;
    {
        Result<AccessFile> file = AccessFile::open(host);
        ASSERT_TRUE(file.ok()) << file.error();
        Result<AccessTable> products = file->openTable("product", {"cost", "retailprice"});
        ASSERT_TRUE(products.ok()) << products.error();
        AccessSaving saving(*file);
        auto saveCurrent = [&](const std::vector<std::string>& columns, const std::vector<AccessAmount>& values) {
            std::vector<AccessStoredField> stored;
            for (const std::string& column : columns)
                stored.push_back(*products->stored(column));
            return saving.save("product", columns, products->place(), stored, values, {}, AccessFlush::Later);
        };
        ASSERT_TRUE(products->moveFirst().ok());
        ASSERT_TRUE(saveCurrent({"cost", "retailprice"}, {AccessAmount(1.5), AccessAmount(2.5)}).ok());
        ASSERT_TRUE(products->moveNext().ok());
        secondCost = *products->number("cost");
        EnvOverride fault("TARVEX_FAIL_FLUSH", "/kv.mdb");
        auto second = saveCurrent({"cost"}, {AccessAmount(7.25)});
        ASSERT_FALSE(second.ok());
        EXPECT_NE(second.error().find("cannot flush to the disk"), std::string::npos) << second.error();
    }
    Result<AccessFile> reread = AccessFile::open(host);
    ASSERT_TRUE(reread.ok()) << reread.error();
    Result<AccessTable> products = reread->openTable("product", {"cost"});
    ASSERT_TRUE(products.ok() && products->moveFirst().ok() && products->moveNext().ok());
    EXPECT_EQ(*products->number("cost"), secondCost);
}

// The run record failing once the apply has saved its first product: the
// entry of a product recorded at its turn (a product code the price list
// holds twice), or a batch of marks of saved products. Either way the product
// is not saved, nothing more is, and the apply says why.
TEST(DiskFaultTest, ARunRecordThatFailsDuringTheApplyStopsItBeforeTheNextSave)
{
    if (!underDiskFaultShim())
        return runThisTestUnderDiskFaultShim();
    struct Case {
        const char* name;
        std::vector<VendorRow> vendor;
        std::chrono::milliseconds markInterval;
        const char* firstFailure;
    };
    const Case cases[] = {
        {"an entry recorded at its turn",
         {{1, "P1", "", 5.0, 12.0}, {2, "P1", "", 6.0, 12.0}, {3, "P2", "", 3.0, 12.0}},
         std::chrono::hours(1),
         "; not written"},
        {"a batch of marks",
         {{1, "P1", "", 5.0, 12.0}, {2, "P2", "", 3.0, 12.0}},
         std::chrono::milliseconds(0),
         "not tried: the run could not be recorded"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        TempDir dir;
        std::string host = dir.file("kv.mdb");
        std::string update = dir.file("invupdate.mdb");
        makeUpdateDatabase(update, {"Acme"}, c.vendor);
        makeHostDatabase(host, {{"P1", 4.0, 9.0}, {"P2", 3.0, 10.0}});
        ReviewRun run(update, host, ReviewRun::Record::Yes);
        run.journal.setMarkInterval(c.markInterval);
        ASSERT_TRUE(run.buildAndSelectAll());
        PriceReview& review = run.review;
        // The first product's turn comes after every product was recorded:
        // the record's flushes fail from then on.
        run.prompter.onEvents = [] { ::setenv("TARVEX_FAIL_FLUSH", "_TarvexHistory", 1); };
        PriceReview::ApplyOutcome outcome = review.apply();
        ::unsetenv("TARVEX_FAIL_FLUSH");

        EXPECT_EQ(outcome, PriceReview::ApplyOutcome::Incomplete);
        const ApplyReport& report = review.lastReport();
        EXPECT_EQ(report.stopped, ApplyReport::Stop::NotRecorded);
        EXPECT_EQ(report.updated, 1u);
        EXPECT_NE(report.recordError.find(host + "_TarvexHistory: "), std::string::npos) << report.recordError;
        ASSERT_FALSE(report.failed.empty());
        EXPECT_NE(report.failed[0].reason.find(c.firstFailure), std::string::npos) << report.failed[0].reason;
        std::vector<HostRow> now = readHostProducts(host);
        EXPECT_EQ(now[0].cost, 5.0);
        EXPECT_EQ(now[0].price, 12.0);
        EXPECT_EQ(now[1].price, 10.0);
    }
}

// An Access host's run whose first commit of entries the disk does not keep:
// the host's claim is taken while that commit is on its way, so it must be
// let go again with nothing saved and no lock file left beside the host.
TEST(DiskFaultTest, AnAccessRunWhoseEntriesCannotBeRecordedSavesNothingAndLeavesNoLockFile)
{
    if (!underDiskFaultShim())
        return runThisTestUnderDiskFaultShim();
    TempDir dir;
    std::string host = copyFixture(dir, "access/kv-2000.mdb", "kv.mdb");
    std::string update = copyFixture(dir, "access/invupdate-2000.mdb", "invupdate.mdb");
    const std::string before = readFile(host);
    ReviewRun run(update, host, ReviewRun::Record::Yes);
    ASSERT_TRUE(run.buildAndSelectAll());
    PriceReview::ApplyOutcome outcome;
    {
        EnvOverride fault("TARVEX_FAIL_FLUSH", "_TarvexHistory");
        outcome = run.review.apply();
    }
    EXPECT_EQ(outcome, PriceReview::ApplyOutcome::Incomplete);
    const ApplyReport& report = run.review.lastReport();
    EXPECT_EQ(report.stopped, ApplyReport::Stop::NotRecorded);
    EXPECT_EQ(report.updated, 0u);
    EXPECT_EQ(readFile(host), before);
    EXPECT_FALSE(fs::exists(dir.file("kv.ldb")));
}

// Every file written under a temporary name and then named: when its flush
// fails, it never gets its final name, and nothing is left beside it. One
// whose folder cannot be flushed once it is named is taken back: a power
// cut could take its name.
TEST(DiskFaultTest, AStagedFileWhoseFlushFailsIsNotNamed)
{
    if (!underDiskFaultShim())
        return runThisTestUnderDiskFaultShim();
    struct Case {
        const char* name;
        std::function<std::string(const TempDir&, const std::string& destination)> write;
    };
    SystemFileCopy plainCopy;
    auto backup = [&](const std::string& source, const std::string& destination) {
        CopyResult copied = Database::copyFile(source, destination, plainCopy, nullptr);
        return copied.ok() ? std::string("copied") : copied.error;
    };
    const Case cases[] = {
        {"backup of an SQLite host",
         [&](const TempDir& dir, const std::string& destination) {
             makeHostDatabase(dir.file("kv.mdb"), {{"P1", 4.0, 9.0}});
             return backup(dir.file("kv.mdb"), destination);
         }},
        {"backup of an Access host",
         [&](const TempDir& dir, const std::string& destination) {
             return backup(copyFixture(dir, "access/kv-2000.mdb", "kv.mdb"), destination);
         }},
        {"settings file",
         [](const TempDir&, const std::string& destination) {
             Status stored = storeUserLocation("/data/kv.mdb", destination);
             return stored.ok() ? std::string("stored") : stored.error();
         }},
    };
    for (const Case& c : cases) {
        for (bool folder : {false, true}) {
            SCOPED_TRACE(std::string(c.name) + (folder ? ", its folder's flush" : ", its own flush"));
            TempDir dir;
            std::string destination = dir.file("copy");
            std::string said;
            {
                EnvOverride fault("TARVEX_FAIL_FLUSH", folder ? fs::canonical(dir.path()).string() : ".part");
                said = c.write(dir, destination);
            }
            EXPECT_NE(said.find(folder ? "cannot write the folder to disk: Input/output error" : "Input/output error"),
                      std::string::npos)
                << said;
            EXPECT_FALSE(fs::exists(destination));
            EXPECT_EQ(stagedLeft(dir.path()), std::vector<std::string>());
        }
    }
}

// Backs up a copy of an Access fixture, last written a day ago when
// writtenLongAgo, with the shim's fault set to value around the backup: it
// must fail with the text said gives for the host and the destination, and
// leave nothing behind.
void expectNoAccessBackup(const char* fault, const char* value, bool writtenLongAgo,
                          const std::function<std::string(const std::string&, const std::string&)>& said)
{
    TempDir dir;
    std::string host = copyFixture(dir, "access/kv-2000.mdb", "kv.mdb");
    if (writtenLongAgo)
        fs::last_write_time(host, fs::last_write_time(host) - std::chrono::hours(24));
    std::string destination = dir.file("kv.mdb_Tarvex_backup");
    SystemFileCopy plainCopy;
    CopyResult copied;
    {
        EnvOverride set(fault, value);
        copied = Database::copyFile(host, destination, plainCopy, nullptr);
    }
    EXPECT_EQ(copied.outcome, CopyResult::Outcome::Failed);
    EXPECT_EQ(copied.error, said(host, destination));
    EXPECT_FALSE(fs::exists(destination));
    EXPECT_EQ(stagedLeft(dir.path()), std::vector<std::string>());
}

// Another program writing an Access host while it is copied: a copy taken
// while the host changed is no backup. A host last written long before the
// copy is told changed by its times alone; one written just before, whose
// times a write in the same clock step could leave as they were, is
// compared with its copy.
TEST(DiskFaultTest, AnAccessHostChangedWhileItIsCopiedGivesNoBackup)
{
    if (!underDiskFaultShim())
        return runThisTestUnderDiskFaultShim();
    for (bool writtenLongAgo : {false, true}) {
        SCOPED_TRACE(writtenLongAgo ? "last written long ago" : "written just before the copy");
        expectNoAccessBackup("TARVEX_CHANGE_WHILE_COPIED", "/kv.mdb", writtenLongAgo,
                             [](const std::string& host, const std::string&) {
                                 return host + ": the file changed while it was copied; another program is writing it";
                             });
    }
}

// A host that cannot be read part-way through the copy, by copy_file_range
// or, where that is not offered, by read: the copy fails with the reason and
// nothing is named.
TEST(DiskFaultTest, ACopyWhoseSourceCannotBeReadIsNotNamed)
{
    if (!underDiskFaultShim())
        return runThisTestUnderDiskFaultShim();
    for (bool readByRead : {false, true}) {
        SCOPED_TRACE(readByRead ? "read" : "copy_file_range");
        EnvOverride noRange("TARVEX_NO_COPY_RANGE", readByRead ? std::optional<std::string>("/kv.mdb") : std::nullopt);
        expectNoAccessBackup("TARVEX_FAIL_SOURCE_READ", "/kv.mdb", true,
                             [](const std::string& host, const std::string& copy) {
                                 return copy + ".part: cannot copy " + host + ": Input/output error";
                             });
    }
}

// An Access backup whose copy cannot be read back is no backup: it is
// removed, and the failure says why.
TEST(DiskFaultTest, AnAccessBackupThatDoesNotReadBackIsRemoved)
{
    if (!underDiskFaultShim())
        return runThisTestUnderDiskFaultShim();
    expectNoAccessBackup("TARVEX_FAIL_READ", "_Tarvex_backup", true, [](const std::string&, const std::string& copy) {
        return copy + ": cannot read: Input/output error";
    });
}

} // namespace
