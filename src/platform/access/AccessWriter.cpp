// Writing amounts into an Access file in place: the checks at open, the
// encoding of each column type, and the save of one record.
#include "platform/access/AccessWriter.h"

#include "platform/access/AccessProperties.h"
#include "platform/access/AccessValue.h"
#include "platform/bytes/LittleEndian.h"
#include "platform/text/TextHelpers.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cassert>
#include <cerrno>
#include <charconv>
#include <cmath>
#include <cstring>

namespace tarvex {

namespace {

// The columns Jet's replication adds to every table it replicates.
constexpr const char* kReplicationColumns[] = {"s_GUID", "s_Lineage", "s_Generation"};

// The shortest text that reads back as value, for messages.
std::string numberText(double value)
{
    char text[32];
    auto written = std::to_chars(text, text + sizeof text, value);
    return written.ec == std::errc() ? std::string(text, written.ptr) : std::string("?");
}

bool isReadOnlyError(int error)
{
    return error == EACCES || error == EPERM || error == EROFS || error == ETXTBSY;
}

// Reads size bytes at offset, all of them, retrying an interrupted read.
bool readFully(int fd, char* data, std::size_t size, off_t offset)
{
    std::size_t done = 0;
    while (done < size) {
        ssize_t n = ::pread(fd, data + done, size - done, offset + static_cast<off_t>(done));
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return false;
        done += static_cast<std::size_t>(n);
    }
    return true;
}

// Why the table as a whole cannot be written, or nothing.
std::optional<std::string> tableRefusal(const AccessTableDefinition& definition,
                                        const std::vector<AccessColumn>& targets, const AccessTableRecord& record)
{
    namespace t = access_type;
    std::string table = "table \"" + definition.name + "\"";
    for (const AccessColumn& column : targets) {
        std::string named = table + ", column \"" + column.name + "\"";
        if (column.calculated)
            return named + " is calculated from other columns; this program writes only stored amounts";
        if (column.type != t::kDouble && column.type != t::kCurrency && column.type != t::kSingle)
            return named + " is neither Double, Currency nor Single; this program writes only those";
        if (!column.fixed)
            return named + " is not stored at a fixed place in its records";
        for (const AccessIndex& index : definition.indexes)
            for (const std::string& key : index.columns)
                if (sameIgnoringCase(key, column.name))
                    return named + " is part of the index \"" + index.name +
                           "\", which this program cannot update; remove the index in Access first";
    }
    for (const AccessColumn& column : definition.columns)
        for (const char* replication : kReplicationColumns)
            if (sameIgnoringCase(column.name, replication))
                return table + " is replicated; this program does not write replicated tables";
    for (const AccessPropertyBlock& block : record.blocks) {
        bool ofColumn = false;
        for (const AccessColumn& column : definition.columns)
            ofColumn = ofColumn || sameIgnoringCase(block.name, column.name);
        std::string rule = block.text("ValidationRule");
        if (!ofColumn && !trimmed(rule).empty())
            return table + " has a validation rule of its own (\"" + rule + "\"), which this program cannot check";
    }
    if (!record.extra.empty())
        return table + " has data macros (or other extra data Access runs), which this program cannot run";
    return std::nullopt;
}

} // namespace

ErrorKind errorKindOf(AccessWriteFailure failure)
{
    switch (failure) {
    case AccessWriteFailure::None:
    case AccessWriteFailure::Refused:
        return ErrorKind::Other;
    case AccessWriteFailure::TableRefused:
    case AccessWriteFailure::ReadOnly:
        return ErrorKind::ReadOnly;
    case AccessWriteFailure::RecordGone:
    case AccessWriteFailure::Changed:
        return ErrorKind::Changed;
    case AccessWriteFailure::Io:
        return ErrorKind::Io;
    }
    return ErrorKind::Other;
}

AccessWriter::AccessWriter(int fd, AccessTableDefinition definition, std::vector<Target> targets, std::size_t pageSize,
                           bool jet3)
    : m_fd(fd)
    , m_definition(std::move(definition))
    , m_targets(std::move(targets))
    , m_pageSize(pageSize)
    , m_format(&jetFormat(jet3 ? DatabaseKind::Jet3 : DatabaseKind::Jet4))
{
    assert(m_fd >= 0 && m_pageSize > 0 && "a writer holds an open file of known page size");
}

AccessWriter::AccessWriter(AccessWriter&& other) noexcept
    : m_fd(other.m_fd)
    , m_definition(std::move(other.m_definition))
    , m_targets(std::move(other.m_targets))
    , m_pageSize(other.m_pageSize)
    , m_format(other.m_format)
    , m_pending(std::move(other.m_pending))
{
    other.m_fd = -1;
    other.m_pending.reset();
}

AccessWriter::~AccessWriter()
{
    // A write left on its way is flushed before the file is let go; a
    // caller that wanted to know how that went called flush() itself.
    if (m_fd >= 0 && m_pending)
        (void)flush();
    if (m_fd >= 0)
        ::close(m_fd);
}

Result<AccessWriter> AccessWriter::open(const AccessFile& file, const std::string& table,
                                        const std::vector<std::string>& columns)
{
    using F = AccessWriteFailure;
    auto fail = [](F kind, const std::string& problem) {
        return Result<AccessWriter>::failure(problem, errorKindOf(kind));
    };
    Result<AccessTableDefinition> definition = file.definition(table);
    if (!definition.ok())
        return fail(F::TableRefused, definition.error());
    std::vector<Target> targets;
    std::vector<AccessColumn> chosen;
    for (const std::string& name : columns) {
        const AccessColumn* found = nullptr;
        for (const AccessColumn& column : definition->columns)
            if (sameIgnoringCase(column.name, name) && (!found || column.name == name))
                found = &column;
        if (!found)
            return fail(F::TableRefused, "table \"" + definition->name + "\" has no column \"" + name + "\"");
        targets.push_back({*found, std::nullopt, {}});
        chosen.push_back(*found);
    }
    Result<AccessTableRecord> record = accessTableRecord(file, definition->page);
    if (!record.ok())
        return fail(F::TableRefused, record.error());
    if (std::optional<std::string> refusal = tableRefusal(*definition, chosen, *record))
        return fail(F::TableRefused, *refusal);
    for (Target& target : targets) {
        for (const AccessPropertyBlock& block : record->blocks) {
            if (!sameIgnoringCase(block.name, target.column.name))
                continue;
            // A Yes/No property: one byte, zero for No.
            std::string required = block.text("Required");
            target.required = target.required || required.find_first_not_of('\0') != std::string::npos;
            std::string rule = block.text("ValidationRule");
            if (trimmed(rule).empty())
                continue;
            Result<AccessRule> parsed = AccessRule::parse(rule, target.column.name);
            if (parsed.ok())
                target.rule = std::move(*parsed);
            else
                target.ruleProblem =
                    "its validation rule \"" + rule + "\" cannot be checked by this program (" + parsed.error() + ")";
        }
    }

    // The writer's own descriptor: O_RDWR to change bytes in place, never
    // O_CREAT or O_TRUNC (the file must exist as read); O_CLOEXEC so that no
    // program started meanwhile inherits it; O_NONBLOCK so that a named pipe
    // put at the path cannot stall the open (fstat then refuses it).
    int fd = ::open(file.path().c_str(), O_RDWR | O_CLOEXEC | O_NOCTTY | O_NONBLOCK);
    if (fd < 0) {
        int error = errno;
        return fail(isReadOnlyError(error) ? F::ReadOnly : F::Io,
                    std::string(isReadOnlyError(error) ? "cannot be written: " : "cannot open: ") +
                        std::strerror(error));
    }
    AccessWriter writer(fd, std::move(*definition), std::move(targets), file.image().pageSize(), file.image().isJet3());
    // The path must still name the file that was read: a file put in its
    // place since (a restore, a copy) holds other records at those places.
    struct stat info {};
    if (::fstat(fd, &info) != 0 || !S_ISREG(info.st_mode) || static_cast<std::uint64_t>(info.st_dev) != file.device() ||
        static_cast<std::uint64_t>(info.st_ino) != file.inode())
        return fail(F::Changed, "the file is no longer the one that was read; open it again");
    // Nor may the table's definition have changed since it was read: the
    // places of the columns in each record come from it.
    std::string page;
    AccessWriteStatus error;
    std::uint32_t n = writer.m_definition.page;
    for (int pages = 0; n != 0 && pages < 64; ++pages) {
        const unsigned char* read = file.image().page(n);
        if (!read || !writer.readPage(n, page, error))
            return fail(F::Io, error.error.empty() ? "cannot read page " + std::to_string(n) : error.error);
        if (std::memcmp(page.data(), read, page.size()) != 0)
            return fail(F::Changed, "the definition of table \"" + writer.m_definition.name +
                                        "\" has changed since the file was read; open it again");
        n = read[0] == 0x02 ? get32(read + 4) : 0;
    }
    return writer;
}

Result<AccessWriter::Encoded> AccessWriter::encode(std::size_t position, double value) const
{
    assert(position < m_targets.size() && "a column the writer was not opened for");
    return encode(m_targets.at(position).column, value);
}

Result<AccessWriter::Encoded> AccessWriter::encode(const AccessColumn& column, double value)
{
    using R = Result<Encoded>;
    namespace t = access_type;
    if (!std::isfinite(value))
        return R::failure("\"" + column.name + "\" cannot hold a value that is not a number");
    if (column.type == t::kCurrency) {
        // Fixed point with four decimals, as Access converts a Double: the
        // nearest ten-thousandth, ties to even (the default rounding mode).
        double scaled = std::nearbyint(value * 10000.0);
        // -2^63 is the least value a Currency holds; 2^63 is one past the most.
        if (scaled < -9223372036854775808.0 || scaled >= 9223372036854775808.0)
            return R::failure("\"" + column.name + "\" is a Currency column, which cannot hold " + numberText(value) +
                              " (it holds -922337203685477.5808 to 922337203685477.5807)");
        auto units = static_cast<std::int64_t>(scaled);
        return Encoded{littleEndianBytes(static_cast<std::uint64_t>(units), 8), static_cast<double>(units) / 10000.0};
    }
    if (column.type == t::kSingle) {
        // Past this a float rounds to infinity.
        if (std::fabs(value) >= 0x1.ffffffp127)
            return R::failure("\"" + column.name + "\" is a Single column, which cannot hold " + numberText(value));
        auto single = static_cast<float>(value);
        std::uint32_t bits = 0;
        std::memcpy(&bits, &single, sizeof bits);
        return Encoded{littleEndianBytes(bits, 4), singleAsDouble(single)};
    }
    std::uint64_t bits = 0;
    std::memcpy(&bits, &value, sizeof bits);
    return Encoded{littleEndianBytes(bits, 8), value};
}

bool AccessWriter::readPage(std::uint32_t n, std::string& buffer, AccessWriteStatus& error) const
{
    buffer.assign(m_pageSize, '\0');
    if (readFully(m_fd, buffer.data(), m_pageSize, static_cast<off_t>(n) * static_cast<off_t>(m_pageSize)))
        return true;
    int code = errno;
    error = {AccessWriteFailure::Io,
             "cannot read page " + std::to_string(n) + ": " +
                 (code ? std::strerror(code) : "the file is shorter than it was"),
             {}};
    return false;
}

std::optional<std::string> AccessWriter::sharesBytes(const AccessRowFields& fields, const AccessColumn& column,
                                                     const AccessRowBytes& value) const
{
    for (const AccessColumn& other : m_definition.columns) {
        // A Yes/No value lives in the null mask, whatever bytes its entry gives.
        if (other.number == column.number || other.type == access_type::kYesNo)
            continue;
        std::optional<AccessRowBytes> held = fields.bytes(other);
        if (held && held->data < value.data + value.size && value.data < held->data + held->size)
            return other.name;
    }
    return std::nullopt;
}

AccessWriteStatus AccessWriter::failed(AccessWriteFailure failure, const AccessPlace& place,
                                       const std::string& problem) const
{
    return {failure,
            "table \"" + m_definition.name + "\", record at page " + std::to_string(place.page) + " row " +
                std::to_string(place.row) + ": " + problem,
            {}};
}

AccessWriteStatus AccessWriter::save(const AccessPlace& place, const std::vector<AccessStoredField>& expected,
                                     const std::vector<AccessAmount>& values, const std::vector<AccessKnownBy>& knownBy,
                                     AccessFlush flush, AccessWriter* onItsWay)
{
    assert(expected.size() == m_targets.size() && values.size() == m_targets.size() &&
           "one value and one field as read for each column the writer was opened for");
    if (expected.size() != m_targets.size() || values.size() != m_targets.size())
        return failed(AccessWriteFailure::Refused, place, "a value or the record as read is missing for a column");
    AccessWriteStatus encoded = encodeAll(place, values);
    if (!encoded.ok())
        return encoded;
    bool anything = std::any_of(values.begin(), values.end(),
                                [](const AccessAmount& value) { return value.kind != AccessAmount::Kind::Kept; });
    if (!anything) {
        if (AccessWriteStatus flushed = flushEarlier(onItsWay); !flushed.ok())
            return flushed;
        return encoded;
    }
    Located located;
    if (AccessWriteStatus found = locate(place, located); !found.ok())
        return found;
    if (AccessWriteStatus same = verify(place, located.fields, expected, knownBy); !same.ok())
        return same;
    if (AccessWriteStatus written = write(place, located, values, encoded.written, onItsWay); !written.ok())
        return written;
    if (flush == AccessFlush::Now)
        if (AccessWriteStatus flushed = this->flush(); !flushed.ok())
            return flushed;
    return encoded;
}

AccessWriteStatus AccessWriter::flush()
{
    using F = AccessWriteFailure;
    if (!m_pending)
        return {};
    Pending pending = std::move(*m_pending);
    m_pending.reset();
    // fdatasync, not fsync: the bytes and what reading them needs reach the
    // disk; the file's times need not.
    if (::fdatasync(m_fd) != 0)
        return failed(F::Io, pending.place, std::string("cannot flush to the disk: ") + std::strerror(errno));
    // Read back what the file now holds there.
    std::string check(pending.bytes.size(), '\0');
    if (!readFully(m_fd, check.data(), check.size(), pending.where) || check != pending.bytes)
        return failed(F::Io, pending.place, "the record does not read back as written");
    return {};
}

AccessWriteStatus AccessWriter::flushEarlier(AccessWriter* onItsWay)
{
    assert(!(flushPending() && onItsWay && onItsWay->flushPending()) && "one write at a time is on its way");
    AccessWriteStatus flushed = flush();
    if (flushed.ok() && onItsWay && onItsWay != this)
        flushed = onItsWay->flush();
    flushed.earlier = !flushed.ok();
    return flushed;
}

AccessWriteStatus AccessWriter::encodeAll(const AccessPlace& place, const std::vector<AccessAmount>& values) const
{
    using F = AccessWriteFailure;
    AccessWriteStatus status;
    status.written.assign(m_targets.size(), std::nullopt);
    for (std::size_t i = 0; i < m_targets.size(); ++i) {
        const Target& target = m_targets[i];
        // Spelled only for a refusal.
        auto name = [&target] { return "\"" + target.column.name + "\""; };
        switch (values[i].kind) {
        case AccessAmount::Kind::Kept:
            continue;
        case AccessAmount::Kind::Empty:
            if (target.required)
                return failed(F::Refused, place, name() + " requires a value in Access, so it cannot be made empty");
            if (!target.ruleProblem.empty())
                return failed(F::Refused, place, name() + ": " + target.ruleProblem);
            if (target.rule && !target.rule->allows(std::nullopt))
                return failed(F::Refused, place,
                              name() + " would break its validation rule \"" + target.rule->text() +
                                  "\" if it were empty");
            continue;
        case AccessAmount::Kind::Number:
            break;
        }
        Result<Encoded> bytes = encode(i, values[i].number);
        if (!bytes.ok())
            return failed(F::Refused, place, bytes.error());
        if (!target.ruleProblem.empty())
            return failed(F::Refused, place, name() + ": " + target.ruleProblem);
        if (target.rule && !target.rule->allows(bytes->readBack))
            return failed(F::Refused, place,
                          name() + " would break its validation rule \"" + target.rule->text() + "\"");
        status.written[i] = std::move(*bytes);
    }
    return status;
}

AccessWriteStatus AccessWriter::locate(const AccessPlace& place, Located& located) const
{
    using F = AccessWriteFailure;
    // A record that grew was moved, and its first place holds the page and
    // row it went to.
    AccessWriteStatus error;
    std::string& page = located.page;
    if (!readPage(place.page, page, error))
        return error;
    auto* bytes = reinterpret_cast<unsigned char*>(page.data());
    located.pageNumber = place.page;
    unsigned flags = 0;
    std::optional<AccessRowBytes> row = rowOnPage(bytes, *m_format, place.row, flags);
    if (!row || get32(bytes + 4) != m_definition.page || (flags & kRowSkipped))
        return failed(F::RecordGone, place, "the record has been deleted since it was read");
    if (flags & kRowMoved) {
        if (row->size < 4)
            return failed(F::Io, place, "the pointer to where the record moved is cut short");
        located.pageNumber = get32(row->data) >> 8;
        unsigned liveRow = row->data[0];
        if (!readPage(located.pageNumber, page, error))
            return error;
        bytes = reinterpret_cast<unsigned char*>(page.data());
        row = rowOnPage(bytes, *m_format, liveRow, flags);
        if (!row || get32(bytes + 4) != m_definition.page || (flags & kRowMoved) || row->size == 0 ||
            !liesAmongRows(bytes, *m_format, *row))
            return failed(F::RecordGone, place, "the record is no longer where its first place points");
    }
    if (!located.fields.split(*m_format, *row, m_definition.hasVariableColumns))
        return failed(F::Io, place, "the record's layout is damaged");
    return {};
}

AccessWriteStatus AccessWriter::verify(const AccessPlace& place, const AccessRowFields& fields,
                                       const std::vector<AccessStoredField>& expected,
                                       const std::vector<AccessKnownBy>& knownBy) const
{
    using F = AccessWriteFailure;
    // The record must still be the one that was read: a record renamed since
    // holds the same amounts as before, at the same place.
    for (const AccessKnownBy& known : knownBy) {
        const AccessColumn* column = findColumn(m_definition, known.column);
        if (!column)
            return failed(F::Refused, place, "the table has no column \"" + known.column + "\"");
        if (!(fields.stored(*column) == known.stored))
            return failed(F::Changed, place,
                          "another program has changed its \"" + column->name +
                              "\" since it was read, so it may be another product now; nothing was written");
    }
    for (std::size_t i = 0; i < m_targets.size(); ++i)
        if (!(fields.stored(m_targets[i].column) == expected[i]))
            return failed(F::Changed, place,
                          "another program has changed the record since it was read; its change is kept");
    return {};
}

AccessWriteStatus AccessWriter::write(const AccessPlace& place, Located& located,
                                      const std::vector<AccessAmount>& values,
                                      const std::vector<std::optional<AccessEncoded>>& encoded, AccessWriter* onItsWay)
{
    using F = AccessWriteFailure;
    const std::string& page = located.page;
    const AccessRowFields& fields = located.fields;
    assert(page.size() == m_pageSize && "the located record's page is whole");
    auto offsetOf = [&](const unsigned char* p) {
        auto offset = static_cast<std::size_t>(p - reinterpret_cast<const unsigned char*>(page.data()));
        assert(offset < page.size() && "a field of the located record lies on its page");
        return offset;
    };
    // What this save changes, found and checked before any byte is: the
    // written amounts' own bytes and their null-mask bits. The bytes of
    // the page it may change are these ranges, and the span from the lowest
    // to the highest is all that is copied and compared.
    struct Change {
        std::size_t mask = 0;
        unsigned bit = 0;
        bool hasMask = false;
        bool empty = false;
        std::size_t value = 0;
        const std::string* bytes = nullptr;
    };
    std::vector<Change> changes;
    changes.reserve(m_targets.size());
    std::vector<std::pair<std::size_t, std::size_t>> ours;
    ours.reserve(2 * m_targets.size());
    std::size_t lowest = page.size();
    std::size_t highest = 0;
    auto makeOurs = [&](std::size_t offset, std::size_t size) {
        ours.emplace_back(offset, size);
        lowest = std::min(lowest, offset);
        highest = std::max(highest, offset + size - 1);
    };
    for (std::size_t i = 0; i < m_targets.size(); ++i) {
        const AccessColumn& column = m_targets[i].column;
        Change change;
        change.bit = 1u << (column.number % 8);
        if (const unsigned char* mask = fields.maskByte(column)) {
            change.hasMask = true;
            change.mask = offsetOf(mask);
            makeOurs(change.mask, 1);
        }
        if (values[i].kind == AccessAmount::Kind::Empty) {
            // A record older than the column reads it empty already.
            change.empty = true;
            changes.push_back(change);
            continue;
        }
        if (!encoded[i])
            continue;
        if (!change.hasMask)
            return failed(F::Refused, place,
                          "the record was written before \"" + column.name +
                              "\" was added to the table, so it has no place for it");
        std::optional<AccessRowBytes> value = fields.bytes(column);
        if (!value)
            return failed(F::Refused, place,
                          "the record's layout is damaged: \"" + column.name +
                              "\" lies outside its fixed-length values; nothing was written");
        if (value->size != encoded[i]->bytes.size())
            return failed(F::Io, place, "\"" + column.name + "\" does not have the size of its type in the record");
        if (std::optional<std::string> other = sharesBytes(fields, column, *value))
            return failed(F::Refused, place,
                          "the record's layout is damaged: \"" + column.name + "\" shares its bytes with \"" + *other +
                              "\"; nothing was written");
        change.value = offsetOf(value->data);
        change.bytes = &encoded[i]->bytes;
        makeOurs(change.value, value->size);
        changes.push_back(change);
    }
    if (lowest > highest)
        return flushEarlier(onItsWay);
    // The span with the new values, in the order the columns were given.
    std::string changed = page.substr(lowest, highest - lowest + 1);
    auto at = [&](std::size_t offset) -> char& { return changed[offset - lowest]; };
    for (const Change& change : changes) {
        if (change.empty) {
            if (change.hasMask)
                at(change.mask) = static_cast<char>(at(change.mask) & ~change.bit);
            continue;
        }
        changed.replace(change.value - lowest, change.bytes->size(), *change.bytes);
        at(change.mask) = static_cast<char>(at(change.mask) | change.bit);
    }
    // Only this save's own bytes were changed in the span, so the range
    // written lies within it: the rest of the page is not compared.
    std::size_t first = lowest;
    while (first <= highest && page[first] == at(first))
        ++first;
    if (first > highest)
        return flushEarlier(onItsWay);
    std::size_t last = highest;
    while (page[last] == at(last))
        --last;
    // Checked above column by column; a byte of another column changed here
    // would be a fault of this code, and is never written.
    for (std::size_t offset = first; offset <= last; ++offset) {
        bool foreign = page[offset] != at(offset) && std::none_of(ours.begin(), ours.end(), [&](const auto& range) {
                           return offset >= range.first && offset < range.first + range.second;
                       });
        assert(!foreign && "a save changes only its own columns' bytes");
        if (foreign)
            return failed(F::Refused, place, "the save would change bytes of other columns; nothing was written");
    }

    // The write before this one is on the disk before this one is made:
    // flushed only now, so that the disk wrote it while this one was read,
    // checked and made.
    if (AccessWriteStatus flushed = flushEarlier(onItsWay); !flushed.ok())
        return flushed;
    // One write of the changed range: within one page, so a kill leaves it
    // wholly written or not at all.
    off_t where = static_cast<off_t>(located.pageNumber) * static_cast<off_t>(m_pageSize) + static_cast<off_t>(first);
    std::size_t size = last - first + 1;
    ssize_t written = 0;
    do
        written = ::pwrite(m_fd, &at(first), size, where);
    while (written < 0 && errno == EINTR);
    if (written != static_cast<ssize_t>(size)) {
        int code = written < 0 ? errno : ENOSPC;
        return failed(isReadOnlyError(code) ? F::ReadOnly : F::Io, place,
                      std::string("cannot write: ") + std::strerror(code));
    }
    // The page is started on its way to the disk now, so that the disk
    // writes it while the caller goes on; flush() then waits for it and
    // for the disk's own cache. Only a hint: where it cannot be taken, the
    // flush does all the work, and says what the disk said.
    (void)::sync_file_range(m_fd, where, static_cast<off_t>(size), SYNC_FILE_RANGE_WRITE);
    m_pending = Pending{place, where, changed.substr(first - lowest, size)};
    return {};
}

} // namespace tarvex
