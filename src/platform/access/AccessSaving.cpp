// Saving records of an Access database: the claim and the writers.
#include "platform/access/AccessSaving.h"

#include "platform/access/AccessFileUsers.h"
#include "platform/access/AccessLockFile.h"

#include <cassert>
#include <cerrno>
#include <cstring>
#include <filesystem>
#include <unistd.h>
#include <utility>

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
    if (writer.ok())
        return Status::success();
    // The writer's own texts leave the file to the caller; the reader's name it.
    std::string error = withoutPath(writer.error());
    return Status::failure(m_file.path() + ": " + error, ErrorKind::ReadOnly);
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

Result<std::vector<std::optional<AccessEncoded>>>
AccessSaving::save(const std::string& table, const std::vector<std::string>& columns, const AccessPlace& place,
                   const std::vector<AccessStoredField>& expected, const std::vector<AccessAmount>& values,
                   const std::vector<AccessKnownBy>& knownBy, AccessFlush flush)
{
    assert(columns.size() == values.size() && columns.size() == expected.size() &&
           "one value and one field as read for each column");
    if (!m_claim)
        if (Status claimed = claim(); !claimed)
            return Status::failure(withoutPath(claimed.error()), claimed.kind());
    Writer& writer = writerFor(table, columns);
    if (!writer.writer)
        return writer.refusal;
    // The write on its way, this writer's own or another's (other columns),
    // reaches the disk once this save is made ready and before it writes.
    auto index = static_cast<std::size_t>(&writer - m_writers.data());
    AccessWriter* onItsWay = m_pending && *m_pending != index ? &*m_writers[*m_pending].writer : nullptr;
    AccessWriteStatus saved = writer.writer->save(place, expected, values, knownBy, flush, onItsWay);
    // One write is on its way at most: this save's, or, when it failed
    // before it flushed the earlier one, that one still.
    if (writer.writer->flushPending())
        m_pending = index;
    else if (m_pending && !m_writers[*m_pending].writer->flushPending())
        m_pending.reset();
    if (saved.earlier)
        m_failedFlush = saved.status();
    if (!saved.ok())
        return saved.status();
    return std::move(saved.written);
}

Status AccessSaving::saveNothing()
{
    Status flushed = flush();
    if (!flushed)
        m_failedFlush = flushed;
    return flushed;
}

Status AccessSaving::flush()
{
    // The earlier save whose flush failed within a later save is reported
    // here as well, where its caller learns how it ended.
    if (m_failedFlush)
        return *std::exchange(m_failedFlush, std::nullopt);
    if (!m_pending)
        return Status::success();
    std::size_t index = *m_pending;
    m_pending.reset();
    assert(index < m_writers.size() && m_writers[index].writer && "a write on its way has its writer");
    return m_writers[index].writer->flush().status();
}

AccessSaving::Writer& AccessSaving::writerFor(const std::string& table, const std::vector<std::string>& columns)
{
    for (Writer& writer : m_writers)
        if (writer.table == table && writer.columns == columns)
            return writer;
    Writer& made = m_writers.emplace_back(Writer{table, columns, std::nullopt, Status::success()});
    Result<AccessWriter> opened = AccessWriter::open(m_file, table, columns);
    if (opened.ok())
        made.writer.emplace(std::move(*opened));
    else
        made.refusal = Status::failure(withoutPath(opened.error()), opened.kind());
    return made;
}

std::string AccessSaving::withoutPath(const std::string& error) const
{
    // The claim's texts, and the reader's, name the file: "kv.mdb: cannot
    // ..." and "kv.mdb is in use by ..." alike.
    for (const std::string& prefix : {m_file.path() + ": ", m_file.path() + " "})
        if (error.rfind(prefix, 0) == 0)
            return error.substr(prefix.size());
    return error;
}

void AccessSaving::release()
{
    // The writers' descriptors are closed before the claim ends, so that
    // nothing of this program still has the file open once others may; the
    // write still on its way is on the disk first (a caller that wanted to
    // know how that went flushed it itself).
    m_failedFlush.reset();
    (void)flush();
    m_writers.clear();
    if (m_claim) {
        m_claim->release();
        m_claim.reset();
    }
}

} // namespace tarvex
