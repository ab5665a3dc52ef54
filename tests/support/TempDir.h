// A temporary folder for one test, removed with everything in it afterwards.
#pragma once

#include <filesystem>
#include <string>

namespace tarvex::test {

class TempDir {
public:
    enum class Where { Temporary, Memory };
    // Memory: in /dev/shm where the system has it (else as Temporary), for
    // tests that flush thousands of times: a kill leaves the same page
    // cache behind on any file system, and there a flush costs nothing.
    explicit TempDir(Where where = Where::Temporary);
    ~TempDir();
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;

    const std::filesystem::path& path() const { return m_path; }
    // path / name, as a string.
    std::string file(const std::string& name) const;
    // Writes text to path / name (creating folders on the way) and returns its path.
    std::string write(const std::string& name, const std::string& text) const;

private:
    std::filesystem::path m_path;
};

// The whole content of a file, empty when it cannot be read.
std::string readFile(const std::string& path);

} // namespace tarvex::test
