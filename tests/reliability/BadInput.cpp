#include "BadInput.h"

#include <gtest/gtest.h>
#include <sqlite3.h>

#include <cstdio>
#include <filesystem>

namespace tarvex::test {

namespace {

std::string expand(std::string text, const Scenario& s)
{
    const std::pair<const char*, const std::string*> marks[] = {
        {"{update}", &s.updatePath}, {"{host}", &s.hostPath}, {"{data}", &s.data}, {"{desktop}", &s.desktop}};
    for (const auto& [mark, value] : marks)
        for (std::size_t at; (at = text.find(mark)) != std::string::npos;)
            text.replace(at, std::string(mark).size(), *value);
    return text;
}

bool isSqliteFile(const std::string& path)
{
    return fileBytes(path).rfind("SQLite format 3", 0) == 0;
}

// The caption of the error box each end that has one is shown with; null
// for the others.
const char* errorCaption(End end)
{
    switch (end) {
    case End::ErrorLoading:
        return "ERROR";
    case End::NoVendor:
    case End::NotLocated:
        return "Error";
    case End::UnableToOpen:
        return "Critical Error";
    case End::BackupFailed:
        return "Backup Data";
    default:
        return nullptr;
    }
}

// Whether the run ends before the backup copy is made.
bool endsBeforeTheBackup(End end)
{
    return end == End::ErrorLoading || end == End::NoVendor || end == End::NotLocated || end == End::BackupFailed;
}

} // namespace

void runBadInputs(const std::string& group, const std::vector<BadInput>& cases)
{
    for (const BadInput& input : cases) {
        SCOPED_TRACE(group + ": " + input.name);
        Scenario s;
        s.writeStandardFiles();
        input.spoil(s);
        std::error_code ec;
        bool hostIsFile = std::filesystem::is_regular_file(s.hostPath, ec);
        std::string hostBefore = hostIsFile ? fileBytes(s.hostPath) : "";

        RunOutcome outcome = s.run();
        logOutcome(group, input.name, outcome);

        EXPECT_EQ(endName(outcome.end), std::string(endName(input.end))) << outcome.summary();
        for (const std::string& text : input.detailHas) {
            std::string wanted = expand(text, s);
            EXPECT_NE(outcome.detail().find(wanted), std::string::npos)
                << "the message does not say \"" << wanted << "\": " << outcome.summary();
        }
        bool runEndsInError = outcome.end != End::Complete && outcome.end != End::NothingToApply;
        EXPECT_EQ(outcome.exitStatus != 0, runEndsInError || outcome.end == End::Incomplete) << outcome.summary();
        EXPECT_EQ(s.leftovers(), std::vector<std::string>{});
        if (const char* caption = errorCaption(outcome.end)) {
            const Message& last = outcome.messages.back();
            EXPECT_EQ(last.caption, caption) << outcome.summary();
            EXPECT_EQ(last.icon, MessageIcon::Critical) << outcome.summary();
            EXPECT_EQ(last.buttons, MessageButtons::Ok) << outcome.summary();
        }
        // The price list and its vendor are checked before anything is asked.
        if (outcome.end == End::ErrorLoading || outcome.end == End::NoVendor) {
            EXPECT_EQ(outcome.messages.size(), 1u) << outcome.summary();
        }
        if (endsBeforeTheBackup(outcome.end)) {
            EXPECT_EQ(s.backups(), std::vector<std::string>{}) << outcome.summary();
        }
        bool applied = outcome.end == End::Complete || outcome.end == End::Incomplete;
        if (hostIsFile && !applied) {
            EXPECT_TRUE(fileBytes(s.hostPath) == hostBefore) << "the host database changed";
        }
        if (hostIsFile && applied && isSqliteFile(s.hostPath)) {
            EXPECT_EQ(integrityCheck(s.hostPath), "ok");
        }
        if (input.check)
            input.check(s, outcome);
    }
}

void setField(const std::string& path, const std::string& table, const std::string& column, std::int64_t rowid,
              double value)
{
    sqlite3* db = nullptr;
    ASSERT_EQ(sqlite3_open_v2(path.c_str(), &db, SQLITE_OPEN_READWRITE, nullptr), SQLITE_OK);
    std::string sql = "UPDATE \"" + table + "\" SET \"" + column + "\" = ?1 WHERE rowid = ?2";
    sqlite3_stmt* stmt = nullptr;
    ASSERT_EQ(sqlite3_prepare_v2(db, sql.c_str(), -1, &stmt, nullptr), SQLITE_OK);
    sqlite3_bind_double(stmt, 1, value);
    sqlite3_bind_int64(stmt, 2, rowid);
    EXPECT_EQ(sqlite3_step(stmt), SQLITE_DONE);
    sqlite3_finalize(stmt);
    sqlite3_close_v2(db);
}

void replaceWith(const std::string& path, const std::string& bytes)
{
    std::error_code ec;
    std::filesystem::remove(path, ec);
    FILE* f = std::fopen(path.c_str(), "wb");
    ASSERT_NE(f, nullptr);
    std::fwrite(bytes.data(), 1, bytes.size(), f);
    std::fclose(f);
}

} // namespace tarvex::test
