// SPDX-License-Identifier: GPL-3.0-or-later
#include "core/format/silences.hpp"
#include "support/testfiles.hpp"

#include <gtest/gtest.h>

namespace ravik {
namespace {
using silences::Edge;
using silences::kLastMs;
using silences::Range;
using test::PrintTo;

const std::vector<Silence> kThree{{0, 100}, {200, 300}, {32'000, kLastMs}};

struct EdgeRow {
    const char* name;
    std::size_t index;
    Edge edge;
    Range expected;
};

class EdgeRangeTest : public ::testing::TestWithParam<EdgeRow> {};

// Each edge stops 1 ms short of its neighbour and of its own other edge, and within 0..kLastMs.
TEST_P(EdgeRangeTest, StopsShortOfNeighboursAndRange) {
    const EdgeRow& row = GetParam();
    EXPECT_EQ(silences::edgeRange(kThree, row.index, row.edge), row.expected);
}

INSTANTIATE_TEST_SUITE_P(
    Silences, EdgeRangeTest,
    ::testing::Values(EdgeRow{"first_start_reaches_zero", 0, Edge::Start, {0, 100 - 1}},
                      EdgeRow{"first_end_stops_before_next", 0, Edge::End, {0 + 1, 200 - 1}},
                      EdgeRow{
                          "middle_start_stops_after_previous", 1, Edge::Start, {100 + 1, 300 - 1}},
                      EdgeRow{"middle_end_stops_before_next", 1, Edge::End, {200 + 1, 32'000 - 1}},
                      EdgeRow{"last_end_reaches_the_last_ms", 2, Edge::End, {32'000 + 1, kLastMs}}),
    test::RowName{});

TEST(Silences, NewSilenceStaysInItsRoomAndLastsAMillisecond) {
    // Dragged over the next silence: stops 1 ms before it.
    EXPECT_EQ(silences::newSilence(kThree, 150, 250), (Silence{150, 199}));
    // Dragged backwards: the anchor is the end.
    EXPECT_EQ(silences::newSilence(kThree, 150, 20), (Silence{101, 150}));
    // A click makes 1 ms.
    EXPECT_EQ(silences::newSilence(kThree, 150, 150), (Silence{150, 151}));
    // Inside or touching a silence there is no room.
    EXPECT_EQ(silences::newSilence(kThree, 250, 260), std::nullopt);
    EXPECT_EQ(silences::newSilence(kThree, 100, 150), std::nullopt);
    EXPECT_EQ(silences::newSilence(std::vector<Silence>{{0, 10}, {12, 20}}, 11, 11), std::nullopt);
}

struct DecodeRow {
    const char* name;
    test::Bytes bytes;
    bool valid;
};

class DecodeTest : public ::testing::TestWithParam<DecodeRow> {};

// Only what the editor can keep valid is taken as a list; saving it gives the same bytes.
TEST_P(DecodeTest, TakesOnlyValidLists) {
    const DecodeRow& row = GetParam();
    const silences::Decoded decoded = silences::decodeFile(GapBytes(row.bytes));
    EXPECT_EQ(decoded.valid, row.valid);
    if (row.valid) {
        EXPECT_EQ(silences::encode(decoded.list), row.bytes);
    }
}

INSTANTIATE_TEST_SUITE_P(
    Silences, DecodeTest,
    ::testing::Values(
        DecodeRow{"empty", {}, true}, DecodeRow{"generic", test::records({{0, 1}}), true},
        DecodeRow{"apart", test::records({{0, 100}, {101, 200}, {300, kLastMs}}), true},
        DecodeRow{"touching", test::records({{0, 100}, {100, 200}}), false},
        DecodeRow{"crossing", test::records({{0, 100}, {50, 200}}), false},
        // A silence of no length is a valid record; only the editor makes none.
        DecodeRow{"no_length", test::records({{10, 10}}), true},
        DecodeRow{"end_before_start", test::records({{20, 10}}), false},
        DecodeRow{"high_word", test::words({10, 1, 20, 0}), false},
        DecodeRow{"negative", test::words({-5, 0, 20, 0}), false},
        DecodeRow{"partial_record", test::concat(test::records({{0, 10}}), {1, 0}), false}),
    test::RowName{});

TEST(Silences, StatusLineNamesPointerAndSelectedSilence) {
    EXPECT_EQ(silences::statusLine(1250, Silence{1200, 1480}),
              "Pointer 1250 ms   Silence 1200 to 1480 ms, 280 ms long");
    EXPECT_EQ(silences::statusLine(std::nullopt, Silence{0, 32'767}),
              "Silence 0 to 32767 ms, 32767 ms long");
    EXPECT_EQ(silences::statusLine(7, std::nullopt), "Pointer 7 ms");
}

} // namespace
} // namespace ravik
