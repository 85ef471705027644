// SPDX-License-Identifier: GPL-3.0-or-later
// One pairing rule, asked by every caller: the Voice Pack window's listing, the Recording
// window's look for a GAP file's recording and a recording's GAP file, gaptool lint, and
// gaptool detect of a single recording and of a folder all pair the same files, whatever the
// case of the endings, several candidates, or a link that leads nowhere.
#include "cli/gaptoolrun.hpp"
#include "pack/voicepack.hpp"
#include "support/testfiles.hpp"

#include <filesystem>
#include <gtest/gtest.h>

namespace ravik::voicepack {
namespace {
namespace fs = std::filesystem;
using test::PrintTo;

struct PairRow {
    std::string name;
    std::vector<std::string> files;  ///< recordings (examples/speech.wav), GAP files (speech.gap)
    std::vector<std::string> broken; ///< links that lead nowhere
    std::string recording;           ///< the recording the line takes
    std::string gap;                 ///< the GAP file it has, or that detect writes
};

class OnePairingRule : public ::testing::TestWithParam<PairRow> {
protected:
    void SetUp() override {
        for (const std::string& name : GetParam().files)
            fs::copy_file(name.ends_with("gap") || name.ends_with("GAP")
                              ? RAVIK_EXAMPLES_FOLDER "/speech.gap"
                              : RAVIK_EXAMPLES_FOLDER "/speech.wav",
                          dir.path() / name);
        for (const std::string& name : GetParam().broken)
            fs::create_symlink(dir.path() / "nowhere", dir.path() / name);
    }
    test::TempDir dir;
};

TEST_P(OnePairingRule, EveryCallerPairsTheSameFiles) {
    const PairRow& row = GetParam();
    const std::string recording = dir.file(row.recording);
    const std::string gap = dir.file(row.gap);
    const std::vector<std::string> before = test::namesIn(dir.path());

    // The Voice Pack window's listing.
    const Listing listing = listPack(dir.path().string());
    ASSERT_EQ(listing.lines.size(), 1u);
    EXPECT_EQ(listing.lines[0].recording, recording);
    EXPECT_EQ(listing.lines[0].gapPath(), gap);
    // The Recording window, from either file.
    if (fs::exists(gap)) {
        EXPECT_EQ(recordingBeside(gap), recording);
    }
    EXPECT_EQ(gapFileBeside(recording), gap);
    // gaptool lint compares the GAP file with that recording: verify finds nothing, as the GAP
    // file is what detect writes for it.
    if (fs::exists(gap)) {
        const test::Output lint = test::gaptool({"lint", dir.path().string()});
        EXPECT_EQ(lint.status, cli::ExitStatus::AllCorrect) << lint.out << lint.err;
    }
    // gaptool detect, of the recording and of the folder, writes that GAP file and no other.
    for (const std::vector<std::string>& detect :
         {std::vector<std::string>{"detect", "--force", recording},
          std::vector<std::string>{"detect", "--force", dir.path().string()}}) {
        const test::Output run = test::gaptool(detect);
        EXPECT_EQ(run.status, cli::ExitStatus::AllCorrect) << run.err;
        EXPECT_EQ(test::readBytes(gap), test::readBytes(RAVIK_EXAMPLES_FOLDER "/speech.gap"));
        std::vector<std::string> after = before;
        if (std::find(after.begin(), after.end(), row.gap) == after.end()) {
            after.push_back(row.gap);
            std::sort(after.begin(), after.end());
        }
        EXPECT_EQ(test::namesIn(dir.path()), after);
    }
}

std::vector<PairRow> pairRows() {
    std::vector<PairRow> rows{
        {"SameName", {"a.wav", "a.gap"}, {}, "a.wav", "a.gap"},
        {"RecordingAloneGetsItsNameWithGap", {"b.flac.wav"}, {}, "b.flac.wav", "b.flac.gap"},
        {"AnEndingInCapitalsIsTheLinesGapFile",
         {"Take.wav", "Take.GAP"},
         {},
         "Take.wav",
         "Take.GAP"},
        {"CapitalRecordingEnding", {"c.WAV"}, {}, "c.WAV", "c.gap"},
        {"WavBeforeAiff", {"d.aiff", "d.wav", "d.gap"}, {}, "d.wav", "d.gap"}};
#ifndef _WIN32
    // Links, and two names that differ in case only, where the system has them.
    rows.push_back(
        {"ALinkThatLeadsNowhereIsNoRecording", {"e.aiff", "e.gap"}, {"e.wav"}, "e.aiff", "e.gap"});
    rows.push_back(
        {"OfTwoGapFilesTheFirstInByteOrder", {"f.wav", "f.gap", "f.GAP"}, {}, "f.wav", "f.GAP"});
#endif
    return rows;
}

INSTANTIATE_TEST_SUITE_P(Rows, OnePairingRule, ::testing::ValuesIn(pairRows()), test::RowName{});

} // namespace
} // namespace ravik::voicepack
