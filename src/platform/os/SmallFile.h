// Reading small text files that come from outside the program (settings files,
// desktop entries) without ever blocking on a device or a pipe and without
// reading more than a caller-given size.
#pragma once

#include <cstddef>
#include <optional>
#include <string>

namespace tarvex {

// The whole content of the ordinary file at path, or nothing when the path is
// missing, unreadable, a folder, a device, a pipe, or larger than maxBytes.
// A symbolic link to an ordinary file is read as that file.
std::optional<std::string> readSmallFile(const std::string& path, std::size_t maxBytes);

} // namespace tarvex
