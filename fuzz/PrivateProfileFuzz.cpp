// Fuzz target: the settings-file reader on any bytes. The first byte picks a
// section and key to ask for, so that both the program's own names and odd
// ones are tried; the rest is the file.
#include "FuzzSupport.h"

#include "platform/desktop/PrivateProfile.h"

#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    using namespace tarvex;
    static const std::string file = fuzz::scratchFile("Merlow.INI");
    static const char* const names[][2] = {
        {"Settings", "DBLocation"},   {"LogOn", "DBPath"}, {"LogOn", "DataPath"}, {"", ""},
        {" settings ", "dblocation"}, {"[", "="},
    };
    std::size_t pick = size > 0 ? data[0] % (sizeof names / sizeof names[0]) : 0;
    fuzz::writeBytes(file, size > 0 ? data + 1 : data, size > 0 ? size - 1 : 0);
    std::string value = readPrivateProfileString(names[pick][0], names[pick][1], "fallback  ", file);
    // Whatever the file holds, the value fits the reader's buffer.
    if (value.size() > kProfileValueLimit)
        std::abort();
    return 0;
}
