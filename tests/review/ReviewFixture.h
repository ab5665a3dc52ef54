// Shared set-up of the review tests: a vendor price list and a host database
// made in a temporary folder, opened as a run would have them.
#pragma once

#include "platform/Database.h"
#include "review/PriceReview.h"
#include "support/SampleDatabases.h"
#include "support/ScriptedPrompter.h"
#include "support/TempDir.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <optional>
#include <string>
#include <vector>

namespace tarvex::test {

class ReviewFixture : public ::testing::Test {
protected:
    TempDir dir;
    std::string updatePath = dir.file("invupdate.mdb");
    std::string hostPath = dir.file("kv.mdb");
    ScriptedPrompter prompter;
    std::optional<Database> update;
    std::optional<Database> host;

    void make(const std::vector<VendorRow>& vendor, const std::vector<HostRow>& hostRows)
    {
        makeUpdateDatabase(updatePath, {"Acme Beauty"}, vendor);
        makeHostDatabase(hostPath, hostRows);
    }

    void open(const OpenOptions& options = {})
    {
        Result<Database> u = Database::open(updatePath, options);
        Result<Database> h = Database::open(hostPath, options);
        ASSERT_TRUE(u.ok()) << u.error();
        ASSERT_TRUE(h.ok()) << h.error();
        update.emplace(std::move(*u));
        host.emplace(std::move(*h));
    }

    // Opens both files and builds the list, which must succeed.
    PriceReview& build(const OpenOptions& options = {})
    {
        open(options);
        m_review.emplace(*update, *host, prompter);
        Status built = m_review->build();
        EXPECT_TRUE(built.ok()) << built.error();
        return *m_review;
    }

    // Lets the vendor list hold an empty Delete flag, as a Jet file can.
    void allowEmptyDeleteFlag()
    {
        execSql(updatePath, R"sql(
            ALTER TABLE product RENAME TO old_product;
            CREATE TABLE product (ID INTEGER NOT NULL, quickid TEXT COLLATE NOCASE, Name TEXT, cost REAL,
                                  retailprice REAL, "Delete" INTEGER);
            INSERT INTO product SELECT * FROM old_product;
            DROP TABLE old_product;
            CREATE UNIQUE INDEX Primarykey ON product (ID);
            CREATE INDEX UpdateID ON product (quickid, ID);
        )sql");
    }

    static std::vector<std::string> codes(const std::vector<ProposedChange>& rows)
    {
        std::vector<std::string> out;
        for (const ProposedChange& row : rows)
            out.push_back(row.quickid);
        return out;
    }

    static const ProposedChange* find(const std::vector<ProposedChange>& rows, const std::string& code)
    {
        auto it = std::find_if(rows.begin(), rows.end(), [&](const ProposedChange& r) { return r.quickid == code; });
        return it == rows.end() ? nullptr : &*it;
    }

    // The host product stored at rowid position (1-based), as it is now.
    HostRow hostRow(std::size_t position) { return readHostProducts(hostPath).at(position - 1); }

    std::optional<PriceReview> m_review;
};

} // namespace tarvex::test
