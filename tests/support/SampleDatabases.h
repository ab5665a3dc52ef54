// Real database files for tests, made with the documented schema in a
// temporary folder, and small readers to check them afterwards.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace tarvex::test {

struct VendorRow {
    std::int64_t id = 0;
    std::optional<std::string> quickid;
    std::string name;
    std::optional<double> cost;
    std::optional<double> price;
    std::optional<std::int64_t> deleted = 0;
};

struct HostRow {
    std::optional<std::string> quickid;
    std::optional<double> cost;
    std::optional<double> price;
    std::int64_t deleted = 0;
    std::string name;
};

// Writes an update database with the given vendor records and products.
void makeUpdateDatabase(const std::string& path, const std::vector<std::string>& vendors,
                        const std::vector<VendorRow>& products);
// Writes a host database with the given products, in that rowid order.
void makeHostDatabase(const std::string& path, const std::vector<HostRow>& products);
// The price list and host many tests share: vendor Acme's P1 and P2, both of
// whose costs and prices the host holds lower.
void makeTwoProducts(const std::string& updatePath, const std::string& hostPath);
// Runs SQL on an existing file; throws on failure.
void execSql(const std::string& path, const std::string& sql);

// Runs sql in a write transaction in a child process that ends part-way,
// without committing, as a writer killed half-way does: the file is left
// with a hot journal that the next read-write open rolls back.
void leaveInterruptedWrite(const std::string& path, const std::string& sql);

// The host products as they are stored now, in rowid order.
std::vector<HostRow> readHostProducts(const std::string& path);
// Every row of a table, rowid first, in rowid order, each value with its
// storage class and stored bytes: equal texts mean byte-equal rows.
std::string tableRows(const std::string& path, const std::string& table);
// The result of PRAGMA integrity_check ("ok" for a sound file).
std::string integrityCheck(const std::string& path);

// The first page of an Access database file of the given format ("Jet" or
// "ACE"): its signature at byte 4 and zeros after it, which is all that tells
// the kind of file.
std::string accessFileStart(const std::string& format);

} // namespace tarvex::test
