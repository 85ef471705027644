#include "cli/gaptoolrun.hpp"
#include "gaptool.hpp"
#include "output.hpp"
#include "support/testfiles.hpp"

#include <algorithm>
#include <filesystem>
#include <gtest/gtest.h>
#include <sstream>
#include <system_error>

#ifndef _WIN32
#include <fcntl.h>
#include <unistd.h>
#endif

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

struct BackupCase {
    std::string name;
    std::string command;
    std::vector<std::string> options; ///< FILE goes where "FILE" stands, else last
    std::string suffix;               ///< empty: no backup
};

class GaptoolBackup : public GaptoolTest, public ::testing::WithParamInterface<BackupCase> {};

TEST_P(GaptoolBackup, KeepsTheReplacedBytesUnderTheSuffixAsked) {
    const Bytes before = records({{100, 300}, {500, 520}});
    const std::string path = file("a.gap", before);
    std::vector<std::string> arguments{GetParam().command};
    for (const std::string& option : GetParam().options)
        arguments.push_back(option == "FILE" ? path : option);
    if (std::ranges::find(GetParam().options, "FILE") == GetParam().options.end())
        arguments.push_back(path);

    const Output run = gaptool(arguments);

    EXPECT_EQ(run.err, "");
    EXPECT_EQ(run.status, kAllCorrect);
    EXPECT_EQ(test::readBytes(path),
              GetParam().command == "defrag" ? records({{100, 300}}) : records({{0, 1}}));
    std::vector<std::string> names{"a.gap"};
    if (!GetParam().suffix.empty()) {
        EXPECT_EQ(test::readBytes(path + GetParam().suffix), before);
        names.push_back("a.gap" + GetParam().suffix);
    }
    EXPECT_EQ(test::namesIn(dir.path()), names);
}

INSTANTIATE_TEST_SUITE_P(
    Rows, GaptoolBackup,
    ::testing::Values(BackupCase{"DefragWithout", "defrag", {}, ""},
                      BackupCase{"DefragBackup", "defrag", {"--backup"}, "~"},
                      BackupCase{"DefragBackupAfterTheFile", "defrag", {"FILE", "--backup"}, "~"},
                      BackupCase{"DefragSuffixAlone", "defrag", {"--suffix", ".bak"}, ".bak"},
                      BackupCase{"GenericBackup", "generic", {"--backup"}, "~"},
                      BackupCase{"GenericSuffixJoined", "generic", {"--suffix=.orig"}, ".orig"},
                      BackupCase{
                          "GenericSuffixWins", "generic", {"--suffix", "0", "--backup"}, "0"}),
    test::RowName{});

