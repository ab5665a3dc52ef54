// Fuzz target: any bytes as an Access database, through the open and its
// checks, every table's definition and records, every index's walk, a seek
// and the repeated-key check, and every field read as text. A refusal
// always names the file.
#include "FuzzSupport.h"

#include "platform/access/AccessFile.h"

#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    using namespace tarvex;
    static const std::string path = fuzz::scratchFile("kv.mdb");
    fuzz::writeBytes(path, data, size);

    auto namesFile = [&](const std::string& error) {
        if (error.find(path) == std::string::npos)
            std::abort();
    };
    Result<AccessFile> db = AccessFile::open(path);
    if (!db.ok()) {
        namesFile(db.error());
        return 0;
    }
    for (const std::string& name : db->tableNames()) {
        Result<AccessTableDefinition> definition = db->definition(name);
        if (!definition.ok()) {
            namesFile(definition.error());
            continue;
        }
        std::vector<std::string> columns;
        for (const AccessColumn& column : definition->columns)
            columns.push_back(column.name);
        Result<AccessTable> table = db->openTable(name, columns);
        if (!table.ok()) {
            namesFile(table.error());
            continue;
        }
        for (const AccessIndex& index : definition->indexes) {
            if (!table->setIndex(index.name).ok())
                continue;
            for (Status walk = table->moveFirst(); walk.ok() && !table->eof(); walk = table->moveNext())
                for (const std::string& column : columns)
                    (void)table->text(column);
            (void)table->seek(Key{std::string("BW-100")});
            (void)table->seek(Key{std::int64_t{1}});
            (void)table->repeatedKey();
        }
    }
    return 0;
}
