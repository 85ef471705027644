// SPDX-License-Identifier: GPL-3.0-or-later
#include "pack/voicepack.hpp"
#include "support/testfiles.hpp"

#include <filesystem>
#include <functional>
#include <gtest/gtest.h>
#include <string>
#include <vector>

namespace ravik::voicepack {
namespace {
using test::PrintTo;
namespace fs = std::filesystem;

const std::string kExamples = RAVIK_EXAMPLES_FOLDER;

/// One line as the rows write it: its name and the file names of its GAP file and recording
/// inside its folder ("" for none).
struct Expected {
    std::string name;
    std::string gap;
    std::string recording;
    bool operator==(const Expected&) const = default;
};

void PrintTo(const Expected& line, std::ostream* out) {
    *out << line.name << " [" << line.gap << " | " << line.recording << "]";
}

struct PairingRow {
    std::string name;
    std::vector<std::string> files; ///< made empty, folders made as needed
    std::vector<Expected> lines;    ///< in the listing's order
};

class Pairing : public ::testing::TestWithParam<PairingRow> {};

TEST_P(Pairing, ListsEachLineOnceWithTheRecordingTheRuleChooses) {
    const test::TempDir dir;
    for (const std::string& name : GetParam().files) {
        fs::create_directories((dir.path() / name).parent_path());
        test::writeBytes(dir.file(name), {});
    }
    const Listing listing = listPack(dir.path().string());
    EXPECT_TRUE(listing.failures.empty());
    std::vector<Expected> lines;
    for (const Line& line : listing.lines) {
        lines.push_back({line.name, line.gap ? fs::path(*line.gap).filename().string() : "",
                         line.recording ? fs::path(*line.recording).filename().string() : ""});
        // The Recording window and gaptool lint take a GAP file's recording by the same rule.
        if (line.gap) {
            EXPECT_EQ(recordingBeside(*line.gap), line.recording) << line.name;
        }
    }
    EXPECT_EQ(lines, GetParam().lines);
}

INSTANTIATE_TEST_SUITE_P(
    Rows, Pairing,
    ::testing::Values(
        PairingRow{"SameNameMakesOneLine", {"a.gap", "a.wav"}, {{"a", "a.gap", "a.wav"}}},
        PairingRow{"EndingsPairInAnyCase", {"a.GAP", "a.Wav"}, {{"a", "a.GAP", "a.Wav"}}},
        PairingRow{"NamesDifferingInCaseAreTwoLines",
                   {"A.gap", "a.wav"},
                   {{"A", "A.gap", ""}, {"a", "", "a.wav"}}},
        PairingRow{"RecordingAloneIsALine", {"b.flac"}, {{"b", "", "b.flac"}}},
        PairingRow{"GapFileAloneIsALine", {"c.gap", "c.txt"}, {{"c", "c.gap", ""}}},
        PairingRow{"NestedFoldersNameTheirPlace",
                   {"act1/scene2/d.gap", "act1/scene2/d.ogg", "e.gap"},
                   {{"e", "e.gap", ""}, {"act1/scene2/d", "d.gap", "d.ogg"}}},
        // Not directory order: the formats' order, whatever the names sort as.
        PairingRow{"WavBeforeFlacBeforeMp3",
                   {"f.mp3", "f.flac", "f.gap", "f.wav"},
                   {{"f", "f.gap", "f.wav"}}},
        PairingRow{"FlacBeforeOggWithoutAGapFile", {"g.ogg", "g.flac"}, {{"g", "", "g.flac"}}},
        PairingRow{"AiffBeforeAif", {"h.aif", "h.aiff", "h.gap"}, {{"h", "h.gap", "h.aiff"}}},
        PairingRow{"DottedNamesKeepTheirStem",
                   {"j.take2.gap", "j.take2.opus", "j.gap"},
                   {{"j", "j.gap", ""}, {"j.take2", "j.take2.gap", "j.take2.opus"}}}),
    test::RowName{});

#ifndef _WIN32
// Two names for one file where names are told apart by case only.
TEST(PackListing, SameFormatInTwoCasesPairsInByteOrder) {
    const test::TempDir dir;
    for (const char* name : {"i.wav", "i.WAV", "i.gap"})
        test::writeBytes(dir.file(name), {});
    const Listing listing = listPack(dir.path().string());
    ASSERT_EQ(listing.lines.size(), 1u);
    EXPECT_EQ(listing.lines[0].recording, dir.file("i.WAV"));
    EXPECT_EQ(recordingBeside(dir.file("i.gap")), dir.file("i.WAV"));
}

TEST(PackListing, FolderLinkedBackUpTheTreeIsListedOnce) {
    const test::TempDir dir;
    fs::create_directories(dir.path() / "act1");
    test::writeBytes(dir.file("act1/k.gap"), {});
    fs::create_directory_symlink("..", dir.path() / "act1" / "up");
    const Listing listing = listPack(dir.path().string());
    ASSERT_EQ(listing.lines.size(), 1u);
    EXPECT_EQ(listing.lines[0].name, "act1/k");
}
#endif

TEST(PackListing, GapPathOfARecordingAloneIsBesideIt) {
    const Line line{"x", std::nullopt, "/d/x.take.FLAC"};
    EXPECT_EQ(line.gapPath(), "/d/x.take.gap");
}

// The status shown is the worst that applies, in the order the table promises.
struct WorstRow {
    std::string name;
    std::vector<lint::Kind> kinds;
    Status status;
};

class WorstStatus : public ::testing::TestWithParam<WorstRow> {};

TEST_P(WorstStatus, IsTheWorstFindingsStatus) {
    std::vector<lint::Finding> findings;
    for (lint::Kind kind : GetParam().kinds)
        findings.push_back({kind, std::nullopt, std::nullopt, "m"});
    EXPECT_EQ(statusOf(findings), GetParam().status);
}

INSTANTIATE_TEST_SUITE_P(
    Rows, WorstStatus,
    ::testing::Values(
        WorstRow{"NothingIsCorrect", {}, Status::Correct},
        WorstRow{"PastLimit", {lint::Kind::PastLimit}, Status::PastLimit},
        WorstRow{"FragmentsOverPastLimit",
                 {lint::Kind::PastLimit, lint::Kind::Fragment},
                 Status::Fragments},
        WorstRow{"DisagreeingOverFragments",
                 {lint::Kind::Fragment, lint::Kind::Recording},
                 Status::Disagrees},
        WorstRow{"CountIsStructure",
                 {lint::Kind::Fragment, lint::Kind::Count},
                 Status::StructureIncorrect},
        WorstRow{"HighWordIsStructure", {lint::Kind::HighWord}, Status::StructureIncorrect},
        WorstRow{
            "PartialRecordIsStructure", {lint::Kind::PartialRecord}, Status::StructureIncorrect},
        WorstRow{"UnreadableOverAll",
                 {lint::Kind::Structure, lint::Kind::Unreadable, lint::Kind::Recording},
                 Status::Unreadable}),
    test::RowName{});

TEST(StatusNames, AreDistinctAndInTheTablesWords) {
    EXPECT_EQ(statusName(Status::Disagrees), "disagrees with its recording");
    EXPECT_EQ(statusName(Status::PastLimit), "past 32,767 ms");
    EXPECT_EQ(statusName(Status::NoGap), "no GAP file");
}

// Scanning real files: the example recording and GAP files, copied into a fresh folder.
struct ScanRow {
    std::string name;
    std::function<Line(const test::TempDir&)> make;
    Status status;
    std::string findingPart; ///< a part of some finding's message; "" for no finding
};

std::string copied(const test::TempDir& dir, const std::string& example, const std::string& as) {
    fs::copy_file(kExamples + "/" + example, dir.path() / as);
    return dir.file(as);
}

class Scanning : public ::testing::TestWithParam<ScanRow> {};

TEST_P(Scanning, JudgesTheLineWithLintAndVerify) {
    const test::TempDir dir;
    const Scan scan = scanLine(GetParam().make(dir));
    EXPECT_EQ(statusName(scan.status), statusName(GetParam().status));
    if (GetParam().findingPart.empty()) {
        EXPECT_TRUE(scan.findings.empty());
    } else {
        bool found = false;
        for (const lint::Finding& finding : scan.findings)
            found = found || finding.message.find(GetParam().findingPart) != std::string::npos;
        EXPECT_TRUE(found) << GetParam().findingPart;
    }
}

INSTANTIATE_TEST_SUITE_P(
    Rows, Scanning,
    ::testing::Values(
        ScanRow{"ExampleAgreesWithItsRecording",
                [](const test::TempDir& dir) {
                    return Line{"s", copied(dir, "speech.gap", "s.gap"),
                                copied(dir, "speech.wav", "s.wav")};
                },
                Status::Correct, ""},
        ScanRow{"OtherSilencesDisagree",
                [](const test::TempDir& dir) {
                    return Line{"s", dir.write("s.gap", test::records({{100, 400}})),
                                copied(dir, "speech.wav", "s.wav")};
                },
                Status::Disagrees, "s.wav: "},
        ScanRow{"RecordingAloneHasNoGap",
                [](const test::TempDir& dir) {
                    return Line{"s", std::nullopt, copied(dir, "speech.wav", "s.wav")};
                },
                Status::NoGap, ""},
        ScanRow{"GapAloneHasNoRecording",
                [](const test::TempDir& dir) {
                    return Line{"s", copied(dir, "speech.gap", "s.gap"), std::nullopt};
                },
                Status::NoRecording, ""},
        ScanRow{"StructureBeforeNoRecording",
                [](const test::TempDir& dir) {
                    return Line{"s", copied(dir, "misplaced.gap", "s.gap"), std::nullopt};
                },
                Status::StructureIncorrect, "misplaced"},
        ScanRow{"RecordingThatIsNoSoundIsUnreadable",
                [](const test::TempDir& dir) {
                    return Line{"s", copied(dir, "speech.gap", "s.gap"),
                                dir.write("s.wav", {'n', 'o', 't'})};
                },
                Status::Unreadable, "s.wav"},
        ScanRow{"MissingGapFileIsUnreadable",
                [](const test::TempDir& dir) {
                    return Line{"s", dir.file("gone.gap"), copied(dir, "speech.wav", "s.wav")};
                },
                Status::Unreadable, "gone.gap"}),
    test::RowName{});

TEST(Scanning, ShowsFormatLengthCountAndChange) {
    const test::TempDir dir;
    const Scan scan =
        scanLine(Line{"s", copied(dir, "speech.gap", "s.gap"), copied(dir, "speech.wav", "s.WAV")});
    EXPECT_EQ(scan.format, "WAV");
    ASSERT_TRUE(scan.seconds);
    EXPECT_NEAR(*scan.seconds, 7.28, 0.01);
    EXPECT_EQ(scan.silences, 7u);
    EXPECT_EQ(scan.changedNs(),
              std::max(stampOf(dir.file("s.gap")).changedNs, stampOf(dir.file("s.WAV")).changedNs));
    EXPECT_GT(scan.changedNs(), 0);
}

} // namespace
} // namespace ravik::voicepack
