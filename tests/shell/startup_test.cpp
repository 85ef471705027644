// SPDX-License-Identifier: GPL-3.0-or-later
#include "shell/startup.hpp"
#include "support/testfiles.hpp"

#include <gtest/gtest.h>

namespace ravik::shell {
namespace {
using test::PrintTo;

struct CommandLine {
    std::string name;
    std::string line;
    std::string argumentText;
    std::string program = R"(C:\Program Files\Ravik\Ravik.exe)";
};

class ArgumentTextTest : public ::testing::TestWithParam<CommandLine> {};

TEST_P(ArgumentTextTest, IsEverythingAfterTheProgramAndItsBlanks) {
    EXPECT_EQ(argumentTextOf(GetParam().line, GetParam().program), GetParam().argumentText);
}

INSTANTIATE_TEST_SUITE_P(
    Rows, ArgumentTextTest,
    ::testing::Values(
        CommandLine{"NoArgument", "Ravik.exe", ""},
        CommandLine{"UnquotedPathWithBlanksArrivesWhole",
                    R"(C:\Ravik\Ravik.exe C:\My Speech\line 12.gap)",
                    R"(C:\My Speech\line 12.gap)"},
        CommandLine{"QuotedProgramName", R"("C:\Program Files\Ravik\Ravik.exe"  a.gap)", "a.gap"},
        CommandLine{"UnquotedProgramPathWithBlanksAsTheOpenCommandGivesIt",
                    R"(c:\program files\ravik\RAVIK.EXE C:\My Speech\a b.gap)",
                    R"(C:\My Speech\a b.gap)"},
        CommandLine{"QuotedPathWithBlanksLosesItsQuotes",
                    R"("C:\win test\Ravik.exe" "C:\win test\data dir\speech.gap")",
                    R"(C:\win test\data dir\speech.gap)", R"(C:\win test\Ravik.exe)"},
        CommandLine{"QuotedPathAsTheOpenCommandGivesIt",
                    R"("C:\Program Files\Ravik\Ravik.exe" "C:\My Speech\a b.gap")",
                    R"(C:\My Speech\a b.gap)"},
        CommandLine{"BlanksAfterTheClosingQuoteAreDropped", R"(Ravik.exe "a b.gap"  )", "a b.gap"},
        CommandLine{"TwoQuotedPathsAreNotOnePath", R"(Ravik.exe "a.gap" "b.gap")",
                    R"("a.gap" "b.gap")"},
        CommandLine{"AQuoteOnlyAtTheStartIsKept", R"(Ravik.exe "a b.gap)", R"("a b.gap)"},
        CommandLine{"ALoneQuoteIsKept", R"(Ravik.exe ")", R"(")"},
        CommandLine{"EmptyQuotesAreNoPath", R"(Ravik.exe "")", ""},
        CommandLine{"TrailingBlanksAreKept", "Ravik.exe a.gap  ", "a.gap  "}),
    test::RowName{});

#ifndef _WIN32 // Windows gives the raw command line, checked through the open command under Wine
TEST(PackFolder, IsWhatFollowsThePackOption) {
    EXPECT_EQ(shell::packFolder("--pack /voice pack/act 1"), "/voice pack/act 1");
    EXPECT_EQ(shell::packFolder("--pack   \"C:\\Voice Pack\""), "C:\\Voice Pack");
    EXPECT_EQ(shell::packFolder("--packed.gap"), std::nullopt); // a file's name
    EXPECT_EQ(shell::packFolder("/d/--pack x"), std::nullopt);
}

TEST(ArgumentText, JoinsTheArgumentsWithSingleBlanks) {
    const char* const argv[] = {"ravik", "/home/me/My", "Speech/line", "12.gap"};
    EXPECT_EQ(argumentText(4, argv), "/home/me/My Speech/line 12.gap");
    EXPECT_EQ(argumentText(1, argv), "");
}
#endif

} // namespace
} // namespace ravik::shell
