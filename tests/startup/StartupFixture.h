// A program folder in a temporary folder, a host database beside it, a shell
// with a fixed desktop, a fixed clock, home and settings folders of the
// test's own, and a hand-over that records the run it was given: everything a
// start-up test needs to drive the real sequence.
#pragma once

#include "platform/os/FileCopy.h"
#include "platform/os/Shell.h"
#include "startup/StartupSequence.h"
#include "support/EnvOverride.h"
#include "support/SampleDatabases.h"
#include "support/ScriptedPrompter.h"
#include "support/TempDir.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <map>
#include <optional>
#include <string>
#include <vector>

namespace tarvex::test {

class FixedShell : public Shell {
public:
    std::string desktop;
    std::map<std::string, std::string> targets;
    std::string desktopFolder() override { return desktop; }
    std::optional<std::string> shortcutTarget(const std::string& file) override
    {
        auto it = targets.find(file);
        if (it == targets.end())
            return std::nullopt;
        return it->second;
    }
};

// 21:57:42 on 6 December 2026.
inline std::tm fixedTime()
{
    std::tm when{};
    when.tm_year = 2026 - 1900;
    when.tm_mon = 11;
    when.tm_mday = 6;
    when.tm_hour = 21;
    when.tm_min = 57;
    when.tm_sec = 42;
    return when;
}

class StartupFixture : public ::testing::Test {
protected:
    TempDir dir;
    std::string program = dir.file("program");
    std::string data = dir.file("data");
    std::string host = data + "/kv.mdb";
    std::string expectedBackup = host + "_Tarvex_12062026215742";
    FixedShell shell;
    SystemFileCopy fileCopy;
    ScriptedPrompter prompter;
    std::tm now = fixedTime();
    EnvOverride home{"HOME", dir.file("home")};
    EnvOverride config{"XDG_CONFIG_HOME", dir.file("config")};
    // Whether the run asks for the price list, as an installed program with
    // none beside it does.
    bool askForPriceList = false;

    // What the hand-over saw.
    bool handedOver = false;
    std::string handedHostPath;
    std::string handedBackupPath;
    int eventRunsAtHandOver = -1;

    void SetUp() override
    {
        std::filesystem::create_directories(program);
        std::filesystem::create_directories(data);
        shell.desktop = dir.file("Desktop");
    }

    // A working setup: a price list for vendor Acme, a host database and
    // Merlow.INI naming it.
    void standardSetup(const std::vector<std::string>& vendors = {"Acme"})
    {
        makeUpdateDatabase(program + "/invupdate.mdb", vendors, {{1, "A1", "Shampoo", 4.0, 9.0}});
        makeHostDatabase(host, {{"A1", 3.0, 8.0}});
        storeLocation(host);
    }

    void storeLocation(const std::string& path)
    {
        dir.write("program/Merlow.INI", "[Settings]\nDBLocation=" + path + "\n");
    }

    // The shortcut on the desktop that leads to target, for the file dialog.
    std::string shortcutTo(const std::string& target)
    {
        std::string shortcut = shell.desktop + "/Brindle.lnk";
        shell.targets[shortcut] = target;
        return shortcut;
    }

    RunEnd runSequence()
    {
        StartupSequence sequence(
            VendorFiles(program, program + "/invupdate.mdb", askForPriceList), prompter, shell, fileCopy,
            [this] { return now; },
            [this](RunState& run) {
                handedOver = true;
                handedHostPath = run.hostPath;
                handedBackupPath = run.backupPath;
                eventRunsAtHandOver = prompter.eventRuns;
                return RunEnd::Normal;
            });
        return sequence.run();
    }

    // Every file in the host's folder, by name.
    std::vector<std::string> dataFiles() const
    {
        std::vector<std::string> names;
        for (const auto& entry : std::filesystem::directory_iterator(data))
            names.push_back(entry.path().filename().string());
        std::sort(names.begin(), names.end());
        return names;
    }

    const Message& lastMessage() const { return prompter.messages.back(); }
};

} // namespace tarvex::test
