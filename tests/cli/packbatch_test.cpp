// SPDX-License-Identifier: GPL-3.0-or-later
#include "audio/testset.hpp"
#include "cli/gaptool.hpp"
#include "cli/gaptoolrun.hpp"
#include "cli/progress.hpp"
#include "pack/packbatch.hpp"
#include "support/testfiles.hpp"

#include <cmath>
#include <filesystem>
#include <gtest/gtest.h>
#include <sstream>

namespace ravik::voicepack {
namespace {
namespace fs = std::filesystem;
using test::Bytes;

// A mono 22,050 Hz recording of silence, a 200 Hz tone for `soundMs`, and silence again.
void writeRecording(const std::string& path, int soundMs) {
    testset::Recording made;
    const auto samples = [&](int ms) { return ms * made.sampleRate / 1000; };
    made.samples.assign(static_cast<std::size_t>(samples(300)), 0.0F);
    for (int i = 0; i < samples(soundMs); ++i)
        made.samples.push_back(
            static_cast<float>(0.25 * std::sin(2 * 3.14159265 * 200 * i / 22'050.0)));
    made.samples.resize(made.samples.size() + static_cast<std::size_t>(samples(300)), 0.0F);
    ASSERT_TRUE(testset::writeWav(made, path));
}

class PackBatch : public ::testing::Test {
protected:
    /// Writes `count` recordings "lineN.wav" of different lengths into the pack and lists it.
    std::vector<Line> recordings(int count) {
        for (int i = 0; i < count; ++i)
            writeRecording(pack.file("line" + std::to_string(i) + ".wav"), 200 + 50 * i);
        return listPack(pack.path().string()).lines;
    }

    test::TempDir pack;
    std::atomic<bool> cancel{false};
};

TEST_F(PackBatch, DetectWritesWhatGaptoolDetectWritesAndSkipsExistingFiles) {
    std::vector<Line> lines = recordings(3);
    const Bytes kept = test::records({{1, 2}});
    test::writeBytes(pack.file("line1.gap"), kept);
    lines = listPack(pack.path().string()).lines;

    const Batch batch = detectLines(lines, BatchOptions{}, cancel, {});
    EXPECT_TRUE(batch.failures.empty());
    EXPECT_FALSE(batch.cancelled);
    EXPECT_EQ(batch.done, 3u);
    ASSERT_EQ(batch.notes.size(), 1u);
    EXPECT_NE(batch.notes[0].find("line1.gap\" exists already"), std::string::npos);
    EXPECT_EQ(test::readBytes(pack.file("line1.gap")), kept);

    const test::TempDir other;
    for (int i : {0, 2}) {
        const std::string name = "line" + std::to_string(i);
        fs::copy_file(pack.path() / (name + ".wav"), other.path() / (name + ".wav"));
        ASSERT_EQ(test::gaptool({"detect", other.file(name + ".wav")}).status,
                  cli::ExitStatus::AllCorrect);
        EXPECT_EQ(test::readBytes(pack.file(name + ".gap")),
                  test::readBytes(other.file(name + ".gap")))
            << name;
    }
}

TEST_F(PackBatch, ForcedDetectKeepsBackupsAndUndoPutsEveryFileBack) {
    recordings(2);
    const Bytes before = test::records({{1, 2}, {5, 90}});
    test::writeBytes(pack.file("line0.gap"), before);
    const std::vector<Line> lines = listPack(pack.path().string()).lines;
    BatchOptions options;
    options.replaceExisting = true;

    const Batch batch = detectLines(lines, options, cancel, {});
    ASSERT_EQ(batch.replaced.size(), 2u);
    EXPECT_EQ(test::readBytes(pack.file("line0.gap~")), before);
    EXPECT_FALSE(fs::exists(pack.path() / "line1.gap~")); // it did not exist: nothing to keep
    EXPECT_NE(test::readBytes(pack.file("line0.gap")), before);

    EXPECT_TRUE(undoBatch(batch).empty());
    EXPECT_EQ(test::readBytes(pack.file("line0.gap")), before);
    EXPECT_FALSE(fs::exists(pack.path() / "line1.gap")); // made by the batch: gone again
}

TEST_F(PackBatch, DefragKeepsBackupsAndUndoRefusesAFileChangedSince) {
    const Bytes fragmented = test::records({{0, 20}, {100, 400}, {500, 530}});
    const Bytes clean = test::records({{100, 400}});
    for (const char* name : {"a.gap", "b.gap"})
        test::writeBytes(pack.file(name), fragmented);
    test::writeBytes(pack.file("c.gap"), clean);
    const std::vector<Line> lines = listPack(pack.path().string()).lines;

    const Batch batch = defragLines(lines, BatchOptions{}, cancel, {});
    ASSERT_EQ(batch.replaced.size(), 2u); // c.gap had nothing to drop
    for (const char* name : {"a.gap", "b.gap"}) {
        EXPECT_EQ(test::readBytes(pack.file(name)), clean) << name;
        EXPECT_EQ(test::readBytes(pack.file(std::string(name) + "~")), fragmented) << name;
    }
    EXPECT_FALSE(fs::exists(pack.path() / "c.gap~"));

    const Bytes changed = test::records({{7, 900}});
    test::writeBytes(pack.file("b.gap"), changed);
    const std::vector<Failure> refused = undoBatch(batch);
    ASSERT_EQ(refused.size(), 1u);
    EXPECT_EQ(refused[0].path, pack.file("b.gap"));
    EXPECT_NE(refused[0].reason.find("changed since"), std::string::npos);
    EXPECT_EQ(test::readBytes(pack.file("a.gap")), fragmented);
    EXPECT_EQ(test::readBytes(pack.file("b.gap")), changed);
}

TEST_F(PackBatch, CancelInTheMiddleLeavesEachFileAsItWasOrFullyWritten) {
    const std::vector<Line> lines = recordings(6);
    std::vector<Bytes> whole;
    for (const Line& line : lines)
        whole.push_back(detectGap(*line.recording, {}).bytes);

    const Batch batch =
        detectLines(lines, BatchOptions{}, cancel, [&](std::size_t done, std::size_t) {
            if (done == 2)
                cancel = true;
        });
    EXPECT_TRUE(batch.cancelled);
    EXPECT_EQ(batch.done, 2u);
    std::size_t written = 0;
    for (std::size_t i = 0; i < lines.size(); ++i) {
        const std::string gap = lines[i].gapPath();
        if (!fs::exists(gap))
            continue;
        ++written;
        EXPECT_EQ(test::readBytes(gap), whole[i]) << gap;
    }
    EXPECT_EQ(written, batch.replaced.size());
    EXPECT_EQ(written, 2u);
    EXPECT_EQ(test::namesIn(pack.path()).size(), lines.size() + written); // no temporary left
}

// gaptool detect FOLDER goes through the same lines as the window.
TEST_F(PackBatch, GaptoolDetectFolderDetectsEveryRecordingAndSkipsExistingFilesWithANote) {
    fs::create_directories(pack.path() / "act1");
    writeRecording(pack.file("a.wav"), 300);
    writeRecording(pack.file("act1/b.WAV"), 400);
    writeRecording(pack.file("c.wav"), 500);
    const Bytes kept = test::records({{1, 2}});
    test::writeBytes(pack.file("c.gap"), kept);

    const test::Output run = test::gaptool({"detect", pack.path().string()});
    EXPECT_EQ(run.status, cli::ExitStatus::AllCorrect) << run.err;
    EXPECT_EQ(test::readBytes(pack.file("a.gap")), detectGap(pack.file("a.wav"), {}).bytes);
    EXPECT_EQ(test::readBytes(pack.file("act1/b.gap")),
              detectGap(pack.file("act1/b.WAV"), {}).bytes);
    EXPECT_EQ(test::readBytes(pack.file("c.gap")), kept);
    EXPECT_EQ(run.err, "gaptool: \"" + pack.file("c.gap") +
                           "\" exists already and was skipped (--force replaces it).\n");

    const test::Output forced =
        test::gaptool({"detect", "--force", "--backup", pack.path().string()});
    EXPECT_EQ(forced.status, cli::ExitStatus::AllCorrect) << forced.err;
    EXPECT_EQ(test::readBytes(pack.file("c.gap")), detectGap(pack.file("c.wav"), {}).bytes);
    EXPECT_EQ(test::readBytes(pack.file("c.gap~")), kept);
    EXPECT_FALSE(fs::exists(pack.path() / "a.gap~")); // the same content: nothing to keep
}

struct ProgressRow {
    std::string name;
    std::size_t done;
    std::size_t total;
    int elapsedMs;
    std::string line;
};

class ProgressLine : public ::testing::TestWithParam<ProgressRow> {};

TEST_P(ProgressLine, ShowsFilesDoneOfAllAndTheTimeLeftAtThePaceSoFar) {
    EXPECT_EQ(cli::Progress::line(GetParam().done, GetParam().total,
                                  std::chrono::milliseconds(GetParam().elapsedMs)),
              GetParam().line);
}

INSTANTIATE_TEST_SUITE_P(
    Rows, ProgressLine,
    ::testing::Values(ProgressRow{"NothingDoneNoTimeYet", 0, 40, 0, "0 of 40 files"},
                      ProgressRow{"Seconds", 10, 40, 5000, "10 of 40 files, 15 s left"},
                      ProgressRow{"Minutes", 100, 2000, 6000, "100 of 2000 files, 1 min 54 s left"},
                      ProgressRow{"Hours", 1, 4000, 1000, "1 of 4000 files, 1 h 6 min left"},
                      ProgressRow{"AllDoneNothingLeft", 40, 40, 9000, "40 of 40 files"}),
    [](const auto& row) { return row.param.name; });

TEST(ProgressShown, OnlyOnATerminalAsOneLineTakenAwayAtTheEnd) {
    const test::TempDir dir;
    for (const char* name : {"a.gap", "b.gap", "c.gap"})
        test::writeBytes(dir.file(name), test::records({{100, 400}}));
    EXPECT_EQ(test::gaptool({"lint", dir.path().string()}).err, "");
    cli::setProgressShown(true);
    const test::Output run = test::gaptool({"lint", dir.path().string()});
    cli::setProgressShown(false);
    EXPECT_NE(run.err.find("\r3 of 3 files"), std::string::npos) << run.err;
    EXPECT_EQ(run.err.find('\n'), std::string::npos); // one line, redrawn in place
    // Blanked at the end: as many blanks as "3 of 3 files" has characters.
    EXPECT_TRUE(run.err.ends_with("\r" + std::string(12, ' ') + "\r")) << run.err;
}

// What a terminal shows of text written to it: each line as the last writes over it left it
// (a carriage return goes back to the line's start, and what follows overwrites).
std::vector<std::string> terminalLines(const std::string& written) {
    std::vector<std::string> lines(1);
    std::size_t column = 0;
    for (const char c : written) {
        if (c == '\n') {
            lines.emplace_back();
            column = 0;
        } else if (c == '\r') {
            column = 0;
        } else {
            std::string& line = lines.back();
            if (column < line.size())
                line[column] = c;
            else
                line += c;
            ++column;
        }
    }
    for (std::string& line : lines)
        line.erase(line.find_last_not_of(' ') + 1);
    if (lines.back().empty())
        lines.pop_back();
    return lines;
}

// The report and the progress line on one terminal, the line redrawn at every file: what the
// terminal shows at the end is the report alone, no piece of the line left in it.
TEST(ProgressShown, LeavesNothingInTheReportOnTheSameTerminal) {
    const test::TempDir dir;
    std::vector<std::string> names;
    for (int i = 0; i < 30; ++i) {
        // Long names first, short ones after: a short report line under a long progress line.
        const std::string name =
            i < 15 ? "q/a-rather-long-name-" + std::to_string(i) + ".wav"
                   : "q/" + std::string(1, static_cast<char>('a' + i - 15)) + ".wav";
        fs::create_directories(dir.path() / "q");
        fs::copy_file(RAVIK_EXAMPLES_FOLDER "/speech.wav", dir.path() / name);
    }
    // Named from within the folder, so that a report line ("q/15.gap") is shorter than the
    // progress line.
    const fs::path was = fs::current_path();
    fs::current_path(dir.path());
    for (const std::vector<std::string>& command :
         {std::vector<std::string>{"detect", "--force", "-j", "1", "q"},
          std::vector<std::string>{"lint", "-j", "2", "q"}}) {
        std::ostringstream quiet;
        std::ostringstream err;
        (void)cli::runGaptool(command, quiet, err, ".");
        std::ostringstream terminal;
        cli::setProgressShown(true, std::chrono::milliseconds(0));
        (void)cli::runGaptool(command, terminal, terminal, ".");
        cli::setProgressShown(false);
        EXPECT_EQ(terminalLines(terminal.str()), terminalLines(quiet.str() + err.str()))
            << command.front();
        EXPECT_NE(terminal.str().find("of 30 files"), std::string::npos) << command.front();
    }
    fs::current_path(was);
}

} // namespace
} // namespace ravik::voicepack
