// The backup file itself, in both ways it is made (a plain copy, and SQLite's
// online backup for a database in WAL mode): it carries the host file's
// permission bits whatever the umask, and its owner and group where the
// process may give them, and neither it nor the engine's own companion files
// are ever written through a link planted at their names.
#include "platform/os/FileCopy.h"
#include "startup/BackupCopy.h"
#include "support/SampleDatabases.h"
#include "support/ScriptedPrompter.h"
#include "support/TempDir.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <iostream>
#include <sys/stat.h>
#include <unistd.h>

using namespace tarvex;
using namespace tarvex::test;

namespace {

namespace fs = std::filesystem;

std::tm someTime()
{
    std::tm when{};
    when.tm_year = 126;
    when.tm_mon = 11;
    when.tm_mday = 7;
    when.tm_hour = 8;
    return when;
}

struct stat statOf(const std::string& path)
{
    struct stat info {};
    ::lstat(path.c_str(), &info);
    return info;
}

mode_t modeOf(const std::string& path)
{
    return statOf(path).st_mode & 07777;
}

class UmaskGuard {
public:
    explicit UmaskGuard(mode_t mask)
        : m_old(::umask(mask))
    {
    }
    ~UmaskGuard() { ::umask(m_old); }

private:
    mode_t m_old;
};

// Run as root, the backup of a host that belongs to someone else belongs to
// that owner too, or the database's owner could not read a backup of mode
// 0600. Anyone else may not give a file away: the backup is then theirs, and
// the copy is made all the same.
TEST(BackupFileTest, TheBackupCarriesTheHostsPermissionBitsAndOwnerWhateverTheUmask)
{
    UmaskGuard mask(077);
    const bool root = ::geteuid() == 0;
    // nobody and nogroup on Debian.
    const uid_t owner = root ? 65534 : ::geteuid();
    const gid_t group = root ? 65534 : ::getegid();
    for (const char* journal : {"DELETE", "WAL"}) {
        for (mode_t mode : {mode_t(0664), mode_t(0640), mode_t(0600)}) {
            SCOPED_TRACE(std::string(journal) + " " + std::to_string(mode));
            TempDir dir;
            std::string host = dir.file("kv.mdb");
            makeHostDatabase(host, {{"A1", 1.0, 2.0}});
            execSql(host, std::string("PRAGMA journal_mode = ") + journal);
            ::chmod(host.c_str(), mode);
            ASSERT_EQ(::chown(host.c_str(), owner, group), 0);
            SystemFileCopy fileCopy;
            ScriptedPrompter prompter;
            BackupResult result = BackupCopy(fileCopy, prompter).make(host, someTime());
            ASSERT_EQ(result.outcome, BackupResult::Outcome::Made) << result.error;
            EXPECT_EQ(modeOf(result.backupPath), mode);
            EXPECT_EQ(statOf(result.backupPath).st_uid, owner);
            EXPECT_EQ(statOf(result.backupPath).st_gid, group);
            EXPECT_EQ(integrityCheck(result.backupPath), "ok");
        }
    }
}

TEST(BackupFileTest, LinksAtTheNamesOfTheEnginesCompanionFilesAreNeverWrittenThrough)
{
    TempDir dir;
    std::string host = dir.file("kv.mdb");
    makeHostDatabase(host, {{"A1", 1.0, 2.0}});
    execSql(host, "PRAGMA journal_mode = WAL");
    std::string victim = dir.write("victim.txt", "precious");
    std::string backup = host + "_Tarvex_12072026080000";
    for (const char* suffix : {".part-journal", ".part-wal", ".part-shm"})
        fs::create_symlink(victim, backup + suffix);

    SystemFileCopy fileCopy;
    ScriptedPrompter prompter;
    BackupResult result = BackupCopy(fileCopy, prompter).make(host, someTime());
    // Whether the copy could be made past the links or not, the file they
    // lead to is untouched and no unfinished copy is left.
    EXPECT_EQ(readFile(victim), "precious");
    EXPECT_FALSE(fs::exists(backup + ".part"));
    if (result.outcome == BackupResult::Outcome::Made)
        EXPECT_EQ(integrityCheck(result.backupPath), "ok");
    else
        EXPECT_NE(result.error.find(backup), std::string::npos) << result.error;
    std::cout << "[outcome] backup | links at the engine's companion names | "
              << (result.outcome == BackupResult::Outcome::Made ? "Made" : "Failed: " + result.error) << std::endl;
}

} // namespace
