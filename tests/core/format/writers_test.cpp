#include "core/format/writers.hpp"
#include "support/testfiles.hpp"

#include <filesystem>
#include <gtest/gtest.h>

namespace ravik {
namespace {
using test::PrintTo;
namespace fs = std::filesystem;

using test::Bytes;
using test::records;

struct ParseCase {
    std::string name;
    std::string text;
    std::optional<std::int16_t> value;
    std::string decimalSeparator = ".";
};

std::vector<ParseCase> parseCases() {
    return {
        {"Whole", "100", 100},
        {"LeadingZeros", "0100", 100},
        {"BlanksAround", " 12\t", 12},
        {"HalfDownToEven", "12.5", 12},
        {"HalfUpToEven", "13.5", 14},
        {"NegativeHalfToEven", "-12.5", -12},
        {"JustAboveHalfUp", "0.5000000000000000000001", 1},
        {"UsersSeparator", "13,5", 14, ","},
        {"Largest", "32767", 32767},
        {"Smallest", "-32768", -32768},
        {"TooLarge", "32768", std::nullopt},
        {"TooLargeAfterRounding", "32767.5", std::nullopt},
        {"ManyDigits", "1000000000000000000000", std::nullopt},
        {"Empty", "", std::nullopt},
        {"Letters", "12a", std::nullopt},
        {"Exponent", "1e3", std::nullopt},
        {"CommaWithPointSeparator", "12,5", std::nullopt},
    };
}

class ParseMillisecondsTest : public ::testing::TestWithParam<ParseCase> {};

TEST_P(ParseMillisecondsTest, Converts) {
    EXPECT_EQ(parseMilliseconds(GetParam().text, GetParam().decimalSeparator), GetParam().value);
}

INSTANTIATE_TEST_SUITE_P(Rows, ParseMillisecondsTest, ::testing::ValuesIn(parseCases()),
                         test::RowName{});

class WriteSilenceTest : public ::testing::Test {
protected:
    SilenceWrite write(const std::string& start, const std::string& end) {
        return writeSilence(path, start, end, ".");
    }
    test::TempDir dir;
    std::string path = dir.file("new.gap");
};

TEST_F(WriteSilenceTest, AppendsRecordsToANewFile) {
    const SilenceWrite first = write("100", "250");
    EXPECT_EQ(first.lines.toVector(), std::vector<std::string>{"Writing Silence : 100 - 250"});
    EXPECT_EQ(test::readBytes(path), (Bytes{0x64, 0, 0, 0, 0xFA, 0, 0, 0}));

    const SilenceWrite second = write("400", "900");
    EXPECT_FALSE(second.failure);
    EXPECT_EQ(second.offset, 8U);
    EXPECT_EQ(test::readBytes(path),
              (Bytes{0x64, 0, 0, 0, 0xFA, 0, 0, 0, 0x90, 0x01, 0, 0, 0x84, 0x03, 0, 0}));
}

TEST_F(WriteSilenceTest, OddLengthFileGetsTheRecordOverItsLastByte) {
    const Bytes nine = test::concat(records({{100, 200}}), Bytes{0xEE});
    test::writeBytes(path, nine);

    const SilenceWrite result = write("300", "400");

    EXPECT_EQ(result.offset, 8U);
    EXPECT_EQ(test::readBytes(path), records({{100, 200}, {300, 400}}));
}

TEST_F(WriteSilenceTest, KeepsTheTextsAsTypedAndStoresNegativesAsTwosComplement) {
    const SilenceWrite result = write("0100", "-1");
    EXPECT_EQ(result.lines.toVector(), std::vector<std::string>{"Writing Silence : 0100 - -1"});
    EXPECT_EQ(test::readBytes(path), (Bytes{0x64, 0, 0, 0, 0xFF, 0xFF, 0, 0}));
}

struct RefusedText {
    std::string name;
    std::string start;
    std::string end;
    std::string reason;
};

class WriteSilenceRefusesText : public WriteSilenceTest,
                                public ::testing::WithParamInterface<RefusedText> {};

TEST_P(WriteSilenceRefusesText, WritesNothingAndNamesTheText) {
    test::writeBytes(path, records({{100, 200}}));

    const SilenceWrite result = write(GetParam().start, GetParam().end);

    ASSERT_TRUE(result.failure);
    EXPECT_EQ(result.failure->sentence(),
              "Nothing written to \"" + path + "\": " + GetParam().reason + ".");
    EXPECT_TRUE(result.lines.empty());
    EXPECT_EQ(test::readBytes(path), records({{100, 200}}));
}

INSTANTIATE_TEST_SUITE_P(
    Rows, WriteSilenceRefusesText,
    ::testing::Values(
        RefusedText{
            "StartNotANumber", "abc", "200",
            "The silence start \"abc\" is not a number of milliseconds from -32768 to 32767"},
        RefusedText{
            "EndOutOfRange", "100", "32768",
            "The silence end \"32768\" is not a number of milliseconds from -32768 to 32767"},
        RefusedText{"EmptyEnd", "100", "",
                    "The silence end \"\" is not a number of milliseconds from -32768 to 32767"}),
    test::RowName{});

TEST_F(WriteSilenceTest, RefusedTextCreatesNoFile) {
    ASSERT_TRUE(write("x", "1").failure);
    EXPECT_FALSE(fs::exists(path));
}

TEST_F(WriteSilenceTest, FolderGivenAsTheFileIsRefused) {
    const SilenceWrite result = writeSilence(dir.file(""), "1", "2", ".");
    ASSERT_TRUE(result.failure);
    EXPECT_EQ(result.failure->reason, "It is a folder, not a file");
}

TEST_F(WriteSilenceTest, MissingFolderIsReported) {
    const std::string missing = dir.file("no/such/folder/a.gap");
    const SilenceWrite result = writeSilence(missing, "1", "2", ".");
    ASSERT_TRUE(result.failure);
    EXPECT_EQ(result.failure->sentence(),
              "Could not create \"" + missing + "\": No such file or directory.");
}

TEST_F(WriteSilenceTest, FileCannotGrowBeyondTheLargestGapFile) {
    test::writeBytes(path, Bytes(kLargestFileSize, 1));
    const SilenceWrite result = write("1", "2");
    ASSERT_TRUE(result.failure);
    EXPECT_EQ(result.failure->action, "Nothing written to");
    EXPECT_EQ(fs::file_size(path), kLargestFileSize);
}

TEST(GenericGap, NewFileHoldsOneSilenceFromZeroToOne) {
    test::TempDir dir;
    const std::string path = dir.file("generic.gap");
    ASSERT_FALSE(createGenericGap(path));
    EXPECT_EQ(test::readBytes(path), (Bytes{0, 0, 0, 0, 1, 0, 0, 0}));
}

TEST(GenericGap, ReplacesAFileOfManyRecordsWhole) {
    test::TempDir dir;
    const std::string path = dir.write("long.gap", records({{100, 200}, {300, 400}, {500, 600}}));
    ASSERT_FALSE(createGenericGap(path));
    EXPECT_EQ(test::readBytes(path), records({{0, 1}}));
    EXPECT_EQ(test::namesIn(dir.path()), std::vector<std::string>{"long.gap"});
}

#ifndef _WIN32
TEST(GenericGap, UnwritableFolderLeavesTheFileAsItWas_AsUnprivilegedUser) {
    if (!test::canDropPrivileges())
        GTEST_SKIP() << "needs root to switch to an unprivileged user";
    test::TempDir dir;
    const std::string path = dir.file("long.gap");
    const Bytes before = records({{100, 200}, {300, 400}});
    test::writeBytes(path, before);
    fs::permissions(path, fs::perms::all);

    const std::string answer = test::runUnprivileged([&] {
        const auto failure = createGenericGap(path);
        return failure ? failure->sentence() : std::string("created");
    });

    EXPECT_EQ(answer,
              "Could not create a temporary file beside \"" + path + "\": Permission denied.");
    EXPECT_EQ(test::readBytes(path), before);
    EXPECT_EQ(test::namesIn(dir.path()), std::vector<std::string>{"long.gap"});
}
#endif

} // namespace
} // namespace ravik

namespace ravik {
namespace {

TEST(DeleteGapFile, AFileAlreadyGoneIsNoFailureAFolderIsRefused) {
    test::TempDir dir;
    EXPECT_FALSE(deleteGapFile(dir.file("missing.gap")));
    const auto failure = deleteGapFile(dir.file(""));
    ASSERT_TRUE(failure);
    EXPECT_EQ(failure->reason, "It is a folder, not a file");
    EXPECT_TRUE(std::filesystem::exists(dir.path()));
}

} // namespace
} // namespace ravik
