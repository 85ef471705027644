// SPDX-License-Identifier: GPL-3.0-or-later
#include "cli/gaptool.hpp"
#include "cli/gaptoolrun.hpp"
#include "cli/output.hpp"
#include "core/format/gapformat.hpp"
#include "support/testfiles.hpp"

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <gtest/gtest.h>
#include <set>
#include <sstream>
#include <system_error>

#ifndef _WIN32
#include <fcntl.h>
#include <sys/resource.h>
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
    EXPECT_EQ(run.status, ExitStatus::AllCorrect);
}

TEST_F(GaptoolTest, ShowWritesTheHalfCountWithTheGivenSeparator) {
    const std::string path = file("a.gap", records({{100, 200}, {300, 400}, {500, 0}, {700, 800}}));
    EXPECT_NE(gaptool({"show", path}, ",").out.find("Silence Count : 2,5\n"), std::string::npos);
}

struct CheckStatusCase {
    std::string name;
    std::vector<std::string> files; // "good", "bad" or "missing"
    ExitStatus status;
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
    ::testing::Values(CheckStatusCase{"Correct", {"good"}, ExitStatus::AllCorrect},
                      CheckStatusCase{"Incorrect", {"good", "bad"}, ExitStatus::Incorrect},
                      CheckStatusCase{"Unreadable", {"missing"}, ExitStatus::Trouble},
                      CheckStatusCase{"UnreadableOutweighsIncorrect",
                                      {"bad", "missing", "good"},
                                      ExitStatus::Trouble}),
    test::RowName{});

TEST_F(GaptoolTest, ShowExitsWithOneForAnIncorrectFileAsTheCheckDoes) {
    const std::string bad = file("bad.gap", records({{100, 200}, {150, 300}}));
    const Output run = gaptool({"show", bad});
    EXPECT_EQ(run.status, ExitStatus::Incorrect);
    EXPECT_EQ(run.status, gaptool({"check", bad}).status);
    EXPECT_NE(run.out.find("Silence Count : 2\n"), std::string::npos);
    EXPECT_EQ(gaptool({"show", file("good.gap", records({{100, 200}}))}).status,
              ExitStatus::AllCorrect);
}

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
    EXPECT_EQ(run.status, ExitStatus::AllCorrect);
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
    EXPECT_EQ(run.status, ExitStatus::AllCorrect);
}

TEST_F(GaptoolTest, GenericIntoAMissingFolderPrintsNothingAndFails) {
    const Output run = gaptool({"generic", dir.file("none/generic.gap")});
    EXPECT_EQ(run.out, "");
    EXPECT_NE(run.err.find("none/generic.gap"), std::string::npos);
    EXPECT_EQ(run.status, ExitStatus::Trouble);
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
    EXPECT_EQ(run.status, ExitStatus::AllCorrect);
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
    EXPECT_EQ(run.status, ExitStatus::Trouble);
    EXPECT_EQ(test::readBytes(path), before);
}

TEST_F(GaptoolTest, WriteAppendsOneSilenceAndPrintsItAsTyped) {
    const std::string path = dir.file("new.gap");
    const Output run = gaptool({"write", path, "0100", "250.5"});
    EXPECT_EQ(run.out, "Writing Silence : 0100 - 250.5\n");
    EXPECT_EQ(test::readBytes(path), records({{100, 250}}));
    EXPECT_EQ(run.status, ExitStatus::AllCorrect);
}

TEST_F(GaptoolTest, WriteRefusesATextThatIsNoTime) {
    const std::string path = dir.file("new.gap");
    const Output run = gaptool({"write", path, "-5", "40000"});
    EXPECT_EQ(run.out, "");
    EXPECT_EQ(run.err, "gaptool: Nothing written to \"" + path +
                           "\": The silence end \"40000\" is not a number of milliseconds from "
                           "-32768 to 32767.\n");
    EXPECT_EQ(run.status, ExitStatus::Trouble);
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
    EXPECT_EQ(run.status, ExitStatus::Incorrect);
}

using test::gaptoolInto;
using test::kNoSpace;

TEST_F(GaptoolTest, AWriteWhoseReportIsLostSaysItWasWrittenAndIsNotWrittenTwice) {
    const std::string path = dir.file("w.gap");
    const int full = ::open("/dev/full", O_WRONLY | O_CLOEXEC);
    ASSERT_GE(full, 0);
    const Output run = gaptoolInto(full, {"write", path, "1", "2"});
    ::close(full);
    EXPECT_EQ(run.err, "gaptool: \"" + path +
                           "\" was written, but its report could not be printed: " + kNoSpace +
                           ".\n");
    EXPECT_EQ(run.status, ExitStatus::ReportLost);
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
    EXPECT_EQ(run.status, ExitStatus::ReportLost);
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
    EXPECT_EQ(run.status, ExitStatus::Trouble);
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
    EXPECT_EQ(run.status, ExitStatus::Trouble);
    EXPECT_EQ(test::readBytes(path), content);
}

