// SPDX-License-Identifier: GPL-3.0-or-later
#include "core/actions/gapfile.hpp"
#include "core/files/replacement.hpp"
#include "support/testfiles.hpp"

#include <filesystem>
#include <functional>
#include <gtest/gtest.h>

namespace ravik {
namespace {
using test::PrintTo;
namespace fs = std::filesystem;

using test::Bytes;
using test::records;

// One whole-file replacement as the windows and gaptool run it.
struct Operation {
    std::string name;
    std::function<std::optional<Failure>(const std::string&, const Keeping&)> run;
    Bytes before; ///< what the file holds first
    Bytes after;  ///< what the operation writes
};

std::vector<Operation> operations() {
    return {
        {"Defrag",
         [](const std::string& path, const Keeping& keeping) {
             return defragment(path, keeping).failure;
         },
         records({{100, 120}, {300, 400}}), records({{300, 400}})},
        {"Generic",
         [](const std::string& path, const Keeping& keeping) {
             return createGenericGap(path, keeping).failure;
         },
         records({{100, 200}, {300, 400}}), records({{0, 1}})},
    };
}

class BackupTest : public ::testing::TestWithParam<Operation> {
protected:
    test::TempDir dir;
    std::string path = dir.write("a.gap", GetParam().before);
};

TEST_P(BackupTest, KeepsTheReplacedContentBesideTheFileUnderTheGivenSuffix) {
    for (const std::string suffix : {"~", ".orig"}) {
        test::writeBytes(path, GetParam().before);
        test::writeBytes(path + suffix, Bytes{1, 2, 3}); // an older backup gives way
        ASSERT_FALSE(GetParam().run(path, Keeping{suffix}));
        EXPECT_EQ(test::readBytes(path), GetParam().after) << suffix;
        EXPECT_EQ(test::readBytes(path + suffix), GetParam().before) << suffix;
    }
    EXPECT_EQ(test::namesIn(dir.path()),
              (std::vector<std::string>{"a.gap", "a.gap.orig", "a.gap~"}));
}

#ifndef _WIN32
TEST_P(BackupTest, TheBackupShowsNoMoreThanTheFile) {
    fs::permissions(path, fs::perms::owner_read | fs::perms::owner_write);
    ASSERT_FALSE(GetParam().run(path, Keeping{"~"}));
    EXPECT_EQ(fs::status(path + "~").permissions(), fs::perms::owner_read | fs::perms::owner_write);
}
#endif

TEST_P(BackupTest, ARepeatedRunKeepsTheBackupOfTheContentBeforeTheFirst) {
    ASSERT_FALSE(GetParam().run(path, Keeping{"~"}));
    ASSERT_FALSE(GetParam().run(path, Keeping{"~"}));
    EXPECT_EQ(test::readBytes(path), GetParam().after);
    EXPECT_EQ(test::readBytes(path + "~"), GetParam().before);
}

TEST_P(BackupTest, WithoutBackupNoneIsWritten) {
    ASSERT_FALSE(GetParam().run(path, Keeping{}));
    EXPECT_EQ(test::readBytes(path), GetParam().after);
    EXPECT_EQ(test::namesIn(dir.path()), std::vector<std::string>{"a.gap"});
}

TEST_P(BackupTest, ABackupThatCannotBeWrittenLeavesTheFileAsItWasAndNamesTheBackup) {
    fs::create_directory(path + "~");
    const auto failure = GetParam().run(path, Keeping{"~"});
    ASSERT_TRUE(failure);
    EXPECT_EQ(failure->sentence(), "Could not write the backup \"" + path +
                                       "~\": It is a folder, not a file; \"" + path +
                                       "\" was left as it was.");
    EXPECT_EQ(test::readBytes(path), GetParam().before);
    EXPECT_EQ(test::namesIn(dir.path()), (std::vector<std::string>{"a.gap", "a.gap~"}));
}

TEST_P(BackupTest, AnEmptySuffixWouldNameTheFileItselfAndIsRefused) {
    const auto failure = GetParam().run(path, Keeping{""});
    ASSERT_TRUE(failure);
    EXPECT_EQ(failure->reason, "The backup suffix is empty; \"" + path + "\" was left as it was");
    EXPECT_EQ(test::readBytes(path), GetParam().before);
}

INSTANTIATE_TEST_SUITE_P(Operations, BackupTest, ::testing::ValuesIn(operations()),
                         test::RowName{});

TEST(GenericBackup, ANewFileHasNothingToKeep) {
    test::TempDir dir;
    const std::string path = dir.file("new.gap");
    const GenericCreation created = createGenericGap(path, Keeping{"~"});
    ASSERT_FALSE(created.failure);
    EXPECT_EQ(test::namesIn(dir.path()), std::vector<std::string>{"new.gap"});
    ASSERT_TRUE(created.replaced);
    EXPECT_FALSE(created.replaced->existed);
}

TEST(GenericBackup, AFileTooLargeToReadIsReplacedOnlyWithoutBackupAndCannotComeBack) {
    test::TempDir dir;
    const Bytes large(kLargestFileSize + 2, 7);
    const std::string path = dir.write("large.gap", large);

    const GenericCreation refused = createGenericGap(path, Keeping{"~"});
    ASSERT_TRUE(refused.failure);
    EXPECT_EQ(refused.failure->path, path + "~");
    EXPECT_TRUE(refused.failure->reason.starts_with("\"" + path + "\" could not be read (It is " +
                                                    std::to_string(large.size()) + " bytes long"));
    EXPECT_EQ(fs::file_size(path), large.size());

    const GenericCreation replaced = createGenericGap(path, Keeping{});
    EXPECT_FALSE(replaced.failure);
    EXPECT_FALSE(replaced.replaced);
    EXPECT_EQ(test::readBytes(path), records({{0, 1}}));
}

// --- Undo ---------------------------------------------------------------------------------

class UndoTest : public ::testing::Test {
protected:
    test::TempDir dir;
    Bytes before = records({{100, 120}, {300, 400}, {500, 530}});
    std::string path = dir.write("a.gap", before);
};

TEST_F(UndoTest, PutsBackTheBytesDefragReplaced) {
    const Defragmentation done = defragment(path);
    ASSERT_TRUE(done.replaced);
    EXPECT_EQ(done.replaced->after, test::readBytes(path));

    EXPECT_FALSE(undoReplacement(*done.replaced));
    EXPECT_EQ(test::readBytes(path), before);
    EXPECT_EQ(test::namesIn(dir.path()), std::vector<std::string>{"a.gap"});
}

TEST_F(UndoTest, RemovesTheFileGenericCreated) {
    const std::string created = dir.file("new.gap");
    const GenericCreation done = createGenericGap(created, Keeping{});
    ASSERT_TRUE(done.replaced);
    EXPECT_FALSE(undoReplacement(*done.replaced));
    EXPECT_FALSE(fs::exists(created));
}

struct Change {
    std::string name;
    std::function<void(const std::string&)> make;
    std::string reason;
};

class UndoRefusal : public ::testing::TestWithParam<Change> {};

TEST_P(UndoRefusal, NamesTheFileAndWhyAndChangesNothing) {
    test::TempDir dir;
    const std::string path = dir.write("a.gap", records({{100, 120}, {300, 400}}));
    const Defragmentation done = defragment(path);
    ASSERT_TRUE(done.replaced);
    GetParam().make(path);
    const Bytes now = fs::exists(path) ? test::readBytes(path) : Bytes{};

    const auto failure = undoReplacement(*done.replaced);

    ASSERT_TRUE(failure);
    EXPECT_EQ(failure->sentence(),
              "Did not undo Defrag GAP on \"" + path + "\": " + GetParam().reason + ".");
    EXPECT_EQ(fs::exists(path) ? test::readBytes(path) : Bytes{}, now);
    EXPECT_EQ(test::namesIn(dir.path()).size(), fs::exists(path) ? 1U : 0U);
}

INSTANTIATE_TEST_SUITE_P(
    Changes, UndoRefusal,
    ::testing::Values(Change{"SilenceAppended",
                             [](const std::string& path) {
                                 test::writeBytes(path, records({{300, 400}, {600, 700}}));
                             },
                             "It has changed since Defrag GAP wrote it"},
                      Change{"OneByteDifferent",
                             [](const std::string& path) {
                                 Bytes bytes = test::readBytes(path);
                                 bytes.back() = 1;
                                 test::writeBytes(path, bytes);
                             },
                             "It has changed since Defrag GAP wrote it"},
                      Change{"Deleted", [](const std::string& path) { fs::remove(path); },
                             "It was deleted since Defrag GAP wrote it"}),
    test::RowName{});

} // namespace
} // namespace ravik
