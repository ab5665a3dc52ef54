// Bad settings files and shortcuts on the way to the host database: Merlow.INI
// (the program folder's and the user's own) and the logon settings files empty, binary, unterminated, huge, in UTF-16,
// or pointing at folders, devices and loops; shortcuts truncated, of another
// kind, without a program, or links that dangle or loop. Each run ends with a
// message the user can act on, and none hangs or writes to a host database.
#include "BadInput.h"

#include "data/HostLocator.h"
#include "support/LnkWriter.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <random>
#include <sys/stat.h>

using namespace tarvex;
using namespace tarvex::test;

namespace {

namespace fs = std::filesystem;

std::string randomBytes(std::size_t size)
{
    std::mt19937 random(7);
    std::string bytes(size, '\0');
    for (char& c : bytes)
        c = static_cast<char>(random());
    return bytes;
}

// text as UTF-16 little-endian with its byte-order mark (ASCII text only).
std::string utf16(const std::string& text)
{
    std::string out = "\xFF\xFE";
    for (char c : text) {
        out += c;
        out += '\0';
    }
    return out;
}

std::string logonPath(const Scenario& s)
{
    return s.data + "/logon.ini";
}

// A logon.ini beside the host database leads back to the host's own folder;
// the case then spoils it.
void withLogon(Scenario& s, const std::string& bytes)
{
    replaceWith(logonPath(s), bytes);
}

// The host application's folder with its program and a logon.ini naming the
// host database's folder, and no Merlow.INI: the run asks for a shortcut.
std::string hostProgramFolder(Scenario& s)
{
    std::string folder = s.dir.file("Host");
    fs::create_directories(folder);
    s.dir.write("Host/host.exe", "MZ program");
    s.dir.write("Host/logon.ini", "[LogOn]\r\nDBPath=" + s.data + "\r\n");
    fs::remove(s.settingsPath);
    return folder;
}

// Chooses the shortcut file in the dialog.
void choose(Scenario& s, const std::string& shortcut)
{
    s.prompter.chooseNext(shortcut);
}

TEST(BadSettingsTest, MerlowIniThatIsBrokenOrLeadsNowhereEndsTheRunWithAMessage)
{
    std::vector<BadInput> cases = {
        {"empty", [](Scenario& s) { replaceWith(s.settingsPath, ""); }, End::NotLocated, {}},
        {"binary", [](Scenario& s) { replaceWith(s.settingsPath, randomBytes(4096)); }, End::NotLocated, {}},
        {"without a final newline",
         [](Scenario& s) { replaceWith(s.settingsPath, "[Settings]\nDBLocation=" + s.hostPath); },
         End::Complete,
         {}},
        {"with a 10 MB line",
         [](Scenario& s) {
             replaceWith(s.settingsPath,
                         "; " + std::string(10 << 20, 'x') + "\n[Settings]\r\nDBLocation=" + s.hostPath + "\r\n");
         },
         End::Complete,
         {}},
        {"with a 10 MB value",
         [](Scenario& s) {
             replaceWith(s.settingsPath, "[Settings]\nDBLocation=" + s.data + "/" + std::string(10 << 20, 'x'));
         },
         End::BackupFailed,
         {"{data}/xxxx", "File name too long"}},
        {"in UTF-16",
         [](Scenario& s) { replaceWith(s.settingsPath, utf16("[Settings]\r\nDBLocation=" + s.hostPath + "\r\n")); },
         End::Complete,
         {}},
        {"pointing at a folder",
         [](Scenario& s) { s.storeLocation(s.data); },
         End::UnableToOpen,
         {"{data}", "is a folder"}},
        {"pointing at a device",
         [](Scenario& s) { s.storeLocation("/dev/zero"); },
         End::UnableToOpen,
         {"/dev/zero", "device or pipe"}},
        {"pointing at a path that loops",
         [](Scenario& s) {
             fs::create_symlink(s.data + "/loop", s.data + "/loop");
             s.storeLocation(s.data + "/loop");
         },
         End::BackupFailed,
         {"{data}/loop", "Too many levels of symbolic links"}},
        {"a folder itself",
         [](Scenario& s) { fs::remove(s.settingsPath), fs::create_directory(s.settingsPath); },
         End::NotLocated,
         {}},
        {"a link to a device",
         [](Scenario& s) { fs::remove(s.settingsPath), fs::create_symlink("/dev/zero", s.settingsPath); },
         End::NotLocated,
         {}},
        {"a named pipe",
         [](Scenario& s) { fs::remove(s.settingsPath), ::mkfifo(s.settingsPath.c_str(), 0600); },
         End::NotLocated,
         {}},
        {"a link that loops",
         [](Scenario& s) { fs::remove(s.settingsPath), fs::create_symlink(s.settingsPath, s.settingsPath); },
         End::NotLocated,
         {}},
    };
    runBadInputs("Merlow.INI", cases);
}

// The user's own Merlow.INI, read when the program folder's stores no
// location: the same reader, so the same ends.
void asUsersOnly(Scenario& s, const std::string& bytes)
{
    fs::remove(s.settingsPath);
    fs::create_directories(s.dir.file("config/tarvex"));
    replaceWith(userSettingsFile(), bytes);
}

TEST(BadSettingsTest, TheUsersMerlowIniThatIsBrokenOrLeadsNowhereEndsTheRunWithAMessage)
{
    std::vector<BadInput> cases = {
        {"sound",
         [](Scenario& s) { asUsersOnly(s, "[Settings]\nDBLocation=" + s.hostPath + "\n"); },
         End::Complete,
         {}},
        {"under a program folder's Merlow.INI without a value",
         [](Scenario& s) {
             asUsersOnly(s, "[Settings]\nDBLocation=" + s.hostPath + "\n");
             replaceWith(s.settingsPath, "[Settings]\nDBLocation=\n");
         },
         End::Complete,
         {}},
        {"binary", [](Scenario& s) { asUsersOnly(s, randomBytes(4096)); }, End::NotLocated, {}},
        {"pointing at a folder",
         [](Scenario& s) { asUsersOnly(s, "[Settings]\nDBLocation=" + s.data + "\n"); },
         End::UnableToOpen,
         {"{data}", "is a folder"}},
        {"a link to a device",
         [](Scenario& s) {
             asUsersOnly(s, "");
             fs::remove(userSettingsFile());
             fs::create_symlink("/dev/zero", userSettingsFile());
         },
         End::NotLocated,
         {}},
        {"a folder itself",
         [](Scenario& s) {
             asUsersOnly(s, "");
             fs::remove(userSettingsFile());
             fs::create_directory(userSettingsFile());
         },
         End::NotLocated,
         {}},
    };
    runBadInputs("the user's Merlow.INI", cases);
}

TEST(BadSettingsTest, LogonFilesThatAreBrokenOrLeadNowhereEndTheRunWithAMessage)
{
    std::vector<BadInput> cases = {
        {"empty", [](Scenario& s) { withLogon(s, ""); }, End::UnableToOpen, {"/kv.mdb"}},
        {"binary", [](Scenario& s) { withLogon(s, randomBytes(4096)); }, End::UnableToOpen, {"/kv.mdb"}},
        {"without a final newline", [](Scenario& s) { withLogon(s, "[LogOn]\nDBPath=" + s.data); }, End::Complete, {}},
        {"with a 10 MB line",
         [](Scenario& s) { withLogon(s, "[LogOn]\n" + std::string(10 << 20, 'y') + "\nDBPath=" + s.data + "\n"); },
         End::Complete,
         {}},
        {"in UTF-16",
         [](Scenario& s) { withLogon(s, utf16("[LogOn]\r\nDBPath=" + s.data + "\r\n")); },
         End::Complete,
         {}},
        {"kvlogon.ini in UTF-16",
         [](Scenario& s) { replaceWith(s.data + "/kvlogon.ini", utf16("[LogOn]\r\nDataPath=" + s.data + "\r\n")); },
         End::Complete,
         {}},
        {"pointing at a device",
         [](Scenario& s) { withLogon(s, "[LogOn]\nDBPath=/dev/null\n"); },
         End::UnableToOpen,
         {"/dev/null/kv.mdb"}},
        {"pointing at a path that loops",
         [](Scenario& s) {
             fs::create_symlink(s.data + "/loop", s.data + "/loop");
             withLogon(s, "[LogOn]\nDBPath=" + s.data + "/loop\n");
         },
         End::BackupFailed,
         {"{data}/loop/kv.mdb", "Too many levels of symbolic links"}},
        {"a folder itself", [](Scenario& s) { fs::create_directory(logonPath(s)); }, End::Complete, {}},
        {"a named pipe", [](Scenario& s) { ::mkfifo(logonPath(s).c_str(), 0600); }, End::Complete, {}},
    };
    runBadInputs("logon.ini", cases);
}

TEST(BadSettingsTest, ShortcutsThatCannotBeFollowedEndTheRunWithAMessage)
{
    std::vector<BadInput> cases = {
        {"a sound .lnk",
         [](Scenario& s) {
             std::string folder = hostProgramFolder(s);
             choose(s, writeLnk(s.desktop + "/Brindle.lnk", {.localPath = folder + "/host.exe"}));
         },
         End::Complete,
         {}},
        {"a truncated .lnk",
         [](Scenario& s) {
             std::string folder = hostProgramFolder(s);
             std::string bytes = lnkBytes({.localPath = folder + "/host.exe"});
             replaceWith(s.desktop + "/Brindle.lnk", bytes.substr(0, 60));
             choose(s, s.desktop + "/Brindle.lnk");
         },
         End::UnableToOpen,
         {"{desktop}/Brindle.lnk", "not a database"}},
        {"a .lnk whose location size runs past its end",
         [](Scenario& s) {
             std::string folder = hostProgramFolder(s);
             std::string bytes = lnkBytes({.localPath = folder + "/host.exe"});
             // The location information claims 4 GB.
             bytes.replace(0x4C, 4, "\xff\xff\xff\xff");
             replaceWith(s.desktop + "/Brindle.lnk", bytes);
             choose(s, s.desktop + "/Brindle.lnk");
         },
         End::UnableToOpen,
         {"{desktop}/Brindle.lnk", "not a database"}},
        {"an empty .lnk",
         [](Scenario& s) {
             hostProgramFolder(s);
             replaceWith(s.desktop + "/Brindle.lnk", "");
             choose(s, s.desktop + "/Brindle.lnk");
         },
         End::UnableToOpen,
         {"{desktop}/Brindle.lnk", "empty"}},
        {"a picture renamed .lnk",
         [](Scenario& s) {
             hostProgramFolder(s);
             replaceWith(s.desktop + "/Brindle.lnk", "\x89PNG\r\n\x1a\n" + randomBytes(2000));
             choose(s, s.desktop + "/Brindle.lnk");
         },
         End::UnableToOpen,
         {"{desktop}/Brindle.lnk", "not a database"}},
        {"a .desktop without Exec",
         [](Scenario& s) {
             hostProgramFolder(s);
             choose(s, s.dir.write("Desktop/brindle.desktop", "[Desktop Entry]\nType=Application\nName=Brindle\n"));
         },
         End::UnableToOpen,
         {"{desktop}/brindle.desktop", "not a database"}},
        {"a .desktop with a quoted Exec",
         [](Scenario& s) {
             std::string folder = hostProgramFolder(s);
             s.dir.write("Host/host program", "MZ");
             choose(s, s.dir.write("Desktop/brindle.desktop",
                                   "[Desktop Entry]\nType=Application\nExec=\"" + folder + "/host program\" %U\n"));
         },
         End::Complete,
         {}},
        {"a .desktop whose Exec holds a NUL byte",
         [](Scenario& s) {
             std::string folder = hostProgramFolder(s);
             choose(s, s.dir.write("Desktop/brindle.desktop",
                                   "[Desktop Entry]\nExec=\"" + folder + std::string("/h\0ost.exe\" %U\n", 13)));
         },
         End::UnableToOpen,
         {"{desktop}/brindle.desktop", "not a database"}},
        {"a dangling link",
         [](Scenario& s) {
             hostProgramFolder(s);
             fs::create_symlink(s.dir.file("Host/gone.lnk"), s.desktop + "/Brindle.lnk");
             choose(s, s.desktop + "/Brindle.lnk");
         },
         End::UnableToOpen,
         {"{desktop}/Brindle.lnk", "unable to open"}},
        {"a link that loops",
         [](Scenario& s) {
             hostProgramFolder(s);
             fs::create_symlink(s.desktop + "/Brindle.lnk", s.desktop + "/Brindle.lnk");
             choose(s, s.desktop + "/Brindle.lnk");
         },
         End::BackupFailed,
         {"{desktop}/Brindle.lnk", "Too many levels of symbolic links"}},
        {"a folder chosen as the shortcut",
         [](Scenario& s) {
             hostProgramFolder(s);
             fs::create_directory(s.desktop + "/Brindle.lnk");
             choose(s, s.desktop + "/Brindle.lnk");
         },
         End::UnableToOpen,
         {"{desktop}/Brindle.lnk", "is a folder"}},
    };
    runBadInputs("shortcut", cases);
}

} // namespace
