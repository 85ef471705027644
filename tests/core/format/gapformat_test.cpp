// SPDX-License-Identifier: GPL-3.0-or-later
#include "core/format/gapformat.hpp"
#include "support/testfiles.hpp"

#include <gtest/gtest.h>
#include <vector>

namespace ravik {
namespace {

// How many records each end walks in a file of a given size, as the table in gapformat.hpp says.
struct WalkRow {
    std::string name;
    std::size_t size;
    std::uint64_t readAhead;
    std::uint64_t firstWord;
    std::uint64_t anyByte;
    std::uint64_t wholeRecords;
};

class RecordWalkTest : public ::testing::TestWithParam<WalkRow> {};

// The count each reader reserves for and the records the walk gives agree, record by record:
// offsets 0, 8, 16, ... and the bytes past the end read as zero.
TEST_P(RecordWalkTest, TakesTheRecordsItsEndCounts) {
    const WalkRow& row = GetParam();
    test::Bytes bytes(row.size);
    for (std::size_t i = 0; i < bytes.size(); ++i)
        bytes[i] = static_cast<std::uint8_t>(i + 1);
    const GapBytes gap(bytes);

    for (const auto& [end, expected] :
         {std::pair{WalkEnd::ReadAhead, row.readAhead},
          std::pair{WalkEnd::FirstWord, row.firstWord}, std::pair{WalkEnd::AnyByte, row.anyByte},
          std::pair{WalkEnd::WholeRecords, row.wholeRecords}}) {
        SCOPED_TRACE(static_cast<int>(end));
        EXPECT_EQ(recordCount(row.size, end), expected);
        std::vector<Record> walked;
        for (const Record& record : RecordWalk(gap, end))
            walked.push_back(record);
        ASSERT_EQ(walked.size(), expected);
        for (std::size_t i = 0; i < walked.size(); ++i) {
            const std::uint64_t offset = i * kRecordSize;
            EXPECT_EQ(walked[i], (Record{offset, gap.field(offset), gap.field(offset + 4)}));
        }
    }
}

INSTANTIATE_TEST_SUITE_P(
    Sizes, RecordWalkTest,
    ::testing::Values(WalkRow{"empty", 0, 1, 0, 0, 0}, WalkRow{"one_byte", 1, 1, 0, 1, 0},
                      WalkRow{"first_word", 2, 1, 1, 1, 0}, WalkRow{"one_record", 8, 1, 1, 1, 1},
                      WalkRow{"lone_byte_after", 9, 1, 1, 2, 1},
                      WalkRow{"word_after", 10, 2, 2, 2, 1}, WalkRow{"almost_two", 15, 2, 2, 2, 1},
                      WalkRow{"two_records", 16, 2, 2, 2, 2}),
    test::RowName{});

TEST(RecordWalk, StartsAtTheRecordAskedAndReadsTheLowWordsSigned) {
    const test::Bytes bytes = test::words({1, 0, 2, 0, 100, 1, -5, 0});
    std::vector<Record> walked;
    for (const Record& record : RecordWalk(GapBytes(bytes), WalkEnd::WholeRecords, kRecordSize))
        walked.push_back(record);
    ASSERT_EQ(walked.size(), 1U);
    EXPECT_EQ(walked[0].offset, kRecordSize);
    EXPECT_EQ(walked[0].wideStart, 0x10064);
    EXPECT_EQ(walked[0].start(), 100);
    EXPECT_EQ(walked[0].end(), -5);
    EXPECT_FALSE(walked[0].highWordsZero());
}

} // namespace
} // namespace ravik
