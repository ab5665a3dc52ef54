// Shared helpers of the fuzz targets: a scratch folder of this process, where
// each input is written as the file the code under test reads, and a prompter
// that answers nothing and shows nothing.
#pragma once

#include "platform/prompt/Prompter.h"

#include <cstddef>
#include <cstdint>
#include <string>

namespace tarvex::fuzz {

// The path of name in a folder made for this process on first use and
// removed when the process ends.
std::string scratchFile(const std::string& name);

// Replaces the file at path with the given bytes.
void writeBytes(const std::string& path, const std::uint8_t* data, std::size_t size);
void writeBytes(const std::string& path, const std::string& bytes);

class SilentPrompter : public Prompter {
public:
    Answer showMessage(const Message& message) override;
    std::optional<std::string> chooseFile(const FileChoice&) override { return std::nullopt; }
    void setBusy(bool) override {}
    void processEvents(EventScope) override {}
    std::unique_ptr<Progress> beginProgress(const std::string&, const std::string&, bool) override;
};

} // namespace tarvex::fuzz

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size);
