// Saving records of an Access database: the claim, the writers, and the
// kinds their failures are reported with.
#include "platform/access/AccessSaving.h"

#include "platform/access/AccessFileUsers.h"
#include "platform/access/AccessLockFile.h"

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <unistd.h>

namespace tarvex {

AccessSaving::AccessSaving(const AccessFile& file)
    : m_file(file)
{
}

AccessSaving::~AccessSaving()
{
    release();
}

Status AccessSaving::check() const
{
    return accessSaveCheck(m_file.path(), m_file.kind());
}

Status AccessSaving::tableCheck(const std::string& table, const std::vector<std::string>& columns) const
{
    Result<AccessWriter> writer = AccessWriter::open(m_file, table, columns);
    return writer.ok() ? Status::success() : Status::failure(writer.error(), ErrorKind::ReadOnly);
}

Status accessSaveCheck(const std::string& path, DatabaseKind kind)
{
    // access() asks with the real user's rights, which are the process's own
    // here: the program is never set-user-id.
    if (::access(path.c_str(), W_OK) != 0)
        return Status::failure(path + ": cannot be written: " + std::strerror(errno), ErrorKind::ReadOnly);
    // The claim makes a lock file beside the database when there is none,
    // as Access does; a folder that cannot take it cannot take the claim.
    DatabaseKind lockKind = kind == DatabaseKind::Ace ? DatabaseKind::Ace : DatabaseKind::Jet4;
    std::vector<std::string> lockFiles = lockFilesBeside(path, lockKind);
    // The claim writes its entry into the first lock file it finds.
    if (!lockFiles.empty() && ::access(lockFiles.front().c_str(), W_OK) != 0 && errno != ENOENT)
        return Status::failure(lockFiles.front() + ": cannot open the lock file for writing: " + std::strerror(errno),
                               ErrorKind::ReadOnly);
    if (lockFiles.empty()) {
        std::filesystem::path folder = std::filesystem::path(path).parent_path();
        if (folder.empty())
            folder = ".";
        if (::access(folder.c_str(), W_OK | X_OK) != 0)
            return Status::failure(path + ": its folder " + folder.string() +
                                       " cannot take the lock file every user of the database writes in",
                                   ErrorKind::ReadOnly);
    }
    return Status::success();
}

Status AccessSaving::claim()
{
    if (m_claim) {
        Result<AccessFileUsers> users = m_claim->others();
        if (!users.ok())
            return Status::failure(users.error(), ErrorKind::Io);
        if (users->anyone())
            return Status::failure(users->message(m_file.path()), ErrorKind::Busy);
        return Status::success();
    }
    Result<AccessFileClaim> taken = AccessFileClaim::take(m_file.path());
    if (!taken.ok())
        return taken.status();
    m_claim.emplace(std::move(*taken));
    return Status::success();
}

Status AccessSaving::save(const std::string& table, const std::vector<std::string>& columns, const AccessPlace& place,
                          const std::vector<AccessStoredField>& expected,
                          const std::vector<std::optional<double>>& values,
                          std::vector<std::optional<AccessWriter::Encoded>>* written, const std::vector<bool>& empty,
                          const std::vector<AccessKnownBy>& knownBy)
{
    if (!m_claim)
        if (Status claimed = claim(); !claimed)
            return Status::failure(withoutPath(claimed.error()), claimed.kind());
    Writer& writer = writerFor(table, columns);
    if (!writer.writer)
        return writer.refusal;
    AccessWriteStatus saved = writer.writer->save(place, expected, values, empty, knownBy);
    std::string error = withoutPath(saved.error);
    switch (saved.failure) {
    case AccessWriteFailure::None:
        break;
    case AccessWriteFailure::Refused:
        return Status::failure(error);
    case AccessWriteFailure::RecordGone:
    case AccessWriteFailure::Changed:
        return Status::failure(error, ErrorKind::Changed);
    case AccessWriteFailure::ReadOnly:
        return Status::failure(error, ErrorKind::ReadOnly);
    case AccessWriteFailure::Io:
        return Status::failure(error, ErrorKind::Io);
    }
    if (!saved.ok())
        return Status::failure(error, ErrorKind::Io);
    if (written) {
        written->assign(values.size(), std::nullopt);
        for (std::size_t i = 0; i < values.size(); ++i)
            if (values[i])
                if (Result<AccessWriter::Encoded> bytes = writer.writer->encode(i, *values[i]); bytes.ok())
                    (*written)[i] = std::move(*bytes);
    }
    return Status::success();
}

AccessSaving::Writer& AccessSaving::writerFor(const std::string& table, const std::vector<std::string>& columns)
{
    for (Writer& writer : m_writers)
        if (writer.table == table && writer.columns == columns)
            return writer;
    Writer& made = m_writers.emplace_back(Writer{table, columns, std::nullopt, Status::success()});
    AccessWriteFailure failure = AccessWriteFailure::None;
    Result<AccessWriter> opened = AccessWriter::open(m_file, table, columns, &failure);
    if (opened.ok()) {
        made.writer.emplace(std::move(*opened));
        return made;
    }
    // Every record of the table would fail the same way: the kinds that
    // stop the apply, but for a file another program changed since it was
    // read, whose records each keep that program's change.
    std::string error = withoutPath(opened.error());
    switch (failure) {
    case AccessWriteFailure::Changed:
    case AccessWriteFailure::RecordGone:
        made.refusal = Status::failure(error, ErrorKind::Changed);
        break;
    case AccessWriteFailure::Io:
        made.refusal = Status::failure(error, ErrorKind::Io);
        break;
    case AccessWriteFailure::None:
    case AccessWriteFailure::Refused:
    case AccessWriteFailure::ReadOnly:
        made.refusal = Status::failure(error, ErrorKind::ReadOnly);
        break;
    }
    return made;
}

std::string AccessSaving::withoutPath(const std::string& error) const
{
    // "kv.mdb: cannot ..." and "kv.mdb is in use by ..." alike.
    for (const std::string& prefix : {m_file.path() + ": ", m_file.path() + " "})
        if (error.rfind(prefix, 0) == 0)
            return error.substr(prefix.size());
    return error;
}

void AccessSaving::release()
{
    // The writers' descriptors are closed before the claim ends, so that
    // nothing of this program still has the file open once others may.
    m_writers.clear();
    if (m_claim) {
        m_claim->release();
        m_claim.reset();
    }
}

AccessRecordEdit::AccessRecordEdit(AccessSaving& saving, AccessTable& table)
    : m_saving(saving)
    , m_table(table)
{
}

Status AccessRecordEdit::edit()
{
    if (m_table.eof())
        return Status::failure("table \"" + m_table.tableName() + "\": no current record to change");
    m_editing = true;
    m_columns.clear();
    m_values.clear();
    return Status::success();
}

Status AccessRecordEdit::setNumber(const std::string& column, double value)
{
    return set(column, value);
}

Status AccessRecordEdit::setEmpty(const std::string& column)
{
    return set(column, std::nullopt);
}

Status AccessRecordEdit::set(const std::string& column, std::optional<double> value)
{
    if (!m_editing)
        return Status::failure("table \"" + m_table.tableName() + "\": no record is being changed");
    if (Result<FieldValue> read = m_table.field(column); !read.ok())
        return read.status();
    for (std::size_t i = 0; i < m_columns.size(); ++i)
        if (m_columns[i] == column) {
            m_values[i] = value;
            return Status::success();
        }
    m_columns.push_back(column);
    m_values.push_back(value);
    return Status::success();
}

Status AccessRecordEdit::update()
{
    if (!m_editing)
        return Status::failure("table \"" + m_table.tableName() + "\": no record is being changed");
    m_editing = false;
    if (m_columns.empty())
        return Status::success();
    std::vector<AccessStoredField> expected;
    for (const std::string& column : m_columns) {
        Result<AccessStoredField> stored = m_table.stored(column);
        if (!stored.ok())
            return stored.status();
        expected.push_back(std::move(*stored));
    }
    std::vector<bool> empty;
    for (const std::optional<double>& value : m_values)
        empty.push_back(!value);
    Result<std::vector<AccessKnownBy>> known = knownBy();
    if (!known.ok())
        return known.status();
    std::vector<std::optional<AccessWriter::Encoded>> written;
    Status saved =
        m_saving.save(m_table.tableName(), m_columns, m_table.place(), expected, m_values, &written, empty, *known);
    if (!saved.ok())
        return saved;
    for (std::size_t i = 0; i < m_columns.size(); ++i) {
        // An emptied field keeps its bytes; only its null-mask bit changed.
        Status noted =
            written[i] ? m_table.noteSaved(m_columns[i], {true, true, written[i]->bytes}, written[i]->readBack)
                       : m_table.noteSaved(m_columns[i], {expected[i].held, false, expected[i].bytes}, std::nullopt);
        if (!noted)
            return noted;
    }
    return Status::success();
}

Result<std::vector<AccessKnownBy>> AccessRecordEdit::knownBy() const
{
    std::vector<AccessKnownBy> known;
    auto add = [&](const AccessIndex& index) {
        for (const std::string& column : index.columns) {
            bool listed = false;
            for (const AccessKnownBy& already : known)
                listed = listed || already.column == column;
            if (listed)
                continue;
            Result<AccessStoredField> stored = m_table.stored(column);
            if (!stored.ok())
                return stored.status();
            known.push_back({column, std::move(*stored)});
        }
        return Status::success();
    };
    if (const AccessIndex* index = m_table.index())
        if (Status added = add(*index); !added.ok())
            return added;
    for (const AccessIndex& index : m_table.definition().indexes)
        if (index.primary)
            if (Status added = add(index); !added.ok())
                return added;
    return known;
}

} // namespace tarvex
