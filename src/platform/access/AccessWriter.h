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
// of the changed bytes of one page, flushed before save() returns (or, asked
// for, by flush() later), and only while the record still holds what was
// read. A kill at any moment leaves the record wholly old or wholly new. The
// writer never shares the file with Access: making sure no other program has
// it open is the caller's part.
#pragma once

#include "platform/access/AccessFile.h"
#include "platform/access/AccessRule.h"
#include "platform/Result.h"

#include <optional>
#include <string>
#include <sys/types.h>
#include <vector>

namespace tarvex {

// What a save does with one column: writes a number into it, makes it
// empty, or leaves it as it is.
struct AccessAmount {
    enum class Kind { Kept, Number, Empty };
    Kind kind = Kind::Kept;
    double number = 0; // the value written, for Number only

    AccessAmount() = default;
    AccessAmount(std::nullopt_t) {}
    AccessAmount(double value)
        : kind(Kind::Number)
        , number(value)
    {
    }
    // A number, or nothing: the column left as it is.
    explicit AccessAmount(std::optional<double> value)
        : kind(value ? Kind::Number : Kind::Kept)
        , number(value.value_or(0))
    {
    }
    static AccessAmount empty()
    {
        AccessAmount amount;
        amount.kind = Kind::Empty;
        return amount;
    }
};

// The bytes a column stores for a value, and the value Access reads back
// from them.
struct AccessEncoded {
    std::string bytes;
    double readBack = 0;
};

// Why a write failed, for the caller's decisions; the text says the rest.
enum class AccessWriteFailure {
    None,
    Refused,      // this record cannot take these values; nothing was written
    TableRefused, // no record of the table can be written as it is (at open)
    RecordGone,   // the record was deleted since it was read
    Changed,      // another program changed the record (at open: the file) since it was read; its change is kept
    ReadOnly,     // the file refuses writes
    Io            // the system could not read or write the file
};

// The ErrorKind the apply decides by, for each failure: Other for one record
// that cannot take its values (the next may), ReadOnly for a table refused
// as a whole or a file that refuses writes (every save would fail the same
// way), Changed for a record another program changed or deleted (its change
// is kept), Io for a fault of the system.
ErrorKind errorKindOf(AccessWriteFailure failure);

struct AccessWriteStatus {
    AccessWriteFailure failure = AccessWriteFailure::None;
    // The problem: names the table, the record and what went wrong, never
    // the file, which the caller that shows it names.
    std::string error;
    // On success, one per column: the bytes now stored and the value they
    // read as; nothing for a column made empty or left as it was.
    std::vector<std::optional<AccessEncoded>> written;
    // The failure is the flush of the write an earlier save left on its way
    // (see AccessWriter::save): nothing of this save was written.
    bool earlier = false;
    bool ok() const { return failure == AccessWriteFailure::None; }
    Status status() const { return ok() ? Status::success() : Status::failure(error, errorKindOf(failure)); }
};

// When a save's write is flushed to the disk: before save() returns, or by
// flush() (or the writer's next save) after the caller has done other work
// while the disk writes.
enum class AccessFlush { Now, Later };

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
    // table. Fails, with the reason and the kind errorKindOf() gives, when
    // the path now names another file (Changed) or one that cannot be
    // written (ReadOnly, Io), when the table's definition on disk is no
    // longer the one read (Changed), or for any of the tables refused as a
    // whole above (ReadOnly). The writer's own texts do not name the file;
    // a failure of the reader (a table that cannot be read) does, as the
    // reader's texts all do.
    static Result<AccessWriter> open(const AccessFile& file, const std::string& table,
                                     const std::vector<std::string>& columns);

    AccessWriter(AccessWriter&& other) noexcept;
    AccessWriter& operator=(AccessWriter&&) = delete;
    ~AccessWriter();

