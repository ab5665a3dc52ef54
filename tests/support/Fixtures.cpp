#include "support/Fixtures.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <system_error>

namespace tarvex::test {

std::string fixturePath(const std::string& relative)
{
    return std::string(TARVEX_SOURCE_DIR) + "/tests/data/" + relative;
}

std::string copyFixture(const TempDir& dir, const std::string& relative, const std::string& name)
{
    namespace fs = std::filesystem;
    const std::string copy = dir.file(name.empty() ? fs::path(relative).filename().string() : name);
    std::error_code ec;
    fs::copy_file(fixturePath(relative), copy, fs::copy_options::overwrite_existing, ec);
    EXPECT_FALSE(ec) << "cannot copy " << relative << " to " << copy << ": " << ec.message();
    return copy;
}

} // namespace tarvex::test
