// The CREATE statements of the run record, the file in which Tarvex keeps
// what each run wrote to a host database, as documented in
// docs/file-format.md. The file is marked as Tarvex's by its application id
// and carries the version of these statements as its user version.
#pragma once

#include <cstdint>

namespace tarvex::schema {

// "TvxH" in ASCII: set in the file's header, so that no other SQLite file is
// ever taken for a run record.
inline constexpr std::int32_t kRunRecordApplicationId = 0x54767848;
// Where the bytes of the runs' locks begin: a live run holds the byte at
// this offset plus its number with an open-file-description write lock. Far
// past SQLite's own lock bytes (at 1 GiB) and past any size the file reaches.
inline constexpr std::int64_t kRunLockBase = std::int64_t{1} << 40;
// The version of the statements below.
inline constexpr int kRunRecordVersion = 1;

inline constexpr const char* kRunRecord = R"sql(
CREATE TABLE run (
    number          INTEGER PRIMARY KEY,
    kind            TEXT NOT NULL CHECK (kind IN ('update', 'undo')),
    undoes          INTEGER REFERENCES run (number),
    started         INTEGER NOT NULL,
    computer        TEXT NOT NULL,
    user            TEXT NOT NULL,
    vendor          TEXT NOT NULL,
    update_database TEXT NOT NULL,
    backup_file     TEXT NOT NULL,
    finished        INTEGER,
    CHECK ((kind = 'undo') = (undoes IS NOT NULL))
);
CREATE INDEX run_undoes ON run (undoes);
CREATE TABLE entry (
    id           INTEGER PRIMARY KEY,
    run          INTEGER NOT NULL REFERENCES run (number),
    host_record  NOT NULL CHECK (typeof(host_record) IN ('integer', 'text')),
    code         TEXT NOT NULL,
    name         TEXT NOT NULL,
    cost_before  REAL,
    price_before REAL,
    cost_after   REAL,
    price_after  REAL,
    undoes_entry INTEGER REFERENCES entry (id),
    state        TEXT NOT NULL DEFAULT 'pending'
                 CHECK (state IN ('pending', 'saved', 'unchanged', 'failed')),
    reason       TEXT
);
CREATE INDEX entry_run ON entry (run, state);
CREATE INDEX entry_undoes ON entry (undoes_entry);
)sql";

// The CHECK constraints of the statements above, over every row of each
// table in one statement: "ok", or the text SQLite's integrity_check gives
// for the first table with a row that breaks one. SQLite's own check of the
// constraints evaluates each row's IN lists on their own, building the list
// of allowed states again for every entry (about half of the check's
// time on a record of many runs); the record is checked with them left out
// (ignore_check_constraints) and then with this.
inline constexpr const char* kRunRecordChecks = R"sql(
SELECT CASE
WHEN EXISTS (SELECT 1 FROM run
             WHERE NOT (kind IN ('update', 'undo')) OR NOT ((kind = 'undo') = (undoes IS NOT NULL)))
THEN 'CHECK constraint failed in run'
WHEN EXISTS (SELECT 1 FROM entry
             WHERE NOT (typeof(host_record) IN ('integer', 'text'))
                OR NOT (state IN ('pending', 'saved', 'unchanged', 'failed')))
THEN 'CHECK constraint failed in entry'
ELSE 'ok' END
)sql";

} // namespace tarvex::schema
