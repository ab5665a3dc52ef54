// The CREATE statements of the two database files, as documented for vendors
// in docs/file-format.md. The price-list maker and the sample host maker
// write files with them; the program itself only reads the files' schema.
#pragma once

namespace tarvex::schema {

inline constexpr const char* kUpdateDatabase = R"sql(
CREATE TABLE Vendor (
    Name TEXT
);
CREATE TABLE product (
    ID          INTEGER NOT NULL,
    quickid     TEXT COLLATE NOCASE,
    Name        TEXT,
    cost        REAL,
    retailprice REAL,
    "Delete"    INTEGER NOT NULL DEFAULT 0
);
CREATE UNIQUE INDEX Primarykey ON product (ID);
CREATE INDEX UpdateID ON product (quickid, ID);
)sql";

inline constexpr const char* kHostDatabase = R"sql(
CREATE TABLE product (
    quickid     TEXT COLLATE NOCASE,
    Name        TEXT,
    cost        REAL,
    retailprice REAL,
    "Delete"    INTEGER NOT NULL DEFAULT 0
);
CREATE INDEX QuickID ON product (quickid);
)sql";

} // namespace tarvex::schema
