// AccessWriter: changes the stored amounts of records of one table of a
// genuine Access file in place, and nothing else. Only the bytes of the
// chosen columns (Double, Currency or Single, all of fixed length) and, where
// an empty value becomes a number, the record's null-mask bits change: no
// page is repacked, no record moves, no index, usage map or catalog changes.
//
// A table where such a change would leave the file inconsistent or bypass
// what Access enforces is refused at open(), before anything is written: an
// amount that an index holds (the index would go stale), a calculated column,
// a column of another type, a table-level validation rule, data macros
// (ACE), a replicated table. A column's own validation rule is checked for
// every value written (see AccessRule).
//
// save() changes one record: the values reach the disk together in one write
// of the changed bytes of one page, flushed before save() returns, and only
// while the record still holds what was read. A kill at any moment leaves
// the record wholly old or wholly new. The writer never shares the file with
// Access: making sure no other program has it open is the caller's part.
#pragma once

#include "platform/access/AccessFile.h"
#include "platform/access/AccessRule.h"
#include "platform/Result.h"

#include <optional>
#include <string>
#include <vector>

namespace tarvex {

// Why a save failed, for the caller's decisions; the text says the rest.
enum class AccessWriteFailure {
    None,
    Refused,    // this record (at open: this table) cannot take these values; nothing was written
    RecordGone, // the record was deleted since it was read
    Changed,    // another program changed the record (at open: the file) since it was read; its change is kept
    ReadOnly,   // the file refuses writes
    Io          // the system could not read or write the file
};

struct AccessWriteStatus {
    AccessWriteFailure failure = AccessWriteFailure::None;
    std::string error; // names the file, table, record and problem
    bool ok() const { return failure == AccessWriteFailure::None; }
    Status status() const { return ok() ? Status::success() : Status::failure(error); }
};

// A column a record is known by (a code it is looked up by, its primary
// key), as stored when it was read: a record that no longer holds it may be
// another one now.
struct AccessKnownBy {
    std::string column;
    AccessStoredField stored;
};

class AccessWriter {
public:
    // Opens the file that file was read from for writing the columns of
    // table. Fails, with the reason, when the path now names another file or
    // one that cannot be written, when the table's definition on disk is no
    // longer the one read, or for any of the tables refused as a whole above;
    // failure (when given) then tells which: Changed, ReadOnly, Io, or
    // Refused for a table that cannot be written as it is.
    static Result<AccessWriter> open(const AccessFile& file, const std::string& table,
                                     const std::vector<std::string>& columns, AccessWriteFailure* failure = nullptr);

    AccessWriter(AccessWriter&& other) noexcept;
    AccessWriter& operator=(AccessWriter&&) = delete;
    ~AccessWriter();

    // Writes values (one per column given to open(), nothing leaving that
    // column as it is) into the record at place, as read from the file that
    // open() was given. expected holds each column as that reading stored it
    // (AccessTable::stored); the record is written only while it still holds
    // exactly that, wherever it now lives (a record moved to another page is
    // written at its new place). Durable when it returns success.
    //
    // Refused, with nothing written: a value the column cannot hold (a NaN
    // or infinity; beyond a Currency's or Single's range), a value its
    // validation rule refuses or a rule that cannot be checked, a record that
    // does not hold the column (written before the column was added).
    //
    // empty (when given, one per column) names columns to be made empty
    // instead, whose value must then be nothing: only the record's null-mask
    // bit changes. Refused as well: a column Access requires a value in (its
    // Required property), or whose rule refuses an empty value or cannot be
    // checked. A record that does not hold the column already reads it empty.
    //
    // knownBy (when given) names the columns the record was found by: it is
    // written only while each still holds what was read (Changed when not:
    // renamed by another program, it may be another product now).
    AccessWriteStatus save(const AccessPlace& place, const std::vector<AccessStoredField>& expected,
                           const std::vector<std::optional<double>>& values, const std::vector<bool>& empty = {},
                           const std::vector<AccessKnownBy>& knownBy = {});

    // The bytes the column at position would store for value, and the value
    // Access reads back from them; fails with the reason it cannot hold it.
    // Currency rounds to four decimals, ties to even, as Access converts a
    // Double; Single takes the nearest float.
    struct Encoded {
        std::string bytes;
        double readBack = 0;
    };
    Result<Encoded> encode(std::size_t position, double value) const;
    // The same for a column of any table: what a writer of that column
    // would store (a column of another type as a Double).
    static Result<Encoded> encode(const AccessColumn& column, double value);

private:
    struct Target {
        AccessColumn column;
        std::optional<AccessRule> rule;
        std::string ruleProblem; // why the column's rule cannot be checked
        bool required = false;   // its Required property: it may not be empty
    };

    AccessWriter(int fd, std::string path, AccessTableDefinition definition, std::vector<Target> targets,
                 std::size_t pageSize, bool jet3);
    // Reads page n into buffer; false with error set on failure.
    bool readPage(std::uint32_t n, std::string& buffer, AccessWriteStatus& error) const;
    AccessWriteStatus failed(AccessWriteFailure failure, const AccessPlace& place, const std::string& problem) const;
    // The name of another column of the record split into fields whose bytes
    // overlap value, the bytes of column; nothing when none does (a damaged
    // record's variable-length offsets can point into its amounts).
    std::optional<std::string> sharesBytes(const AccessRowFields& fields, const AccessColumn& column,
                                           const AccessRowBytes& value) const;

    int m_fd = -1;
    std::string m_path;
    AccessTableDefinition m_definition;
    std::vector<Target> m_targets;
    std::size_t m_pageSize = 0;
    bool m_jet3 = false;
    AccessImage m_format; // no bytes: the format, which is all that splitting a record needs
};

} // namespace tarvex
