// The Access engine: a Database's operations answered from an AccessFile, and
// a Recordset's from one of its AccessTables.
#include "platform/access/AccessDatabase.h"

#include "platform/access/AccessRecordEdit.h"
#include "platform/access/AccessValue.h"
#include "platform/text/TextHelpers.h"

#include <sys/stat.h>

namespace tarvex {

namespace {

// What a save into a file opened only for reading answers.
const char* const kOpenedForReading = "the file was opened only for reading";

class AccessEngineTable : public EngineTable {
public:
    // saving is null for a file opened only for reading.
    AccessEngineTable(AccessTable table, AccessSaving* saving)
        : m_table(std::move(table))
    {
        if (saving)
            m_edit.emplace(*saving, m_table);
    }
    AccessEngineTable(const AccessEngineTable&) = delete;
    AccessEngineTable& operator=(const AccessEngineTable&) = delete;

    const std::string& tableName() const override { return m_table.tableName(); }
    Status setIndex(const std::string& index) override { return m_table.setIndex(index); }
    Result<std::optional<std::string>> repeatedKey() override { return m_table.repeatedKey(); }
    Status moveFirst() override { return m_table.moveFirst(); }
    Status moveNext() override { return m_table.moveNext(); }
    Status seek(const Key& key) override { return m_table.seek(key); }
    bool hasRecord() const override { return !m_table.eof(); }
    const FieldValue* currentField(const std::string& column, std::string& error) const override
    {
        return m_table.currentField(column, error);
    }
    RealText realText() const override { return accessNumberText; }
    // Pages once read are held for the file's life (AccessImage).
    bool readsAsLoaded() const override { return true; }
    bool holdsDates(const std::string& column) const override
    {
        const AccessColumn* found = findColumn(m_table.definition(), column);
        return found && found->type == access_type::kDateTime;
    }
    std::int64_t recordId() const override { return m_table.recordNumber(); }
    // What the writer stores for value, as the reader reads it back: both
    // take it from AccessWriter::encode.
    double storedNumber(const std::string& column, double value) const override
    {
        const AccessColumn* found = findColumn(m_table.definition(), column);
        if (!found)
            return value;
        Result<AccessWriter::Encoded> encoded = AccessWriter::encode(*found, value);
        return encoded.ok() ? encoded->readBack : value;
    }
    Status edit() override { return m_edit ? m_edit->edit() : readOnly(); }
    Status setNumber(const std::string& column, double value) override
    {
        return m_edit ? m_edit->setNumber(column, value) : readOnly();
    }
    Status setEmpty(const std::string& column) override { return m_edit ? m_edit->setEmpty(column) : readOnly(); }
    Status update() override { return m_edit ? m_edit->update() : readOnly(); }

private:
    static Status readOnly() { return Status::failure(kOpenedForReading, ErrorKind::ReadOnly); }

    AccessTable m_table;
    // Refers to m_table, which never moves: the object is made on the heap
    // and never copied.
    std::optional<AccessRecordEdit> m_edit;
};

} // namespace

AccessDatabase::AccessDatabase(AccessFile file, OpenMode mode)
    : m_file(std::move(file))
    , m_mode(mode)
{
    if (m_mode == OpenMode::ReadWrite)
        m_saving = std::make_unique<AccessSaving>(m_file);
}

Result<std::unique_ptr<AccessDatabase>> AccessDatabase::open(const std::string& path, OpenMode mode)
{
    using R = Result<std::unique_ptr<AccessDatabase>>;
    Result<AccessFile> file = AccessFile::open(path);
    if (!file.ok()) {
        // The reader's texts name the file; only the kind is decided here.
        struct stat info {};
        bool missing = ::stat(path.c_str(), &info) != 0 && errno == ENOENT;
        return R::failure(file.error(), missing ? ErrorKind::NotFound : ErrorKind::NotADatabase);
    }
    return std::unique_ptr<AccessDatabase>(new AccessDatabase(std::move(*file), mode));
}

Status AccessDatabase::beginSaves()
{
    if (!m_saving)
        return Status::failure(m_file.path() + ": " + kOpenedForReading, ErrorKind::ReadOnly);
    return m_saving->claimed() ? Status::success() : m_saving->claim();
}

Status AccessDatabase::flushSaves()
{
    return m_saving ? m_saving->flush() : Status::success();
}

void AccessDatabase::endSaves()
{
    if (m_saving)
        m_saving->release();
}

Status AccessDatabase::holdWrites()
{
    if (!m_saving)
        return Status::failure(m_file.path() + ": " + kOpenedForReading, ErrorKind::ReadOnly);
    return m_saving->claim();
}

Status AccessDatabase::saveCheck()
{
    if (!m_saving)
        return Status::failure(m_file.path() + ": " + kOpenedForReading, ErrorKind::ReadOnly);
    return m_saving->check();
}

Status AccessDatabase::tableSaveCheck(const std::string& table, const std::vector<std::string>& columns)
{
    if (!m_saving)
        return saveCheck();
    return m_saving->tableCheck(table, columns);
}

bool AccessDatabase::hasTable(const std::string& table)
{
    return m_file.hasTable(table);
}

Result<std::unique_ptr<EngineTable>> AccessDatabase::openTable(const std::string& table,
                                                               const std::vector<std::string>& columns)
{
    using R = Result<std::unique_ptr<EngineTable>>;
    if (!m_file.hasTable(table))
        return R::failure(m_file.path() + ": has no table \"" + table + "\"", ErrorKind::NotFound);
    Result<AccessTable> opened = m_file.openTable(table, columns);
    if (!opened.ok())
        return R::failure(opened.error(), ErrorKind::NotADatabase);
    return std::unique_ptr<EngineTable>(new AccessEngineTable(std::move(*opened), m_saving.get()));
}

Result<IndexInfo> AccessDatabase::index(const std::string& table, const std::string& index)
{
    using R = Result<IndexInfo>;
    if (!m_file.hasTable(table))
        return R::failure(m_file.path() + ": has no table \"" + table + "\"", ErrorKind::NotFound);
    Result<AccessTableDefinition> definition = m_file.definition(table);
    if (!definition.ok())
        return R::failure(definition.error(), ErrorKind::NotADatabase);
    const AccessIndex* found = nullptr;
    for (const AccessIndex& candidate : definition->indexes)
        if (sameIgnoringCase(candidate.name, index) && (!found || candidate.name == index))
            found = &candidate;
    if (!found)
        return R::failure(m_file.path() + ": table \"" + definition->name + "\" has no index \"" + index + "\"",
                          ErrorKind::NotFound);
    if (found->columns.empty())
        return R::failure(m_file.path() + ": index \"" + found->name + "\" of table \"" + definition->name +
                          "\" has no columns");
    return IndexInfo{found->name, found->columns, found->unique};
}

Result<std::uint64_t> AccessDatabase::recordCount(const std::string& table)
{
    Result<AccessTable> opened = m_file.openTable(table, {});
    if (!opened.ok())
        return Result<std::uint64_t>::failure(opened.error(), ErrorKind::NotADatabase);
    return static_cast<std::uint64_t>(opened->recordCount());
}

} // namespace tarvex
