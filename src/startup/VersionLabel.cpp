// The version text of the splash window.
#include "startup/VersionLabel.h"

#include "Version.h"

namespace tarvex {

std::string versionLabel(int major, int minor, int /*patch*/, int revision)
{
    return "Version " + std::to_string(major) + "." + std::to_string(minor) + "." + std::to_string(revision);
}

std::string programVersionLabel()
{
    return versionLabel(kVersionMajor, kVersionMinor, kVersionPatch, kVersionRevision);
}

std::string programVersion()
{
    return std::to_string(kVersionMajor) + "." + std::to_string(kVersionMinor) + "." + std::to_string(kVersionPatch) +
           "." + std::to_string(kVersionRevision);
}

} // namespace tarvex
