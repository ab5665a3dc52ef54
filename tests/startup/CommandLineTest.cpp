// Which action and front end the arguments and the display choose.
#include "startup/CommandLine.h"

#include <gtest/gtest.h>

using namespace tarvex;
using Action = CommandLine::Action;
using FrontEnd = CommandLine::FrontEnd;

TEST(CommandLineTest, FrontEndFollowsTheDisplayUnlessConsoleIsAsked)
{
    EXPECT_EQ(CommandLine::parse({}, true).frontEnd, FrontEnd::Windows);
    EXPECT_EQ(CommandLine::parse({}, false).frontEnd, FrontEnd::Terminal);
    CommandLine console = CommandLine::parse({"--console"}, true);
    EXPECT_EQ(console.action, Action::Run);
    EXPECT_EQ(console.frontEnd, FrontEnd::Terminal);
}

TEST(CommandLineTest, OtherArgumentsAreErrorsThatNameThem)
{
    EXPECT_EQ(CommandLine::parse({"--help"}, true).action, Action::Help);
    EXPECT_EQ(CommandLine::parse({"--version"}, true).action, Action::Version);
    EXPECT_EQ(CommandLine::parse({"--locate"}, false).action, Action::Locate);
    CommandLine bad = CommandLine::parse({"--colour"}, true);
    EXPECT_EQ(bad.action, Action::Error);
    EXPECT_NE(bad.error.find("--colour"), std::string::npos);
    EXPECT_EQ(CommandLine::parse({"--console", "--locate"}, true).action, Action::Error);
}
