// SPDX-License-Identifier: GPL-3.0-or-later
#include "cli/gaptool.hpp"
#include "cli/gaptoolrun.hpp"
#include "cli/recordings.hpp"
#include "core/exchange/jsontext.hpp"
#include "core/text/plaintext.hpp"
#include "support/testfiles.hpp"

#include <cstdlib>
#include <filesystem>
#include <gtest/gtest.h>
#include <locale>
#include <sstream>

#if defined(__SANITIZE_ADDRESS__)
#include <sanitizer/lsan_interface.h>
#endif
#ifndef _WIN32
#include <sched.h>
#include <sys/mount.h>
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

std::string textOf(const std::string& path) {
    const Bytes bytes = test::readBytes(path);
    return std::string(bytes.begin(), bytes.end());
}

class Exchange : public ::testing::Test {
protected:
    std::string file(const std::string& name, const Bytes& bytes) { return dir.write(name, bytes); }
    std::string text(const std::string& name, const std::string& content) {
        return dir.write(name, Bytes(content.begin(), content.end()));
    }
    test::TempDir dir;
};

const Bytes kSpeech = records({{0, 180}, {620, 700}, {1310, 1345}, {7480, 32767}});

class ExchangeRoundTrip : public Exchange, public ::testing::WithParamInterface<std::string> {};

TEST_P(ExchangeRoundTrip, ExportThenImportGivesTheSameBytes) {
    const std::string gap = file("speech.gap", kSpeech);
    const std::string exported = dir.file("speech.out");
    ASSERT_EQ(gaptool({"export", gap, "--to", GetParam(), "-o", exported}).status,
              ExitStatus::AllCorrect);
    const Output run =
        gaptool({"import", exported, "--from", GetParam(), "-o", dir.file("back.gap")});
    EXPECT_EQ(run.status, ExitStatus::AllCorrect) << run.err;
    EXPECT_EQ(run.out, dir.file("back.gap") + ": 4 silences from " + exported + "\n");
    EXPECT_EQ(test::readBytes(dir.file("back.gap")), kSpeech);
}

INSTANTIATE_TEST_SUITE_P(EveryFormat, ExchangeRoundTrip,
                         ::testing::Values("audacity", "textgrid", "csv", "json"));

TEST_F(Exchange, ExportWritesToStandardOutputWithoutO) {
    const Output run = gaptool({"export", file("a.gap", records({{100, 300}})), "--to", "csv"});
    EXPECT_EQ(run.out, "start_ms,end_ms\n100,300\n");
    EXPECT_EQ(run.status, ExitStatus::AllCorrect);
}

TEST_F(Exchange, ExportRefusesAnIncorrectFileNamingTheCheck) {
    const std::string gap = file("bad.gap", records({{100, 300}, {200, 400}}));
    const Output run = gaptool({"export", gap, "--to", "csv"});
    EXPECT_EQ(run.out, "");
    EXPECT_EQ(run.err, "gaptool: Did not export \"" + gap +
                           "\": Its structure is incorrect: Error: GAP possibly overwritten; "
                           "Silence starting at offset 8 is misplaced.\n");
    EXPECT_EQ(run.status, ExitStatus::Incorrect);
}

TEST_F(Exchange, ExportSaysWhatTheTextGridCouldNotHold) {
    const std::string gap = file("a.gap", records({{0, 0}, {100, 300}}));
    const Output run = gaptool({"export", gap, "--to", "textgrid"});
    EXPECT_EQ(run.err, "gaptool: " + gap +
                           ": the silence from 0 to 0 ms lasts no time, which a TextGrid interval "
                           "cannot; it is left out and the speech around it is one interval.\n");
    EXPECT_EQ(run.status, ExitStatus::AllCorrect);
}

