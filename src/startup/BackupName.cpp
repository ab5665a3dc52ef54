// Naming the start-up backup copy.
#include "startup/BackupName.h"

#include "platform/text/TextHelpers.h"

#include <cstdio>
#include <sys/stat.h>

namespace tarvex {

std::string BackupName::timeStamp(const std::tm& when)
{
    char text[32];
    std::snprintf(text, sizeof text, "%02d%02d%04d%02d%02d%02d", when.tm_mon + 1, when.tm_mday, when.tm_year + 1900,
                  when.tm_hour, when.tm_min, when.tm_sec);
    return text;
}

std::string BackupName::candidate(const std::string& hostPath, const std::tm& when, int attempt)
{
    std::string name = hostPath + "_Tarvex_" + timeStamp(when);
    if (attempt > 1) {
        name += '_';
        name += std::to_string(attempt);
    }
    return name;
}

std::string BackupName::firstFree(const std::string& hostPath, const std::tm& when,
                                  const std::function<bool(const std::string&)>& taken, int& attempt)
{
    if (attempt < 1)
        attempt = 1;
    for (;; ++attempt) {
        std::string name = candidate(hostPath, when, attempt);
        if (!taken(name))
            return name;
    }
}

bool BackupName::isCandidateName(const std::string& hostPath, const std::string& fileName)
{
    const std::string prefix = fileNameOf(hostPath) + "_Tarvex_";
    const std::string::size_type stampEnd = prefix.size() + 14;
    if (fileName.size() < stampEnd || fileName.compare(0, prefix.size(), prefix) != 0)
        return false;
    auto digitsOnly = [](const std::string& text) {
        return !text.empty() && text.find_first_not_of("0123456789") == std::string::npos;
    };
    if (!digitsOnly(fileName.substr(prefix.size(), 14)))
        return false;
    if (fileName.size() == stampEnd)
        return true;
    // "_<attempt>": a number from 2, without leading zeros.
    std::string attempt = fileName.substr(stampEnd);
    return attempt.size() >= 2 && attempt[0] == '_' && digitsOnly(attempt.substr(1)) && attempt[1] != '0' &&
           attempt != "_1";
}

bool BackupName::isTaken(const std::string& path)
{
    struct stat info {};
    // lstat: a link counts as taken whether or not it leads anywhere. A name
    // that cannot be looked at (a folder without search rights) counts as
    // free: creating the copy then fails with the real reason.
    return ::lstat(path.c_str(), &info) == 0;
}

} // namespace tarvex
