// AccessRecordEdit: the change of one record of an opened Access table, as
// a Recordset makes it: edit() starts it on the current record, setNumber()
// gives a column its new amount and setEmpty() makes it empty, update()
// saves them together through saving (its write left on its way to the
// disk, for AccessSaving::flush), only while the record still holds
// what table read, in its amounts and in the columns it is known by (those
// of the index it was found through, and of the primary key). After a save
// the table reads the new amounts, and a later save of the record starts
// from them.
#pragma once

#include "platform/Result.h"
#include "platform/access/AccessSaving.h"
#include "platform/access/AccessTable.h"

#include <string>
#include <vector>

namespace tarvex {

class AccessRecordEdit {
public:
    // Both must outlive this object.
    AccessRecordEdit(AccessSaving& saving, AccessTable& table);

    Status edit();
    // Fails when edit() did not start a change, or the column was not
    // opened or cannot be read.
    Status setNumber(const std::string& column, double value);
    // As setNumber(), for a column to be made empty.
    Status setEmpty(const std::string& column);
    // Saves the amounts given since edit(); nothing to do when none was.
    // Fails as AccessSaving::save() does, and the record is then left as it
    // was.
    Status update();

private:
    Status set(const std::string& column, AccessAmount value);
    // The columns the current record is known by, as the table read them.
    Result<std::vector<AccessKnownBy>> knownBy() const;

    AccessSaving& m_saving;
    AccessTable& m_table;
    bool m_editing = false;
    std::vector<std::string> m_columns;
    std::vector<AccessAmount> m_values; // one per column of m_columns
};

} // namespace tarvex
