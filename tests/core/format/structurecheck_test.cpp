// SPDX-License-Identifier: GPL-3.0-or-later
#include "core/format/structurecheck.hpp"
#include "core/text/messages.hpp"
#include "support/testfiles.hpp"

#include <gtest/gtest.h>

namespace ravik {
namespace {
using test::PrintTo;

using test::Bytes;
using test::records;
using test::words;

const std::vector<std::string> kCorrect{">> GAP format is correct !"};

std::vector<std::string> incorrect(std::string error) {
    return {">> GAP format is incorrect !!!!!!!", std::move(error)};
}

const std::string kHighWord =
    "Error: Too long source file or GAP not in format AAAA 0000 BBBB 0000.";
const std::string kEndBeforeStart = "Error: Silence end is before silence start.";

std::string misplacedAt(const std::string& hexOffset) {
    return "Error: GAP possibly overwritten; Silence starting at offset " + hexOffset +
           " is misplaced.";
}

// Records (i, i) for i < count: each starts 1 ms after the previous one ends.
Bytes ascending(std::int64_t count) {
    Bytes bytes;
    for (std::int64_t i = 0; i < count; ++i)
        bytes = test::concat(std::move(bytes), records({{i, i}}));
    return bytes;
}

struct CheckCase {
    std::string name;
    Bytes bytes;
    std::vector<std::string> lines;
};

std::vector<CheckCase> checkCases() {
    return {
        {"EmptyFileIsCorrect", {}, kCorrect},
        {"GenericFileIsCorrect", records({{0, 1}}), kCorrect},
        {"FirstSilenceFromZeroToZeroIsCorrect", records({{0, 0}}), kCorrect},
        {"StartEqualToPreviousEndIsMisplaced", records({{100, 200}, {200, 300}}),
         incorrect(misplacedAt("8"))},
        {"EndBeforeStart", records({{100, 200}, {300, 250}}), incorrect(kEndBeforeStart)},
        {"HighWordSet", records({{70000, 70100}}), incorrect(kHighWord)},
        {"HighWordAndMisplacedReportsMisplaced", records({{100, 200}, {65536 + 150, 300}}),
         incorrect(misplacedAt("8"))},
        {"EndBeforeStartAndHighWordReportsEndBeforeStart", records({{100, 65536 + 50}}),
         incorrect(kEndBeforeStart)},
        {"FirstStartOf32768ReadsNegativeAndIsMisplaced", records({{32768, 32800}}),
         incorrect(misplacedAt("0"))},
        {"EndOf40000ReadsNegativeAndIsBeforeStart", records({{100, 40000}}),
         incorrect(kEndBeforeStart)},
        {"OnlyTheFirstOfTwoMisplacedIsReported",
         records({{10, 20}, {30, 40}, {35, 50}, {60, 70}, {80, 90}, {100, 110}, {105, 120}}),
         incorrect(misplacedAt("10"))},
        {"PartialRecordReadsMissingEndAsZero", test::concat(records({{100, 200}}), words({300, 0})),
         incorrect(kEndBeforeStart)},
        {"OneStrayByteAfterTheLastRecordIsNotExamined",
         test::concat(records({{100, 200}}), Bytes{5}), kCorrect},
        {"TwoStrayBytesAreARecordOfTheirOwn", test::concat(records({{100, 200}}), words({50})),
         incorrect(misplacedAt("8"))},
        {"LargestValidFileIsCorrect", ascending(32767 + 1), kCorrect},
        {"FaultBeyondRecord4095IsFoundAtItsRealOffset",
         test::concat(ascending(5000), records({{0, 0}})), incorrect(misplacedAt("9C40"))},
    };
}

class StructureCheckTest : public ::testing::TestWithParam<CheckCase> {};

TEST_P(StructureCheckTest, ReportsVerdict) {
    const CheckCase& row = GetParam();
    const StructureCheck check = checkStructure(GapBytes(row.bytes));

    EXPECT_EQ(check.lines.toVector(), row.lines);
    EXPECT_FALSE(check.failure);
    const bool correct = row.lines == kCorrect;
    EXPECT_EQ(check.verdictText(), correct ? "Correct" : "Incorrect !");
    EXPECT_EQ(check.verdictColour(), correct ? (Rgb{0, 0, 0}) : (Rgb{255, 0, 0}));
}

INSTANTIATE_TEST_SUITE_P(Rows, StructureCheckTest, ::testing::ValuesIn(checkCases()),
                         test::RowName{});

TEST(StructureCheck, NamesTheRuleAndTheOffsetOfTheFailingRecord) {
    const Bytes bytes = records({{100, 200}, {300, 400}, {400, 500}});
    const StructureCheck check = checkStructure(GapBytes(bytes));
    EXPECT_EQ(check.error, StructureError::Misplaced);
    EXPECT_EQ(check.failingOffset, 2 * 8U);
}

} // namespace
} // namespace ravik
