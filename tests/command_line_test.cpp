#include <gtest/gtest.h>

#include "shell/command_line.h"

TEST(CommandLine, OnlyTheFirstTokenCountsInAnySpellingAndCase)
{
    const struct { const char* line; StartMode mode; } cases[] = {
        {"/regserver", StartMode::RegServer}, {"-RegServer", StartMode::RegServer}, {"regserver", StartMode::RegServer},
        {"  /-REGSERVER", StartMode::RegServer}, {"/UnregServer", StartMode::UnregServer},
        {"-unregserver extra", StartMode::UnregServer}, {"-Embedding", StartMode::Automation},
        {"Embedding more tokens", StartMode::Automation}, {"/automation", StartMode::Automation},
        {"", StartMode::Normal}, {nullptr, StartMode::Normal}, {"/- ", StartMode::Normal},
        {"/tunnel -RegServer", StartMode::Normal}, {"RegServerX", StartMode::Normal}, {"Reg", StartMode::Normal}};
    for (const auto& c : cases) EXPECT_EQ(ParseCommandLine(c.line), c.mode) << (c.line ? c.line : "null");
}
