// Small helpers for writing SQL text from names the program has matched
// against a file's own schema. Values never go through here: they are always
// bound as parameters.
#pragma once

#include <string>

namespace tarvex {

// name as a quoted SQL identifier ("a""b" for a"b).
std::string quoteIdentifier(const std::string& name);

} // namespace tarvex
