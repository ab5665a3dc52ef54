// FieldReading: a stored field read as the number, whole number or text the
// program asks for, the same for every database engine. Failures name the
// record and the column, so a user can find the field that could not be
// read.
#pragma once

#include "platform/Recordset.h"

#include <cstdint>
#include <optional>
#include <string>

namespace tarvex {

// Empty gives nothing; text, binary data, NaN or an infinity fails.
Result<std::optional<double>> fieldAsNumber(const FieldValue& value, const std::string& record,
                                            const std::string& column);
// Empty gives nothing; anything that is not a whole number fails.
Result<std::optional<std::int64_t>> fieldAsInteger(const FieldValue& value, const std::string& record,
                                                   const std::string& column);
// Empty gives nothing; numbers in their stored text form; binary data fails.
Result<std::optional<std::string>> fieldAsText(const FieldValue& value, const std::string& record,
                                               const std::string& column);

} // namespace tarvex
