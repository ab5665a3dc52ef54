// BackupName: the name of the start-up backup copy of the host database: the
// host path followed by "_Tarvex_" and the local time as month, day, year,
// hour, minutes and seconds (14 digits), with "_2", "_3", ... added after the
// time stamp when that name is taken, so that no backup is ever overwritten.
#pragma once

#include <ctime>
#include <functional>
#include <string>

namespace tarvex {

class BackupName {
public:
    // The 14-digit time stamp, MMDDYYYYhhmmss: 6 December 2026 21:57:42 gives
    // "12062026215742".
    static std::string timeStamp(const std::tm& when);

    // hostPath + "_Tarvex_" + the time stamp, with "_<attempt>" after it for
    // attempts from 2 on.
    static std::string candidate(const std::string& hostPath, const std::tm& when, int attempt);

    // The first candidate from attempt on for which taken() is false.
    static std::string firstFree(const std::string& hostPath, const std::tm& when,
                                 const std::function<bool(const std::string&)>& taken, int& attempt);

    // Whether fileName, a name in the host's folder, is one candidate()
    // gives: the host's file name, "_Tarvex_", 14 digits, and "_<attempt>"
    // from 2 on.
    static bool isCandidateName(const std::string& hostPath, const std::string& fileName);

    // Whether anything, a dangling link included, stands at path.
    static bool isTaken(const std::string& path);
};

} // namespace tarvex
