// Fuzz target: any bytes as the update database, through the open and its
// checks, the vendor read and the whole list build against a small sound
// host database. Whatever the file holds, the host database is only read.
#include "FuzzSupport.h"

#include "data/Schema.h"
#include "data/UpdateDatabase.h"
#include "review/ChangeList.h"

#include <sqlite3.h>

#include <cstdlib>
#include <cstring>

namespace {

// A host database with a few products whose codes a price list may name.
std::string makeHost()
{
    std::string path = tarvex::fuzz::scratchFile("kv.mdb");
    sqlite3* db = nullptr;
    if (sqlite3_open(path.c_str(), &db) != SQLITE_OK)
        std::abort();
    std::string sql = std::string(tarvex::schema::kHostDatabase) +
                      "INSERT INTO product (quickid, cost, retailprice) VALUES ('A', 1, 2), ('B', NULL, 3), "
                      "('a', 4, NULL), ('1', 0.5, 0.75), ('', 1, 1);";
    if (sqlite3_exec(db, sql.c_str(), nullptr, nullptr, nullptr) != SQLITE_OK)
        std::abort();
    sqlite3_close(db);
    return path;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    using namespace tarvex;
    static const std::string hostPath = makeHost();
    static const std::string updatePath = fuzz::scratchFile("invupdate.mdb");
    std::remove((updatePath + "-journal").c_str());
    std::remove((updatePath + "-wal").c_str());
    std::remove((updatePath + "-shm").c_str());
    fuzz::writeBytes(updatePath, data, size);

    Result<Database> update = openUpdateDatabase(updatePath);
    if (!update.ok()) {
        // A refusal always names the file.
        if (update.error().find(updatePath) == std::string::npos)
            std::abort();
        return 0;
    }
    (void)firstVendorName(*update);
    Result<Database> host = Database::open(hostPath);
    if (!host.ok())
        std::abort();
    fuzz::SilentPrompter prompter;
    Result<ChangeList> list = buildChangeList(*update, *host, prompter);
    if (list.ok()) {
        for (const ProposedChange& row : list->rows)
            if (row.restore || row.change == ChangeLabel::ChangedSince)
                std::abort();
    }
    return 0;
}