// Every command's report goes out by one rule: when it cannot be printed, the command says so
// and fails, so that a script tells "differences found" from "report lost".
struct LostReportCase {
    std::string name;
    std::vector<std::string> arguments; ///< "A" and "B" stand for two GAP files that differ
};

class LostReport : public GaptoolTest, public ::testing::WithParamInterface<LostReportCase> {};

TEST_P(LostReport, IsSaidAndFailsWhateverTheCommand) {
    std::vector<std::string> arguments = GetParam().arguments;
    for (std::string& argument : arguments)
        if (argument == "A" || argument == "B")
            argument = file(argument + ".gap", argument == "A" ? records({{100, 200}, {300, 320}})
                                                               : records({{100, 210}}));
    const int full = ::open("/dev/full", O_WRONLY | O_CLOEXEC);
    ASSERT_GE(full, 0);
    const Output intoFull = gaptoolInto(full, arguments);
    ::close(full);
    EXPECT_EQ(intoFull.err, "gaptool: The report could not be printed: " + kNoSpace + ".\n");
    EXPECT_EQ(intoFull.status, ExitStatus::Trouble);

    int unused = ::open("/dev/null", O_RDONLY | O_CLOEXEC);
    ASSERT_GE(unused, 0);
    ::close(unused); // a number that is surely not open
    const Output intoClosed = gaptoolInto(unused, arguments);
    EXPECT_EQ(intoClosed.err,
              "gaptool: The report could not be printed: The standard output is closed.\n");
    EXPECT_EQ(intoClosed.status, ExitStatus::Trouble);
}

INSTANTIATE_TEST_SUITE_P(EveryReport, LostReport,
                         ::testing::Values(LostReportCase{"Check", {"check", "A"}},
                                           LostReportCase{"Show", {"show", "A"}},
                                           LostReportCase{"DiffThatFindsDifferences",
                                                          {"diff", "A", "B"}},
                                           LostReportCase{"Lint", {"lint", "A", "B"}},
                                           LostReportCase{"LintJson", {"lint", "--json", "B"}},
                                           LostReportCase{"Export", {"export", "B", "--to", "csv"}},
                                           LostReportCase{"Help", {"--help"}}),
                         test::RowName{});

// Runs gaptool in a child process whose address space is limited to what it has now and
// `budget` bytes more; answers with its exit status and its messages.
std::string gaptoolWithMemory(std::size_t budget, const std::vector<std::string>& arguments) {
    return test::runInChild(
        [&] {
            // The report goes to the null device as the program's own would, not into memory.
            DescriptorBuffer buffer(::open("/dev/null", O_WRONLY | O_CLOEXEC));
            std::ostream out(&buffer);
            std::ostringstream err;
            const ExitStatus status = runGaptool(arguments, out, err, ".");
            return std::to_string(static_cast<int>(status)) + err.str();
        },
        [&] {
            std::size_t pages = 0;
            if (FILE* statm = std::fopen("/proc/self/statm", "r")) {
                if (std::fscanf(statm, "%zu", &pages) != 1)
                    pages = 0;
                std::fclose(statm);
            }
            const std::size_t now = pages * static_cast<std::size_t>(::sysconf(_SC_PAGESIZE));
            const rlimit limit{now + budget, now + budget};
            return pages > 0 && ::setrlimit(RLIMIT_AS, &limit) == 0;
        });
}

// Out of memory, a command fails as on any other failure, truthfully: exit status 2 and the
// file as it was, or 3 when the file was changed first; never an abort.
TEST_F(GaptoolTest, RunningOutOfMemoryIsAFailureThatNamesTheFile) {
#ifdef RAVIK_SANITIZED
    GTEST_SKIP() << "the sanitizers' own memory does not fit an address-space limit";
#endif
    Bytes largest(kLargestFileSize); // the largest file accepted, every silence a fragment
    for (std::size_t at = 0; at < largest.size(); at += kRecordSize) {
        largest[at] = static_cast<std::uint8_t>(at / 8 % 200);
        largest[at + 4] = static_cast<std::uint8_t>(at / 8 % 200 + 10);
    }
    std::set<ExitStatus> statuses;
    for (const std::size_t megabytes : {4, 12, 24, 40, 64, 96}) {
        for (const std::string command : {"defrag", "show", "lint"}) {
            const std::string path = file("h.gap", largest);
            const std::string answer = gaptoolWithMemory(megabytes << 20, {command, path});
            const auto status = static_cast<ExitStatus>(answer.front() - '0');
            statuses.insert(status);
            const std::string err = answer.substr(1);
            const bool changed = test::readBytes(path) != largest;
            EXPECT_TRUE(status == ExitStatus::AllCorrect || status == ExitStatus::Incorrect ||
                        status == ExitStatus::Trouble || status == ExitStatus::ReportLost)
                << answer;
            EXPECT_EQ(changed, command == "defrag" && (status == ExitStatus::AllCorrect ||
                                                       status == ExitStatus::ReportLost))
                << megabytes << " MB, " << command << ": " << answer;
            if (status >= ExitStatus::Trouble) {
                EXPECT_NE(err.find('"' + path + '"'), std::string::npos) << err;
                EXPECT_NE(err.find(std::make_error_code(std::errc::not_enough_memory).message()),
                          std::string::npos)
                    << err;
            }
        }
    }
    EXPECT_TRUE(statuses.contains(ExitStatus::Trouble)); // the limits were tight enough to fail
}
#endif

