// The settings-file read over real INI files: the rules of the Windows call,
// and files that are not settings files at all.
#include "platform/desktop/PrivateProfile.h"

#include "support/TempDir.h"

#include <gtest/gtest.h>

#include <sys/stat.h>

#include <filesystem>

using namespace tarvex;
using namespace tarvex::test;
using namespace std::string_literals;

namespace {

class PrivateProfileTest : public ::testing::Test {
protected:
    TempDir dir;

    // The value of key in section of an INI file holding text.
    std::string read(const std::string& text, const std::string& section = "LogOn", const std::string& key = "DBPath",
                     const std::string& fallback = "")
    {
        return readPrivateProfileString(section, key, fallback, dir.write("test.ini", text));
    }
};

TEST_F(PrivateProfileTest, NamesMatchWithoutCaseAndBlanksAroundThemDoNotCount)
{
    EXPECT_EQ(read("[LogOn]\nDBPath=/srv/data\n"), "/srv/data");
    EXPECT_EQ(read("[logon]\ndbpath=/srv/data\n"), "/srv/data");
    EXPECT_EQ(read("  [ LOGON ]  \n\t DBPATH \t=\t /srv/data \t\n"), "/srv/data");
    EXPECT_EQ(read("[LogOn]\nDBPath=\n"), "");
    EXPECT_EQ(read("[LogOn]\nDBPath = a = b\n"), "a = b");
    // A key elsewhere, before any section or under a longer name does not count.
    EXPECT_EQ(read("DBPath=/top\n[LogOnX]\nDBPath=/x\n[Other]\nDBPath=/other\n"), "");
}

TEST_F(PrivateProfileTest, QuotesAreRemovedOncePairedAndTheirContentKept)
{
    EXPECT_EQ(read("[LogOn]\nDBPath=\"  /srv/data  \"\n"), "  /srv/data  ");
    EXPECT_EQ(read("[LogOn]\nDBPath='/srv/data '\n"), "/srv/data ");
    EXPECT_EQ(read("[LogOn]\nDBPath=  \"\"  \n"), "");
    EXPECT_EQ(read("[LogOn]\nDBPath=\"'/srv'\"\n"), "'/srv'");
    // Unpaired or mismatched quotes stay.
    EXPECT_EQ(read("[LogOn]\nDBPath=\"/srv/data\n"), "\"/srv/data");
    EXPECT_EQ(read("[LogOn]\nDBPath=\"/srv/data'\n"), "\"/srv/data'");
    EXPECT_EQ(read("[LogOn]\nDBPath=\"\n"), "\"");
}

TEST_F(PrivateProfileTest, CommentsAreWholeLinesOnly)
{
    EXPECT_EQ(read("; DBPath=/commented\n[LogOn]\n;DBPath=/commented\nDBPath=/srv ; note # too\n"),
              "/srv ; note # too");
    EXPECT_EQ(read("[LogOn]\n#DBPath=/hash\nDBPath=/real\n"), "/real");
}

TEST_F(PrivateProfileTest, FirstKeyAndFirstSectionWin)
{
    EXPECT_EQ(read("[LogOn]\nDBPath=/first\nDBPath=/second\n"), "/first");
    EXPECT_EQ(read("[LogOn]\nOther=1\n[LogOn]\nDBPath=/in-second-section\n"), "");
    EXPECT_EQ(read("[LogOn]\nDBPath=/first\n[Other]\n[LogOn]\nDBPath=/second\n"), "/first");
    // A key without "=" is a key with no value: the default.
    EXPECT_EQ(read("[LogOn]\nDBPath\nDBPath=/later\n", "LogOn", "DBPath", "fallback"), "fallback");
    // A broken header leaves the lines after it in the section before.
    EXPECT_EQ(read("[LogOn]\n[Broken\nDBPath=/still-logon\n"), "/still-logon");
}

TEST_F(PrivateProfileTest, LineEndingsAndByteOrderMarks)
{
    EXPECT_EQ(read("[LogOn]\r\nDBPath=/crlf\r\nNext=1\r\n"), "/crlf");
    EXPECT_EQ(read("[LogOn]\rDBPath=/cr\rNext=1\r"), "/cr");
    EXPECT_EQ(read("[LogOn]\nDBPath=/no-final-newline"), "/no-final-newline");
    EXPECT_EQ(read("\xEF\xBB\xBF[LogOn]\nDBPath=/bom\n"), "/bom");
    // Old DOS editors end a file with Ctrl-Z (0x1A): it is a blank, trimmed
    // from the value like one, and a line of it alone is empty.
    EXPECT_EQ(read("[LogOn]\r\nDBPath=/dos\x1A"), "/dos");
    EXPECT_EQ(read("[LogOn]\r\nDBPath=/dos \x1A\r\n\x1A"), "/dos");
    EXPECT_EQ(read("[LogOn]\nDBPath=\x1A\n", "LogOn", "DBPath", "d"), "");
    EXPECT_EQ(read("[LogOn]\nDBPath=/a\x1A/b\n"), "/a\x1A/b");

    auto utf16 = [](const std::string& text, bool bigEndian) {
        std::string out = bigEndian ? "\xFE\xFF" : "\xFF\xFE";
        for (char c : text) {
            out += bigEndian ? std::string(1, '\0') + c : std::string(1, c) + '\0';
        }
        return out;
    };
    EXPECT_EQ(read(utf16("[LogOn]\r\nDBPath=/utf16le\r\n", false)), "/utf16le");
    EXPECT_EQ(read(utf16("[LogOn]\r\nDBPath=/utf16be\r\n", true)), "/utf16be");
    // UTF-16 without a mark is read as bytes and finds nothing.
    EXPECT_EQ(read(utf16("[LogOn]\r\nDBPath=/x\r\n", false).substr(2), "LogOn", "DBPath", "d"), "d");
}

TEST_F(PrivateProfileTest, LongValuesAreCutTo499WithoutSplittingACharacter)
{
    std::string value(600, 'a');
    EXPECT_EQ(read("[LogOn]\nDBPath=" + value + "\n"), std::string(499, 'a'));
    EXPECT_EQ(read("[LogOn]\nDBPath=" + std::string(499, 'b') + "\n"), std::string(499, 'b'));
    // "é" is two bytes: at bytes 498-499 it would be cut in half, so it goes.
    std::string accented = std::string(498, 'c') + "\xC3\xA9" + "tail";
    EXPECT_EQ(read("[LogOn]\nDBPath=" + accented + "\n"), std::string(498, 'c'));
    // Quotes are removed first; the cut applies to what they held.
    EXPECT_EQ(read("[LogOn]\nDBPath=\" " + value + "\"\n"), " " + std::string(498, 'a'));
}

TEST_F(PrivateProfileTest, MissingFileSectionOrKeyGivesTheDefault)
{
    EXPECT_EQ(readPrivateProfileString("LogOn", "DBPath", "", dir.file("absent.ini")), "");
    EXPECT_EQ(readPrivateProfileString("LogOn", "DBPath", "fallback", dir.file("absent.ini")), "fallback");
    EXPECT_EQ(readPrivateProfileString("LogOn", "DBPath", " fallback  ", dir.file("absent.ini")), " fallback");
    EXPECT_EQ(read("[Other]\nDBPath=/x\n", "LogOn", "DBPath", "fallback"), "fallback");
    EXPECT_EQ(read("[LogOn]\nDataPath=/x\n", "LogOn", "DBPath", "fallback"), "fallback");
}

TEST_F(PrivateProfileTest, HostileFilesGiveTheDefaultWithoutHangingOrCrashing)
{
    std::string binary;
    for (int i = 0; i < 4096; ++i)
        binary += static_cast<char>((i * 7919) & 0xFF);
    EXPECT_EQ(read(binary, "LogOn", "DBPath", "d"), "d");
    // A NUL ends the line's text; the rest of the file is still read.
    EXPECT_EQ(read("[LogOn]\nDBPath=/srv\0junk\nX=1\n"s), "/srv");

    std::string huge = "[LogOn]\nJunk=" + std::string(10 * 1024 * 1024, 'x') + "\nDBPath=/after-huge\n";
    EXPECT_EQ(read(huge), "/after-huge");

    std::filesystem::create_directories(dir.file("folder.ini"));
    EXPECT_EQ(readPrivateProfileString("LogOn", "DBPath", "d", dir.file("folder.ini")), "d");
    EXPECT_EQ(readPrivateProfileString("LogOn", "DBPath", "d", "/dev/zero"), "d");
    ASSERT_EQ(mkfifo(dir.file("pipe.ini").c_str(), 0600), 0);
    EXPECT_EQ(readPrivateProfileString("LogOn", "DBPath", "d", dir.file("pipe.ini")), "d");
}

} // namespace
