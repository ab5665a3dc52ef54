// ReadHold: one read transaction on a database for as long as it lives, so
// that a long walk with a lookup per record takes the file's lock once.
#pragma once

#include "platform/Database.h"

namespace tarvex {

class ReadHold {
public:
    explicit ReadHold(Database& db)
        : m_db(db)
        , m_status(db.beginRead())
    {
    }
    ~ReadHold() { m_db.endRead(); }
    ReadHold(const ReadHold&) = delete;
    ReadHold& operator=(const ReadHold&) = delete;

    // Whether the transaction began.
    const Status& status() const { return m_status; }

private:
    Database& m_db;
    Status m_status;
};

} // namespace tarvex
