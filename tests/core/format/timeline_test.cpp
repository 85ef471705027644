// SPDX-License-Identifier: GPL-3.0-or-later
#include "core/format/timeline.hpp"
#include "support/testfiles.hpp"

#include <algorithm>
#include <cmath>
#include <gtest/gtest.h>

namespace ravik {
namespace {
using test::PrintTo;

using test::Bytes;
using test::records;

// A picture 120 units wide makes the expected edges easy to derive: a silence from S to E ms on
// a timeline ending at T ms covers 120 * S / T to 120 * E / T.
constexpr PictureSize kPicture{120, 33};

// Boxes as derived by hand, to five significant digits.
void expectBoxes(const std::vector<Box>& actual, const std::vector<Box>& expected) {
    ASSERT_EQ(actual.size(), expected.size());
    for (std::size_t i = 0; i < expected.size(); ++i) {
        const auto near = [](float value, float wanted) {
            return std::abs(value - wanted) <= 1e-5F * std::max(1.0F, std::abs(wanted));
        };
        EXPECT_TRUE(near(actual[i].left, expected[i].left) &&
                    near(actual[i].width, expected[i].width))
            << "box " << i << ": " << actual[i].left << " + " << actual[i].width << ", expected "
            << expected[i].left << " + " << expected[i].width;
    }
}

struct TimelineCase {
    std::string name;
    Bytes bytes;
    std::vector<std::string> silenceLines; // after ">> Designing Graph"
    std::string count;
    std::string minimum;
    std::string length;
    std::vector<Box> boxes;
    std::string decimalSeparator = ".";
};

std::vector<TimelineCase> timelineCases() {
    const Bytes zeroInside = records({{100, 200}, {300, 400}, {500, 0}, {700, 800}});
    const std::vector<std::string> zeroInsideLines{
        "Silence:  100 (64) - 200 (C8)", "Silence:  300 (12C) - 400 (190)",
        "Silence:  500 (1F4) - 0 (0)", "Silence:  700 (2BC) - 800 (320)"};
    // T = 500: 120 / 500 = 0.24 units per ms.
    const std::vector<Box> zeroInsideBoxes{{24, 24}, {72, 24}, {120, -120}, {168, 24}};
    const Bytes twoSilences = records({{100, 300}, {1000, 1200}});
    const std::vector<std::string> twoSilencesLines{"Silence:  100 (64) - 300 (12C)",
                                                    "Silence:  1000 (3E8) - 1200 (4B0)"};
    return {
        {"GenericFile",
         records({{0, 1}}),
         {"Silence: 0 (0) -  1 (1)"},
         "1",
         "Bigger than  1 msecs.",
         " 1",
         {{0, 120}}},
        {"TwoSilences",
         twoSilences,
         twoSilencesLines,
         "2",
         "Bigger than  1200 msecs.",
         " 400",
         {{10, 20}, {100, 20}}}, // 0.1 unit per ms
        {"FirstSilenceAtZeroAndASecondStartingAtAMultipleOf256",
         records({{0, 200}, {512, 700}}),
         {"Silence: 0 (0) -  200 (C8)", "Silence:  512 (200) - 700 (2BC)"},
         "2",
         "Bigger than  700 msecs.",
         " 388",
         {{0, 34.285714F}, {87.771429F, 32.228571F}}}, // 120 / 700
        {"OnlySilenceAtZero",
         records({{0, 200}}),
         {"Silence: 0 (0) -  200 (C8)"},
         "1",
         "Bigger than  200 msecs.",
         " 200",
         {{0, 120}}},
        {"ZeroFieldEndsTheCountButNotTheDrawing", zeroInside, zeroInsideLines, "2.5",
         "Bigger than  500 msecs.", "-200", zeroInsideBoxes},
        {"HalfCountTakesTheUsersSeparator", zeroInside, zeroInsideLines, "2,5",
         "Bigger than  500 msecs.", "-200", zeroInsideBoxes, ","},
        {"EmptyFile", {}, {}, "0", "Bigger than  0 msecs.", " 0", {}},
        {"FirstSilenceFromZeroToZeroDoesNotEndTheCount",
         records({{0, 0}, {100, 200}, {300, 400}}),
         {"Silence: 0 (0) -  0 (0)", "Silence:  100 (64) - 200 (C8)",
          "Silence:  300 (12C) - 400 (190)"},
         "3",
         "Bigger than  400 msecs.",
         " 200",
         {{0, 0}, {30, 30}, {90, 30}}},
        {"OneStrayByteIsCountedButNotDrawn",
         test::concat(twoSilences, Bytes{7}),
         twoSilencesLines,
         "2.5",
         "Bigger than  7 msecs.",
         " 400",
         {{1714.2857F, 3428.5714F}, {17142.857F, 3428.5714F}}}, // 120 / 7
        {"TwoStrayBytesAreDrawnAsOneMoreSilence",
         test::concat(twoSilences, Bytes{7, 0}),
         {twoSilencesLines[0], twoSilencesLines[1], "Silence:  7 (7) - 0 (0)"},
         "2.5",
         "Bigger than  7 msecs.",
         " 393",
         {{1714.2857F, 3428.5714F}, {17142.857F, 3428.5714F}, {120, -120}}},
        {"TimelineEndingAtZeroDrawsNoBox",
         records({{0, 0}}),
         {"Silence: 0 (0) -  0 (0)"},
         "1",
         "Bigger than  0 msecs.",
         " 0",
         {}},
        {"HighWordsAreReadWhole",
         records({{70000, 70100}}),
         {"Silence:  70000 (11170) - 70100 (111D4)"},
         "1",
         "Bigger than  70100 msecs.",
         " 100",
         {{119.82882F, 0.17118402F}}},
        {"DifferencesAndSumsNeverOverflow",
         records({{-2147483648LL, 2147483647LL}}),
         {"Silence: -2147483648 (80000000) - 2147483647 (7FFFFFFF)"},
         "1",
         "Bigger than  2147483647 msecs.",
         " 4294967295",
         {{-120, 240}}}, // T = 2^31 - 1, S = -2^31
    };
}

class TimelineTest : public ::testing::TestWithParam<TimelineCase> {};

TEST_P(TimelineTest, LinesFieldsAndBoxes) {
    const TimelineCase& row = GetParam();
    const Timeline timeline = buildTimeline(GapBytes(row.bytes), kPicture, row.decimalSeparator);

    std::vector<std::string> lines{">> Designing Graph"};
    lines.insert(lines.end(), row.silenceLines.begin(), row.silenceLines.end());
    EXPECT_EQ(timeline.lines.toVector(), lines);
    EXPECT_EQ(timeline.count, row.count);
    EXPECT_EQ(timeline.minimum, row.minimum);
    EXPECT_EQ(timeline.length, row.length);
    expectBoxes(timeline.boxes, row.boxes);
    EXPECT_EQ(timeline.boxHeight, 33);
    EXPECT_FALSE(timeline.failure);
}

INSTANTIATE_TEST_SUITE_P(Rows, TimelineTest, ::testing::ValuesIn(timelineCases()), test::RowName{});

TEST(Timeline, LastBoxEndsAtTheRightEdgeOfTheRealPicture) {
    const Bytes bytes = records({{120, 340}, {980, 1500}});
    const Timeline timeline = buildTimeline(GapBytes(bytes), kTimelinePicture, ".");
    ASSERT_EQ(timeline.boxes.size(), 2U);
    EXPECT_FLOAT_EQ(timeline.boxes[1].left + timeline.boxes[1].width, 393.0F);
}

// A report of a million lines is made a block at a time and never held whole.
TEST(Timeline, LinesGoOutInBlocksThatJoinToTheWholeTimeline) {
    Bytes bytes;
    for (std::int64_t i = 0; i < 2 * std::int64_t{kTimelineBlock} + 5; ++i)
        bytes = test::concat(std::move(bytes), records({{10 * i + 1, 10 * i + 5}}));
    const Timeline whole = buildTimeline(GapBytes(bytes), kTimelinePicture, ".");
    StatusLines joined;
    std::vector<std::size_t> sizes;
    const Timeline streamed =
        buildTimeline(GapBytes(bytes), kTimelinePicture, ".", [&](const StatusLines& block) {
            sizes.push_back(block.size());
            joined.append(block);
        });
    EXPECT_EQ(joined, whole.lines);
    EXPECT_TRUE(streamed.lines.empty());
    EXPECT_EQ(sizes, (std::vector<std::size_t>{kTimelineBlock, kTimelineBlock, 6}));
    EXPECT_EQ(streamed.count, whole.count);
    EXPECT_EQ(streamed.length, whole.length);
    EXPECT_EQ(streamed.boxes, whole.boxes);
}

TEST(Timeline, JudgesTheStructureOfWhatItDraws) {
    const Bytes correct = records({{100, 200}});
    const Bytes misplaced = records({{100, 200}, {150, 300}});
    EXPECT_EQ(buildTimeline(GapBytes(correct), {}, ".").verdict, Verdict::Correct);
    EXPECT_EQ(buildTimeline(GapBytes(misplaced), {}, ".").verdict, Verdict::Incorrect);
    EXPECT_TRUE(buildTimeline(GapBytes(misplaced), {}, ".").boxes.empty()); // no picture
}

TEST(Timeline, BoxHeightIsThePictureHeightRoundedHalfToEven) {
    const Bytes bytes = records({{0, 1}});
    EXPECT_EQ(buildTimeline(GapBytes(bytes), {120, 32.5}, ".").boxHeight, 32);
    EXPECT_EQ(buildTimeline(GapBytes(bytes), {120, 33.5}, ".").boxHeight, 34);
}

} // namespace
} // namespace ravik
