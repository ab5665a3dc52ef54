// The file copy: a faithful copy with the source's permissions, progress up
// to the total, a cancel or an existing name that leaves nothing behind, and
// links at the temporary name that are never written through; and the staged
// file it writes through, and the destination its name gives.
#include "platform/os/FileCopy.h"
#include "platform/os/StagedFile.h"

#include "support/TempDir.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <sys/stat.h>

using namespace tarvex;
using namespace tarvex::test;

namespace {

class RecordingProgress : public Progress {
public:
    std::vector<std::pair<std::uint64_t, std::uint64_t>> calls;
    std::optional<std::size_t> cancelAtCall;
    bool update(std::uint64_t done, std::uint64_t total) override
    {
        calls.emplace_back(done, total);
        return !(cancelAtCall && calls.size() > *cancelAtCall);
    }
};

class FileCopyTest : public ::testing::Test {
protected:
    TempDir dir;
    SystemFileCopy copier;

    std::string bigFile(std::size_t bytes)
    {
        std::string text(bytes, '\0');
        for (std::size_t i = 0; i < bytes; ++i)
            text[i] = static_cast<char>((i * 131 + i / 4096) & 0xff);
        return dir.write("big.mdb", text);
    }

    std::size_t entries() const
    {
        return static_cast<std::size_t>(std::distance(std::filesystem::directory_iterator(dir.path()), {}));
    }
};

TEST_F(FileCopyTest, CopiesEveryByteWithTheSourcePermissionsAndReportsProgressToTheTotal)
{
    std::string source = bigFile(20u << 20);
    ::chmod(source.c_str(), 0604);
    RecordingProgress progress;
    CopyResult result = copier.copy(source, dir.file("copy"), &progress);
    ASSERT_TRUE(result.ok()) << result.error;
    EXPECT_EQ(readFile(dir.file("copy")), readFile(source));
    struct stat info {};
    ASSERT_EQ(::stat(dir.file("copy").c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 07777, 0604u);
    ASSERT_GE(progress.calls.size(), 3u);
    for (std::size_t i = 1; i < progress.calls.size(); ++i)
        EXPECT_GE(progress.calls[i].first, progress.calls[i - 1].first);
    EXPECT_EQ(progress.calls.back().first, std::uint64_t{20u << 20});
    EXPECT_EQ(progress.calls.back().second, std::uint64_t{20u << 20});
    EXPECT_EQ(entries(), 2u);

    // An empty file is copied too.
    std::string empty = dir.write("empty", "");
    EXPECT_TRUE(copier.copy(empty, dir.file("empty.copy"), nullptr).ok());
    EXPECT_TRUE(std::filesystem::exists(dir.file("empty.copy")));
}

TEST_F(FileCopyTest, ACancelOrATakenNameLeavesNothingBehind)
{
    std::string source = bigFile(20u << 20);
    RecordingProgress progress;
    progress.cancelAtCall = 1;
    CopyResult cancelled = copier.copy(source, dir.file("copy"), &progress);
    EXPECT_EQ(cancelled.outcome, CopyResult::Outcome::Cancelled);
    EXPECT_EQ(entries(), 1u);

    std::string existing = dir.write("copy", "an older backup");
    CopyResult taken = copier.copy(source, existing, nullptr);
    EXPECT_EQ(taken.outcome, CopyResult::Outcome::NameTaken) << taken.error;
    EXPECT_EQ(readFile(existing), "an older backup");
    EXPECT_EQ(entries(), 2u);

    CopyResult missing = copier.copy(dir.file("nothing-here"), dir.file("copy2"), nullptr);
    EXPECT_EQ(missing.outcome, CopyResult::Outcome::Failed);
    EXPECT_NE(missing.error.find("nothing-here"), std::string::npos) << missing.error;
    EXPECT_EQ(entries(), 2u);
}

TEST_F(FileCopyTest, ALinkAtTheTemporaryNameIsSteppedOverNotWrittenThrough)
{
    std::string source = dir.write("kv.mdb", "database bytes");
    std::string victim = dir.write("victim", "keep me");
    std::filesystem::create_symlink(victim, dir.file("copy.part"));
    ASSERT_TRUE(copier.copy(source, dir.file("copy"), nullptr).ok());
    EXPECT_EQ(readFile(dir.file("copy")), "database bytes");
    EXPECT_EQ(readFile(victim), "keep me");
    EXPECT_TRUE(std::filesystem::is_symlink(dir.file("copy.part")));
    EXPECT_FALSE(std::filesystem::exists(dir.file("copy.part2")));
}

TEST_F(FileCopyTest, AStagedFileIsRemovedUnlessCommitted)
{
    {
        Result<StagedFile> staged = StagedFile::create(dir.file("out"), 0600);
        ASSERT_TRUE(staged.ok()) << staged.error();
        EXPECT_TRUE(std::filesystem::exists(dir.file("out.part")));
        // Locked while it is open: a clean-up leaves it alone.
        EXPECT_FALSE(StagedFile::removeIfAbandoned(staged->path()));
        EXPECT_TRUE(std::filesystem::exists(dir.file("out.part")));
    }
    EXPECT_EQ(entries(), 0u);
    Result<StagedFile> staged = StagedFile::create(dir.file("out"), 0600);
    ASSERT_TRUE(staged.ok());
    StagedFile::Committed committed = staged->commit(dir.file("out"));
    ASSERT_TRUE(committed.status.ok());
    EXPECT_FALSE(StagedFile::removeIfAbandoned(dir.file("out.part")));
    EXPECT_FALSE(committed.nameTaken);
    EXPECT_TRUE(std::filesystem::exists(dir.file("out")));
    EXPECT_EQ(entries(), 1u);
    EXPECT_FALSE(StagedFile::create(dir.file("no/such/folder/out"), 0600).ok());
}

// The name of a staged file gives its destination back; names that only
// look alike give nothing, so a clean-up never takes them for its own.
TEST(StagedFileTest, OnlyAStagedFilesNameGivesItsDestination)
{
    EXPECT_EQ(StagedFile::destinationOf("a_Tarvex_1.part"), "a_Tarvex_1");
    EXPECT_EQ(StagedFile::destinationOf("a_Tarvex_1.part12"), "a_Tarvex_1");
    for (const char* name : {"a.part1", "a.part01", "a.partx", "a.part-journal", "a.part.txt", ".part", "a"})
        EXPECT_EQ(StagedFile::destinationOf(name), std::nullopt) << name;
}

} // namespace
