// SPDX-License-Identifier: GPL-3.0-or-later
// A write killed at any moment leaves each file as it was, or absent as it was, or whole: gaptool
// runs under strace, which kills it (SIGKILL, which nothing can defer) at the Nth system call of
// one kind, for every N the write makes of every kind that touches files. Run again, the command
// finishes and leaves nothing behind but its files and their backups.
#include "support/testfiles.hpp"

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>
#include <map>
#include <optional>
#include <sstream>

namespace ravik::test {
namespace {
namespace fs = std::filesystem;

// What a command starts from: files by name.
using Files = std::map<std::string, Bytes>;

struct KilledRow {
    std::string name;
    Files before;                       ///< besides examples/speech.wav as take.wav
    std::vector<std::string> arguments; ///< names of files in the folder stand for their paths
};

// Every file below `folder` by its path under it, folders as "name/".
Files filesIn(const fs::path& folder) {
    Files files;
    for (const auto& entry : fs::recursive_directory_iterator(folder)) {
        const std::string name = fs::relative(entry.path(), folder).generic_string();
        if (entry.is_directory())
            files[name + "/"] = {};
        else
            files[name] = readBytes(entry.path().string());
    }
    return files;
}

std::vector<std::string> namesOf(const Files& files) {
    std::vector<std::string> names;
    for (const auto& [name, bytes] : files)
        names.push_back(name);
    return names;
}

std::string quoted(const std::string& text) {
    std::string out = "'";
    for (const char c : text)
        out += c == '\'' ? std::string("'\\''") : std::string(1, c);
    return out + "'";
}

class KilledWrite : public ::testing::TestWithParam<KilledRow> {
protected:
    // A fresh folder holding the row's files.
    void prepare(const fs::path& folder) const {
        fs::remove_all(folder);
        fs::create_directories(folder);
        fs::copy_file(RAVIK_EXAMPLES_FOLDER "/speech.wav", folder / "take.wav");
        for (const auto& [name, bytes] : GetParam().before) {
            if (name.ends_with("/")) {
                fs::create_directories(folder / name);
                continue;
            }
            fs::create_directories((folder / name).parent_path());
            writeBytes((folder / name).string(), bytes);
        }
    }
    // gaptool's command line in `folder`, under `strace` when given. LeakSanitizer cannot work
    // under a tracer (it stops the program with status 1), so a sanitized gaptool checks leaks
    // in every other test but these.
    [[nodiscard]] std::string command(const fs::path& folder, const std::string& strace) const {
        const std::string untraced =
            strace.empty() ? "" : "ASAN_OPTIONS=\"${ASAN_OPTIONS:+$ASAN_OPTIONS:}detect_leaks=0\" ";
        std::string line =
            "cd " + quoted(folder.string()) + " && " + untraced + strace + RAVIK_GAPTOOL;
        for (const std::string& argument : GetParam().arguments)
            line += " " + quoted(argument);
        return line + " >/dev/null 2>&1";
    }
};

// The system calls by which a write touches files, and how often a clean run makes each.
std::map<std::string, int> callsOf(const std::string& traced) {
    std::map<std::string, int> counts;
    std::ifstream in(traced);
    for (std::string line; std::getline(in, line);) {
        // "PID name(...": strace -f writes each call with its process first.
        std::istringstream words(line);
        std::string pid;
        std::string call;
        words >> pid >> call;
        call = call.substr(0, call.find('('));
        if (!call.empty())
            ++counts[call];
    }
    return counts;
}

TEST_P(KilledWrite, LeavesEveryFileAsItWasOrWholeAndARunAgainFinishes) {
    if (std::system("strace -o /dev/null true >/dev/null 2>&1") != 0)
        GTEST_SKIP() << "strace cannot trace here";
    TempDir dir;
    const fs::path work = dir.path() / "work";
    const std::string calls = "openat,open,creat,write,pwrite64,fsync,fdatasync,ftruncate,fchmod,"
                              "fchown,rename,renameat,renameat2,link,linkat,unlink,unlinkat,close";

    prepare(work);
    const Files before = filesIn(work);
    const std::string traced = (dir.path() / "calls").string();
    ASSERT_EQ(
        std::system(command(work, "strace -f -qq -o " + quoted(traced) + " -e trace=" + calls + " ")
                        .c_str()) >>
            8,
        0);
    const Files after = filesIn(work);
    ASSERT_NE(before, after) << "the command changed nothing";

    int runs = 0;
    for (const auto& [call, count] : callsOf(traced)) {
        for (int at = 1; at <= count; ++at) {
            SCOPED_TRACE(call + " number " + std::to_string(at));
            prepare(work);
            (void)std::system(command(work, "strace -f -qq -o /dev/null -e trace=" + call +
                                                " -e inject=" + call +
                                                ":signal=KILL:when=" + std::to_string(at) + " ")
                                  .c_str());
            ++runs;
            // Each file the command makes or replaces is as before, absent as before, or whole;
            // a temporary file may be left (.NAME.ravik-new), nothing else.
            for (const auto& [name, bytes] : filesIn(work)) {
                if (fs::path(name).filename().string().ends_with(".ravik-new"))
                    continue;
                const auto was = before.find(name);
                const auto will = after.find(name);
                const bool asBefore = was != before.end() && was->second == bytes;
                const bool whole = will != after.end() && will->second == bytes;
                EXPECT_TRUE(asBefore || whole) << name << " is neither as it was nor whole";
            }
            for (const auto& [name, bytes] : before)
                EXPECT_TRUE(fs::exists(work / name) || after.count(name) == 0)
                    << name << " was removed";
            // Run again unless it had finished (a silence written twice is two silences), the
            // command finishes what it was doing, and nothing else is left.
            if (filesIn(work) != after)
                (void)std::system(command(work, "").c_str());
            EXPECT_EQ(namesOf(filesIn(work)), namesOf(after));
            EXPECT_TRUE(filesIn(work) == after) << "a file is not as the command leaves it";
        }
    }
    EXPECT_GT(runs, 10);
}

const Bytes kSpeechGap = readBytes(RAVIK_EXAMPLES_FOLDER "/speech.gap");
const Bytes kSpeechWav = readBytes(RAVIK_EXAMPLES_FOLDER "/speech.wav");
const Bytes kOther = records({{100, 400}, {500, 520}, {900, 1500}});
const Bytes kLabels = [] {
    const std::string text = "0.1\t0.4\tsilence\n0.9\t1.5\tsilence\n";
    return Bytes(text.begin(), text.end());
}();

INSTANTIATE_TEST_SUITE_P(
    Commands, KilledWrite,
    ::testing::Values(
        KilledRow{"detect_a_new_file", {}, {"detect", "take.wav"}},
        KilledRow{"detect_over_a_file_with_a_backup",
                  {{"take.gap", kOther}},
                  {"detect", "--force", "--backup", "take.wav"}},
        KilledRow{"detect_a_folder",
                  {{"pack/a/one.wav", kSpeechWav}, {"pack/b/two.wav", kSpeechWav}},
                  {"detect", "-j", "1", "pack"}},
        KilledRow{"import_into_a_new_file",
                  {{"labels.txt", kLabels}},
                  {"import", "labels.txt", "--from", "audacity", "-o", "labels.gap"}},
        KilledRow{"export_into_a_new_file",
                  {{"speech.gap", kSpeechGap}},
                  {"export", "speech.gap", "--to", "csv", "-o", "speech.csv"}},
        KilledRow{"generic_over_a_file_with_a_backup",
                  {{"line.gap", kOther}},
                  {"generic", "--backup", "line.gap"}},
        KilledRow{"generic_a_new_file", {}, {"generic", "new.gap"}},
        KilledRow{
            "defrag_with_a_backup", {{"line.gap", kOther}}, {"defrag", "--backup", "line.gap"}},
        KilledRow{"write_a_silence_into_a_new_file", {}, {"write", "new.gap", "100", "200"}},
        KilledRow{"write_a_silence_at_the_end",
                  {{"line.gap", kOther}},
                  {"write", "line.gap", "1600", "1700"}}),
    RowName{});

} // namespace
} // namespace ravik::test
