// SPDX-License-Identifier: GPL-3.0-or-later
#include "core/exchange/exchange.hpp"
#include "core/format/silencematch.hpp"
#include "core/format/silencerules.hpp"
#include "core/text/decimaltext.hpp"
#include "support/testfiles.hpp"

#include <gtest/gtest.h>
#include <random>

namespace ravik {
namespace {
using test::PrintTo;
using namespace exchange;
using silences::Silence;

using Pairs = std::vector<std::pair<std::int64_t, std::int64_t>>;

Pairs pairsOf(const std::vector<Silence>& list) {
    Pairs pairs;
    for (const Silence& silence : list)
        pairs.emplace_back(silence.start, silence.end);
    return pairs;
}

std::vector<Silence> listOf(const Pairs& pairs) {
    std::vector<Silence> list;
    for (const auto& [start, end] : pairs)
        list.push_back({start, end, 0});
    return list;
}

// --- Exact decimals ---------------------------------------------------------------------

struct DecimalCase {
    std::string name;
    std::string text;
    int scale;
    bool comma;
    std::optional<decimaltext::Rounded> expected;
};

class Decimals : public ::testing::TestWithParam<DecimalCase> {};

TEST_P(Decimals, RoundBothWaysWithoutBinaryError) {
    EXPECT_EQ(decimaltext::parse(GetParam().text, GetParam().scale, GetParam().comma),
              GetParam().expected);
}

INSTANTIATE_TEST_SUITE_P(
    Rows, Decimals,
    ::testing::Values(
        // 1.001 and 4.655 are not binary fractions: read through a double they land off a ms.
        DecimalCase{"SecondsWithSixDecimalsAreExact", "1.001000", 3, false, {{1001, 1001}}},
        DecimalCase{"AnotherInexactBinaryFraction", "4.655", 3, false, {{4655, 4655}}},
        DecimalCase{"FractionOfAMillisecondRoundsBothWays", "1.2345", 3, false, {{1234, 1235}}},
        DecimalCase{"NegativeRoundsAwayAndTowardsZero", "-0.0013", 3, false, {{-2, -1}}},
        DecimalCase{"ExponentShiftsThePoint", "1.5e-3", 3, false, {{1, 2}}},
        DecimalCase{"LeadingPointAndPlusSign", "+.5", 3, false, {{500, 500}}},
        DecimalCase{"CommaOnlyWhenAllowed", "1,5", 3, true, {{1500, 1500}}},
        DecimalCase{"CommaRefusedOtherwise", "1,5", 3, false, std::nullopt},
        DecimalCase{"HugeNumbersAreHeldAtATrillion",
                    "1e40",
                    0,
                    false,
                    {{1'000'000'000'000, 1'000'000'000'000}}},
        DecimalCase{"TrailingTextIsRefused", "12ms", 0, false, std::nullopt},
        DecimalCase{"NoDigitsIsRefused", "-.", 0, false, std::nullopt},
        DecimalCase{"ExponentWithoutDigitsIsRefused", "1e", 0, false, std::nullopt}),
    test::RowName{});

TEST(DecimalText, SameNumberWhateverTheSpelling) {
    EXPECT_TRUE(decimaltext::sameNumber("1.5", "1.500000e0"));
    EXPECT_TRUE(decimaltext::sameNumber("0", "-0.000"));
    EXPECT_TRUE(decimaltext::sameNumber("1,5", "1.5", true));
    EXPECT_FALSE(decimaltext::sameNumber("0.0012", "0.0018"));
    EXPECT_FALSE(decimaltext::sameNumber("x", "x"));
}

TEST(DecimalText, SecondsAreWrittenWithThePointWhateverTheirSign) {
    EXPECT_EQ(decimaltext::seconds(1234, 6), "1.234000");
    EXPECT_EQ(decimaltext::seconds(5, 6), "0.005000");
    EXPECT_EQ(decimaltext::seconds(-5, 3), "-0.005");
    EXPECT_EQ(decimaltext::shortSeconds(32767), "32.767");
    EXPECT_EQ(decimaltext::shortSeconds(500), "0.5");
    EXPECT_EQ(decimaltext::shortSeconds(2000), "2");
}

// --- The validity rules and mending ------------------------------------------------------

struct RuleCase {
    std::string name;
    Pairs list;
    silences::Mending mending;
    Pairs mended;
    std::optional<silences::Break> broken;
};

class Rules : public ::testing::TestWithParam<RuleCase> {};

TEST_P(Rules, MendWhatIsAskedThenFindTheFirstBreak) {
    std::vector<Silence> list = listOf(GetParam().list);
    silences::mend(list, GetParam().mending);
    EXPECT_EQ(pairsOf(list), GetParam().mended);
    EXPECT_EQ(silences::firstBreak(list), GetParam().broken);
}

using silences::Break;
using silences::Mending;
using silences::Rule;

INSTANTIATE_TEST_SUITE_P(
    Rows, Rules,
    ::testing::Values(
        RuleCase{"ValidListWithZeroLengthAndBothLimits",
                 {{0, 0}, {1, 1}, {32767, 32767}},
                 {},
                 {{0, 0}, {1, 1}, {32767, 32767}},
                 std::nullopt},
        RuleCase{"TouchingIsABreak",
                 {{0, 10}, {10, 20}},
                 {},
                 {{0, 10}, {10, 20}},
                 Break{1, Rule::NotAfterPrevious}},
        RuleCase{"OneMillisecondApartIsValid",
                 {{0, 10}, {11, 20}},
                 {},
                 {{0, 10}, {11, 20}},
                 std::nullopt},
        RuleCase{"MergeJoinsTouchingAndOverlapping",
                 {{0, 10}, {10, 20}, {15, 18}, {30, 40}},
                 {false, false, true},
                 {{0, 20}, {30, 40}},
                 std::nullopt},
        RuleCase{"OutOfOrderIsNotMergedWithoutSort",
                 {{100, 200}, {0, 10}},
                 {false, false, true},
                 {{100, 200}, {0, 10}},
                 Break{1, Rule::OutOfOrder}},
        RuleCase{"SortThenMerge",
                 {{100, 200}, {0, 10}, {5, 100}},
                 {true, false, true},
                 {{0, 200}},
                 std::nullopt},
        RuleCase{"ClipCutsAtBothEndsAndDropsWhatLiesOutside",
                 {{-50, -10}, {-5, 10}, {32000, 40000}, {32768, 33000}},
                 {false, true, false},
                 {{0, 10}, {32000, 32767}},
                 std::nullopt},
        RuleCase{"BeforeZero", {{-1, 10}}, {}, {{-1, 10}}, Break{0, Rule::BeforeZero}},
        RuleCase{
            "PastTheLatestTime", {{100, 32768}}, {}, {{100, 32768}}, Break{0, Rule::PastLatest}},
        RuleCase{"EndBeforeStartIsNeverMended",
                 {{300, 200}},
                 {true, true, true},
                 {{300, 200}},
                 Break{0, Rule::EndBeforeStart}}),
    test::RowName{});

TEST(SilenceRules, DecodeReadsWhatTheCheckWalksAndEncodeWritesTheWriters) {
    const test::Bytes bytes = test::concat(test::records({{0, 1}, {40000, 100}}), {7, 0});
    const auto list = silences::decode(GapBytes(bytes));
    // 40000 reads as a signed 16-bit word; the two bytes after the records make a partial one.
    EXPECT_EQ(pairsOf(list), (Pairs{{0, 1}, {40000 - 65536, 100}, {7, 0}}));
    EXPECT_EQ(silences::encode(listOf({{0, 1}, {300, 32767}})),
              test::records({{0, 1}, {300, 32767}}));
    // A lone byte after the last record is never read.
    EXPECT_EQ(silences::decode(GapBytes(test::concat(test::records({{5, 6}}), {9}))).size(), 1U);
}

// --- Matching ----------------------------------------------------------------------------

struct MatchCase {
    std::string name;
    Pairs a;
    Pairs b;
    std::vector<silences::Pairing> expected;
};

class Matching : public ::testing::TestWithParam<MatchCase> {};

TEST_P(Matching, PairsByOverlapOfAtLeastHalfTheUnion) {
    EXPECT_EQ(silences::pairSilences(listOf(GetParam().a), listOf(GetParam().b)),
              GetParam().expected);
}

using P = silences::Pairing;
constexpr auto none = std::nullopt;

INSTANTIATE_TEST_SUITE_P(
    Rows, Matching,
    ::testing::Values(
        // Overlap 50 of a union of 100: exactly half matches; 49 of 101 does not.
        MatchCase{"ExactlyHalfMatches", {{0, 100}}, {{50, 100}}, {P{0, 0}}},
        MatchCase{"JustUnderHalfDoesNot", {{0, 100}}, {{51, 101}}, {P{0, none}, P{none, 0}}},
        MatchCase{"ZeroLengthMatchesOnlyAtTheSameTime",
                  {{10, 10}, {20, 20}},
                  {{10, 10}, {21, 21}},
                  {P{0, 0}, P{1, none}, P{none, 1}}},
        MatchCase{"AShortEarlyOneDoesNotHideTheRealMatch",
                  {{0, 100}},
                  {{10, 20}, {30, 110}},
                  {P{none, 0}, P{0, 1}}},
        MatchCase{"UnmatchedOnEitherSideInTimeOrder",
                  {{0, 10}, {100, 200}, {500, 600}},
                  {{100, 210}, {300, 400}},
                  {P{0, none}, P{1, 0}, P{none, 1}, P{2, none}}}),
    test::RowName{});

// The accuracy tests pair true pauses, to the sample, with found silences: no rounding to whole
// milliseconds on the way.
TEST(Matching, FractionalSilencesKeepTheirFractions) {
    struct Span {
        double start;
        double end;
    };
    // Overlap 5.1 of a union of 10.4: under half, though whole milliseconds (5 of 10) would match.
    EXPECT_FALSE(silences::sameSilence(Span{0, 10.4}, Span{5.3, 10.4}));
    EXPECT_TRUE(silences::sameSilence(Span{0, 10.4}, Span{5.2, 10.4}));
    EXPECT_EQ(silences::pairSilences(std::vector<Span>{{0, 10.4}, {20, 30}},
                                     std::vector<Span>{{5.3, 10.4}, {21.5, 29.5}}),
              (std::vector<silences::Pairing>{P{0, none}, P{none, 0}, P{1, 1}}));
}

// --- Round trips -------------------------------------------------------------------------

// Valid lists of every shape: empty, a first silence at 0, silences 1 ms apart, zero-length
// ones, the last time 32767.
std::vector<std::vector<Silence>> generatedLists(bool zeroLength) {
    std::mt19937 random(11);
    std::vector<std::vector<Silence>> lists{{}, {{0, 1, 0}}, {{32766, 32767, 0}}};
    if (zeroLength)
        lists.push_back({{0, 0, 0}, {32767, 32767, 0}});
    for (int n = 0; n < 300; ++n) {
        std::vector<Silence> list;
        std::int64_t at =
            n % 3 == 0 ? 0 : std::uniform_int_distribution<std::int64_t>(0, 2000)(random);
        const int count = std::uniform_int_distribution<int>(1, 60)(random);
        for (int i = 0; i < count && at <= silences::kLastMs; ++i) {
            const std::int64_t length =
                std::uniform_int_distribution<std::int64_t>(zeroLength ? 0 : 1, 900)(random);
            const std::int64_t end = std::min<std::int64_t>(at + length, silences::kLastMs);
            if (end == at && !zeroLength)
                break;
            list.push_back({at, end, 0});
            at = end + std::uniform_int_distribution<std::int64_t>(1, 1500)(random);
        }
        lists.push_back(std::move(list));
    }
    return lists;
}

class RoundTrip : public ::testing::TestWithParam<Format> {};

TEST_P(RoundTrip, AValidFileComesBackByteForByte) {
    const bool zeroLength = GetParam() != Format::TextGrid;
    for (const std::vector<Silence>& list : generatedLists(zeroLength)) {
        const std::vector<std::uint8_t> gap = silences::encode(list);
        const Exported exported = exportSilences(GetParam(), list, {"a.gap", std::nullopt});
        EXPECT_TRUE(exported.notes.empty());
        const Imported imported = importSilences(GetParam(), exported.text, {});
        ASSERT_FALSE(imported.refusal) << *imported.refusal << "\n" << exported.text;
        ASSERT_EQ(silences::encode(imported.list), gap) << exported.text;
    }
}

INSTANTIATE_TEST_SUITE_P(EveryFormat, RoundTrip,
                         ::testing::Values(Format::Audacity, Format::TextGrid, Format::Csv,
                                           Format::Json),
                         [](const auto& row) {
                             return std::string(
                                 std::array{"Audacity", "TextGrid", "Csv",
                                            "Json"}[static_cast<std::size_t>(row.param)]);
                         });

TEST(Export, TextGridLeavesOutAZeroLengthSilenceAndSaysSo) {
    const Exported exported =
        exportSilences(Format::TextGrid, listOf({{0, 0}, {100, 200}}), {"a.gap", 0.5});
    ASSERT_EQ(exported.notes.size(), 1U);
    EXPECT_NE(exported.notes[0].find("from 0 to 0 ms lasts no time"), std::string::npos);
    EXPECT_NE(exported.notes[0].find("left out"), std::string::npos);
    const Imported back = importSilences(Format::TextGrid, exported.text, {});
    EXPECT_EQ(pairsOf(back.list), (Pairs{{100, 200}}));
    // The recording's length ends the grid; the speech after the last silence is an interval.
    EXPECT_NE(exported.text.find("xmax = 0.5\n        intervals: size = 3\n"), std::string::npos);
    EXPECT_NE(exported.text.find("xmin = 0.2\n            xmax = 0.5\n            text = \"\""),
              std::string::npos);
}

TEST(Export, JsonNamesTheFileInAJsonString) {
    const Exported exported = exportSilences(Format::Json, {}, {"say \"hi\"\\.gap", std::nullopt});
    EXPECT_EQ(exported.text, "{\n  \"file\": \"say \\\"hi\\\"\\\\.gap\",\n  \"silences\": []\n}\n");
}

} // namespace
} // namespace ravik
