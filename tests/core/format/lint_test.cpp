// SPDX-License-Identifier: GPL-3.0-or-later
#include "core/format/lint.hpp"
#include "support/testfiles.hpp"

#include <gtest/gtest.h>

namespace ravik::lint {
namespace {
using test::PrintTo;
using test::records;
using test::words;

struct Seen {
    Kind kind;
    std::uint64_t offset;
    bool operator==(const Seen&) const = default;
};

void PrintTo(const Seen& seen, std::ostream* out) {
    *out << kindName(seen.kind) << '@' << seen.offset;
}

struct LintCase {
    std::string name;
    test::Bytes bytes;
    std::vector<Seen> expected;
};

class Lint : public ::testing::TestWithParam<LintCase> {};

TEST_P(Lint, FindsEveryKindAtItsRecord) {
    std::vector<Seen> seen;
    for (const Finding& finding : lintBytes(GapBytes(GetParam().bytes)))
        seen.push_back({finding.kind, finding.offset.value_or(~0ULL)});
    EXPECT_EQ(seen, GetParam().expected);
}

INSTANTIATE_TEST_SUITE_P(
    Rows, Lint,
    ::testing::Values(LintCase{"CleanFileHasNothing", records({{0, 100}, {200, 32767}}), {}},
                      LintCase{"EmptyFileHasNothing", {}, {}},
                      LintCase{"FiftyMillisecondsIsAFragmentFiftyOneIsNot",
                               records({{100, 150}, {200, 251}}),
                               {{Kind::Fragment, 0}}},
                      LintCase{"FirstSilenceFromZeroToZeroIsCountedInFull",
                               records({{0, 0}, {100, 200}}),
                               {{Kind::Fragment, 0}}},
                      LintCase{"ZeroFieldInsideTheFile",
                               records({{100, 200}, {300, 400}, {500, 0}, {700, 800}}),
                               {{Kind::Structure, 16}, {Kind::Fragment, 16}, {Kind::Count, 20}}},
                      LintCase{"HighWordShowsOtherTimesAndLiesPastTheLimit",
                               words({100, 0, 200, 0, 300, 1, 400, 0}),
                               {{Kind::Structure, 8}, {Kind::HighWord, 8}, {Kind::PastLimit, 8}}},
                      LintCase{"StoredTimePastTheLimitReadsNegative",
                               records({{100, 200}, {300, 40000}}),
                               {{Kind::Structure, 8}, {Kind::PastLimit, 8}, {Kind::Fragment, 8}}},
                      LintCase{"PartialRecordIsJudgedWithZeros",
                               test::concat(records({{100, 200}}), {0x2C, 0x01}),
                               {{Kind::Structure, 8},
                                {Kind::Fragment, 8},
                                {Kind::PartialRecord, 8},
                                {Kind::Count, 12}}},
                      LintCase{"LoneByteIsOnlyPartial",
                               test::concat(records({{100, 200}}), {0}),
                               {{Kind::Fragment, 8}, {Kind::PartialRecord, 8}}}),
    test::RowName{});

TEST(LintMessages, SayWhatTheTimelineAndTheCheckEachSee) {
    const auto findings = lintBytes(GapBytes(words({100, 0, 200, 0, 300, 1, 400, 0})));
    ASSERT_EQ(findings.size(), 3U);
    EXPECT_EQ(findings[1].message, "the high words are not zero: the timeline shows " +
                                       std::to_string(300 + 65536) +
                                       " to 400 ms, the check and defrag 300 to 400 ms");
    EXPECT_EQ(findings[1].time, 300 + 65536);
    EXPECT_EQ(findings[0].message, "the structure check fails: Too long source file or GAP not in "
                                   "format AAAA 0000 BBBB 0000.");
}

} // namespace
} // namespace ravik::lint
