// Searching PATH for a program.
#include "platform/os/ProgramSearch.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <string_view>

namespace tarvex {

std::string findProgram(const std::string& program)
{
    if (program.find('/') != std::string::npos)
        return program;
    const char* pathList = std::getenv("PATH");
    std::string_view folders = pathList ? pathList : "";
    while (!folders.empty()) {
        std::size_t colon = folders.find(':');
        std::string_view folder = folders.substr(0, colon);
        folders = colon == std::string_view::npos ? std::string_view() : folders.substr(colon + 1);
        if (folder.empty())
            continue;
        std::string candidate = std::string(folder) + "/" + program;
        struct stat info {};
        if (::stat(candidate.c_str(), &info) == 0 && S_ISREG(info.st_mode) && ::access(candidate.c_str(), X_OK) == 0)
            return candidate;
    }
    return program;
}

} // namespace tarvex
