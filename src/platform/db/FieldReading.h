// FieldReading: a stored field read as the number, whole number or text the
// program asks for, by one rule for every database engine. Only a real
// number's text differs between engines: each gives the text the engine
// itself shows for it (SQLite's "5.0", Access's "5"), so that a code stored
// as a number reads as the same file's text columns and indexes spell it.
// Failures name the record and the column, so a user can find the field
// that could not be read.
#pragma once

#include "platform/db/DatabaseEngine.h"

#include <cstdint>
#include <functional>
#include <optional>
#include <string>

namespace tarvex {

// The name of the record a field is read from ("table "T", record N"),
// asked for only when the read fails: a list build reads every field of
// every product, and a sound field needs no name.
using RecordName = std::function<std::string()>;

// Empty gives nothing; text, binary data, NaN or an infinity fails, as does
// any value of a column that holds dates (day counts, never amounts).
Result<std::optional<double>> fieldAsNumber(const FieldValue& value, const RecordName& record,
                                            const std::string& column, bool holdsDates = false);
// Empty gives nothing; anything that is not a whole number fails.
Result<std::optional<std::int64_t>> fieldAsInteger(const FieldValue& value, const RecordName& record,
                                                   const std::string& column);
// Empty gives nothing; a whole number in decimal, a real number as realText
// writes it (the engine's form); binary data fails.
Result<std::optional<std::string>> fieldAsText(const FieldValue& value, const RecordName& record,
                                               const std::string& column, RealText realText);

} // namespace tarvex
