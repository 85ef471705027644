// SPDX-License-Identifier: GPL-3.0-or-later
#include "support/testfiles.hpp"
#include "ui/timescale.hpp"

#include <gtest/gtest.h>

namespace ravik::test {
namespace {

// 10 s across 1000 pixels at 1 ms a pixel, from 2 s on.
constexpr TimeScale kScale{2'000, 1, 1'000, 10'000};

struct ClampRow {
    const char* name;
    double start;
    double perPixel;
    TimeScale expected;
};

class TimeScaleClampTest : public ::testing::TestWithParam<ClampRow> {};

TEST_P(TimeScaleClampTest, StaysWithinTheRecordingAndTheZoomLimits) {
    EXPECT_EQ(kScale.at(GetParam().start, GetParam().perPixel), GetParam().expected);
}

INSTANTIATE_TEST_SUITE_P(
    View, TimeScaleClampTest,
    ::testing::Values(
        ClampRow{"as_asked", 500, 2, {500, 2, 1'000, 10'000}},
        ClampRow{"closer_than_20_pixels_a_ms", 500, 0.01, {500, 1.0 / 20, 1'000, 10'000}},
        ClampRow{"wider_than_the_recording", 500, 50, {0, 10'000.0 / 1'000, 1'000, 10'000}},
        ClampRow{"before_the_start", -300, 2, {0, 2, 1'000, 10'000}},
        ClampRow{"past_the_end", 9'500, 2, {10'000 - 1'000 * 2, 2, 1'000, 10'000}}),
    RowName{});

TEST(TimeScaleTest, ZoomKeepsThePointWhereItIsOnScreen) {
    for (const double factor : {2.0, 0.5, 1.5}) {
        const TimeScale zoomed = kScale.zoomedAround(factor, 2'300);
        EXPECT_DOUBLE_EQ(zoomed.xAt(2'300), kScale.xAt(2'300)) << factor;
        EXPECT_DOUBLE_EQ(zoomed.msPerPixel, kScale.msPerPixel / factor) << factor;
    }
}

TEST(TimeScaleTest, TheScrollBarCoversTheRecordingInPixelsAndComesBack) {
    const TimeScale::Scroll bar = kScale.scroll();
    EXPECT_EQ(bar, (TimeScale::Scroll{10'000 - 1'000, 1'000, 100, 2'000}));
    EXPECT_EQ(kScale.scrolledTo(bar.value), kScale);
    EXPECT_EQ(kScale.scrolledTo(bar.maximum).endMs(), 10'000);
}

TEST(TimeScaleTest, ShowingScrollsOnlyForWhatIsOutOfView) {
    EXPECT_EQ(kScale.showing(2'100, 2'900), kScale);
    const TimeScale moved = kScale.showing(5'000, 5'200);
    EXPECT_DOUBLE_EQ(moved.xAt(5'100), 500); // centred
    EXPECT_EQ(moved.msPerPixel, kScale.msPerPixel);
}

struct StepRow {
    const char* name;
    double msPerPixel;
    double step;
};

class RulerStepTest : public ::testing::TestWithParam<StepRow> {};

// 1, 2 or 5 times a power of ten, the least that leaves 80 pixels between labels.
TEST_P(RulerStepTest, IsTheLeastRoundStepWithRoomForALabel) {
    TimeScale scale = kScale;
    scale.msPerPixel = GetParam().msPerPixel;
    EXPECT_EQ(scale.rulerStep(), GetParam().step);
}

INSTANTIATE_TEST_SUITE_P(View, RulerStepTest,
                         ::testing::Values(StepRow{"closest_zoom", 1.0 / 20, 5},
                                           StepRow{"exactly_one", 1.0 / 80, 1},
                                           StepRow{"just_over_one_hundred", 1.3, 200},
                                           StepRow{"exactly_two_hundred", 2.5, 200},
                                           StepRow{"just_over_two_hundred", 2.6, 500},
                                           StepRow{"seconds", 10, 1'000}),
                         RowName{});

} // namespace
} // namespace ravik::test
