// SPDX-License-Identifier: GPL-3.0-or-later
#include "core/actions/gapfile.hpp"
#include "core/files/fileio.hpp"
#include "core/format/gapformat.hpp"
#include "support/testfiles.hpp"

#include <filesystem>
#include <functional>
#include <gtest/gtest.h>
#include <system_error>

namespace ravik {
namespace {
using test::PrintTo;
namespace fs = std::filesystem;

using test::Bytes;

// What every reading operation reports, whatever it is.
struct Outcome {
    std::vector<std::string> lines;
    std::optional<Failure> failure;
    bool judgedCorrect = false;
};

struct Reader {
    std::string name;
    std::function<Outcome(const std::string&)> run;
    std::vector<std::string> linesBeforeFailure;
};

std::vector<Reader> readers() {
    return {
        {"Check",
         [](const std::string& path) {
             const StructureCheck check = checkStructure(path);
             return Outcome{check.lines.toVector(), check.failure,
                            check.verdict == Verdict::Correct};
         },
         {}},
        {"Timeline",
         [](const std::string& path) {
             const Timeline timeline = buildTimeline(path, kTimelinePicture, ".");
             return Outcome{timeline.lines.toVector(), timeline.failure, false};
         },
         {">> Designing Graph"}},
        {"Defrag",
         [](const std::string& path) {
             const Defragmentation result = defragment(path);
             return Outcome{result.lines.toVector(), result.failure, false};
         },
         {">>>>> Initialising Defragging Function"}},
    };
}

std::string reason(std::errc error) {
    return std::make_error_code(error).message();
}

// A file the operation cannot use, and the reason it must give.
struct BadPath {
    std::string name;
    std::function<std::string(const test::TempDir&)> prepare; // returns the path to give
    std::string action;
    std::string reason;
};

std::vector<BadPath> badPaths() {
    return {
        {"MissingFile", [](const test::TempDir& dir) { return dir.file("missing.gap"); },
         "Could not open", reason(std::errc::no_such_file_or_directory)},
        {"FolderGivenAsTheFile",
         [](const test::TempDir& dir) {
             fs::create_directory(dir.path() / "folder.gap");
             return dir.file("folder.gap");
         },
         "Could not open", "It is a folder, not a file"},
        {"PathUnderAMissingFolder",
         [](const test::TempDir& dir) { return dir.file("no/such/folder/a.gap"); },
         "Could not open", reason(std::errc::no_such_file_or_directory)},
        {"FileOverTheLargestGapFile",
         [](const test::TempDir& dir) {
             test::writeBytes(dir.file("huge.gap"), Bytes(kLargestFileSize + 1, 1));
             return dir.file("huge.gap");
         },
         "Could not open",
         "It is 8388609 bytes long, more than the 8388608 bytes (1048576 silences) of the "
         "largest GAP file"},
    };
}

using ReadFailureParam = std::tuple<Reader, BadPath>;

class ReadFailureTest : public ::testing::TestWithParam<ReadFailureParam> {};

TEST_P(ReadFailureTest, NamesFileAndReasonAndChangesNothing) {
    const auto& [reader, bad] = GetParam();
    test::TempDir dir;
    const std::string path = bad.prepare(dir);
    const std::vector<std::string> before = test::namesIn(dir.path());
    const bool wasFile = fs::is_regular_file(path);
    const Bytes content = wasFile ? test::readBytes(path) : Bytes{};

    const Outcome outcome = reader.run(path);

    ASSERT_TRUE(outcome.failure);
    EXPECT_EQ(outcome.failure->statusLine(),
              ">> " + bad.action + " \"" + path + "\": " + bad.reason + ".");
    EXPECT_EQ(outcome.lines, reader.linesBeforeFailure);
    EXPECT_FALSE(outcome.judgedCorrect);
    EXPECT_EQ(test::namesIn(dir.path()), before);
    if (wasFile) {
        EXPECT_EQ(test::readBytes(path), content);
    }
}

INSTANTIATE_TEST_SUITE_P(AllReaders, ReadFailureTest,
                         ::testing::Combine(::testing::ValuesIn(readers()),
                                            ::testing::ValuesIn(badPaths())),
                         [](const auto& row) {
                             return std::get<0>(row.param).name + "_" + std::get<1>(row.param).name;
                         });

class ReadBoundaryTest : public ::testing::TestWithParam<Reader> {};

TEST_P(ReadBoundaryTest, FileOfTheLargestSizeIsRead) {
    test::TempDir dir;
    const std::string path = dir.write("largest.gap", Bytes(kLargestFileSize, 1));
    EXPECT_FALSE(GetParam().run(path).failure);
}

#ifndef _WIN32
TEST_P(ReadBoundaryTest, UnreadableFileIsReported_AsUnprivilegedUser) {
    if (!test::canDropPrivileges())
        GTEST_SKIP() << "needs root to switch to an unprivileged user";
    test::TempDir dir;
    const std::string path = dir.write("secret.gap", test::records({{100, 200}}));
    fs::permissions(path, fs::perms::owner_read | fs::perms::owner_write);

    const std::string answer = test::runUnprivileged([&] {
        const Outcome outcome = GetParam().run(path);
        return outcome.failure ? outcome.failure->sentence() : std::string("read");
    });

    EXPECT_EQ(answer,
              "Could not open \"" + path + "\": " + reason(std::errc::permission_denied) + ".");
    EXPECT_EQ(test::readBytes(path), test::records({{100, 200}}));
}
#endif

INSTANTIATE_TEST_SUITE_P(AllReaders, ReadBoundaryTest, ::testing::ValuesIn(readers()),
                         test::RowName{});

// A write that fails after it created its file leaves no empty file behind; one that fails on
// a file that was there leaves it as it was.
TEST(WriteAtEvenEnd, FailedWriteRemovesTheFileItCreatedOnly) {
    test::TempDir dir;
    const Bytes record = test::records({{1, 2}});
    const std::string created = dir.file("new.gap");
    const std::string existing = dir.write("old.gap", Bytes{});

    // Room for half a record: the write is refused after the file is open.
    const auto tooLarge = [&](const std::string& path) {
        return fileio::writeAtEvenEnd(path, record, record.size() / 2).failure;
    };
    ASSERT_TRUE(tooLarge(created));
    ASSERT_TRUE(tooLarge(existing));

    EXPECT_FALSE(fs::exists(created));
    EXPECT_EQ(test::readBytes(existing), Bytes{});
}

} // namespace
} // namespace ravik
