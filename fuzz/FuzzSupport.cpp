#include "FuzzSupport.h"

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>

namespace tarvex::fuzz {

namespace {

class NoProgress : public Progress {
public:
    bool update(std::uint64_t, std::uint64_t) override { return true; }
};

std::string scratchFolder()
{
    static const std::string folder = [] {
        std::string pattern = (std::filesystem::temp_directory_path() / "tarvex-fuzz-XXXXXX").string();
        if (!mkdtemp(pattern.data())) {
            std::perror("mkdtemp");
            std::abort();
        }
        static std::string removeAtExit;
        removeAtExit = pattern;
        std::atexit([] {
            std::error_code ec;
            std::filesystem::remove_all(removeAtExit, ec);
        });
        return pattern;
    }();
    return folder;
}

} // namespace

std::string scratchFile(const std::string& name)
{
    return scratchFolder() + "/" + name;
}

void writeBytes(const std::string& path, const std::uint8_t* data, std::size_t size)
{
    std::error_code ec;
    std::filesystem::remove(path, ec);
    std::ofstream out(path, std::ios::binary);
    out.write(reinterpret_cast<const char*>(data), static_cast<std::streamsize>(size));
}

void writeBytes(const std::string& path, const std::string& bytes)
{
    writeBytes(path, reinterpret_cast<const std::uint8_t*>(bytes.data()), bytes.size());
}

Answer SilentPrompter::showMessage(const Message& message)
{
    return message.buttons == MessageButtons::YesNo      ? Answer::No
           : message.buttons == MessageButtons::OkCancel ? Answer::Cancel
                                                         : Answer::Ok;
}

std::unique_ptr<Progress> SilentPrompter::beginProgress(const std::string&, const std::string&, bool)
{
    return std::make_unique<NoProgress>();
}

} // namespace tarvex::fuzz
