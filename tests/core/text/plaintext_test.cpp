// SPDX-License-Identifier: GPL-3.0-or-later
#include "core/text/failure.hpp"
#include "core/text/plaintext.hpp"
#include "support/testfiles.hpp"

#include <gtest/gtest.h>

namespace ravik {
namespace {
using test::PrintTo;

struct ShownCase {
    std::string name;
    std::string text;
    std::string shown;
};

class Printable : public ::testing::TestWithParam<ShownCase> {};

// One rule for every text report: nothing in outside text can start a line, steer a terminal or
// reach it as a byte that is not UTF-8.
TEST_P(Printable, EscapesWhatCouldForgeOrSteerAndKeepsEveryScript) {
    EXPECT_EQ(printable(GetParam().text), GetParam().shown);
    EXPECT_EQ(printable(printable(GetParam().text)), GetParam().shown); // shown once, stays so
}

INSTANTIATE_TEST_SUITE_P(
    Rows, Printable,
    ::testing::Values(
        ShownCase{"ALineBreakCannotStartALine", "a\n>> GAP format is correct !",
                  "a\\n>> GAP format is correct !"},
        ShownCase{"TerminalControls", "tab\there\r\x1b[2J\x7f", "tab\\there\\r\\x1b[2J\\x7f"},
        ShownCase{"TheC1ControlsOfUtf8",
                  "c1 \xc2\x9b"
                  "31m",
                  "c1 \\u009b31m"},
        ShownCase{"BytesThatAreNoUtf8", "u\xff.gap \xc3 \xed\xa0\x80 \xf4\x90\x80\x80",
                  "u\\xff.gap \\xc3 \\xed\\xa0\\x80 \\xf4\\x90\\x80\\x80"},
        ShownCase{"EveryScriptStays", "Stimme \xc3\xa4\xe2\x80\x94\xe9\x9f\xb3\xf0\x9f\x8e\xa4.gap",
                  "Stimme \xc3\xa4\xe2\x80\x94\xe9\x9f\xb3\xf0\x9f\x8e\xa4.gap"}),
    test::RowName{});

TEST(Printable, AFailureShowsItsPathAndItsReasonByTheRule) {
    EXPECT_EQ((Failure{"Could not import", "x\ny.csv", "line 1: \"\x1b[2J\" is not a number"})
                  .statusLine(),
              ">> Could not import \"x\\ny.csv\": line 1: \"\\x1b[2J\" is not a number.");
}

struct LinesCase {
    std::string name;
    std::string text;
    std::vector<std::string> lines;
};

class SplitLines : public ::testing::TestWithParam<LinesCase> {};

TEST_P(SplitLines, EndsALineAtLfCrLfOrALoneCr) {
    const std::vector<std::string_view> lines = plaintext::splitLines(GetParam().text);
    EXPECT_EQ(std::vector<std::string>(lines.begin(), lines.end()), GetParam().lines);
}

INSTANTIATE_TEST_SUITE_P(
    Rows, SplitLines,
    ::testing::Values(LinesCase{"EachKind", "a\nb\r\nc\rd", {"a", "b", "c", "d"}},
                      LinesCase{"CrLfIsOneBreakLfCrIsTwo", "a\r\n\n\rb\n", {"a", "", "", "b"}},
                      LinesCase{"ALoneCrAtTheEnd", "a\r", {"a"}}, LinesCase{"Empty", "", {}}),
    test::RowName{});

} // namespace
} // namespace ravik
