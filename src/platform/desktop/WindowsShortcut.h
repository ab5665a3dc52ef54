// Reading the target of a Windows shortcut (.lnk) file through liblnk, after
// checking that the sizes the file states fit inside it.
#pragma once

#include <optional>
#include <string>

namespace tarvex {

// The target of the Windows shortcut at path, in this system's form (see
// fromWindowsPath in the source): its local path; else its relative path,
// taken from the shortcut's own folder; else its network path. Nothing when
// the file is not a shortcut, is damaged, or holds none of these.
std::optional<std::string> windowsShortcutTarget(const std::string& path);

} // namespace tarvex
