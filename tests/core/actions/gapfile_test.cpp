// SPDX-License-Identifier: GPL-3.0-or-later
#include "core/actions/gapfile.hpp"
#include "support/testfiles.hpp"

#include <filesystem>
#include <gtest/gtest.h>

namespace ravik {
namespace {
using test::PrintTo;
namespace fs = std::filesystem;

using test::Bytes;
using test::records;
using test::words;

const std::string kStart = ">>>>> Initialising Defragging Function";
const std::string kFinish = " >> Defragging Finished Successfully";

struct DefragCase {
    std::string name;
    Bytes source;
    std::vector<std::string> fragmentLines;
    Bytes result;
};

std::vector<DefragCase> defragCases() {
    return {
        {"LongSilencesAreKeptWithTheirHighWordsCleared",
         words({100, 0, 200, 0, 300, 1, 400, 7}),
         {},
         records({{100, 200}, {300, 400}})},
        {"FiftyMillisecondsIsDroppedFiftyOneKept",
         records({{100, 150}, {200, 251}}),
         {"Frag detected:  100 (64) - 150 (96)"},
         records({{200, 251}})},
        {"EndBeforeStartIsDropped",
         records({{500, 400}, {600, 700}}),
         {"Frag detected:  500 (1F4) - 400 (190)"},
         records({{600, 700}})},
        {"FirstSilenceAtZeroIsJudgedLikeAnyOther",
         records({{0, 100}, {200, 220}, {300, 400}}),
         {"Frag detected:  200 (C8) - 220 (DC)"},
         records({{0, 100}, {300, 400}})},
        {"EmptyFileStaysEmpty", {}, {}, {}},
        {"GenericFileBecomesEmpty", records({{0, 1}}), {"Frag detected:  0 (0) - 1 (1)"}, {}},
        {"FirstSilenceFromZeroToZeroLosesNothingAfterIt",
         records({{0, 0}, {100, 200}, {300, 400}}),
         {"Frag detected:  0 (0) - 0 (0)"},
         records({{100, 200}, {300, 400}})},
        {"LoneFieldAfterTheRecordsIsARecordEndingAtZero",
         test::concat(records({{100, 200}}), words({300, 0})),
         {"Frag detected:  300 (12C) - 0 (0)"},
         records({{100, 200}})},
        {"PartialRecordWithAnEndIsKeptWhole",
         test::concat(records({{100, 200}}), words({300, 0, 500})),
         {},
         records({{100, 200}, {300, 500}})},
        {"TimesOf32768AndMoreReadNegative",
         words({40000, 0, 40010, 0}),
         {"Frag detected: -25536 (9C40) - -25526 (9C4A)"},
         {}},
        {"DifferencesBeyond16BitsDoNotWrapAround",
         words({32768, 0, 32767, 0, 32767, 0, 32768, 0}),
         {"Frag detected:  32767 (7FFF) - -32768 (8000)"},
         words({32768, 0, 32767, 0})},
        {"ZeroFieldInsideDoesNotEndTheData",
         records({{100, 200}, {300, 0}, {500, 600}}),
         {"Frag detected:  300 (12C) - 0 (0)"},
         records({{100, 200}, {500, 600}})},
    };
}

class DefragTest : public ::testing::TestWithParam<DefragCase> {};

TEST_P(DefragTest, KeepsExactlyTheLongSilences) {
    const DefragCase& row = GetParam();
    test::TempDir dir;
    const std::string path = dir.write("a.gap", row.source);

    const Defragmentation result = defragment(path);

    std::vector<std::string> lines{kStart};
    lines.insert(lines.end(), row.fragmentLines.begin(), row.fragmentLines.end());
    lines.push_back(kFinish);
    EXPECT_EQ(result.lines.toVector(), lines);
    EXPECT_FALSE(result.failure);
    EXPECT_EQ(result.droppedCount, row.fragmentLines.size());
    EXPECT_EQ(test::readBytes(path), row.result);
    EXPECT_EQ(test::namesIn(dir.path()), std::vector<std::string>{"a.gap"});
}

INSTANTIATE_TEST_SUITE_P(Rows, DefragTest, ::testing::ValuesIn(defragCases()), test::RowName{});

#ifndef _WIN32
TEST(DefragReplace, KeepsThePermissionsOfTheFile) {
    test::TempDir dir;
    const std::string path = dir.write("a.gap", records({{100, 120}, {300, 400}}));
    fs::permissions(path, fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read);

    ASSERT_FALSE(defragment(path).failure);

    EXPECT_EQ(fs::status(path).permissions(),
              fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read);
}

TEST(DefragReplace, ThroughASymbolicLinkRewritesTheFileItPointsTo) {
    test::TempDir dir;
    fs::create_directory(dir.path() / "real");
    const std::string target = dir.file("real/a.gap");
    const std::string link = dir.file("link.gap");
    test::writeBytes(target, records({{100, 120}, {300, 400}}));
    fs::create_symlink(target, link);

    ASSERT_FALSE(defragment(link).failure);

    EXPECT_TRUE(fs::is_symlink(link));
    EXPECT_EQ(test::readBytes(target), records({{300, 400}}));
    EXPECT_EQ(test::namesIn(dir.path() / "real"), std::vector<std::string>{"a.gap"});
}

// Permission bits do not stop root, so these run the operation as an unprivileged user.
class DefragAsUnprivilegedUser : public ::testing::Test {
protected:
    void SetUp() override {
        if (!test::canDropPrivileges())
            GTEST_SKIP() << "needs root to switch to an unprivileged user";
        path = dir.file("a.gap");
        test::writeBytes(path, source);
    }