TEST_F(Exchange, AnExistingOutputIsReplacedOnlyWithForce) {
    const std::string input = text("in.csv", "100,300\n");
    const std::string gap = file("out.gap", records({{1, 2}}));
    for (const std::string command : {"import", "export"}) {
        const std::vector<std::string> arguments =
            command == "import"
                ? std::vector<std::string>{"import", input, "--from", "csv", "-o", gap}
                : std::vector<std::string>{"export", gap, "--to", "csv", "-o", input};
        const std::string target = command == "import" ? gap : input;
        const Bytes before = test::readBytes(target);
        const Output refused = gaptool(arguments);
        EXPECT_EQ(refused.err, "gaptool: Did not replace \"" + target +
                                   "\": It exists already (--force replaces it).\n");
        EXPECT_EQ(refused.status, ExitStatus::Trouble);
        EXPECT_EQ(test::readBytes(target), before);
    }
    EXPECT_EQ(gaptool({"import", input, "--from", "csv", "-o", gap, "--force"}).status,
              ExitStatus::AllCorrect);
    EXPECT_EQ(test::readBytes(gap), records({{100, 300}}));
    EXPECT_EQ(test::namesIn(dir.path()), (std::vector<std::string>{"in.csv", "out.gap"}));
}

TEST_F(Exchange, ARefusedImportNamesTheFileAndLineAndWritesNothing) {
    const std::string input = text("labels.txt", "0.1\t0.5\ta\n0.5\t0.9\tb\n");
    const Output run = gaptool({"import", input, "--from", "audacity", "-o", dir.file("x.gap")});
    EXPECT_EQ(run.err, "gaptool: Could not import \"" + input +
                           "\": line 2: the silence from 500 to 900 ms does not start after the "
                           "previous one ends (500 ms); a GAP file needs at least 1 ms between "
                           "silences (--merge joins them).\n");
    EXPECT_EQ(run.status, ExitStatus::Incorrect);
    EXPECT_FALSE(fs::exists(dir.file("x.gap")));

    EXPECT_EQ(
        gaptool({"import", input, "--from", "audacity", "--merge", "-o", dir.file("x.gap")}).status,
        ExitStatus::AllCorrect);
    EXPECT_EQ(test::readBytes(dir.file("x.gap")), records({{100, 900}}));
}

struct DiffCase {
    std::string name;
    Bytes a;
    Bytes b;
    std::vector<std::string> options;
    std::string out;
    ExitStatus status;
};

