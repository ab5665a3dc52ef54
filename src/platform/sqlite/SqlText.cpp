// Quoting of identifiers.
#include "platform/sqlite/SqlText.h"

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

} // namespace tarvex
