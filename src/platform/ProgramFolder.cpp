// Finding the running program's folder without a window system.
#include "platform/ProgramFolder.h"

#include <climits>
#include <cstdlib>
#include <unistd.h>

namespace tarvex {

namespace {

std::string folderPart(const std::string& path)
{
    std::size_t slash = path.rfind('/');
    if (slash == std::string::npos)
        return ".";
    return slash == 0 ? "/" : path.substr(0, slash);
}

} // namespace

std::string programFolder(const char* argv0)
{
    char buffer[PATH_MAX];
    ssize_t length = ::readlink("/proc/self/exe", buffer, sizeof buffer - 1);
    if (length > 0) {
        buffer[length] = '\0';
        return folderPart(buffer);
    }
    std::string folder = folderPart(argv0 ? argv0 : ".");
    if (char* real = ::realpath(folder.c_str(), nullptr)) {
        folder = real;
        std::free(real);
    }
    return folder;
}

} // namespace tarvex
