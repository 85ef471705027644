#include "cli/gaptoolrun.hpp"
#include "gaptool.hpp"
#include "support/testfiles.hpp"

#include <filesystem>
#include <gtest/gtest.h>
#include <sstream>
#include <system_error>

namespace ravik::cli {
namespace {
using test::PrintTo;
namespace fs = std::filesystem;

using test::Bytes;
using test::records;

using test::gaptool;
using test::Output;

class GaptoolTest : public ::testing::Test {
protected:
    std::string file(const std::string& name, const Bytes& bytes) { return dir.write(name, bytes); }
    test::TempDir dir;
};

const std::string kTwoSilencesShow = ">> Designing Graph\n"
                                     "Silence:  100 (64) - 300 (12C)\n"
                                     "Silence:  1000 (3E8) - 1200 (4B0)\n"
                                     "Silence Count : 2\n"
                                     "Source Length : Bigger than  1200 msecs.\n"
                                     "Silences Length :  400\n";

TEST_F(GaptoolTest, ShowPrintsTheStatusLinesAndTheLabelledFields) {
    const Output run = gaptool({"show", file("a.gap", records({{100, 300}, {1000, 1200}}))});
    EXPECT_EQ(run.out, kTwoSilencesShow);
    EXPECT_EQ(run.err, "");
    EXPECT_EQ(run.status, kAllCorrect);
}

TEST_F(GaptoolTest, ShowWritesTheHalfCountWithTheGivenSeparator) {
    const std::string path = file("a.gap", records({{100, 200}, {300, 400}, {500, 0}, {700, 800}}));
    EXPECT_NE(gaptool({"show", path}, ",").out.find("Silence Count : 2,5\n"), std::string::npos);
}

struct CheckStatusCase {
    std::string name;
    std::vector<std::string> files; // "good", "bad" or "missing"
    int status;
};

class GaptoolCheckStatus : public GaptoolTest,
                           public ::testing::WithParamInterface<CheckStatusCase> {};

TEST_P(GaptoolCheckStatus, ExitStatusIsTheWorstOfTheFiles) {
    std::vector<std::string> arguments{"check"};
    for (const std::string& kind : GetParam().files) {
        if (kind == "good")
            arguments.push_back(file("good.gap", records({{100, 200}})));
        else if (kind == "bad")
            arguments.push_back(file("bad.gap", records({{100, 200}, {150, 300}})));
        else
            arguments.push_back(dir.file("missing.gap"));
    }
    EXPECT_EQ(gaptool(arguments).status, GetParam().status);
}

INSTANTIATE_TEST_SUITE_P(
    Rows, GaptoolCheckStatus,
    ::testing::Values(CheckStatusCase{"Correct", {"good"}, kAllCorrect},
                      CheckStatusCase{"Incorrect", {"good", "bad"}, kIncorrect},
                      CheckStatusCase{"Unreadable", {"missing"}, kTrouble},
                      CheckStatusCase{
                          "UnreadableOutweighsIncorrect", {"bad", "missing", "good"}, kTrouble}),
    test::RowName{});

TEST_F(GaptoolTest, SeveralFilesEachStartWithTheirLoadedLineAndFailuresGoToStandardError) {
    const std::string good = file("good.gap", records({{100, 200}}));
    const std::string bad = file("bad.gap", records({{100, 200}, {150, 300}}));
    const std::string missing = dir.file("missing.gap");

    const Output run = gaptool({"check", good, missing, bad});

    EXPECT_EQ(run.out, ">> Loaded File: " + good + "\n>> GAP format is correct !\n" +
                           ">> Loaded File: " + missing + "\n" + ">> Loaded File: " + bad +
                           "\n>> GAP format is incorrect !!!!!!!\n"
                           "Error: GAP possibly overwritten; Silence starting at offset 8 is "
                           "misplaced.\n");
    EXPECT_EQ(run.err, "gaptool: Could not open \"" + missing + "\": " +
                           std::make_error_code(std::errc::no_such_file_or_directory).message() +
                           ".\n");
}

TEST_F(GaptoolTest, DefragRewritesThenShowsTheRewrittenFile) {
    const std::string path = file("a.gap", records({{100, 300}, {500, 520}, {1000, 1200}}));

    const Output run = gaptool({"defrag", path});

    EXPECT_EQ(run.out, ">>>>> Initialising Defragging Function\n"
                       "Frag detected:  500 (1F4) - 520 (208)\n"
                       " >> Defragging Finished Successfully\n" +
                           kTwoSilencesShow);
    EXPECT_EQ(test::readBytes(path), records({{100, 300}, {1000, 1200}}));
    EXPECT_EQ(run.status, kAllCorrect);
}

TEST_F(GaptoolTest, GenericCreatesTheFileThenShowsAndChecksIt) {
    const std::string path = dir.file("generic.gap");

    const Output run = gaptool({"generic", path});

    EXPECT_EQ(run.out, ">>Created Generic GAP at: " + path + "\n" +
                           ">> Designing Graph\n"
                           "Silence: 0 (0) -  1 (1)\n"
                           "Silence Count : 1\n"
                           "Source Length : Bigger than  1 msecs.\n"
                           "Silences Length :  1\n"
                           ">> GAP format is correct !\n");
    EXPECT_EQ(test::readBytes(path), records({{0, 1}}));
    EXPECT_EQ(run.status, kAllCorrect);
}

TEST_F(GaptoolTest, GenericIntoAMissingFolderPrintsNothingAndFails) {
    const Output run = gaptool({"generic", dir.file("none/generic.gap")});
    EXPECT_EQ(run.out, "");
    EXPECT_NE(run.err.find("none/generic.gap"), std::string::npos);
    EXPECT_EQ(run.status, kTrouble);
}

TEST_F(GaptoolTest, WriteAppendsOneSilenceAndPrintsItAsTyped) {
    const std::string path = dir.file("new.gap");
    const Output run = gaptool({"write", path, "0100", "250.5"});
    EXPECT_EQ(run.out, "Writing Silence : 0100 - 250.5\n");
    EXPECT_EQ(test::readBytes(path), records({{100, 250}}));
    EXPECT_EQ(run.status, kAllCorrect);
}

TEST_F(GaptoolTest, WriteRefusesATextThatIsNoTime) {
    const std::string path = dir.file("new.gap");
    const Output run = gaptool({"write", path, "-5", "40000"});
    EXPECT_EQ(run.out, "");
    EXPECT_EQ(run.err, "gaptool: Nothing written to \"" + path +
                           "\": The silence end \"40000\" is not a number of milliseconds from "
                           "-32768 to 32767.\n");
    EXPECT_EQ(run.status, kTrouble);
    EXPECT_FALSE(fs::exists(path));
}

struct MisuseCase {
    std::string name;
    std::vector<std::string> arguments;
    std::string message;
};

class GaptoolMisuse : public ::testing::TestWithParam<MisuseCase> {};

TEST_P(GaptoolMisuse, SaysWhatIsWrongAndFails) {
    const Output run = gaptool(GetParam().arguments);
    EXPECT_EQ(run.err, "gaptool: " + GetParam().message + " Try 'gaptool --help'.\n");
    EXPECT_EQ(run.out, "");
    EXPECT_EQ(run.status, kTrouble);
}

INSTANTIATE_TEST_SUITE_P(
    Rows, GaptoolMisuse,
    ::testing::Values(MisuseCase{"NoCommand", {}, "No command given."},
                      MisuseCase{"UnknownCommand", {"fix", "a.gap"}, "Unknown command 'fix'."},
                      MisuseCase{"NoFile", {"show"}, "The show command needs at least one FILE."},
                      MisuseCase{"WriteWithoutEnd",
                                 {"write", "a.gap", "1"},
                                 "The write command takes FILE START END."},
                      MisuseCase{"GenericWithTwoFiles",
                                 {"generic", "a.gap", "b.gap"},
                                 "The generic command takes exactly one FILE."}),
    test::RowName{});

TEST(Gaptool, HelpAndVersionSucceed) {
    const Output help = gaptool({"--help"});
    EXPECT_EQ(help.out.rfind("Usage: gaptool COMMAND FILE...\n", 0), 0U);
    EXPECT_EQ(help.status, kAllCorrect);
    const Output version = gaptool({"--version"});
    EXPECT_EQ(version.out.rfind("gaptool (Ravik) ", 0), 0U);
    EXPECT_EQ(version.status, kAllCorrect);
}

} // namespace
} // namespace ravik::cli