// Another program's file is read up to 256 MiB, beyond what a GAP file may be (8 MiB): a
// spreadsheet's export with notes beside each silence is that long. A longer one is refused,
// saying what the limit is for such a file.
TEST_F(Exchange, AnInputIsReadUpToItsOwnLimitNotAGapFilesOne) {
    std::string csv = "start_ms,end_ms,note\n";
    const std::string note(1'000, 'n');
    for (int at = 0; at < 10'000; ++at)
        csv += std::to_string(3 * at) + "," + std::to_string(3 * at + 1) + "," + note + "\n";
    ASSERT_GT(csv.size(), std::size_t{8} << 20);
    const std::string input = dir.write("notes.csv", Bytes(csv.begin(), csv.end()));
    const Output run = gaptool({"import", input, "--from", "csv", "-o", dir.file("notes.gap")});
    EXPECT_EQ(run.status, ExitStatus::AllCorrect) << run.err;
    EXPECT_EQ(fs::file_size(dir.file("notes.gap")), 10'000u * 8);

    const std::string huge = dir.file("huge.csv");
    test::writeBytes(huge, {});
    fs::resize_file(huge, (std::uintmax_t{256} << 20) + 1);
    const Output refused = gaptool({"import", huge, "--from", "csv", "-o", dir.file("huge.gap")});
    EXPECT_EQ(refused.status, ExitStatus::Trouble);
    EXPECT_EQ(refused.err, "gaptool: Could not open \"" + huge +
                               "\": It is 268435457 bytes long, "
                               "more than the 268435456 bytes (256 MiB) that the program reads of "
                               "another program's file.\n");
    EXPECT_FALSE(fs::exists(dir.file("huge.gap")));
}

class Diff : public Exchange, public ::testing::WithParamInterface<DiffCase> {};

TEST_P(Diff, ListsTheDifferencesInTimeOrder) {
    std::vector<std::string> arguments{"diff", file("a.gap", GetParam().a),
                                       file("b.gap", GetParam().b)};
    arguments.insert(arguments.end(), GetParam().options.begin(), GetParam().options.end());
    const Output run = gaptool(arguments);
    EXPECT_EQ(run.out, GetParam().out);
    EXPECT_EQ(run.status, GetParam().status);
}

INSTANTIATE_TEST_SUITE_P(
    Rows, Diff,
    ::testing::Values(
        DiffCase{"SameFilesAgree", kSpeech, kSpeech, {}, "", ExitStatus::AllCorrect},
        DiffCase{"EveryKindOfDifference",
                 records({{0, 100}, {300, 400}, {1000, 1200}}),
                 records({{300, 405}, {600, 700}, {1010, 1190}}),
                 {},
                 "only in A: 0 to 100 ms\n"
                 "moved: 300 to 400 ms -> 300 to 405 ms (start 0 ms, end +5 ms)\n"
                 "only in B: 600 to 700 ms\n"
                 "moved: 1000 to 1200 ms -> 1010 to 1190 ms (start +10 ms, end -10 ms)\n",
                 ExitStatus::Incorrect},
        DiffCase{"ToleranceHidesSmallMoves",
                 records({{300, 400}, {1000, 1200}}),
                 records({{300, 405}, {1011, 1190}}),
                 {"--tolerance", "10"},
                 "moved: 1000 to 1200 ms -> 1011 to 1190 ms (start +11 ms, end -10 ms)\n",
                 ExitStatus::Incorrect},
        DiffCase{"WithinToleranceAgree",
                 records({{300, 400}}),
                 records({{310, 390}}),
                 {"--tolerance", "10"},
                 "",
                 ExitStatus::AllCorrect}),
    test::RowName{});

TEST_F(Exchange, DiffOfAnUnreadableFileFailsNamingIt) {
    const std::string missing = dir.file("missing.gap");
    const Output run = gaptool({"diff", file("a.gap", kSpeech), missing});
    EXPECT_NE(run.err.find("\"" + missing + "\""), std::string::npos);
    EXPECT_EQ(run.status, ExitStatus::Trouble);
}

// --- lint --------------------------------------------------------------------------------

class Lint : public Exchange {
protected:
    // A small voice pack: clean files, files with findings, folders inside folders, a link back
    // up the tree, and files that are not GAP files.
    void SetUp() override {
        fs::create_directories(dir.path() / "pack" / "hero");
        fs::create_directories(dir.path() / "pack" / "villain");
        file("pack/hero/a.gap", records({{100, 300}}));
        file("pack/hero/b.GAP", records({{100, 130}}));
        file("pack/villain/c.gap", test::concat(records({{100, 300}}), {1, 2}));
        file("pack/villain/readme.txt", {1});
        file("pack/z.gap", records({{100, 300}, {1000, 1200}}));
        std::error_code error;
        fs::create_directory_symlink(dir.path() / "pack", dir.path() / "pack" / "hero" / "up",
                                     error);
    }
    std::string pack() const { return dir.file("pack"); }
    /// A path inside the pack as lint prints it, with the system's separators.
    std::string in(const std::string& relative) const {
        const std::u8string text =
            (dir.path() / "pack" / fs::path(relative).make_preferred()).u8string();
        return std::string(text.begin(), text.end());
    }
};

TEST_F(Lint, ListsEveryFindingWithItsPathInNameOrder) {
    const Output run = gaptool({"lint", pack()});
    const std::string b = in("hero/b.GAP");
    const std::string c = in("villain/c.gap");
    EXPECT_EQ(run.out,
              b +
                  ":0: fragment: the silence from 100 to 130 ms lasts 30 ms; defrag drops "
                  "silences of 50 ms or less\n" +
                  c +
                  ":8: structure: the structure check fails: Silence end is before silence "
                  "start.\n" +
                  c +
                  ":8: fragment: the silence from 513 to 0 ms ends before it starts; defrag "
                  "drops it\n" +
                  c +
                  ":8: partial-record: the file ends 2 bytes into a record of 8; the check "
                  "and defrag read the missing bytes as zero\n" +
                  c +
                  ":12: count: the timeline counts 1.5 silences where the file holds 2 "
                  "records: the zero field at offset 12 ends its count\n");
    EXPECT_EQ(run.err, "");
    EXPECT_EQ(run.status, ExitStatus::Incorrect);
}

TEST_F(Lint, ThreadsChangeNothingInTheReport) {
    const Output one = gaptool({"lint", "-j", "1", pack(), pack() + "/z.gap"});
    for (const std::string jobs : {"2", "7"})
        EXPECT_EQ(gaptool({"lint", "-j", jobs, pack(), pack() + "/z.gap"}).out, one.out);
}

TEST_F(Lint, CleanFilesExitZeroAndUnreadableOnesTwo) {
    EXPECT_EQ(gaptool({"lint", pack() + "/hero/a.gap", pack() + "/z.gap"}).status,
              ExitStatus::AllCorrect);
    const std::string missing = dir.file("missing");
    const Output run = gaptool({"lint", pack() + "/z.gap", missing});
    EXPECT_EQ(run.err, "gaptool: Could not open \"" + missing + "\": " +
                           std::make_error_code(std::errc::no_such_file_or_directory).message() +
                           ".\n");
    EXPECT_EQ(run.status, ExitStatus::Trouble);
}

TEST_F(Lint, JsonReportHoldsFileKindOffsetTimeAndMessage) {
    const std::string missing = dir.file("missing.gap");
    const Output run = gaptool({"lint", "--json", in("hero/b.GAP"), missing});
    const jsontext::Parsed parsed = jsontext::parse(run.out);
    ASSERT_FALSE(parsed.error) << *parsed.error << run.out;
    EXPECT_EQ(parsed.value.member("files")->text, "2");
    const auto& findings = parsed.value.member("findings")->items;
    ASSERT_EQ(findings.size(), 2U);
    EXPECT_EQ(findings[0].member("file")->text, in("hero/b.GAP"));
    EXPECT_EQ(findings[0].member("kind")->text, "fragment");
    EXPECT_EQ(findings[0].member("offset")->text, "0");
    EXPECT_EQ(findings[0].member("time_ms")->text, "100");
    EXPECT_EQ(findings[1].member("file")->text, missing);
    EXPECT_EQ(findings[1].member("kind")->text, "unreadable");
    EXPECT_EQ(findings[1].member("offset")->kind, jsontext::Value::Kind::Null);
    EXPECT_NE(findings[1].member("message")->text.find(missing), std::string::npos);
    EXPECT_EQ(run.status, ExitStatus::Trouble);
}

#ifndef _WIN32 // Windows names hold no control characters and no bytes that are not UTF-16
// A file name shows in a report only as every text report shows outside text.
TEST_F(Lint, AFileNameCannotForgeALineOrSteerTheTerminal) {
    const std::string forged =
        file("a.gap\nforged.gap:16: structure: FORGED\x1b[2J\r\t\x7f.gap", records({{100, 130}}));
    const Output run = gaptool({"lint", forged});
    EXPECT_EQ(run.out, dir.file("a.gap\\nforged.gap:16: structure: FORGED\\x1b[2J\\r\\t\\x7f.gap") +
                           ":0: fragment: the silence from 100 to 130 ms lasts 30 ms; defrag drops "
                           "silences of 50 ms or less\n");
    EXPECT_EQ(run.status, ExitStatus::Incorrect);
}

// JSON output is UTF-8, and a name in another encoding comes back byte for byte.
TEST_F(Lint, JsonIsUtf8AndANameInAnotherEncodingComesBack) {
    const std::string latin1 = file("Stimme \xe4 \xff.gap", records({{100, 130}}));
    for (const std::vector<std::string>& arguments :
         {std::vector<std::string>{"lint", "--json", latin1},
          std::vector<std::string>{"export", latin1, "--to", "json"}}) {
        const Output run = gaptool(arguments);
        for (std::size_t at = 0; at < run.out.size();) {
            const std::size_t length = plaintext::utf8SequenceAt(run.out, at);
            ASSERT_GT(length, 0U) << "byte " << at << " of " << run.out;
            at += length;
        }
        const jsontext::Parsed parsed = jsontext::parse(run.out);
        ASSERT_FALSE(parsed.error) << *parsed.error;
        const jsontext::Value* name = arguments[0] == "lint"
                                          ? parsed.value.member("findings")->items[0].member("file")
                                          : parsed.value.member("file");
        EXPECT_EQ(name->text, latin1);
    }
}

// A .gap name that leads nowhere is a file that cannot be read, as check says of it.
TEST_F(Lint, BrokenLinksAreUnreadable) {
    fs::create_directory(dir.path() / "links");
    fs::create_symlink("nowhere.gap", dir.path() / "links" / "voice.gap");
    fs::create_symlink("b.gap", dir.path() / "links" / "a.gap");
    fs::create_symlink("a.gap", dir.path() / "links" / "b.gap");
    fs::create_symlink("nowhere", dir.path() / "links" / "folder");
    const Output run = gaptool({"lint", dir.file("links")});
    const auto reason = [](std::errc error) { return std::make_error_code(error).message(); };
    EXPECT_EQ(run.err, "gaptool: Could not open \"" + dir.file("links/a.gap") +
                           "\": " + reason(std::errc::too_many_symbolic_link_levels) +
                           ".\ngaptool: Could not open \"" + dir.file("links/b.gap") +
                           "\": " + reason(std::errc::too_many_symbolic_link_levels) +
                           ".\ngaptool: Could not open \"" + dir.file("links/voice.gap") +
                           "\": " + reason(std::errc::no_such_file_or_directory) + ".\n");
    EXPECT_EQ(run.status, ExitStatus::Trouble);
    const jsontext::Parsed json =
        jsontext::parse(gaptool({"lint", "--json", dir.file("links")}).out);
    ASSERT_FALSE(json.error);
    EXPECT_EQ(json.value.member("files")->text, "3");
    for (const jsontext::Value& finding : json.value.member("findings")->items)
        EXPECT_EQ(finding.member("kind")->text, "unreadable");
}

// A folder is known by its identity, not by its path: one mounted a second time inside the tree
// is listed once.
TEST_F(Lint, AFolderReachedAgainIsListedOnceHoweverItIsReached) {
    if (::geteuid() != 0)
        GTEST_SKIP() << "needs root to mount a folder a second time";
    const std::string answer = test::runInChild([&] {
        const fs::path again = dir.path() / "pack" / "villain" / "again";
        fs::create_directory(again);
        // A mount of this process's own, gone with it whatever happens.
        if (::unshare(CLONE_NEWNS) != 0 ||
            ::mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) != 0 ||
            ::mount((dir.path() / "pack").c_str(), again.c_str(), nullptr, MS_BIND, nullptr) != 0)
            return std::string("skip");
        return gaptool({"lint", pack()}).out;
    });
    if (answer == "skip")
        GTEST_SKIP() << "this system does not let the test mount a folder";
    EXPECT_EQ(answer, gaptool({"lint", pack()}).out);
}
#endif

// No command writes over the file it reads, by whatever path the two are named.
TEST_F(Exchange, NoCommandWritesOverItsOwnInput) {
    const std::string gap = file("g.gap", kSpeech);
    const std::string csv = text("in.csv", "start_ms,end_ms\n1,2\n");
    std::error_code noLinks;
    fs::create_symlink(gap, dir.path() / "link.gap", noLinks);
    const std::string sameGap = noLinks ? dir.file("./g.gap") : dir.file("link.gap");
    for (const std::vector<std::string>& arguments :
         {std::vector<std::string>{"export", gap, "--to", "csv", "-o", sameGap, "--force"},
          std::vector<std::string>{"export", gap, "--to", "json", "-o", dir.file("./g.gap")},
          std::vector<std::string>{"import", csv, "--from", "csv", "-o", csv, "--force"}}) {
        const Output run = gaptool(arguments);
        EXPECT_EQ(run.status, ExitStatus::Trouble) << arguments[0];
        EXPECT_NE(run.err.find("Did not write \"" + arguments[5] +
                               "\": It is the file this "
                               "command reads"),
                  std::string::npos)
            << run.err;
    }
    EXPECT_EQ(test::readBytes(gap), kSpeech);
    EXPECT_EQ(textOf(csv), "start_ms,end_ms\n1,2\n");
}

// With the audio library, lint also compares each file with the recording of the same name.
TEST_F(Exchange, LintComparesAFileWithTheRecordingBesideIt) {
    if (!recordings::available())
        GTEST_SKIP() << "this gaptool reads no recordings";
    const fs::path examples = RAVIK_EXAMPLES_FOLDER;
    fs::copy_file(examples / "speech.wav", dir.path() / "speech.wav");
    fs::copy_file(examples / "speech.gap", dir.path() / "speech.gap");
    fs::copy_file(examples / "speech.wav", dir.path() / "wrong.wav");
    file("wrong.gap", records({{0, 5000}}));

    EXPECT_EQ(gaptool({"lint", dir.file("speech.gap")}).out, "");
    const Output run = gaptool({"lint", "--json", dir.file("wrong.gap")});
    const jsontext::Parsed parsed = jsontext::parse(run.out);
    ASSERT_FALSE(parsed.error) << *parsed.error;
    const auto& findings = parsed.value.member("findings")->items;
    ASSERT_FALSE(findings.empty());
    for (const jsontext::Value& finding : findings) {
        EXPECT_EQ(finding.member("kind")->text, "recording");
        EXPECT_EQ(finding.member("message")->text.rfind("wrong.wav: ", 0), 0U);
    }
    EXPECT_EQ(findings.front().member("message")->text.rfind(
                  "wrong.wav: Silence 1 (0 to 5000 ms) holds sound from ", 0),
              0U);
    EXPECT_EQ(run.status, ExitStatus::Incorrect);
    // A folder's files find their recordings too.
    EXPECT_EQ(gaptool({"lint", dir.file("")}).out, gaptool({"lint", dir.file("wrong.gap")}).out);

    // The recording's length ends an exported TextGrid.
    const Output grid = gaptool({"export", dir.file("speech.gap"), "--to", "textgrid",
                                 "--recording", dir.file("speech.wav")});
    EXPECT_NE(grid.out.find("\nxmax = 7.27"), std::string::npos) << grid.out;
}

// --- Numbers whatever the user's locale ---------------------------------------------------

// glibc keeps the name of a locale set with setlocale for good, which the leak checker would
// report; its allocations are not the program's.
#if defined(__SANITIZE_ADDRESS__)
using LibcAllocations = __lsan::ScopedDisabler;
#else
struct LibcAllocations {};
#endif

// The test set-up makes de_DE.UTF-8 with localedef into the folder LOCPATH names.
TEST(Locale, OutputIsTheSameUnderACommaDecimalLocale) {
    test::TempDir dir;
    const std::string gap = dir.write("a.gap", records({{0, 1500}, {12345, 32767}}));
    const std::string labels = dir.write("labels.txt", Bytes{});
    auto outputs = [&] {
        std::vector<std::string> texts;
        for (const char* format : {"audacity", "textgrid", "csv", "json"})
            texts.push_back(gaptool({"export", gap, "--to", format}).out);
        texts.push_back(gaptool({"lint", "--json", gap}).out);
        test::writeBytes(labels, Bytes(texts[0].begin(), texts[0].end()));
        fs::remove(dir.file("back.gap"));
        const Output back =
            gaptool({"import", labels, "--from", "audacity", "-o", dir.file("back.gap")});
        texts.push_back(back.err + std::to_string(static_cast<int>(back.status)));
        texts.push_back(textOf(dir.file("back.gap")));
        return texts;
    };
    const std::vector<std::string> classic = outputs();

    std::locale german;
    [[maybe_unused]] const LibcAllocations ignored;
    try {
        german = std::locale("de_DE.UTF-8");
    } catch (const std::runtime_error&) {
        const char* folder = std::getenv("LOCPATH");
        ASSERT_FALSE(folder != nullptr && fs::exists(fs::path(folder) / "de_DE.UTF-8"))
            << "de_DE.UTF-8 was made in " << folder << " but cannot be used";
        GTEST_SKIP() << "de_DE.UTF-8 is not available here (localedef could not make it)";
    }
    const std::locale before = std::locale::global(german);
    std::ostringstream probe;
    probe << 1.5 << ' ' << 32767;
    const std::vector<std::string> localised = outputs();
    std::locale::global(before);

    EXPECT_EQ(probe.str(), "1,5 32.767"); // the locale is really in force
    EXPECT_EQ(localised, classic);
    EXPECT_EQ(classic[0], "0.000000\t1.500000\tsilence\n12.345000\t32.767000\tsilence\n");
}

} // namespace
} // namespace ravik::cli
