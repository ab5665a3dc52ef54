// AccessValue: one stored field of an Access record decoded from its bytes
// into the program's FieldValue, the same on every system whatever its
// locale: Yes/No from the null mask (-1 or 0), whole numbers as Integer,
// Double, Single, Currency, Decimal and Date/Time as Real, texts and memos
// as UTF-8 Text, anything else as Blob. NULL stays distinct from empty text.
#pragma once

#include "platform/Recordset.h"
#include "platform/access/AccessImage.h"

namespace tarvex {

// The type codes of the stored column types this reader decodes.
namespace access_type {
inline constexpr int kYesNo = 0x01;
inline constexpr int kByte = 0x02;
inline constexpr int kInteger = 0x03;
inline constexpr int kLong = 0x04;
inline constexpr int kCurrency = 0x05;
inline constexpr int kSingle = 0x06;
inline constexpr int kDouble = 0x07;
inline constexpr int kDateTime = 0x08;
inline constexpr int kText = 0x0a;
inline constexpr int kOle = 0x0b;
inline constexpr int kMemo = 0x0c;
inline constexpr int kDecimal = 0x10;
inline constexpr int kBigInt = 0x13;
} // namespace access_type

// The value of column in the split record. A record that does not hold the
// column (written before it was added) gives NULL, or No for a Yes/No
// column. Fails, with a text naming the problem, when the stored bytes do
// not fit the column's type or a memo's parts cannot be found. codePage is
// the database's, for Jet 3 text. longBytesLeft is how many more bytes memos
// and OLE values may take, taken down by each one read: a file cannot hold
// more of them than its own size, so a damaged file whose records all name
// the same long chain of parts fails instead of filling the memory.
Result<FieldValue> decodeField(const AccessImage& image, const AccessRowFields& row, const AccessColumn& column,
                               unsigned codePage, std::size_t& longBytesLeft);

// The double nearest the shortest decimal that reads back as value: a
// Single of 5.2 is 5.2, not 5.19999980926514.
double singleAsDouble(float value);

// A stored real number as text, the way Access shows it: the shortest
// general form with at most 15 significant digits ("5", "5.2", "1250000").
std::string accessNumberText(double value);

} // namespace tarvex