    // Runs defrag as the unprivileged user; answers with its lines and its failure sentence.
    std::string defragUnprivileged() {
        return test::runUnprivileged([this] {
            const Defragmentation result = defragment(path);
            return result.lines.text() + (result.failure ? result.failure->sentence() : "");
        });
    }

    test::TempDir dir;
    std::string path;
    const Bytes source = words({100, 9, 120, 0, 300, 0, 400, 0});
};

TEST_F(DefragAsUnprivilegedUser, FolderWithoutRoomForTheTemporaryFileLeavesTheFile) {
    fs::permissions(path, fs::perms::all);
    fs::permissions(dir.path(),
                    fs::perms::owner_all | fs::perms::others_read | fs::perms::others_exec);

    EXPECT_EQ(defragUnprivileged(), kStart + "\nFrag detected:  100 (64) - 120 (78)\n" +
                                        "Could not create a temporary file beside \"" + path +
                                        "\": Permission denied.");
    EXPECT_EQ(test::readBytes(path), source);
    EXPECT_EQ(test::namesIn(dir.path()), std::vector<std::string>{"a.gap"});
}

TEST_F(DefragAsUnprivilegedUser, FailedRenameInAStickyFolderLeavesTheFile) {
    // In a sticky folder anyone may create files, but only a file's owner may replace it.
    fs::permissions(path, fs::perms::all);
    fs::permissions(dir.path(), fs::perms::all | fs::perms::sticky_bit);

    EXPECT_EQ(defragUnprivileged(), kStart + "\nFrag detected:  100 (64) - 120 (78)\n" +
                                        "Could not replace \"" + path +
                                        "\": Operation not permitted.");
    EXPECT_EQ(test::readBytes(path), source);
    EXPECT_EQ(test::namesIn(dir.path()), std::vector<std::string>{"a.gap"});
}

TEST_F(DefragAsUnprivilegedUser, ReadOnlyFileIsNotReplaced) {
    fs::permissions(path, fs::perms::owner_read | fs::perms::group_read | fs::perms::others_read);
    fs::permissions(dir.path(), fs::perms::all);

    EXPECT_EQ(defragUnprivileged(), kStart + "\nFrag detected:  100 (64) - 120 (78)\n" +
                                        "Could not replace \"" + path + "\": Permission denied.");
    EXPECT_EQ(test::readBytes(path), source);
}
#endif

// --- Reading -------------------------------------------------------------------------------

// The check and the timeline only read: a file with every fault they judge (a high word, a
// misplaced record, a partial one) stays byte for byte, and nothing appears beside it.
TEST(GapFileReading, LeavesTheFileAndItsFolderAsTheyWere) {
    test::TempDir dir;
    const Bytes bytes = test::concat(words({100, 1, 200, 0, 150, 0, 160, 0}), Bytes{7, 0, 0});
    const std::string path = dir.write("a.gap", bytes);

    EXPECT_EQ(checkStructure(path).verdict, Verdict::Incorrect);
    EXPECT_EQ(buildTimeline(path, kTimelinePicture, ".").lines.size(), 4U);

    EXPECT_EQ(test::readBytes(path), bytes);
    EXPECT_EQ(test::namesIn(dir.path()), std::vector<std::string>{"a.gap"});
}

// --- Writing a silence, the generic file, deleting -----------------------------------------

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
