// SPDX-License-Identifier: GPL-3.0-or-later
#include "audio/peaks.hpp"
#include "audio/testset.hpp"
#include "support/testfiles.hpp"

#include <algorithm>
#include <cmath>
#include <gtest/gtest.h>
#include <random>

namespace ravik::audio {
namespace {

// A stereo recording of random samples, 16-bit so that the file holds exactly what is compared.
class PeaksTest : public ::testing::TestWithParam<std::pair<std::int64_t, std::int64_t>> {
protected:
    static void SetUpTestSuite() {
        made_ = new testset::Recording;
        made_->sampleRate = 48'000;
        made_->channels = 2;
        std::mt19937 random(7);
        std::uniform_int_distribution<int> sample(-32'767, 32'767);
        for (int i = 0; i < 2 * 100'003; ++i)
            made_->samples.push_back(static_cast<float>(sample(random)) / 32'768.0F);
        dir_ = new test::TempDir;
        ASSERT_TRUE(testset::writeWav(*made_, dir_->file("noise.wav")));
        auto opened = SoundFile::open(dir_->file("noise.wav"));
        ASSERT_TRUE(opened.file);
        Peaks::Read read = Peaks::read(*opened.file);
        ASSERT_FALSE(read.failure);
        peaks_ = new Peaks(std::move(read.peaks));
    }
    static void TearDownTestSuite() {
        delete peaks_;
        delete dir_;
        delete made_;
    }

    // The mixed envelope's lowest and highest sample over whole blocks of the finest level.
    static PeakRange truth(std::int64_t first, std::int64_t last) {
        first = first / Peaks::kFinestBlock * Peaks::kFinestBlock;
        last = std::min<std::int64_t>((last + Peaks::kFinestBlock - 1) / Peaks::kFinestBlock *
                                          Peaks::kFinestBlock,
                                      peaks_->frames());
        float low = 1;
        float high = -1;
        for (std::int64_t frame = first; frame < last; ++frame) {
            const auto at = static_cast<std::size_t>(2 * frame);
            const float mixed = (made_->samples[at] + made_->samples[at + 1]) / 2;
            low = std::min(low, mixed);
            high = std::max(high, mixed);
        }
        return {static_cast<std::int16_t>(std::lround(low * 32'767)),
                static_cast<std::int16_t>(std::lround(high * 32'767))};
    }

    static testset::Recording* made_;
    static test::TempDir* dir_;
    static Peaks* peaks_;
};

testset::Recording* PeaksTest::made_ = nullptr;
test::TempDir* PeaksTest::dir_ = nullptr;
Peaks* PeaksTest::peaks_ = nullptr;

// Every level gives the samples' own extremes when the stretch is made of its blocks; a wrong
// level choice, a lost block at either end or a channel left out of the mix changes them.
TEST_P(PeaksTest, GivesTheSamplesExtremes) {
    const auto [first, last] = GetParam();
    const std::optional<PeakRange> range = peaks_->range(first, last);
    ASSERT_TRUE(range);
    const PeakRange expected = truth(first, last);
    EXPECT_NEAR(range->low, expected.low, 1);
    EXPECT_NEAR(range->high, expected.high, 1);
}

constexpr std::int64_t kBlock = Peaks::kFinestBlock;
constexpr std::int64_t kFan = Peaks::kFanOut;
INSTANTIATE_TEST_SUITE_P(
    Levels, PeaksTest,
    ::testing::Values(std::pair{0, kBlock}, std::pair{kBlock * 3, kBlock * 4},
                      std::pair{kBlock * kFan, kBlock* kFan * 2},
                      std::pair{kBlock * kFan * kFan * 5, kBlock* kFan* kFan * 7},
                      std::pair{0, 100'003}, std::pair{100'000 - kBlock, 100'003}));

TEST_F(PeaksTest, KnowsTheRecordingAndRefusesEmptyStretches) {
    EXPECT_EQ(peaks_->frames(), 100'003);
    EXPECT_EQ(peaks_->sampleRate(), 48'000);
    EXPECT_EQ(peaks_->range(10, 10), std::nullopt);
    EXPECT_EQ(peaks_->range(100'003, 100'010), std::nullopt);
}

} // namespace
} // namespace ravik::audio
