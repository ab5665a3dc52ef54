// The engine side of Database and Recordset: what one kind of database file
// (SQLite or Access) must provide for the program to read and change it. Callers
// never see these classes; they use Database and Recordset, which hold one and
// pass each operation on. Database::open() reads the start of the file and
// picks the engine, so the rest of the program never chooses one.
//
// Every failure names the file (or the table and record) and carries the
// ErrorKind a caller may decide by.
#pragma once

#include "platform/Result.h"

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <variant>
#include <vector>

namespace tarvex {

// A seek key: a number for integer keys, a text for text keys.
using Key = std::variant<std::int64_t, std::string>;

// One field of the current record as it is stored.
struct FieldValue {
    enum class Type { Null, Integer, Real, Text, Blob };
    Type type = Type::Null;
    std::int64_t integer = 0;
    double real = 0;
    std::string bytes; // the text or the blob
};

// How an engine writes a stored real number as text: the text the engine
// itself gives for it, the same for every locale (see fieldAsText).
using RealText = std::string (*)(double value);

// A named index of a table, as the file defines it.
struct IndexInfo {
    std::string name;                 // the file's own spelling
    std::vector<std::string> columns; // its key columns, first to last
    bool unique = false;
};

// Whether a database file is opened for reading and writing or only for
// reading.
enum class OpenMode { ReadWrite, ReadOnly };

// How a database file is opened.
struct OpenOptions {
    // How long a read or write waits for a lock held by another program
    // before it gives up.
    int busyTimeoutMs = 5000;
    // ReadOnly never writes the file, and works in a folder that cannot be
    // written (see Database::open).
    OpenMode mode = OpenMode::ReadWrite;
};

// One table opened with a chosen set of columns; see Recordset for what each
// operation means.
class EngineTable {
public:
    virtual ~EngineTable() = default;

    virtual const std::string& tableName() const = 0;
    virtual Status setIndex(const std::string& index) = 0;
    virtual Result<std::optional<std::string>> repeatedKey() = 0;
    virtual Status moveFirst() = 0;
    virtual Status moveNext() = 0;
    virtual Status seek(const Key& key) = 0;
    virtual bool hasRecord() const = 0;
    // The current record's field without a copy; null, with error set, when
    // there is no current record or the column was not opened.
    virtual const FieldValue* currentField(const std::string& column, std::string& error) const = 0;
    // How the engine writes a stored real number as text.
    virtual RealText realText() const = 0;
    // Whether the column stores dates (whose numbers are day counts, not
    // amounts); false for an engine that has no such type.
    virtual bool holdsDates(const std::string& /*column*/) const { return false; }
    // The current record's number within its table, 0 when none.
    virtual std::int64_t recordId() const = 0;
    // Whether fields read what the file held when the table was read, and
    // what this table's own saves left, never a later change by another
    // program (which its save then finds); false for an engine that reads
    // the file as it is at each read.
    virtual bool readsAsLoaded() const { return false; }
    // The number column would hold after setNumber(column, value) and
    // update(), as a field would then read it. SQLite keeps a real as given
    // (a column of INTEGER or NUMERIC affinity keeps a whole one as an
    // integer of the same value), which is the answer here.
    virtual double storedNumber(const std::string& column, double value) const
    {
        (void)column;
        return value;
    }
    virtual Status edit() = 0;
    virtual Status setNumber(const std::string& column, double value) = 0;
    // Empties a field, as an undo puts back a value that was empty. An engine
    // that cannot says so; nothing is then written.
    virtual Status setEmpty(const std::string& column)
    {
        return Status::failure("table \"" + tableName() + "\": column \"" + column +
                               "\": this database cannot be given an empty value");
    }
    virtual Status update() = 0;
};

// One open database file; see Database for what each operation means.
class DatabaseEngine {
public:
    virtual ~DatabaseEngine() = default;

    virtual bool hasTable(const std::string& table) = 0;
    virtual Result<std::unique_ptr<EngineTable>> openTable(const std::string& table,
                                                           const std::vector<std::string>& columns) = 0;
    virtual Result<IndexInfo> index(const std::string& table, const std::string& index) = 0;
    virtual Result<std::uint64_t> recordCount(const std::string& table) = 0;
    virtual Status saveCheck() = 0;
    // Nothing to refuse for an engine that writes any table it can open.
    virtual Status tableSaveCheck(const std::string& /*table*/, const std::vector<std::string>& /*columns*/)
    {
        return Status::success();
    }
    virtual Status settleLog() = 0;
    // Nothing to take or let go for an engine that holds nothing between saves.
    virtual Status beginSaves() { return Status::success(); }
    virtual void endSaves() {}
    // Nothing to flush for an engine whose saves are durable when they return.
    virtual Status flushSaves() { return Status::success(); }
    virtual Status holdWrites() = 0;
    virtual void endHold() = 0;
    virtual Status beginRead() = 0;
    virtual void endRead() = 0;
};

} // namespace tarvex
