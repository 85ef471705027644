// SPDX-License-Identifier: GPL-3.0-or-later
#include "commands.hpp"
#include "core/exchange/exchange.hpp"
#include "core/files/fileio.hpp"
#include "core/format/silencematch.hpp"
#include "core/format/structurecheck.hpp"
#include "core/text/failure.hpp"
#include "options.hpp"
#include "paths.hpp"
#include "recordings.hpp"
#include "report.hpp"

#include <algorithm>
#include <ostream>

namespace ravik::cli {
namespace {

using silences::Silence;

std::span<const std::uint8_t> bytesOf(const std::string& text) {
    return {reinterpret_cast<const std::uint8_t*>(text.data()), text.size()};
}

struct GapSilences {
    std::vector<Silence> list;
    std::optional<Failure> failure;
    bool valid = false;
    std::string checkError; ///< the check's error line when not valid
};

GapSilences readGap(const std::string& path) {
    GapSilences result;
    const fileio::Contents contents = fileio::readGapFile(path);
    if (contents.failure) {
        result.failure = contents.failure;
        return result;
    }
    const GapBytes bytes(contents.bytes);
    const StructureCheck check = checkStructure(bytes);
    result.valid = check.verdict == Verdict::Correct;
    if (!result.valid)
        result.checkError = check.lines[check.lines.size() - 1];
    result.list = silences::decode(bytes);
    return result;
}

std::optional<exchange::Format> formatOption(const Options& options, std::string_view name,
                                             Report& report, bool exporting) {
    const auto text = options.value(name);
    if (!text) {
        report.misuse("The option " + std::string(name) + " FORMAT is needed.");
        return std::nullopt;
    }
    const auto format = exchange::formatNamed(*text);
    if (!format || (exporting && !exchange::canExport(*format))) {
        report.misuse("Unknown format '" + *text + "' for " + std::string(name) + ".");
        return std::nullopt;
    }
    return format;
}

} // namespace

const std::string_view kExchangeUsage =
    R"(  export GAP --to FORMAT [-o OUT] [--recording REC] [--force]
                         write GAP's silences as FORMAT: audacity, textgrid, csv, json
  import INPUT --from FORMAT -o OUT.gap [--force] [--sort] [--merge] [--clip]
         [--skip-points] [--drop-tiny]
                         make a GAP file from INPUT in FORMAT: the four above,
                         silencedetect (ffmpeg's log) or mouthcues (Rhubarb's TSV)
  diff A.gap B.gap [--tolerance MS]
                         list the silences only in A, only in B, or moved
  lint [--json] [-j N] PATH...
                         list every finding in the .gap files under each PATH
)";

void runExport(const std::vector<std::string>& arguments, Report& report) {
    const Options options(
        arguments, {{"--to", true}, {"-o", true}, {"--recording", true}, {"--force", false}});
    if (options.problem())
        return report.misuse(*options.problem());
    if (options.operands().size() != 1)
        return report.misuse("The export command takes exactly one GAP file.");
    const auto format = formatOption(options, "--to", report, true);
    if (!format)
        return;
    const std::string& path = options.operands().front();
    report.workOn(path, false);
    const auto target = options.value("-o");
    if (target)
        for (const auto& input : {std::optional(path), options.value("--recording")})
            if (input)
                if (const auto own = ownInput(*target, *input))
                    return report.fail(*own);

    const GapSilences gap = readGap(path);
    if (gap.failure)
        return report.fail(*gap.failure);
    if (!gap.valid)
        return report.fail(
            {"Did not export", path, "Its structure is incorrect: " + gap.checkError},
            ExitStatus::Incorrect);

    exchange::ExportOptions exportOptions;
    exportOptions.fileName = path;
    if (const auto recording = options.value("--recording")) {
        const recordings::Length length = recordings::lengthOf(*recording);
        if (length.failure)
            return report.fail(*length.failure);
        exportOptions.recordingSeconds = length.seconds;
    }
    const exchange::Exported exported = exchange::exportSilences(*format, gap.list, exportOptions);
    for (const std::string& note : exported.notes)
        report.say(printable(path) + ": " + note + ".");

    if (target) {
        if (auto failure = fileio::replaceFile(*target, bytesOf(exported.text),
                                               options.has("--force") ? fileio::IfExists::replace
                                                                      : fileio::IfExists::refuse))
            report.fail(withForceHint(*failure));
        return;
    }
    report.out().write(exported.text.data(), static_cast<std::streamsize>(exported.text.size()));
}