    // Writes values (one per column given to open(), in that order: a
    // number, empty, or left as it is) into the record at place, as read
    // from the file that open() was given. expected holds each column as
    // that reading stored it (AccessTable::stored); the record is written
    // only while it still holds exactly that, wherever it now lives (a
    // record moved to another page is written at its new place). Durable
    // when it returns success, which then holds what each column now stores.
    //
    // Refused, with nothing written: a value the column cannot hold (a NaN
    // or infinity; beyond a Currency's or Single's range), a value its
    // validation rule refuses or a rule that cannot be checked, a record that
    // does not hold the column (written before the column was added).
    //
    // A column made empty changes only the record's null-mask bit. Refused
    // as well: a column Access requires a value in (its Required property),
    // or whose rule refuses an empty value or cannot be checked. A record
    // that does not hold the column already reads it empty.
    //
    // knownBy (when given) names the columns the record was found by: it is
    // written only while each still holds what was read (Changed when not:
    // renamed by another program, it may be another product now).
    //
    // With AccessFlush::Later the write is made and started on its way to
    // the disk, but not waited for: success then means written, and the
    // save is durable once flush() succeeds. A save while such a write is
    // still on its way (this writer's, or onItsWay's: another writer of the
    // same file) first reads, checks and encodes its own, so that the disk
    // writes the earlier one meanwhile, and then flushes that one before it
    // writes; when that flush fails, it fails with its failure (earlier
    // set), having written nothing. One write at a time is on its way: a
    // save that succeeds, whether it wrote or found nothing to write, leaves
    // none of the earlier ones on its way.
    //
    // Handing other than one value and one expected field per column is a
    // fault of the caller.
    AccessWriteStatus save(const AccessPlace& place, const std::vector<AccessStoredField>& expected,
                           const std::vector<AccessAmount>& values, const std::vector<AccessKnownBy>& knownBy = {},
                           AccessFlush flush = AccessFlush::Now, AccessWriter* onItsWay = nullptr);
    // Waits until the write of the last save made with AccessFlush::Later is
    // on the disk and reads it back. Fails (Io), naming the record, when
    // the disk refuses the flush or the file does not read back as written:
    // the record may then hold either its old or its new values. Success
    // when no write is on its way. Either way none is afterwards.
    AccessWriteStatus flush();
    // Whether a save's write is on its way, not yet flushed.
    bool flushPending() const { return m_pending.has_value(); }

    // What the column at position (of those given to open()) would store for
    // value; fails with the reason it cannot hold it. Currency rounds to four
    // decimals, ties to even, as Access converts a Double; Single takes the
    // nearest float.
    using Encoded = AccessEncoded;
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

    // The record at a place as it is now on disk, where it now lives.
    struct Located {
        std::string page; // the page it lives on, as read
        std::uint32_t pageNumber = 0;
        AccessRowFields fields; // the record split into its fields (pointing into page)
    };

    AccessWriter(int fd, AccessTableDefinition definition, std::vector<Target> targets, std::size_t pageSize,
                 bool jet3);
    // Reads page n into buffer; false with error set on failure.
    bool readPage(std::uint32_t n, std::string& buffer, AccessWriteStatus& error) const;
    AccessWriteStatus failed(AccessWriteFailure failure, const AccessPlace& place, const std::string& problem) const;

    // The steps of save(). What each column would store, or why a value is
    // refused, before anything is read or written.
    AccessWriteStatus encodeAll(const AccessPlace& place, const std::vector<AccessAmount>& values) const;
    // The record on disk: read, followed to where it moved, split.
    AccessWriteStatus locate(const AccessPlace& place, Located& located) const;
    // The record still the one that was read, holding what was read.
    AccessWriteStatus verify(const AccessPlace& place, const AccessRowFields& fields,
                             const std::vector<AccessStoredField>& expected,
                             const std::vector<AccessKnownBy>& knownBy) const;
    // The new values into the located record, in one write of the changed
    // bytes of its page, left on its way to the disk as m_pending, once the
    // earlier write on its way is flushed (flushEarlier).
    AccessWriteStatus write(const AccessPlace& place, Located& located, const std::vector<AccessAmount>& values,
                            const std::vector<std::optional<AccessEncoded>>& encoded, AccessWriter* onItsWay);
    // Flushes the write an earlier save left on its way, this writer's or
    // onItsWay's; a failure is marked as that save's (earlier).
    AccessWriteStatus flushEarlier(AccessWriter* onItsWay);

    // The name of another column of the record split into fields whose bytes
    // overlap value, the bytes of column; nothing when none does (a damaged
    // record's variable-length offsets can point into its amounts).
    std::optional<std::string> sharesBytes(const AccessRowFields& fields, const AccessColumn& column,
                                           const AccessRowBytes& value) const;

    int m_fd = -1;
    AccessTableDefinition m_definition;
    std::vector<Target> m_targets;
    std::size_t m_pageSize = 0;
    const JetFormat* m_format; // where a page keeps its rows and a record its fields
    // The last write made and not yet flushed: where, and the bytes written.
    struct Pending {
        AccessPlace place;
        off_t where = 0;
        std::string bytes;
    };
    std::optional<Pending> m_pending;
};

} // namespace tarvex
