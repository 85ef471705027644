// SPDX-License-Identifier: GPL-3.0-or-later
#include "core/actions/gapfile.hpp"
#include "core/files/fileio.hpp"
#include "core/files/replacement.hpp"
#include "core/format/gapformat.hpp"
#include "support/testfiles.hpp"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <future>
#include <gtest/gtest.h>
#include <set>
#include <thread>
#include <tuple>

#ifndef _WIN32
#include <csignal>
#include <sched.h>
#include <sys/mount.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>
#endif

namespace ravik {
namespace {
using test::PrintTo;
namespace fs = std::filesystem;
using namespace std::chrono_literals;
using test::Bytes;
using test::records;

// The silences a file holds, as (start, end) pairs, in file order.
[[maybe_unused]] std::vector<std::pair<int, int>> silencesIn(const Bytes& bytes) {
    std::vector<std::pair<int, int>> silences;
    for (std::size_t at = 0; at + kRecordSize <= bytes.size(); at += kRecordSize)
        silences.emplace_back(static_cast<std::int16_t>(bytes[at] | bytes[at + 1] << 8),
                              static_cast<std::int16_t>(bytes[at + 4] | bytes[at + 5] << 8));
    return silences;
}

TEST(WriterLock, AnotherWriterWaitsAndThenGivesUpNamingTheFile) {
    test::TempDir dir;
    const std::string path = dir.write("a.gap", records({{100, 200}}));
    fileio::Locking held = fileio::lockForWriting(path, fileio::IfMissing::fail);
    ASSERT_FALSE(held.failure);

    // Another thread, since a Windows mutex lets its own thread in again.
    const auto started = std::chrono::steady_clock::now();
    const fileio::Locking refused =
        std::async(std::launch::async, [&] {
            return fileio::lockForWriting(path, fileio::IfMissing::fail, 300ms);
        }).get();
    ASSERT_TRUE(refused.failure);
    EXPECT_GE(std::chrono::steady_clock::now() - started, 300ms);
    EXPECT_EQ(refused.failure->action, "Could not lock");
    EXPECT_EQ(refused.failure->path, path);
    EXPECT_NE(refused.failure->reason.find("Another program"), std::string::npos);

    held.lock.reset();
    const fileio::Locking later =
        std::async(std::launch::async, [&] {
            return fileio::lockForWriting(path, fileio::IfMissing::fail, 300ms);
        }).get();
    EXPECT_FALSE(later.failure);
}

TEST(WriterLock, AWriterThatWaitedWorksOnTheFileThatReplacedTheOneItWaitedFor) {
    test::TempDir dir;
    const std::string path = dir.write("a.gap", records({{100, 200}}));
    fileio::Locking first = fileio::lockForWriting(path, fileio::IfMissing::fail);
    ASSERT_FALSE(first.failure);

    auto second =
        std::async(std::launch::async, [&] { return writeSilence(path, "300", "400", "."); });
    std::this_thread::sleep_for(50ms); // the second writer is waiting now
    const auto replaced = first.lock->replace(records({{1000, 2000}}));
    ASSERT_FALSE(replaced) << replaced->sentence();
    first.lock.reset();

    EXPECT_FALSE(second.get().failure);
    EXPECT_EQ(test::readBytes(path), records({{1000, 2000}, {300, 400}}));
}

TEST(WriterLock, ALockThatMadeAFileItNeverFilledLeavesNoFileBehind) {
    test::TempDir dir;
    const std::string path = dir.file("new.gap");
    {
        fileio::Locking locking = fileio::lockForWriting(path, fileio::IfMissing::create);
        ASSERT_FALSE(locking.failure);
        EXPECT_FALSE(locking.lock->existed());
    }
    EXPECT_TRUE(test::namesIn(dir.path()).empty());
}

TEST(WriterLock, RefusingToReplaceLeavesTheFileAsItWasAndNamesIt) {
    test::TempDir dir;
    const std::string path = dir.write("a.gap", records({{100, 200}}));
    const auto failure = fileio::replaceFile(path, records({{1, 2}}), fileio::IfExists::refuse);
    ASSERT_TRUE(failure);
    EXPECT_EQ(failure->sentence(), "Did not replace \"" + path + "\": It exists already.");
    EXPECT_EQ(test::readBytes(path), records({{100, 200}}));
    EXPECT_FALSE(
        fileio::replaceFile(dir.file("b.gap"), records({{1, 2}}), fileio::IfExists::refuse));
    EXPECT_EQ(test::readBytes(dir.file("b.gap")), records({{1, 2}}));
}

// Every replacement of a whole file, as the commands make them.
struct Replacer {
    std::string name;
    std::function<std::optional<Failure>(const std::string&)> replace;
};

std::vector<Replacer> replacers() {
    return {
        {"Defrag", [](const std::string& path) { return defragment(path).failure; }},
        {"Generic", [](const std::string& path) { return createGenericGap(path); }},
        {"WholeFile", // detect, import and export -o
         [](const std::string& path) {
             return fileio::replaceFile(path, records({{1, 2}}));
         }},
        {"WithBackup",
         [](const std::string& path) {
             return createGenericGap(path, Keeping{std::string(".b")}).failure;
         }},
    };
}

class Temporaries : public ::testing::TestWithParam<std::tuple<Replacer, std::size_t>> {};

// A name of up to 255 bytes is legal, so its temporary file must fit the folder too.
TEST_P(Temporaries, FitBesideAnyLegalNameAndAreNeverLeft) {
    const auto& [replacer, length] = GetParam();
    test::TempDir dir;
    const std::string name = std::string(length - 4, 'n') + ".gap";
#ifdef _WIN32
    if (dir.path().string().size() + 1 + name.size() + 20 >= 260)
        GTEST_SKIP() << "a Windows path holds at most 260 characters";
#endif
    const std::string path = dir.write(name, records({{100, 120}, {300, 400}}));
    const std::optional<Failure> failure = replacer.replace(path);
    ASSERT_FALSE(failure) << failure->sentence();
    std::vector<std::string> names{name};
    if (replacer.name == "WithBackup")
        names.push_back(name + ".b");
    EXPECT_EQ(test::namesIn(dir.path()), names);
}

INSTANTIATE_TEST_SUITE_P(EveryReplacement, Temporaries,
                         ::testing::Combine(::testing::ValuesIn(replacers()),
                                            ::testing::Values(std::size_t{200}, std::size_t{237},
                                                              std::size_t{253})),
                         [](const auto& row) {
                             return std::get<0>(row.param).name + "NameOf" +
                                    std::to_string(std::get<1>(row.param)) + "Bytes";
                         });

TEST(Temporaries, TwoLongNamesWithOneStartGetTwoTemporaries) {
    // Each replacement holds only its own file's lock: their temporaries must not meet.
    test::TempDir dir;
#ifdef _WIN32
    GTEST_SKIP() << "a Windows path holds at most 260 characters";
#endif
    const std::string first = dir.write(std::string(250, 'n') + "1.gap", records({{1, 2}}));
    const std::string second = dir.write(std::string(250, 'n') + "2.gap", records({{1, 2}}));
    fileio::Locking held = fileio::lockForWriting(first, fileio::IfMissing::fail);
    ASSERT_FALSE(held.failure);
    auto other = std::async(std::launch::async, [&] {
        return fileio::replaceFile(second, records({{5, 6}}));
    });
    ASSERT_FALSE(held.lock->replace(records({{3, 4}})));
    EXPECT_FALSE(other.get());
    EXPECT_EQ(test::readBytes(first), records({{3, 4}}));
    EXPECT_EQ(test::readBytes(second), records({{5, 6}}));
}

#ifdef _WIN32
// Under Wine the link is a Unix one, made before this test runs (tests/core/links.cmake), which
// then checks that the link is still a link.
TEST(Links, DefragThroughALinkReplacesTheFileItPointsTo) {
    const char* link = std::getenv("RAVIK_LINKED_GAP");
    if (link == nullptr)
        GTEST_SKIP() << "RAVIK_LINKED_GAP names no link";
    const Defragmentation result = defragment(link);
    ASSERT_FALSE(result.failure) << result.failure->sentence();
    EXPECT_EQ(test::readBytes(link), records({{100, 300}}));
}
#else

// Runs `work` again and again in a child process until stopped.
class Repeater {
public:
    explicit Repeater(const std::function<void()>& work) {
        child_ = ::fork();
        if (child_ == 0) {
            for (;;)
                work();
        }
    }
    ~Repeater() {
        ::kill(child_, SIGKILL);
        ::waitpid(child_, nullptr, 0);
    }

private:
    pid_t child_;
};

TEST(WritersInProcesses, EveryConfirmedSilenceSurvivesADefragLoopOnTheSameFile) {
    test::TempDir dir;
    const std::string path = dir.write("w.gap", {});
    std::vector<std::pair<int, int>> confirmed;
    {
        const Repeater defragLoop([&] { (void)defragment(path); });
        for (int i = 0; i < 150; ++i) {
            const int start = i * 60 + 1;
            const SilenceWrite write =
                writeSilence(path, std::to_string(start), std::to_string(start + 54), ".");
            if (!write.failure)
                confirmed.emplace_back(start, start + 54);
        }
    }
    EXPECT_EQ(confirmed.size(), 150U);
    EXPECT_EQ(silencesIn(test::readBytes(path)), confirmed);
}

// A writer killed while it replaced the file (SIGKILL cannot be deferred) leaves its temporary
// file; the next replacement of the same file, holding its lock, takes it away.
TEST(WritersInProcesses, WhatKilledWritersLeaveTheNextReplacementRemoves) {
    test::TempDir dir;
    const Bytes content(64 * 1024, 0x11); // large enough that a kill often lands mid-write
    const std::string path = dir.write("k.gap", content);
    for (int round = 0; round < 20; ++round) {
        const Repeater replacing([&] { (void)fileio::replaceFile(path, content); });
        std::this_thread::sleep_for(std::chrono::milliseconds(2 + round % 7));
    }
    // As a writer killed at the worst moment leaves it.
    test::writeBytes(dir.file(".k.gap.ravik-new"), Bytes(10, 0x22));
    ASSERT_FALSE(defragment(path).failure);
    EXPECT_EQ(test::namesIn(dir.path()), std::vector<std::string>{"k.gap"});
}

TEST(WritersInProcesses, ParallelAppendsToOneNewFileAreAllKept) {
    test::TempDir dir;
    const std::string path = dir.file("p.gap");
    constexpr int kWriters = 8;
    constexpr int kEach = 20;
    std::vector<pid_t> writers;
    for (int w = 0; w < kWriters; ++w) {
        const pid_t child = ::fork();
        if (child == 0) {
            int failures = 0;
            for (int i = 0; i < kEach; ++i) {
                const int start = (w * kEach + i) * 10;
                const SilenceWrite write =
                    writeSilence(path, std::to_string(start), std::to_string(start + 5), ".");
                if (write.failure) {
                    // What failed, for the test's output: the parent sees only the count.
                    std::fprintf(stderr, "writer %d, silence %d: %s\n", w, i,
                                 write.failure->sentence().c_str());
                    ++failures;
                }
            }
            ::_exit(failures);
        }
        writers.push_back(child);
    }
    for (const pid_t child : writers) {
        int status = 0;
        ::waitpid(child, &status, 0);
        EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
    }
    const auto silences = silencesIn(test::readBytes(path));
    const std::set<std::pair<int, int>> distinct(silences.begin(), silences.end());
    EXPECT_EQ(silences.size(), std::size_t{kWriters * kEach});
    EXPECT_EQ(distinct.size(), std::size_t{kWriters * kEach});
}

// A change made where the file may grow only so far (ulimit -f); the file and its folder must
// stay as they were, and the failure must name the file and the reason.
struct LimitedChange {
    std::string name;
    Bytes before;
    std::uint64_t limit; ///< the largest file the change may write
    std::function<std::optional<Failure>(const std::string&)> change;
};

std::vector<LimitedChange> limitedChanges() {
    const auto write = [](const std::string& path) {
        return writeSilence(path, "100", "200", ".").failure;
    };
    const Bytes kept = records({{100, 300}, {1000, 1200}});
    return {
        {"AppendCutShortMidRecord", kept, 2 * kRecordSize + 4, write},
        {"AppendWithNoRoomAtAll", kept, 2 * kRecordSize, write},
        {"AppendOverAnOddLastByte", test::concat(kept, {0x7A}), 2 * kRecordSize + 3, write},
        {"DefragWhoseResultIsCutShort", test::concat(kept, records({{5, 6}})), kRecordSize + 4,
         [](const std::string& path) { return defragment(path).failure; }},
        {"GenericWithNoRoom", kept, 0,
         [](const std::string& path) { return createGenericGap(path); }},
    };
}

class LimitTest : public ::testing::TestWithParam<LimitedChange> {};

TEST_P(LimitTest, LeavesTheFileAndItsFolderAsTheyWere) {
    const LimitedChange& row = GetParam();
    test::TempDir dir;
    const std::string path = dir.write("big.gap", row.before);
    const std::string answer = test::runInChild(
        [&] {
            fileio::treatLimitsAsErrors();
            const auto failure = row.change(path);
            return failure ? failure->sentence() : std::string("changed");
        },
        [&] {
            // The limit is on the size of any file written, so the replacement hits it too.
            const rlimit size{row.limit, row.limit};
            return ::setrlimit(RLIMIT_FSIZE, &size) == 0;
        });
    EXPECT_NE(answer.find('"' + path + "\": "), std::string::npos) << answer;
    EXPECT_NE(answer.find(std::make_error_code(std::errc::file_too_large).message()),
              std::string::npos)
        << answer;
    EXPECT_EQ(test::readBytes(path), row.before);
    EXPECT_EQ(test::namesIn(dir.path()), std::vector<std::string>{"big.gap"});
}

INSTANTIATE_TEST_SUITE_P(Rows, LimitTest, ::testing::ValuesIn(limitedChanges()), test::RowName{});

TEST(FullDisk, AFailedAppendLeavesTheFileByteForByte) {
    if (::geteuid() != 0)
        GTEST_SKIP() << "needs root to mount a small memory file system";
    test::TempDir dir;
    const std::string answer = test::runInChild([&] {
        // A mount of this process's own, gone with it whatever happens.
        if (::unshare(CLONE_NEWNS) != 0 ||
            ::mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) != 0 ||
            ::mount("tmpfs", dir.path().c_str(), "tmpfs", 0, "size=64k") != 0)
            return std::string("skip");
        const Bytes before(4092, 0x11);
        const std::string path = dir.write("p.gap", before);
        // Whole pages first, then the last page's slack, so that not even a record fits.
        std::FILE* filler = std::fopen(dir.file("filler").c_str(), "wb");
        for (const std::size_t chunk : {4096U, 2U}) {
            const Bytes zeros(chunk, 0);
            while (std::fwrite(zeros.data(), 1, chunk, filler) == chunk &&
                   std::fflush(filler) == 0) {
            }
            std::clearerr(filler);
        }
        std::fclose(filler);
        const auto failure = writeSilence(path, "100", "200", ".").failure;
        if (!failure)
            return std::string("written");
        return failure->sentence() + (test::readBytes(path) == before ? " unchanged" : " CHANGED");
    });
    if (answer == "skip")
        GTEST_SKIP() << "this system does not let the test mount a file system";
    EXPECT_NE(answer.find(std::make_error_code(std::errc::no_space_on_device).message()),
              std::string::npos)
        << answer;
    EXPECT_TRUE(answer.ends_with(" unchanged")) << answer;
}

TEST(Links, EveryWriterFollowsALinkToAFileNotThereYet) {
    test::TempDir dir;
    const std::vector<std::pair<std::string, std::function<void(const std::string&)>>> writers{
        {"generic", [](const std::string& path) { ASSERT_FALSE(createGenericGap(path)); }},
        {"write",
         [](const std::string& path) { ASSERT_FALSE(writeSilence(path, "0", "1", ".").failure); }},
    };
    for (const auto& [name, write] : writers) {
        const fs::path link = dir.path() / (name + "-link.gap");
        fs::create_symlink(name + "-target.gap", link);
        write(link.string());
        EXPECT_TRUE(fs::is_symlink(link)) << name;
        EXPECT_EQ(test::readBytes(dir.file(name + "-target.gap")), records({{0, 1}})) << name;
    }
}

// A folder anyone may write to (sticky, as /tmp) that belongs to another user, and a link in it
// to `target` that belongs to a third. Needs root.
fs::path sharedStickyFolder(const test::TempDir& dir) {
    const fs::path shared = dir.path() / "shared";
    fs::create_directory(shared);
    EXPECT_EQ(::chown(shared.c_str(), 4321, 4321), 0);
    fs::permissions(shared, fs::perms::all | fs::perms::sticky_bit);
    return shared;
}

void plantLink(const fs::path& target, const fs::path& at) {
    fs::create_symlink(target, at);
    EXPECT_EQ(::lchown(at.c_str(), 5432, 5432), 0);
}

TEST(Links, APlantedLinkInASharedStickyFolderIsNotFollowed) {
    if (::geteuid() != 0)
        GTEST_SKIP() << "needs root to give the folder and the link other owners";
    test::TempDir dir;
    const fs::path link = sharedStickyFolder(dir) / "planted.gap";
    plantLink(dir.path() / "victim.gap", link);

    const auto failure = writeSilence(link.string(), "0", "1", ".").failure;
    ASSERT_TRUE(failure);
    EXPECT_EQ(failure->path, link.string());
    EXPECT_NE(failure->reason.find("not followed"), std::string::npos);
    EXPECT_FALSE(fs::exists(dir.path() / "victim.gap"));
    EXPECT_TRUE(createGenericGap(link.string()).has_value());
    EXPECT_FALSE(fs::exists(dir.path() / "victim.gap"));
}

// A folder anyone may write to and nobody may take from, as /tmp: root's, sticky.
fs::path rootsStickyFolder(const test::TempDir& dir) {
    const fs::path shared = dir.path() / "drop";
    fs::create_directory(shared);
    fs::permissions(shared, fs::perms::all | fs::perms::sticky_bit);
    return shared;
}

// Another user (nobody, for real) plants a link to a third party's folder of lines in a shared
// sticky folder: no writer follows it, whatever part of the path it is, and no walk enters it.
TEST(Links, AFolderLinkPlantedInASharedStickyFolderIsNotFollowed) {
    if (!test::canDropPrivileges())
        GTEST_SKIP() << "needs root to act as a second user";
    test::TempDir dir;
    const fs::path shared = rootsStickyFolder(dir);
    const fs::path victim = dir.path() / "victim";
    fs::create_directory(victim);
    const Bytes lines = records({{100, 120}, {300, 400}});
    const std::string line = (victim / "x.gap").string();
    test::writeBytes(line, lines);
    ASSERT_EQ(test::runUnprivileged([&] {
                  std::error_code error;
                  fs::create_symlink(victim, shared / "evil", error);
                  return error ? error.message() : std::string("planted");
              }),
              "planted");

    const std::string through = (shared / "evil" / "x.gap").string();
    for (const auto& [name, failure] : std::vector<std::pair<std::string, std::optional<Failure>>>{
             {"defrag", defragment(through).failure},
             {"generic", createGenericGap(through)},
             {"write", writeSilence(through, "7000", "7100", ".").failure},
             {"replace", fileio::replaceFile(through, records({{1, 2}}))},
             {"delete", fileio::removeFile(through)}}) {
        ASSERT_TRUE(failure) << name;
        EXPECT_EQ(failure->path, through) << name;
        EXPECT_NE(failure->reason.find("reached through a symbolic link"), std::string::npos)
            << failure->sentence();
    }
    EXPECT_EQ(test::readBytes(line), lines);
    EXPECT_EQ(test::namesIn(victim), std::vector<std::string>{"x.gap"});

    std::vector<std::string> walked;
    fileio::walkFolders(
        shared.string(),
        [&](const std::string& path, const std::vector<fileio::FolderEntry>&) {
            walked.push_back(path);
        },
        [](const Failure& failure) { ADD_FAILURE() << failure.sentence(); });
    EXPECT_EQ(walked, std::vector<std::string>{shared.string()});
}

// A walk follows the user's own links to folders inside the tree (each folder once), never one
// that leads out of it.
TEST(Links, AWalkFollowsLinksOnlyInsideItsTree) {
    test::TempDir dir;
    const fs::path top = dir.path() / "pack";
    fs::create_directories(top / "chapter" / "scene");
    fs::create_directories(dir.path() / "elsewhere" / "more");
    fs::create_directory_symlink(top / "chapter" / "scene", top / "scene-link");
    fs::create_directory_symlink(dir.path() / "elsewhere", top / "out");
    fs::create_directory_symlink(top, top / "chapter" / "back-up");
    std::vector<std::string> walked;
    fileio::walkFolders(
        top.string(),
        [&](const std::string& path, const std::vector<fileio::FolderEntry>&) {
            walked.push_back(fs::relative(path, dir.path()).generic_string());
        },
        [](const Failure& failure) { ADD_FAILURE() << failure.sentence(); });
    EXPECT_EQ(walked, (std::vector<std::string>{"pack", "pack/chapter", "pack/chapter/scene"}));
}

// The same rule for a link put in place while the writer waits for the lock: the owner of a file
// in a shared sticky folder holds its lock, puts a link to another file in its place, then lets
// go.
TEST(Links, ALinkPlantedWhileAWriterWaitsIsJudgedAgain) {
    if (::geteuid() != 0)
        GTEST_SKIP() << "needs root to give the folder and the link other owners";
    test::TempDir dir;
    const fs::path shared = sharedStickyFolder(dir);
    const std::string victim = dir.write("victim.gap", records({{100, 200}}));
    const std::string path = (shared / "y.gap").string();
    test::writeBytes(path, records({{300, 400}}));

    using Change = std::function<std::optional<Failure>(const std::string&)>;
    for (const auto& [name, change] : std::vector<std::pair<std::string, Change>>{
             {"write",
              [](const std::string& p) { return writeSilence(p, "7000", "7100", ".").failure; }},
             {"defrag", [](const std::string& p) { return defragment(p).failure; }},
             {"generic", [](const std::string& p) { return createGenericGap(p); }}}) {
        fileio::Locking held = fileio::lockForWriting(path, fileio::IfMissing::fail);
        ASSERT_FALSE(held.failure) << name;
        auto waiting = std::async(std::launch::async, [&] { return change(path); });
        std::this_thread::sleep_for(50ms); // the writer waits now
        const fs::path planted = shared / "planted";
        plantLink(victim, planted);
        fs::rename(planted, path);
        held.lock.reset();

        const std::optional<Failure> failure = waiting.get();
        ASSERT_TRUE(failure) << name;
        EXPECT_NE(failure->reason.find("not followed"), std::string::npos) << failure->sentence();
        EXPECT_EQ(test::readBytes(victim), records({{100, 200}})) << name;
        fs::remove(path);
        test::writeBytes(path, records({{300, 400}}));
    }
}

#endif

} // namespace
} // namespace ravik