TEST_F(GaptoolTest, ABackupThatCannotBeWrittenNamesItAndLeavesTheFile) {
    const Bytes before = records({{100, 300}, {500, 520}});
    const std::string path = file("a.gap", before);
    fs::create_directory(path + "~");

    const Output run = gaptool({"defrag", "--backup", path});

    EXPECT_EQ(run.err, "gaptool: Could not write the backup \"" + path +
                           "~\": It is a folder, not a file; \"" + path +
                           "\" was left as it was.\n");
    EXPECT_EQ(run.status, kTrouble);
    EXPECT_EQ(test::readBytes(path), before);
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

#ifndef _WIN32 // Windows allows no control characters in names
TEST_F(GaptoolTest, APathCannotForgeALineOfTheReport) {
    const std::string forged =
        file("a\n>> GAP format is correct !\x1b[1m.gap", records({{100, 50}}));
    const Output run = gaptool({"check", forged, forged});
    EXPECT_EQ(run.out.find("\n>> GAP format is correct !\n"), std::string::npos) << run.out;
    EXPECT_NE(
        run.out.find(">> Loaded File: " + dir.file("a\\n>> GAP format is correct !\\x1b[1m.gap\n")),
        std::string::npos)
        << run.out;
    EXPECT_EQ(run.status, kIncorrect);
}

// gaptool with its report going into `fd`, as main() sets it up.
Output gaptoolInto(int fd, std::vector<std::string> arguments) {
    DescriptorBuffer buffer(fd);
    std::ostream out(&buffer);
    std::ostringstream err;
    Output run;
    run.status = runGaptool(arguments, out, err, ".");
    run.err = err.str();
    return run;
}

const std::string kNoSpace = std::make_error_code(std::errc::no_space_on_device).message();

TEST_F(GaptoolTest, AWriteWhoseReportIsLostSaysItWasWrittenAndIsNotWrittenTwice) {
    const std::string path = dir.file("w.gap");
    const int full = ::open("/dev/full", O_WRONLY | O_CLOEXEC);
    ASSERT_GE(full, 0);
    const Output run = gaptoolInto(full, {"write", path, "1", "2"});
    ::close(full);
    EXPECT_EQ(run.err, "gaptool: \"" + path +
                           "\" was written, but its report could not be printed: " + kNoSpace +
                           ".\n");
    EXPECT_EQ(run.status, kReportLost);
    EXPECT_EQ(test::readBytes(path), records({{1, 2}}));
}

TEST_F(GaptoolTest, AnImportWhoseReportIsLostSaysItWasWritten) {
    const std::string csv = file("in.csv", {'s', 't', 'a', 'r', 't', '_',  'm', 's', ',', 'e',
                                            'n', 'd', '_', 'm', 's', '\n', '1', ',', '2', '\n'});
    const std::string gap = dir.file("out.gap");
    const int full = ::open("/dev/full", O_WRONLY | O_CLOEXEC);
    ASSERT_GE(full, 0);
    const Output run = gaptoolInto(full, {"import", csv, "--from", "csv", "-o", gap});
    ::close(full);
    EXPECT_EQ(run.err, "gaptool: \"" + gap +
                           "\" was written, but its report could not be printed: " + kNoSpace +
                           ".\n");
    EXPECT_EQ(run.status, kReportLost);
    EXPECT_EQ(test::readBytes(gap), records({{1, 2}}));
}

TEST_F(GaptoolTest, NothingIsChangedOnceTheReportCannotBePrinted) {
    const Bytes content = records({{100, 300}, {500, 520}});
    const std::string first = file("a.gap", content);
    const std::string second = file("b.gap", content);
    const int full = ::open("/dev/full", O_WRONLY | O_CLOEXEC);
    ASSERT_GE(full, 0);
    // With two files, the first file's heading fails before anything is changed.
    const Output run = gaptoolInto(full, {"defrag", first, second});
    ::close(full);
    EXPECT_EQ(run.err, "gaptool: Nothing was changed in \"" + first +
                           "\", since its report could not be printed: " + kNoSpace + ".\n");
    EXPECT_EQ(run.status, kTrouble);
    EXPECT_EQ(test::readBytes(first), content);
    EXPECT_EQ(test::readBytes(second), content);
}

TEST_F(GaptoolTest, AClosedStandardOutputChangesNothing) {
    const Bytes content = records({{100, 300}, {500, 520}});
    const std::string path = file("a.gap", content);
    int unused = ::open("/dev/null", O_RDONLY | O_CLOEXEC);
    ASSERT_GE(unused, 0);
    ::close(unused); // a number that is surely not open
    const Output run = gaptoolInto(unused, {"defrag", path});
    EXPECT_NE(run.err.find("Nothing was changed in \"" + path + "\""), std::string::npos)
        << run.err;
    EXPECT_EQ(run.status, kTrouble);
    EXPECT_EQ(test::readBytes(path), content);
}
#endif

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
    ::testing::Values(
        MisuseCase{"NoCommand", {}, "No command given."},
        MisuseCase{"UnknownCommand", {"fix", "a.gap"}, "Unknown command 'fix'."},
        MisuseCase{"NoFile", {"show"}, "The show command needs at least one FILE."},
        MisuseCase{"EmptyFileArgument", {"check", "a.gap", ""}, "A FILE argument is empty."},
        MisuseCase{
            "WriteWithoutEnd", {"write", "a.gap", "1"}, "The write command takes FILE START END."},
        MisuseCase{"GenericWithTwoFiles",
                   {"generic", "a.gap", "b.gap"},
                   "The generic command takes exactly one FILE."},
        MisuseCase{"EmptySuffix",
                   {"defrag", "--suffix=", "a.gap"},
                   "The backup suffix must not be empty."},
        MisuseCase{"SuffixWithoutValue",
                   {"defrag", "a.gap", "--suffix"},
                   "The --suffix option needs a suffix."},
        MisuseCase{
            "UnknownOption", {"generic", "--backups", "a.gap"}, "Unknown option '--backups'."},
        MisuseCase{
            "OnlyOptions", {"defrag", "--backup"}, "The defrag command needs at least one FILE."}),
    test::RowName{});

TEST(Gaptool, HelpAndVersionSucceed) {
    const Output help = gaptool({"--help"});
    EXPECT_EQ(help.out.rfind("Usage: gaptool COMMAND FILE...\n", 0), 0U);
    EXPECT_EQ(help.status, kAllCorrect);
    for (const std::string line :
         {"\n  defrag [--backup] [--suffix S] FILE...\n",
          "\n  generic [--backup] [--suffix S] FILE\n",
          "\n  --backup               defrag, generic: first keep the content replaced as FILE~;\n",
          "\n  --suffix S             use S instead of \"~\" for the backup (implies --backup)\n"})
        EXPECT_NE(help.out.find(line), std::string::npos) << line;
    const Output version = gaptool({"--version"});
    EXPECT_EQ(version.out.rfind("gaptool (Ravik) ", 0), 0U);
    EXPECT_EQ(version.status, kAllCorrect);
}

} // namespace
} // namespace ravik::cli
