// Row numbers and ranges typed at the terminal review's prompt.
#include "review/RowList.h"

#include "platform/text/TextHelpers.h"

#include <algorithm>
#include <charconv>
#include <set>

namespace tarvex {

namespace {

bool parseNumber(const std::string& text, std::size_t& value)
{
    std::string_view digits = trimmed(text);
    if (digits.empty())
        return false;
    auto [end, ec] = std::from_chars(digits.data(), digits.data() + digits.size(), value);
    return ec == std::errc() && end == digits.data() + digits.size();
}

} // namespace

Result<std::vector<std::size_t>> parseRowList(const std::string& text, std::size_t rowCount)
{
    using R = Result<std::vector<std::size_t>>;
    std::set<std::size_t> rows;
    std::size_t start = 0;
    if (trimmed(text).empty())
        return R::failure("no row numbers given");
    while (start <= text.size()) {
        std::size_t comma = text.find(',', start);
        std::string part = text.substr(start, comma == std::string::npos ? std::string::npos : comma - start);
        start = comma == std::string::npos ? text.size() + 1 : comma + 1;
        std::size_t first = 0, last = 0;
        std::size_t dash = part.find('-');
        bool ok = dash == std::string::npos
                      ? parseNumber(part, first) && (last = first, true)
                      : parseNumber(part.substr(0, dash), first) && parseNumber(part.substr(dash + 1), last);
        if (!ok || first > last)
            return R::failure("not a row number or range: \"" + std::string(trimmed(part)) + "\"");
        if (first < 1 || last > rowCount)
            return R::failure("no row " + std::to_string(first < 1 ? first : last) + " (rows are 1 to " +
                              std::to_string(rowCount) + ")");
        for (std::size_t row = first; row <= last; ++row)
            rows.insert(row - 1);
    }
    return std::vector<std::size_t>(rows.begin(), rows.end());
}

} // namespace tarvex
