#include "support/TempDir.h"

#include <fstream>
#include <sstream>
#include <stdexcept>

#include <cstdlib>

namespace tarvex::test {

TempDir::TempDir(Where where)
{
    std::string memory = "/dev/shm/tarvex-test-XXXXXX";
    if (where == Where::Memory && mkdtemp(memory.data())) {
        m_path = memory;
        return;
    }
    std::string pattern = (std::filesystem::temp_directory_path() / "tarvex-test-XXXXXX").string();
    if (!mkdtemp(pattern.data()))
        throw std::runtime_error("cannot make a temporary folder");
    m_path = pattern;
}

TempDir::~TempDir()
{
    std::error_code ec;
    // Tests make folders read-only on purpose; give the rights back first.
    for (auto it = std::filesystem::recursive_directory_iterator(m_path, ec);
         !ec && it != std::filesystem::recursive_directory_iterator(); it.increment(ec))
        if (it->is_directory(ec) && !it->is_symlink(ec))
            std::filesystem::permissions(it->path(), std::filesystem::perms::owner_all,
                                         std::filesystem::perm_options::add, ec);
    std::filesystem::permissions(m_path, std::filesystem::perms::owner_all, std::filesystem::perm_options::add, ec);
    std::filesystem::remove_all(m_path, ec);
}

std::string TempDir::file(const std::string& name) const
{
    return (m_path / name).string();
}

std::string TempDir::write(const std::string& name, const std::string& text) const
{
    std::filesystem::path target = m_path / name;
    std::filesystem::create_directories(target.parent_path());
    std::ofstream out(target, std::ios::binary);
    out << text;
    return target.string();
}

std::string readFile(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

} // namespace tarvex::test
