// Fuzz target: reading a desktop entry chosen as the host application's
// shortcut. The input follows a "[Desktop Entry]" line, so every input is
// read as a desktop entry and not as a Windows shortcut.
#include "FuzzSupport.h"

#include "platform/os/Shell.h"

#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    using namespace tarvex;
    static const std::string file = fuzz::scratchFile("brindle.desktop");
    std::string bytes = "[Desktop Entry]\n";
    bytes.append(reinterpret_cast<const char*>(data), size);
    fuzz::writeBytes(file, bytes);
    SystemShell shell;
    std::optional<std::string> target = shell.shortcutTarget(file);
    // A target is a path: never empty, never with a NUL inside.
    if (target && (target->empty() || target->find('\0') != std::string::npos))
        std::abort();
    return 0;
}
