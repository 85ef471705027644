#include "core/format/defrag.hpp"
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

} // namespace
} // namespace ravik
