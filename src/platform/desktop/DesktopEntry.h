// Reading the program a freedesktop desktop entry (.desktop file) starts.
#pragma once

#include <optional>
#include <string>

namespace tarvex {

// The program the desktop entry at path starts: the first word of the Exec
// key of its "Desktop Entry" group, found in PATH when it names no folder.
// Nothing when the file is not a desktop entry or has no usable Exec key.
std::optional<std::string> desktopEntryTarget(const std::string& path);

} // namespace tarvex
