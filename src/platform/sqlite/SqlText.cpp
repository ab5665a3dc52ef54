// Quoting of identifiers and case-blind comparison of schema names.
#include "platform/sqlite/SqlText.h"

#include "platform/text/TextHelpers.h"

namespace tarvex {

std::string quoteIdentifier(const std::string& name)
{
    std::string quoted = "\"";
    for (char c : name) {
        quoted += c;
        if (c == '"')
            quoted += '"';
    }
    quoted += '"';
    return quoted;
}

bool sameName(const std::string& a, const std::string& b)
{
    return sameIgnoringCase(a, b);
}

} // namespace tarvex
