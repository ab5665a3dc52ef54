// Fuzz target: resolving a chosen shortcut file of any content. The first
// byte chooses whether the input gets a Windows shortcut's header put before
// it (so that the shortcut reader gets past its signature check) or is used
// as it stands (a desktop entry, a renamed file of another kind).
#include "FuzzSupport.h"

#include "platform/os/Shell.h"

#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    using namespace tarvex;
    static const std::string file = fuzz::scratchFile("Brindle.lnk");
    // Header size 0x4C and the shell link class identifier.
    static const std::string header("\x4c\x00\x00\x00\x01\x14\x02\x00\x00\x00\x00\x00\xc0\x00\x00\x00\x00\x00\x00\x46",
                                    20);
    std::string bytes;
    if (size > 0 && (data[0] & 1) == 0)
        bytes = header;
    if (size > 0)
        bytes.append(reinterpret_cast<const char*>(data + 1), size - 1);
    fuzz::writeBytes(file, bytes);
    SystemShell shell;
    std::optional<std::string> target = shell.shortcutTarget(file);
    if (target && (target->empty() || target->find('\0') != std::string::npos))
        std::abort();
    return 0;
}