void runImport(const std::vector<std::string>& arguments, Report& report) {
    const Options options(arguments, {{"--from", true},
                                      {"-o", true},
                                      {"--force", false},
                                      {"--sort", false},
                                      {"--merge", false},
                                      {"--clip", false},
                                      {"--skip-points", false},
                                      {"--drop-tiny", false}});
    if (options.problem())
        return report.misuse(*options.problem());
    if (options.operands().size() != 1)
        return report.misuse("The import command takes exactly one INPUT file.");
    const auto format = formatOption(options, "--from", report, false);
    if (!format)
        return;
    const auto target = options.value("-o");
    if (!target)
        return report.misuse("The import command needs -o OUT.gap.");
    const std::string& path = options.operands().front();
    report.workOn(path, false);
    if (const auto own = ownInput(*target, path))
        return report.fail(*own);

    const fileio::Contents contents = fileio::readTextFile(path);
    if (contents.failure)
        return report.fail(*contents.failure);
    exchange::ImportOptions importOptions;
    importOptions.mending = {options.has("--sort"), options.has("--clip"), options.has("--merge")};
    importOptions.skipPoints = options.has("--skip-points");
    importOptions.dropTiny = options.has("--drop-tiny");
    const exchange::Imported imported = exchange::importSilences(
        *format,
        std::string_view(reinterpret_cast<const char*>(contents.bytes.data()),
                         contents.bytes.size()),
        importOptions);
    if (imported.refusal)
        return report.fail({"Could not import", path, *imported.refusal}, ExitStatus::Incorrect);

    if (!report.mayChange(*target))
        return;
    report.workOn(*target, true);
    if (auto failure = fileio::replaceFile(*target, silences::encode(imported.list),
                                           options.has("--force") ? fileio::IfExists::replace
                                                                  : fileio::IfExists::refuse))
        return report.fail(withForceHint(*failure));
    report.out() << printable(*target) << ": " << std::to_string(imported.list.size())
                 << (imported.list.size() == 1 ? " silence" : " silences") << " from "
                 << printable(path) << '\n';
    report.changed(*target);
    report.flush();
}

namespace {

std::string range(const Silence& silence) {
    return std::to_string(silence.start) + " to " + std::to_string(silence.end) + " ms";
}

std::string signedMs(std::int64_t shift) {
    return (shift > 0 ? "+" : "") + std::to_string(shift) + " ms";
}

} // namespace

void runDiff(const std::vector<std::string>& arguments, Report& report) {
    const Options options(arguments, {{"--tolerance", true}});
    if (options.problem())
        return report.misuse(*options.problem());
    if (options.operands().size() != 2)
        return report.misuse("The diff command takes two GAP files, A and B.");
    std::int64_t tolerance = 0;
    if (const auto text = options.value("--tolerance")) {
        const std::string_view digits(*text);
        if (digits.empty() || digits.size() > 5 ||
            !std::all_of(digits.begin(), digits.end(), [](char c) { return c >= '0' && c <= '9'; }))
            return report.misuse("The tolerance is a whole number of ms from 0 to 99999.");
        tolerance = std::stoll(*text);
    }

    report.workOn(options.operands()[0], false);
    const GapSilences a = readGap(options.operands()[0]);
    const GapSilences b = readGap(options.operands()[1]);
    for (const GapSilences* gap : {&a, &b})
        if (gap->failure)
            return report.fail(*gap->failure);

    std::ostream& out = report.out();
    for (const silences::Pairing& pair : silences::pairSilences(a.list, b.list)) {
        if (!pair.b) {
            out << "only in A: " << range(a.list[*pair.a]) << '\n';
        } else if (!pair.a) {
            out << "only in B: " << range(b.list[*pair.b]) << '\n';
        } else {
            const Silence& before = a.list[*pair.a];
            const Silence& after = b.list[*pair.b];
            const std::int64_t startShift = after.start - before.start;
            const std::int64_t endShift = after.end - before.end;
            if (std::max(std::abs(startShift), std::abs(endShift)) <= tolerance)
                continue;
            out << "moved: " << range(before) << " -> " << range(after) << " (start "
                << signedMs(startShift) << ", end " << signedMs(endShift) << ")\n";
        }
        report.worsen(ExitStatus::Incorrect);
    }
}

} // namespace ravik::cli
