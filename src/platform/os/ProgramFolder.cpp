// Finding the running program's folder without a window system.
#include "platform/os/ProgramFolder.h"

#include "platform/text/TextHelpers.h"

#include <climits>
#include <cstdlib>
#include <unistd.h>

namespace tarvex {

std::string programFolder(const char* argv0)
{
    char buffer[PATH_MAX];
    ssize_t length = ::readlink("/proc/self/exe", buffer, sizeof buffer - 1);
    if (length > 0) {
        buffer[length] = '\0';
        return folderOf(buffer);
    }
    std::string folder = folderOf(argv0 ? argv0 : ".");
    if (char* real = ::realpath(folder.c_str(), nullptr)) {
        folder = real;
        std::free(real);
    }
    return folder;
}

} // namespace tarvex
