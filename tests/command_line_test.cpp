#include <gtest/gtest.h>

#include "shell/command_line.h"

TEST(CommandLine, RegistrationTokensInAnySpellingAndCase)
{
    EXPECT_EQ(ParseCommandLine("/regserver"), StartMode::RegServer);
    EXPECT_EQ(ParseCommandLine("-RegServer"), StartMode::RegServer);
    EXPECT_EQ(ParseCommandLine("regserver"), StartMode::RegServer);
    EXPECT_EQ(ParseCommandLine("  /-REGSERVER"), StartMode::RegServer);
    EXPECT_EQ(ParseCommandLine("/UnregServer"), StartMode::UnregServer);
    EXPECT_EQ(ParseCommandLine("-unregserver extra"), StartMode::UnregServer);
}

TEST(CommandLine, AutomationTokensStartHidden)
{
    EXPECT_EQ(ParseCommandLine("-Embedding"), StartMode::Automation);
    EXPECT_EQ(ParseCommandLine("Embedding more tokens"), StartMode::Automation);
    EXPECT_EQ(ParseCommandLine("/automation"), StartMode::Automation);
}

TEST(CommandLine, OnlyTheFirstTokenCounts)
{
    EXPECT_EQ(ParseCommandLine(""), StartMode::Normal);
    EXPECT_EQ(ParseCommandLine(nullptr), StartMode::Normal);
    EXPECT_EQ(ParseCommandLine("/- "), StartMode::Normal);
    EXPECT_EQ(ParseCommandLine("/tunnel -RegServer"), StartMode::Normal);
    EXPECT_EQ(ParseCommandLine("RegServerX"), StartMode::Normal);
    EXPECT_EQ(ParseCommandLine("Reg"), StartMode::Normal);
}
