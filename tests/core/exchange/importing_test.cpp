// SPDX-License-Identifier: GPL-3.0-or-later
#include "core/exchange/exchange.hpp"
#include "support/testfiles.hpp"

#include <algorithm>
#include <gtest/gtest.h>
#include <tuple>

namespace ravik {
namespace {
using test::PrintTo;
using namespace exchange;

using Pairs = std::vector<std::pair<std::int64_t, std::int64_t>>;

Pairs pairsOf(const Imported& imported) {
    Pairs pairs;
    for (const silences::Silence& silence : imported.list)
        pairs.emplace_back(silence.start, silence.end);
    return pairs;
}

// Files as the other programs write them, typed here from their documented formats.
struct ForeignCase {
    std::string name;
    Format format;
    std::string text;
    Pairs expected;
};

class ForeignFiles : public ::testing::TestWithParam<ForeignCase> {};

TEST_P(ForeignFiles, AreReadAsTheirProgramsMeanThem) {
    const Imported imported = importSilences(GetParam().format, GetParam().text, {});
    ASSERT_FALSE(imported.refusal) << *imported.refusal;
    EXPECT_EQ(pairsOf(imported), GetParam().expected);
}

// A UTF-8 byte-order mark, as Windows editors write one, changes nothing in any format.
TEST_P(ForeignFiles, AByteOrderMarkChangesNothing) {
    const std::string marked = GetParam().text.starts_with("\xEF\xBB\xBF")
                                   ? GetParam().text
                                   : "\xEF\xBB\xBF" + GetParam().text;
    const Imported imported = importSilences(GetParam().format, marked, {});
    ASSERT_FALSE(imported.refusal) << *imported.refusal;
    EXPECT_EQ(pairsOf(imported), GetParam().expected);
}

const std::string kPraatLong = "File type = \"ooTextFile\"\n"
                               "Object class = \"TextGrid\"\n"
                               "\n"
                               "xmin = 0 \n"
                               "xmax = 2.3 \n"
                               "tiers? <exists> \n"
                               "size = 3 \n"
                               "item []: \n"
                               "    item [1]:\n"
                               "        class = \"IntervalTier\" \n"
                               "        name = \"words\" \n"
                               "        xmin = 0 \n"
                               "        xmax = 2.3 \n"
                               "        intervals: size = 2 \n"
                               "        intervals [1]:\n"
                               "            xmin = 0 \n"
                               "            xmax = 0.4 \n"
                               "            text = \"sil\" \n"
                               "        intervals [2]:\n"
                               "            xmin = 0.4 \n"
                               "            xmax = 2.3 \n"
                               "            text = \"say \"\"sil\"\"\" \n"
                               "    item [2]:\n"
                               "        class = \"TextTier\" \n"
                               "        name = \"bell\" \n"
                               "        xmin = 0 \n"
                               "        xmax = 2.3 \n"
                               "        points: size = 1 \n"
                               "        points [1]:\n"
                               "            number = 1.5 \n"
                               "            mark = \"ding\" \n"
                               "    item [3]:\n"
                               "        class = \"IntervalTier\" \n"
                               "        name = \"silences\" \n"
                               "        xmin = 0 \n"
                               "        xmax = 2.3 \n"
                               "        intervals: size = 4 \n"
                               "        intervals [1]:\n"
                               "            xmin = 0 \n"
                               "            xmax = 0.2505 \n"
                               "            text = \"sil\" \n"
                               "        intervals [2]:\n"
                               "            xmin = 0.2505 \n"
                               "            xmax = 1.1 \n"
                               "            text = \"\" \n"
                               "        intervals [3]:\n"
                               "            xmin = 1.1 \n"
                               "            xmax = 1.85 \n"
                               "            text = \"sil\" \n"
                               "        intervals [4]:\n"
                               "            xmin = 1.85 \n"
                               "            xmax = 2.3 \n"
                               "            text = \"\" \n";

INSTANTIATE_TEST_SUITE_P(
    Rows, ForeignFiles,
    ::testing::Values(
        ForeignCase{"AudacityRegionLabelsWhateverTheirText",
                    Format::Audacity,
                    "0.523000\t1.105000\tpause\r\n"
                    "\\\t100.000000\t5000.000000\r\n" // the label's frequency range
                    "1.500000\t1.500000\tsilence\r\n" // our own zero-length silence
                    "2,250000\t2,750000\t\r\n",       // a decimal comma, an empty label
                    {{523, 1105}, {1500, 1500}, {2250, 2750}}},
        ForeignCase{"PraatLongFormatTakesTheSilencesTier",
                    Format::TextGrid,
                    kPraatLong,
                    {{0, 250}, {1100, 1850}}},
        ForeignCase{"PraatShortFormatWithItsOnlyIntervalTier",
                    Format::TextGrid,
                    "File type = \"ooTextFile\"\nObject class = \"TextGrid\"\n\n0\n1.5\n<exists>\n"
                    "1\n\"IntervalTier\"\n\"phones\"\n0\n1.5\n3\n0\n0.3\n\"sil\"\n0.3\n1.2\n"
                    "\"a\"\n1.2\n1.5\n\"sil\"\n",
                    {{0, 300}, {1200, 1500}}},
        ForeignCase{"TextGridCommentsAndUnits",
                    Format::TextGrid,
                    "\xEF\xBB\xBF\"ooTextFile\" \"TextGrid\" ! made by hand\n0s 1s <exists> 1\n"
                    "\"IntervalTier\" \"silences\" 0s 1s 1 ! one interval\n0.1s 0.9s \"sil\"\n",
                    {{100, 900}}},
        ForeignCase{"RhubarbRestShapeUntilTheNextCue",
                    Format::MouthCues,
                    "0.00\tX\n0.12\tB\n0.34\tX\n0.61\tC\n0.75\tG\n0.90\tX\n",
                    {{0, 120}, {340, 610}}},
        ForeignCase{"FfmpegSilencedetectLog",
                    Format::SilenceDetect,
                    "Input #0, wav, from 'line.wav':\n"
                    "  Duration: 00:00:03.00, bitrate: 705 kb/s\n"
                    "[silencedetect @ 0x55d7c2a0e6c0] silence_start: 0\n"
                    "[silencedetect @ 0x55d7c2a0e6c0] silence_end: 0.523469 | "
                    "silence_duration: 0.523469\n"
                    "size=N/A time=00:00:01.20 bitrate=N/A speed= 240x    \n"
                    "[silencedetect @ 0x55d7c2a0e6c0] silence_start: 1.25302\n"
                    "[silencedetect @ 0x55d7c2a0e6c0] silence_end: 1.81 | silence_duration: "
                    "0.55698\n",
                    {{0, 523}, {1254, 1810}}},
        ForeignCase{"CsvFromASpreadsheetWithSemicolonsAndCommas",
                    Format::Csv,
                    "Start;End;Note\r\n100,4;200,6;a\r\n300;400;b\r\n",
                    {{101, 200}, {300, 400}}},
        ForeignCase{"JsonBareListInAnyLayout",
                    Format::Json,
                    "[{\"end_ms\": 20, \"start_ms\": 10}, {\"start_ms\": 3e1, \"end_ms\": 40.9}]",
                    {{10, 20}, {30, 40}}}),
    test::RowName{});

// Every refusal names the input line that caused it, and the option that mends it if any.
struct RefusalCase {
    std::string name;
    Format format;
    std::string text;
    std::string refusal;
};

class Refusals : public ::testing::TestWithParam<RefusalCase> {};

TEST_P(Refusals, NameTheInputLine) {
    const Imported imported = importSilences(GetParam().format, GetParam().text, {});
    ASSERT_TRUE(imported.refusal);
    EXPECT_EQ(imported.refusal->substr(0, GetParam().refusal.size()), GetParam().refusal)
        << *imported.refusal;
    EXPECT_TRUE(imported.list.empty());
}

INSTANTIATE_TEST_SUITE_P(
    Rows, Refusals,
    ::testing::Values(
        RefusalCase{"AudacityPointLabel", Format::Audacity, "0.1\t0.2\ta\n2.0\t2.0\tbreath\n",
                    "line 2: the point label \"breath\" marks no stretch of time; only region "
                    "labels become silences (--skip-points leaves it out)"},
        RefusalCase{"AudacityNotANumber", Format::Audacity, "\n\nabc\t1\tx\n",
                    "line 3: \"abc\" is not a number (the start in seconds was expected)"},
        RefusalCase{"AudacityOverlappingLabels", Format::Audacity, "0.1\t0.5\ta\n0.4\t0.9\tb\n",
                    "line 2: the silence from 400 to 900 ms does not start after the previous "
                    "one ends (500 ms); a GAP file needs at least 1 ms between silences (--merge "
                    "joins them)"},
        RefusalCase{"AudacityLabelsOutOfOrder", Format::Audacity, "5\t6\ta\n1\t2\tb\n",
                    "line 2: the silence from 1000 to 2000 ms starts before the one before it "
                    "(5000 ms) (--sort orders them)"},
        RefusalCase{"NoWholeMillisecond", Format::Audacity, "0.0012\t0.0018\ta\n",
                    "line 1: the silence from 1 to 2 ms holds no whole millisecond (--drop-tiny "
                    "leaves it out)"},
        RefusalCase{"CsvPastTheLatestTime", Format::Csv, "start_ms,end_ms\n0,10\n32000,33000\n",
                    "line 3: the silence from 32000 to 33000 ms ends after 32767 ms, the latest "
                    "time a GAP file holds (--clip cuts it there)"},
        RefusalCase{"CsvEndBeforeStart", Format::Csv, "20,10\n",
                    "line 1: the silence from 20 to 10 ms ends before it starts"},
        RefusalCase{"CsvOneField", Format::Csv, "start_ms,end_ms\n10\n",
                    "line 2: a row holds START_MS,END_MS"},
        RefusalCase{"SilencedetectNegativeStart", Format::SilenceDetect,
                    "x\n[silencedetect @ 0x1] silence_start: -0.00133\n"
                    "[silencedetect @ 0x1] silence_end: 0.5 | silence_duration: 0.5\n",
                    "line 2: the silence from -1 to 500 ms starts before 0 ms (--clip cuts it "
                    "there)"},
        RefusalCase{"SilencedetectEndWithoutStart", Format::SilenceDetect,
                    "a\nb\n[silencedetect @ 0x1] silence_end: 0.5 | silence_duration: 0.5\n",
                    "line 3: silence_end without a silence_start before it"},
        RefusalCase{"SilencedetectStartWithoutEnd", Format::SilenceDetect,
                    "[silencedetect @ 0x1] silence_start: 0.5\nsize=N/A\n",
                    "line 1: this silence_start has no silence_end after it"},
        RefusalCase{"MouthCueUnknownShape", Format::MouthCues, "0.00\tX\n0.10\tQ\n",
                    "line 2: a mouth cue is TIME<TAB>SHAPE, the shape one of A to H or X"},
        RefusalCase{"MouthCuesGoingBack", Format::MouthCues, "0.50\tX\n0.10\tA\n",
                    "line 2: this cue comes before the one above it"},
        RefusalCase{"TextGridWithoutAChoice", Format::TextGrid,
                    "\"ooTextFile\"\n\"TextGrid\"\n0 1 <exists>\n2\n"
                    "\"IntervalTier\" \"a\" 0 1 0\n\"IntervalTier\" \"b\" 0 1 0\n",
                    "line 4: none of the TextGrid's 2 interval tiers is named \"silences\""},
        RefusalCase{"TextGridCutShort", Format::TextGrid,
                    "\"ooTextFile\"\n\"TextGrid\"\n0 1 <exists>\n1\n"
                    "\"IntervalTier\" \"silences\" 0 1 2\n0 0.5 \"sil\"\n0.5\n",
                    "line 7: the TextGrid ends where an interval's xmax should follow"},
        RefusalCase{"TextGridInUtf16", Format::TextGrid, std::string("\xFF\xFE\"\0", 4),
                    "line 1: the file is in UTF-16; save it as UTF-8"},
        RefusalCase{"NotATextGrid", Format::TextGrid, "\"ooTextFile\"\n\"Pitch 1\"\n",
                    "line 1: this is not a TextGrid in Praat's text format"},
        RefusalCase{"JsonSilenceWithoutEnd", Format::Json,
                    "{\"silences\": [\n  {\"start_ms\": 1, \"end_ms\": 2},\n\n  {\"start_ms\": 5}"
                    "\n]}",
                    "line 4: a silence is {\"start_ms\": NUMBER, \"end_ms\": NUMBER}"},
        RefusalCase{"JsonBroken", Format::Json, "{\"silences\": [\n{\"start_ms\" 1}]}",
                    "line 2: ':' was expected after a member's name"},
        // Which of two values was meant cannot be told: neither is taken.
        RefusalCase{"JsonSilenceWithAKeyTwice", Format::Json,
                    "[{\"start_ms\": 1, \"end_ms\": 100,\n \"start_ms\": 50}]",
                    "line 2: the member \"start_ms\" appears twice in one object"},
        RefusalCase{"JsonSilencesListedTwice", Format::Json,
                    "{\"silences\": [],\r\"silences\": [{\"start_ms\": 1, \"end_ms\": 2}]}",
                    "line 2: the member \"silences\" appears twice in one object"},
        RefusalCase{"JsonManyMembersOneRepeated", Format::Json,
                    [] {
                        std::string object = "{";
                        for (int i = 0; i < 40; ++i)
                            object += "\"m" + std::to_string(i) + "\": 0,\n";
                        return object + "\"m7\": 1, \"silences\": []}";
                    }(),
                    "line 41: the member \"m7\" appears twice in one object"},
        RefusalCase{"JsonEscapedLineBreak", Format::Json, "[\"a\\\r\"]",
                    "line 1: a string runs past the end of its line"},
        RefusalCase{"JsonUnknownEscape", Format::Json, "[\"a\\q\"]",
                    "line 1: a string holds \\q, which is no JSON escape"},
        // A first line that is neither numbers nor names the two columns is no header.
        RefusalCase{"CsvWhoseOnlyLineIsText", Format::Csv, "hello\n",
                    "line 1: \"hello\" is neither a row of numbers nor a header naming the start "
                    "and end columns (start_ms,end_ms)"},
        RefusalCase{"CsvHeaderNamingOtherColumns", Format::Csv, "id,start_ms,end_ms\n1,100,200\n",
                    "line 1: \"id,start_ms,end_ms\" is neither a row of numbers nor a header"},
        RefusalCase{"AHugeFieldIsQuotedInPart", Format::Csv,
                    "start,end\n" + std::string(5000, '9') + "x,1\n",
                    "line 2: \"" + std::string(57, '9') + "...\" is not a number"}),
    test::RowName{});

// The same file written with each of the three line breaks: LF (Unix), CR LF (Windows) and a
// lone CR (the old Mac OS, and spreadsheets that still write it).
struct LineEndCase {
    std::string name;
    Format format;
    std::string text; ///< with LF; each row rewrites it with its own break
    Pairs expected;
};

std::string withBreaks(const std::string& text, std::string_view lineBreak) {
    std::string rewritten;
    for (const char c : text) {
        if (c == '\n')
            rewritten += lineBreak;
        else
            rewritten += c;
    }
    return rewritten;
}

class LineEnds : public ::testing::TestWithParam<std::tuple<LineEndCase, std::string>> {};

TEST_P(LineEnds, EveryKindEndsALineAndEveryLineCounts) {
    const auto& [row, lineBreak] = GetParam();
    const Imported imported = importSilences(row.format, withBreaks(row.text, lineBreak), {});
    ASSERT_FALSE(imported.refusal) << *imported.refusal;
    EXPECT_EQ(pairsOf(imported), row.expected);
    // A refusal names the same line whichever the breaks are.
    const Imported refused =
        importSilences(row.format, withBreaks(row.text + "\n!x\t\"\n", lineBreak), {});
    if (row.format != Format::SilenceDetect && row.format != Format::TextGrid) {
        ASSERT_TRUE(refused.refusal);
        const std::string lines =
            std::to_string(std::count(row.text.begin(), row.text.end(), '\n'));
        EXPECT_TRUE(refused.refusal->starts_with("line " + std::to_string(std::stoi(lines) + 2)))
            << *refused.refusal;
    }
}

INSTANTIATE_TEST_SUITE_P(
    EveryFormat, LineEnds,
    ::testing::Combine(
        ::testing::Values(
            LineEndCase{"Csv",
                        Format::Csv,
                        "start_ms,end_ms\n100,200\n300,400\n",
                        {{100, 200}, {300, 400}}},
            LineEndCase{"Audacity",
                        Format::Audacity,
                        "0.1\t0.2\ta\n0.3\t0.4\tb\n",
                        {{100, 200}, {300, 400}}},
            LineEndCase{"Json",
                        Format::Json,
                        "{\"silences\": [\n{\"start_ms\": 100, \"end_ms\": 200},\n"
                        "{\"start_ms\": 300, \"end_ms\": 400}]}\n",
                        {{100, 200}, {300, 400}}},
            LineEndCase{"TextGrid",
                        Format::TextGrid,
                        "\"ooTextFile\"\n\"TextGrid\" ! a comment\n0 1 <exists>\n1\n"
                        "\"IntervalTier\" \"silences\" 0 1 2\n0.1 0.2 \"sil\"\n0.3 0.4 \"sil\"\n",
                        {{100, 200}, {300, 400}}},
            LineEndCase{"SilenceDetect",
                        Format::SilenceDetect,
                        "x\nsilence_start: 0.1\nsilence_end: 0.2 | d\nsilence_start: 0.3\n"
                        "silence_end: 0.4 | d\n",
                        {{100, 200}, {300, 400}}},
            LineEndCase{"MouthCues",
                        Format::MouthCues,
                        "0.1\tX\n0.2\tA\n0.3\tX\n0.4\tB\n",
                        {{100, 200}, {300, 400}}}),
        ::testing::Values("\n", "\r\n", "\r")),
    [](const auto& row) {
        const std::string& lineBreak = std::get<1>(row.param);
        return std::get<0>(row.param).name + (lineBreak == "\n"     ? "Lf"
                                              : lineBreak == "\r\n" ? "CrLf"
                                                                    : "Cr");
    });

struct MendCase {
    std::string name;
    Format format;
    std::string text;
    ImportOptions options;
    Pairs expected;
};

class Mending : public ::testing::TestWithParam<MendCase> {};

TEST_P(Mending, OptionsMendWhatWouldBeRefused) {
    const Imported imported =
        importSilences(GetParam().format, GetParam().text, GetParam().options);
    ASSERT_FALSE(imported.refusal) << *imported.refusal;
    EXPECT_EQ(pairsOf(imported), GetParam().expected);
}

INSTANTIATE_TEST_SUITE_P(Rows, Mending,
                         ::testing::Values(MendCase{"SkipPoints",
                                                    Format::Audacity,
                                                    "1\t1\tbreath\n2\t3\tx\n",
                                                    {{}, true, false},
                                                    {{2000, 3000}}},
                                           MendCase{"DropTiny",
                                                    Format::Audacity,
                                                    "0.0012\t0.0018\tx\n2\t3\tx\n",
                                                    {{}, false, true},
                                                    {{2000, 3000}}},
                                           // Rounding inwards leaves 1 ms between silences that
                                           // touch in seconds' fractions.
                                           MendCase{"RoundingInwardsKeepsNeighboursApart",
                                                    Format::Audacity,
                                                    "0.1\t0.2005\ta\n0.2005\t0.3\tb\n",
                                                    {},
                                                    {{100, 200}, {201, 300}}},
                                           MendCase{"SortMergeAndClipTogether",
                                                    Format::Csv,
                                                    "400,600\n0,100\n90,200\n32700,40000\n",
                                                    {{true, true, true}, false, false},
                                                    {{0, 200}, {400, 600}, {32700, 32767}}}),
                         test::RowName{});

} // namespace
} // namespace ravik
