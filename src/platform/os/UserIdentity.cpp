// The host name and the user's login name, from the system.
#include "platform/os/UserIdentity.h"

#include <pwd.h>
#include <unistd.h>
#include <vector>

namespace tarvex {

std::string computerName()
{
    char name[256] = {};
    if (::gethostname(name, sizeof name - 1) != 0)
        return "localhost";
    return name;
}

std::string userName()
{
    // The name the user logged in with, which stays the same under sudo;
    // without a login terminal, the name of the user the program runs as.
    char login[256] = {};
    if (::getlogin_r(login, sizeof login - 1) == 0 && login[0] != '\0')
        return login;
    std::vector<char> buffer(16384);
    passwd entry{};
    passwd* found = nullptr;
    if (::getpwuid_r(::geteuid(), &entry, buffer.data(), buffer.size(), &found) == 0 && found)
        return found->pw_name;
    return std::to_string(::geteuid());
}

} // namespace tarvex
