// Reading a table's properties and extra data from its MSysObjects record.
#include "platform/access/AccessProperties.h"

#include "platform/access/AccessText.h"
#include "platform/access/AccessValue.h"
#include "platform/bytes/LittleEndian.h"
#include "platform/text/TextHelpers.h"

namespace tarvex {

namespace {

constexpr unsigned kNameList = 0x80;
constexpr unsigned kTableBlock = 0x00;
constexpr unsigned kColumnBlock = 0x01;
constexpr int kTableType = 1; // MSysObjects' type of a table

// Reads little-endian numbers and texts from a range, failing (ok = false)
// instead of reading past its end.
class Reader {
public:
    Reader(const std::string& bytes, std::size_t begin, std::size_t end, const JetFormat& format, unsigned codePage)
        : m_bytes(bytes)
        , m_at(begin)
        , m_end(end)
        , m_jet3(format.isJet3())
        , m_codePage(codePage)
    {
    }

    bool more() const { return ok && m_at < m_end; }
    std::size_t at() const { return m_at; }
    std::size_t left() const { return m_end - m_at; }
    // Goes on at at, which must lie within the range.
    void moveTo(std::size_t at)
    {
        if (at < m_at || at > m_end)
            ok = false;
        else
            m_at = at;
    }
    std::uint32_t number(std::size_t size)
    {
        if (!ok || left() < size) {
            ok = false;
            return 0;
        }
        auto value = static_cast<std::uint32_t>(
            readLittleEndian(reinterpret_cast<const unsigned char*>(m_bytes.data()) + m_at, size));
        m_at += size;
        return value;
    }
    std::string bytes(std::size_t size)
    {
        if (!ok || left() < size) {
            ok = false;
            return {};
        }
        std::string value = m_bytes.substr(m_at, size);
        m_at += size;
        return value;
    }
    std::string text(std::size_t size)
    {
        std::string raw = bytes(size);
        const auto* data = reinterpret_cast<const unsigned char*>(raw.data());
        return m_jet3 ? codePageTextToUtf8(data, raw.size(), m_codePage) : unicodeTextToUtf8(data, raw.size());
    }
    // A name: its length in bytes, then its text.
    std::string name() { return text(number(2)); }

    bool ok = true;

private:
    const std::string& m_bytes; // outlives the reader
    std::size_t m_at;
    std::size_t m_end;
    bool m_jet3;
    unsigned m_codePage;
};

} // namespace

std::string AccessPropertyBlock::text(const std::string& name) const
{
    for (const AccessProperty& property : properties)
        if (sameIgnoringCase(property.name, name))
            return property.value;
    return {};
}

Result<std::vector<AccessPropertyBlock>> accessProperties(const std::string& stored, const JetFormat& format,
                                                          unsigned codePage)
{
    using R = Result<std::vector<AccessPropertyBlock>>;
    std::vector<AccessPropertyBlock> blocks;
    if (stored.empty())
        return blocks;
    if (stored.size() < 4 || stored.compare(0, 4, std::string(format.propertiesHeader, 4)) != 0)
        return R::failure("its properties begin with no known header");
    std::vector<std::string> names;
    Reader all(stored, 4, stored.size(), format, codePage);
    while (all.more()) {
        std::size_t start = all.at();
        std::uint32_t length = all.number(4);
        unsigned type = all.number(2);
        if (!all.ok || length < 6 || length > stored.size() - start)
            return R::failure("its properties are cut short");
        Reader block(stored, all.at(), start + length, format, codePage);
        all.bytes(length - 6);
        if (type == kNameList) {
            while (block.more())
                names.push_back(block.name());
        } else if (type == kTableBlock || type == kColumnBlock) {
            AccessPropertyBlock values;
            std::size_t nameStart = block.at();
            std::uint32_t nameLength = block.number(4);
            if (!block.ok || nameLength < 4 || nameLength - 4 > block.left())
                return R::failure("its properties are cut short");
            if (nameLength > 6)
                values.name = block.name();
            block.moveTo(nameStart + nameLength);
            while (block.more()) {
                std::size_t valueStart = block.at();
                std::uint32_t valueLength = block.number(2);
                block.number(1); // whether the property is part of the definition
                AccessProperty property;
                property.type = static_cast<int>(block.number(1));
                std::uint32_t nameIndex = block.number(2);
                std::uint32_t size = block.number(2);
                if (!block.ok || nameIndex >= names.size() || valueLength < 8 ||
                    valueStart + valueLength > start + length || size > valueLength - 8)
                    return R::failure("a property is cut short");
                property.name = names[nameIndex];
                bool isText = property.type == access_type::kText || property.type == access_type::kMemo;
                property.value = isText ? block.text(size) : block.bytes(size);
                values.properties.push_back(std::move(property));
                block.moveTo(valueStart + valueLength);
            }
            blocks.push_back(std::move(values));
        } else {
            return R::failure("its properties hold a block of no known kind");
        }
        if (!block.ok)
            return R::failure("its properties are cut short");
    }
    return blocks;
}

Result<AccessTableRecord> accessTableRecord(const AccessFile& file, std::uint32_t page)
{
    using R = Result<AccessTableRecord>;
    bool ace = file.kind() == DatabaseKind::Ace;
    std::vector<std::string> columns{"Id", "Type", "LvProp"};
    if (ace)
        columns.push_back("LvExtra");
    Result<AccessTable> objects = file.openTable("MSysObjects", columns);
    if (!objects.ok())
        return R::failure(objects.error());
    objects->useStoredOrder();
    std::string problem = file.path() + ": the table defined on page " + std::to_string(page);
    for (Status step = objects->moveFirst(); step.ok() && !objects->eof(); step = objects->moveNext()) {
        Result<std::optional<std::int64_t>> id = objects->integer("Id");
        Result<std::optional<std::int64_t>> type = objects->integer("Type");
        if (!id.ok() || !type.ok() || !*id || !*type || **type != kTableType ||
            (static_cast<std::uint64_t>(**id) & 0x00FFFFFFu) != page)
            continue;
        AccessTableRecord record;
        Result<FieldValue> properties = objects->field("LvProp");
        if (!properties.ok())
            return R::failure(problem + ": its properties cannot be read: " + properties.error());
        Result<std::vector<AccessPropertyBlock>> blocks =
            accessProperties(properties->bytes, file.image().format(), file.codePage());
        if (!blocks.ok())
            return R::failure(problem + ": " + blocks.error());
        record.blocks = std::move(*blocks);
        if (ace) {
            Result<FieldValue> extra = objects->field("LvExtra");
            if (!extra.ok())
                return R::failure(problem + ": its extra data cannot be read: " + extra.error());
            record.extra = extra->bytes;
        }
        return record;
    }
    return R::failure(problem + " has no record in the list of objects");
}

} // namespace tarvex
