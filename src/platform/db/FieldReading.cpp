// Reading a stored field as a number, a whole number or text.
#include "platform/db/FieldReading.h"

#include <cmath>

namespace tarvex {

Result<std::optional<double>> fieldAsNumber(const FieldValue& value, const RecordName& record,
                                            const std::string& column, bool holdsDates)
{
    using R = Result<std::optional<double>>;
    switch (value.type) {
    case FieldValue::Type::Null:
        return std::optional<double>();
    case FieldValue::Type::Integer:
        return std::optional<double>(static_cast<double>(value.integer));
    case FieldValue::Type::Real:
        if (holdsDates)
            return R::failure(record() + ": \"" + column + "\" holds a date (a Date/Time column), not a number");
        if (std::isfinite(value.real))
            return std::optional<double>(value.real);
        return R::failure(record() + ": \"" + column + "\" is not a finite number");
    case FieldValue::Type::Text:
        return R::failure(record() + ": \"" + column + "\" holds text, not a number");
    case FieldValue::Type::Blob:
        break;
    }
    return R::failure(record() + ": \"" + column + "\" holds binary data, not a number");
}

Result<std::optional<std::int64_t>> fieldAsInteger(const FieldValue& value, const RecordName& record,
                                                   const std::string& column)
{
    using R = Result<std::optional<std::int64_t>>;
    if (value.type == FieldValue::Type::Null)
        return std::optional<std::int64_t>();
    if (value.type == FieldValue::Type::Integer)
        return std::optional<std::int64_t>(value.integer);
    if (value.type == FieldValue::Type::Real && std::isfinite(value.real) && value.real == std::trunc(value.real) &&
        std::fabs(value.real) < 9.0e18)
        return std::optional<std::int64_t>(static_cast<std::int64_t>(value.real));
    return R::failure(record() + ": \"" + column + "\" is not a whole number");
}

Result<std::optional<std::string>> fieldAsText(const FieldValue& value, const RecordName& record,
                                               const std::string& column, RealText realText)
{
    using R = Result<std::optional<std::string>>;
    switch (value.type) {
    case FieldValue::Type::Null:
        return std::optional<std::string>();
    case FieldValue::Type::Integer:
        return std::optional<std::string>(std::to_string(value.integer));
    case FieldValue::Type::Real:
        return std::optional<std::string>(realText(value.real));
    case FieldValue::Type::Text:
        return std::optional<std::string>(value.bytes);
    case FieldValue::Type::Blob:
        break;
    }
    return R::failure(record() + ": \"" + column + "\" holds binary data, not text");
}

} // namespace tarvex
