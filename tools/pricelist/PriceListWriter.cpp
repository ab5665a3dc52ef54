// Writing an update database from a price list, in one transaction.
#include "pricelist/PriceListWriter.h"

#include "common/NewDatabaseFile.h"
#include "data/Schema.h"
#include "platform/sqlite/SqliteStatement.h"

#include <sqlite3.h>

#include <memory>

namespace tarvex {

namespace {

using Statement = SqliteStatement;

void bindText(sqlite3_stmt* stmt, int i, const std::string& text)
{
    sqlite3_bind_text(stmt, i, text.data(), static_cast<int>(text.size()), SQLITE_TRANSIENT);
}

void bindAmount(sqlite3_stmt* stmt, int i, const std::optional<double>& value)
{
    if (value)
        sqlite3_bind_double(stmt, i, *value);
    else
        sqlite3_bind_null(stmt, i);
}

} // namespace

Status PriceListWriter::write(const std::string& path, const std::string& vendor,
                              const std::vector<PriceListEntry>& entries, bool replace)
{
    Result<NewDatabaseFile> file = NewDatabaseFile::create(path, replace);
    if (!file)
        return file.status();
    // No journal: a failed write discards the whole temporary file anyway.
    Status status = file->execute(std::string("PRAGMA journal_mode = OFF; BEGIN;") + schema::kUpdateDatabase);
    if (!status)
        return status;

    sqlite3* db = file->handle();
    auto failed = [&] { return Status::failure(path + ": cannot write: " + sqliteError(db)); };
    {
        sqlite3_stmt* raw = nullptr;
        if (sqlite3_prepare_v2(db, "INSERT INTO Vendor (Name) VALUES (?1)", -1, &raw, nullptr) != SQLITE_OK)
            return failed();
        Statement insert(raw);
        bindText(raw, 1, vendor);
        if (sqlite3_step(raw) != SQLITE_DONE)
            return failed();
    }
    {
        sqlite3_stmt* raw = nullptr;
        if (sqlite3_prepare_v2(db,
                               "INSERT INTO product (ID, quickid, Name, cost, retailprice, \"Delete\") "
                               "VALUES (?1, ?2, ?3, ?4, ?5, ?6)",
                               -1, &raw, nullptr) != SQLITE_OK)
            return failed();
        Statement insert(raw);
        std::int64_t id = 0;
        for (const PriceListEntry& entry : entries) {
            sqlite3_reset(raw);
            sqlite3_bind_int64(raw, 1, ++id);
            bindText(raw, 2, entry.quickid);
            bindText(raw, 3, entry.name);
            bindAmount(raw, 4, entry.cost);
            bindAmount(raw, 5, entry.retailPrice);
            sqlite3_bind_int(raw, 6, entry.deleted ? 1 : 0);
            if (sqlite3_step(raw) != SQLITE_DONE)
                return failed();
        }
    }
    status = file->execute("COMMIT");
    if (!status)
        return status;
    return file->commit();
}

} // namespace tarvex
