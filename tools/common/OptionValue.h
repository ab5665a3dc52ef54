// Reading the value of a command-line option of the project's tools, given as
// "--name=value", "--name value" or "-o value".
#pragma once

#include <optional>
#include <string>

namespace tarvex {

// Stores the value of option name, found at argv[i], into into; advances i
// past a value given as the next argument. Returns the problem text when the
// option was already given or has no value, nothing on success.
inline std::optional<std::string> takeOptionValue(int argc, char** argv, int& i, const std::string& name,
                                                  std::optional<std::string>& into)
{
    if (into)
        return name + " is given twice";
    std::string arg = argv[i];
    std::string prefix = name + "=";
    if (name.starts_with("--") && arg.starts_with(prefix)) {
        into = arg.substr(prefix.size());
        return std::nullopt;
    }
    if (i + 1 >= argc)
        return name + " needs a value";
    into = argv[++i];
    return std::nullopt;
}

} // namespace tarvex
