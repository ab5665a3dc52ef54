#include "support/SampleDatabases.h"

#include "data/Schema.h"

#include <sqlite3.h>

#include <stdexcept>
#include <sys/wait.h>
#include <unistd.h>

namespace tarvex::test {

namespace {

struct Connection {
    explicit Connection(const std::string& path, int flags = SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE)
    {
        if (sqlite3_open_v2(path.c_str(), &db, flags, nullptr) != SQLITE_OK)
            throw std::runtime_error("cannot open " + path);
    }
    ~Connection() { sqlite3_close_v2(db); }
    void exec(const std::string& sql)
    {
        char* error = nullptr;
        if (sqlite3_exec(db, sql.c_str(), nullptr, nullptr, &error) != SQLITE_OK) {
            std::string text = error ? error : "?";
            sqlite3_free(error);
            throw std::runtime_error(text + " in: " + sql);
        }
    }
    sqlite3_stmt* prepare(const std::string& sql)
    {
        sqlite3_stmt* stmt = nullptr;
        if (sqlite3_prepare_v2(db, sql.c_str(), -1, &stmt, nullptr) != SQLITE_OK)
            throw std::runtime_error(std::string(sqlite3_errmsg(db)) + " in: " + sql);
        return stmt;
    }
    sqlite3* db = nullptr;
};

void bindText(sqlite3_stmt* stmt, int i, const std::optional<std::string>& value)
{
    if (value)
        sqlite3_bind_text(stmt, i, value->data(), static_cast<int>(value->size()), SQLITE_TRANSIENT);
    else
        sqlite3_bind_null(stmt, i);
}

void bindNumber(sqlite3_stmt* stmt, int i, const std::optional<double>& value)
{
    if (value)
        sqlite3_bind_double(stmt, i, *value);
    else
        sqlite3_bind_null(stmt, i);
}

std::optional<double> columnNumber(sqlite3_stmt* stmt, int i)
{
    if (sqlite3_column_type(stmt, i) == SQLITE_NULL)
        return std::nullopt;
    return sqlite3_column_double(stmt, i);
}

} // namespace

void makeUpdateDatabase(const std::string& path, const std::vector<std::string>& vendors,
                        const std::vector<VendorRow>& products)
{
    Connection c(path);
    c.exec(std::string("BEGIN;") + schema::kUpdateDatabase);
    sqlite3_stmt* v = c.prepare("INSERT INTO Vendor (Name) VALUES (?1)");
    for (const std::string& name : vendors) {
        bindText(v, 1, name);
        sqlite3_step(v);
        sqlite3_reset(v);
    }
    sqlite3_finalize(v);
    sqlite3_stmt* p =
        c.prepare("INSERT INTO product (ID, quickid, Name, cost, retailprice, \"Delete\") VALUES (?1,?2,?3,?4,?5,?6)");
    for (const VendorRow& row : products) {
        sqlite3_bind_int64(p, 1, row.id);
        bindText(p, 2, row.quickid);
        bindText(p, 3, row.name);
        bindNumber(p, 4, row.cost);
        bindNumber(p, 5, row.price);
        if (row.deleted)
            sqlite3_bind_int64(p, 6, *row.deleted);
        else
            sqlite3_bind_null(p, 6);
        if (sqlite3_step(p) != SQLITE_DONE) {
            // NOT NULL on "Delete" refuses an empty flag; tests that need one
            // relax the column first with execSql.
            sqlite3_finalize(p);
            throw std::runtime_error(std::string("insert failed: ") + sqlite3_errmsg(c.db));
        }
        sqlite3_reset(p);
    }
    sqlite3_finalize(p);
    c.exec("COMMIT");
}

void makeHostDatabase(const std::string& path, const std::vector<HostRow>& products)
{
    Connection c(path);
    c.exec(std::string("BEGIN;") + schema::kHostDatabase);
    sqlite3_stmt* p =
        c.prepare("INSERT INTO product (quickid, Name, cost, retailprice, \"Delete\") VALUES (?1,?2,?3,?4,?5)");
    for (const HostRow& row : products) {
        bindText(p, 1, row.quickid);
        bindText(p, 2, row.name);
        bindNumber(p, 3, row.cost);
        bindNumber(p, 4, row.price);
        sqlite3_bind_int64(p, 5, row.deleted);
        sqlite3_step(p);
        sqlite3_reset(p);
    }
    sqlite3_finalize(p);
    c.exec("COMMIT");
}

void makeTwoProducts(const std::string& updatePath, const std::string& hostPath)
{
    makeUpdateDatabase(updatePath, {"Acme"}, {{1, "P1", "", 5.0, 12.0}, {2, "P2", "", 3.0, 12.0}});
    makeHostDatabase(hostPath, {{"P1", 4.0, 9.0}, {"P2", 3.0, 10.0}});
}

void execSql(const std::string& path, const std::string& sql)
{
    Connection c(path, SQLITE_OPEN_READWRITE);
    c.exec(sql);
}

void leaveInterruptedWrite(const std::string& path, const std::string& sql)
{
    pid_t child = ::fork();
    if (child < 0)
        throw std::runtime_error("cannot start a writer for " + path);
    if (child == 0) {
        // A cache of two pages makes the transaction spill its changes into
        // the file, with the old pages in the journal; leaving without a
        // commit or a close is what a kill does.
        sqlite3* db = nullptr;
        int rc = sqlite3_open_v2(path.c_str(), &db, SQLITE_OPEN_READWRITE, nullptr);
        if (rc == SQLITE_OK)
            rc = sqlite3_exec(db,
                              ("PRAGMA cache_size = 2; BEGIN; " + sql +
                               "; CREATE TABLE interrupted_spill (x);"
                               " WITH RECURSIVE n(i) AS (SELECT 1 UNION ALL SELECT i + 1 FROM n WHERE i < 2000)"
                               " INSERT INTO interrupted_spill SELECT randomblob(300) FROM n;")
                                  .c_str(),
                              nullptr, nullptr, nullptr);
        ::_exit(rc == SQLITE_OK ? 0 : 1);
    }
    int status = 0;
    if (::waitpid(child, &status, 0) != child || !WIFEXITED(status) || WEXITSTATUS(status) != 0)
        throw std::runtime_error("the interrupted writer failed on " + path);
}

std::vector<HostRow> readHostProducts(const std::string& path)
{
    Connection c(path, SQLITE_OPEN_READONLY);
    sqlite3_stmt* s = c.prepare("SELECT quickid, cost, retailprice, \"Delete\", Name FROM product ORDER BY rowid");
    std::vector<HostRow> rows;
    while (sqlite3_step(s) == SQLITE_ROW) {
        HostRow row;
        if (sqlite3_column_type(s, 0) != SQLITE_NULL)
            row.quickid = reinterpret_cast<const char*>(sqlite3_column_text(s, 0));
        row.cost = columnNumber(s, 1);
        row.price = columnNumber(s, 2);
        row.deleted = sqlite3_column_int64(s, 3);
        if (sqlite3_column_type(s, 4) != SQLITE_NULL)
            row.name = reinterpret_cast<const char*>(sqlite3_column_text(s, 4));
        rows.push_back(row);
    }
    sqlite3_finalize(s);
    return rows;
}

std::string tableRows(const std::string& path, const std::string& table)
{
    Connection c(path, SQLITE_OPEN_READONLY);
    sqlite3_stmt* s = c.prepare("SELECT rowid, * FROM \"" + table + "\" ORDER BY rowid");
    std::string rows;
    while (sqlite3_step(s) == SQLITE_ROW) {
        for (int i = 0; i < sqlite3_column_count(s); ++i) {
            // The storage class and the stored bytes: a number's double as
            // its bytes, so that no formatting hides a difference.
            int type = sqlite3_column_type(s, i);
            rows += std::to_string(type) + ":";
            if (type == SQLITE_FLOAT) {
                double value = sqlite3_column_double(s, i);
                rows.append(reinterpret_cast<const char*>(&value), sizeof value);
            } else if (type != SQLITE_NULL) {
                const void* bytes = sqlite3_column_blob(s, i);
                rows.append(static_cast<const char*>(bytes), static_cast<std::size_t>(sqlite3_column_bytes(s, i)));
            }
            rows += '|';
        }
        rows += '\n';
    }
    sqlite3_finalize(s);
    return rows;
}

std::string integrityCheck(const std::string& path)
{
    Connection c(path, SQLITE_OPEN_READONLY);
    sqlite3_stmt* s = c.prepare("PRAGMA integrity_check");
    std::string result;
    while (sqlite3_step(s) == SQLITE_ROW)
        result += std::string(result.empty() ? "" : "\n") + reinterpret_cast<const char*>(sqlite3_column_text(s, 0));
    sqlite3_finalize(s);
    return result;
}

std::string accessFileStart(const std::string& format)
{
    std::string page(4096, '\0');
    page[1] = '\x01';
    page.replace(4, 15, "Standard " + format + " DB");
    return page;
}

} // namespace tarvex::test
