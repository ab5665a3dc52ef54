// Decoding an Access field's stored bytes.
#include "platform/access/AccessValue.h"

#include "platform/access/AccessText.h"
#include "platform/bytes/LittleEndian.h"

#include <algorithm>
#include <charconv>
#include <cstring>
#include <optional>

namespace tarvex {

namespace {

template <class T> T fromBytes(const unsigned char* p)
{
    std::uint64_t bits = readLittleEndian(p, sizeof(T));
    T value;
    if constexpr (sizeof(T) == 4) {
        auto narrow = static_cast<std::uint32_t>(bits);
        std::memcpy(&value, &narrow, sizeof value);
    } else {
        std::memcpy(&value, &bits, sizeof value);
    }
    return value;
}

// A calculated column's result is stored after 16 bytes of its own and its
// length (4 bytes), and followed by 3 more: what lies between is the result,
// in the form a stored value of the result's type takes. False when the
// bytes are too few to hold the wrapping; else data and size are narrowed
// to the result (never past the bytes there are).
constexpr std::size_t kCalculatedLengthAt = 16;
constexpr std::size_t kCalculatedResultAt = 20;
bool calculatedResult(const unsigned char*& data, std::size_t& size)
{
    if (size < kCalculatedResultAt)
        return false;
    std::size_t length = readLittleEndian(data + kCalculatedLengthAt, 4);
    data += kCalculatedResultAt;
    size = std::min(size - kCalculatedResultAt, length);
    return true;
}

// A memo or OLE field holds 12 bytes: the length with two flags in its top
// bits, where the parts are, and the bytes themselves when they are inline.
constexpr std::uint32_t kInline = 0x80000000u;
constexpr std::uint32_t kOneRow = 0x40000000u;
constexpr std::uint32_t kLengthMask = 0x3FFFFFFFu;

Result<std::string> longValue(const AccessImage& image, AccessRowBytes field, std::size_t& bytesLeft)
{
    using R = Result<std::string>;
    if (field.size < 12)
        return R::failure("a long value's header is cut short");
    auto header = static_cast<std::uint32_t>(readLittleEndian(field.data, 4));
    std::size_t length = header & kLengthMask;
    std::uint32_t kind = header & ~kLengthMask;
    if (length > bytesLeft)
        return R::failure("the long values are longer than the file");
    bytesLeft -= length;
    if (kind == kInline) {
        if (12 + length > field.size)
            return R::failure("a long value runs past its record");
        return std::string(reinterpret_cast<const char*>(field.data) + 12, length);
    }
    auto where = static_cast<std::uint32_t>(readLittleEndian(field.data + 4, 4));
    if (kind == kOneRow) {
        std::optional<AccessRowBytes> part = image.anyRow(where >> 8, where & 0xFF);
        if (!part || part->size < length)
            return R::failure("a long value's part is missing");
        return std::string(reinterpret_cast<const char*>(part->data), length);
    }
    if (kind != 0)
        return R::failure("a long value is of no known form");
    // A chain of parts, each starting with where the next one is. Every part
    // adds at least one byte, so the walk ends.
    std::string value;
    while (value.size() < length) {
        std::optional<AccessRowBytes> part = where ? image.anyRow(where >> 8, where & 0xFF) : std::nullopt;
        if (!part || part->size <= 4)
            return R::failure("a long value's part is missing");
        where = static_cast<std::uint32_t>(readLittleEndian(part->data, 4));
        std::size_t take = std::min(part->size - 4, length - value.size());
        value.append(reinterpret_cast<const char*>(part->data) + 4, take);
    }
    return value;
}

std::string textOf(const AccessImage& image, const unsigned char* data, std::size_t size, unsigned codePage)
{
    if (image.isJet3())
        return codePageTextToUtf8(data, size, codePage);
    return unicodeTextToUtf8(data, size);
}

FieldValue integerValue(std::int64_t value)
{
    FieldValue field;
    field.type = FieldValue::Type::Integer;
    field.integer = value;
    return field;
}

FieldValue realValue(double value)
{
    FieldValue field;
    field.type = FieldValue::Type::Real;
    field.real = value;
    return field;
}

// The double nearest a Decimal value: a sign byte (any but 0 is negative),
// then a whole number of up to 96 bits (128 stored) as four 32-bit words,
// the most significant first and each least significant byte first; the
// value is that number over ten to the column's scale. Read through its
// decimal digits, so that 5.45 reads as the double nearest 5.45, as a
// Double column holding it does.
std::optional<double> decimalValue(const unsigned char* d, int scale)
{
    // Access keeps at most 28 digits, all of them after the point at most.
    if (scale < 0 || scale > 28)
        return std::nullopt;
    std::uint32_t words[4];
    for (std::size_t i = 0; i < 4; ++i)
        words[i] = static_cast<std::uint32_t>(readLittleEndian(d + 1 + 4 * i, 4));
    // The digits, least significant first: the number divided by ten again
    // and again, word by word from the most significant.
    std::string digits;
    while (words[0] || words[1] || words[2] || words[3]) {
        std::uint64_t rest = 0;
        for (std::uint32_t& word : words) {
            std::uint64_t part = (rest << 32) | word;
            word = static_cast<std::uint32_t>(part / 10);
            rest = part % 10;
        }
        digits.push_back(static_cast<char>('0' + rest));
    }
    auto places = static_cast<std::size_t>(scale);
    if (digits.size() <= places)
        digits.append(places + 1 - digits.size(), '0');
    std::string text = d[0] != 0 ? "-" : "";
    for (std::size_t i = digits.size(); i-- > 0;) {
        text.push_back(digits[i]);
        if (i == places && i != 0)
            text.push_back('.');
    }
    double value = 0;
    auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (ec != std::errc() || end != text.data() + text.size())
        return std::nullopt;
    return value == 0 ? 0.0 : value;
}

} // namespace

double singleAsDouble(float value)
{
    char text[64];
    auto written = std::to_chars(text, text + sizeof text, value);
    double back = value;
    if (written.ec == std::errc())
        std::from_chars(text, written.ptr, back);
    return back;
}

std::string accessNumberText(double value)
{
    char text[64];
    auto written = std::to_chars(text, text + sizeof text, value, std::chars_format::general, 15);
    return written.ec == std::errc() ? std::string(text, written.ptr) : std::string();
}

Result<FieldValue> decodeField(const AccessImage& image, const AccessRowFields& row, const AccessColumn& column,
                               unsigned codePage, std::size_t& longBytesLeft)
{
    using R = Result<FieldValue>;
    namespace t = access_type;
    // A calculated column's results are read in the type they are stored
    // in, which need not be the column's own.
    const int type = column.calculated ? column.resultType : column.type;
    if (column.calculated && type == 0)
        return R::failure("the type of its calculated values is not known (the table's properties cannot be read)");
    // A Yes/No value is its null-mask bit, but for a calculated one, which
    // is stored as a value of its own (below).
    if (type == t::kYesNo && !column.calculated)
        return integerValue(row.maskBit(column) ? -1 : 0);
    if (!row.holds(column) || !row.maskBit(column))
        return FieldValue{};
    std::optional<AccessRowBytes> stored = row.bytes(column);
    if (!stored)
        return R::failure("the value lies outside its record");
    const unsigned char* d = stored->data;
    std::size_t size = stored->size;
    bool fixed = column.fixed;
    // A calculated column (ACE) keeps its last result among the variable-
    // length values, whatever its type, wrapped (see calculatedResult); a
    // calculated memo's long value holds the wrapped result.
    if (column.calculated && type != t::kMemo) {
        if (!calculatedResult(d, size))
            return R::failure("the calculated value is cut short");
        fixed = true;
    }
    auto needs = [&](std::size_t bytes) { return fixed && size >= bytes; };
    switch (type) {
    case t::kYesNo:
        if (needs(1))
            return integerValue(d[0] != 0 ? -1 : 0);
        break;
    case t::kByte:
        if (needs(1))
            return integerValue(d[0]);
        break;
    case t::kInteger:
        if (needs(2))
            return integerValue(fromBytes<std::int16_t>(d));
        break;
    case t::kLong:
        if (needs(4))
            return integerValue(fromBytes<std::int32_t>(d));
        break;
    case t::kBigInt:
        if (needs(8))
            return integerValue(fromBytes<std::int64_t>(d));
        break;
    case t::kCurrency:
        // Fixed point with four decimals: the quotient is the double
        // nearest the stored amount.
        if (needs(8))
            return realValue(static_cast<double>(fromBytes<std::int64_t>(d)) / 10000.0);
        break;
    case t::kSingle:
        if (needs(4))
            return realValue(singleAsDouble(fromBytes<float>(d)));
        break;
    case t::kDouble:
    case t::kDateTime:
        if (needs(8))
            return realValue(fromBytes<double>(d));
        break;
    case t::kDecimal:
        // Stored at a fixed place or, as some writers do, among the
        // variable-length values: 17 bytes either way.
        if (size >= 17) {
            if (std::optional<double> value = decimalValue(d, column.scale))
                return realValue(*value);
            return R::failure("the Decimal value's scale (" + std::to_string(column.scale) +
                              ") is not one Access uses");
        }
        break;
    case t::kText: {
        FieldValue field;
        field.type = FieldValue::Type::Text;
        field.bytes = textOf(image, d, size, codePage);
        return field;
    }
    case t::kMemo:
    case t::kOle: {
        Result<std::string> bytes = longValue(image, *stored, longBytesLeft);
        if (!bytes.ok())
            return R::failure(bytes.error());
        if (column.calculated) {
            const auto* result = reinterpret_cast<const unsigned char*>(bytes->data());
            std::size_t length = bytes->size();
            if (!calculatedResult(result, length))
                return R::failure("the calculated value is cut short");
            *bytes = bytes->substr(kCalculatedResultAt, length);
        }
        FieldValue field;
        if (type == t::kMemo) {
            field.type = FieldValue::Type::Text;
            field.bytes = textOf(image, reinterpret_cast<const unsigned char*>(bytes->data()), bytes->size(), codePage);
        } else {
            field.type = FieldValue::Type::Blob;
            field.bytes = std::move(*bytes);
        }
        return field;
    }
    default: {
        FieldValue field;
        field.type = FieldValue::Type::Blob;
        field.bytes.assign(reinterpret_cast<const char*>(d), size);
        return field;
    }
    }
    return R::failure("the value is too short for its type");
}

} // namespace tarvex