// "--" ends the options of every command, so that a file may be named "-take.gap".
struct DoubleDashCase {
    std::string name;
    std::vector<std::string> arguments;
    ExitStatus status;
};

class DoubleDash : public GaptoolTest, public ::testing::WithParamInterface<DoubleDashCase> {
protected:
    void SetUp() override {
        file("-a.gap", records({{100, 200}, {300, 400}}));
        file("-in.csv", {'1', ',', '2', '\n'});
        before_ = fs::current_path();
        fs::current_path(dir.path());
    }
    void TearDown() override { fs::current_path(before_); }

private:
    fs::path before_;
};

TEST_P(DoubleDash, EndsTheOptionsOfEveryCommand) {
    const Output run = gaptool(GetParam().arguments);
    EXPECT_EQ(run.err, "");
    EXPECT_EQ(run.status, GetParam().status);
}

INSTANTIATE_TEST_SUITE_P(
    EveryCommand, DoubleDash,
    ::testing::Values(
        DoubleDashCase{"Check", {"check", "--", "-a.gap"}, ExitStatus::AllCorrect},
        DoubleDashCase{"Show", {"show", "--", "-a.gap"}, ExitStatus::AllCorrect},
        DoubleDashCase{"Defrag", {"defrag", "--backup", "--", "-a.gap"}, ExitStatus::AllCorrect},
        DoubleDashCase{"Generic", {"generic", "--", "-g.gap"}, ExitStatus::AllCorrect},
        DoubleDashCase{"Write", {"write", "--", "-w.gap", "5000", "5100"}, ExitStatus::AllCorrect},
        DoubleDashCase{
            "WriteANegativeTime", {"write", "w.gap", "-5", "100"}, ExitStatus::AllCorrect},
        DoubleDashCase{"Lint", {"lint", "-j", "2", "--", "-a.gap"}, ExitStatus::AllCorrect},
        DoubleDashCase{
            "Diff", {"diff", "--tolerance=3", "--", "-a.gap", "-a.gap"}, ExitStatus::AllCorrect},
        DoubleDashCase{"Export", {"export", "--to=csv", "--", "-a.gap"}, ExitStatus::AllCorrect},
        DoubleDashCase{"Import",
                       {"import", "--from", "csv", "-o", "-b.gap", "--", "-in.csv"},
                       ExitStatus::AllCorrect}),
    test::RowName{});

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
    EXPECT_EQ(run.status, ExitStatus::Trouble);
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
                   "The option --suffix needs a value."},
        MisuseCase{
            "UnknownOption", {"generic", "--backups", "a.gap"}, "Unknown option '--backups'."},
        MisuseCase{
            "OnlyOptions", {"defrag", "--backup"}, "The defrag command needs at least one FILE."},
        MisuseCase{"LintJobsPast999",
                   {"lint", "-j", "1000", "a.gap"},
                   "-j takes a number of jobs from 1 to 999."},
        MisuseCase{"AValueForAnOptionThatTakesNone",
                   {"lint", "--json=yes", "a.gap"},
                   "The option --json takes no value."},
        MisuseCase{"OptionsAfterTheDoubleDashAreFiles",
                   {"write", "--", "a.gap", "--backup"},
                   "The write command takes FILE START END."}),
    test::RowName{});

TEST(Gaptool, HelpAndVersionSucceed) {
    const Output help = gaptool({"--help"});
    EXPECT_EQ(help.out.rfind("Usage: gaptool COMMAND FILE...\n", 0), 0U);
    EXPECT_EQ(help.status, ExitStatus::AllCorrect);
    for (const std::string line :
         {"\n  detect RECORDING|FOLDER...\n"
          "                         find each recording's silences and write them beside it\n",
          "\n  --                     end the options, so that a FILE may start with \"-\"\n",
          "\n  defrag [--backup] [--suffix S] FILE...\n",
          "\n  generic [--backup] [--suffix S] FILE\n",
          "\n  --backup               defrag, generic, detect --force: first keep the content\n",
          "\n  --suffix S             use S instead of \"~\" for the backup (implies --backup)\n"})
        EXPECT_NE(help.out.find(line), std::string::npos) << line;
    const Output version = gaptool({"--version"});
    EXPECT_EQ(version.out.rfind("gaptool (Ravik) ", 0), 0U);
    EXPECT_EQ(version.status, ExitStatus::AllCorrect);
}

} // namespace
} // namespace ravik::cli
