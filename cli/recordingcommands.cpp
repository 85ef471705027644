// SPDX-License-Identifier: GPL-3.0-or-later
#include "audio/silencedetector.hpp"
#include "audio/soundfile.hpp"
#include "audio/verify.hpp"
#include "core/files/fileio.hpp"
#include "core/format/gapformat.hpp"
#include "core/format/silences.hpp"
#include "core/text/failure.hpp"
#include "core/text/messages.hpp"
#include "core/text/plaintext.hpp"
#include "detect.hpp"
#include "gaptool.hpp"
#include "options.hpp"
#include "pack/batchengine.hpp"
#include "pack/packbatch.hpp"
#include "pack/voicepack.hpp"
#include "paths.hpp"
#include "progress.hpp"
#include "report.hpp"

#include <algorithm>
#include <atomic>
#include <future>
#include <new>
#include <optional>
#include <ostream>
#include <set>
#include <system_error>
#include <thread>

namespace ravik::cli {
namespace {

struct Arguments {
    std::vector<std::string> paths;
    std::optional<std::string> output;
    audio::DetectOptions options;
    bool force = false;
    Keeping keeping;
    unsigned jobs = 1;
};

// The arguments, or nothing after saying what is wrong with them.
std::optional<Arguments> parseArguments(const std::vector<std::string>& arguments, bool detect,
                                        Report& report) {
    const Options options =
        detect ? Options(arguments, {{"--threshold", true},
                                     {"--min-silence", true},
                                     {"-o", true},
                                     {"-j", true},
                                     {"--force", false},
                                     {"--backup", false},
                                     {"--suffix", true}})
               : Options(arguments, {{"--threshold", true}, {"--min-silence", true}});
    if (options.problem()) {
        report.misuse(*options.problem());
        return std::nullopt;
    }
    Arguments parsed;
    parsed.paths = options.operands();
    if (const auto text = options.value("--threshold")) {
        parsed.options.thresholdDb = audio::thresholdFromText(*text);
        if (!parsed.options.thresholdDb) {
            report.misuse("--threshold takes a negative level in dBFS, such as -45.");
            return std::nullopt;
        }
    }
    if (const auto text = options.value("--min-silence")) {
        const std::optional<int> ms = audio::leastSilenceFromText(*text);
        if (!ms) {
            report.misuse("--min-silence takes milliseconds from 1 to 32767.");
            return std::nullopt;
        }
        parsed.options.leastSilenceMs = *ms;
    }
    if (detect) {
        const std::optional<unsigned> jobs = options.jobs();
        if (!jobs) {
            report.misuse(kJobsProblem);
            return std::nullopt;
        }
        parsed.jobs = *jobs;
        parsed.output = options.value("-o");
        parsed.force = options.has("--force");
        std::optional<Keeping> keeping = options.keeping();
        if (!keeping) {
            report.misuse(kSuffixProblem);
            return std::nullopt;
        }
        parsed.keeping = std::move(*keeping);
    }
    return parsed;
}

// What was found in one recording, found apart so that recordings are read at once.
struct Found {
    voicepack::Detected detected;
    ExitStatus status = ExitStatus::Trouble; ///< of the failure
};

// One recording to detect and the GAP file it gets.
struct Target {
    std::string recording;
    std::string gap;
};

Found detectOne(const Target& target, const Arguments& args) {
    Found found;
    if (const auto own = ownInput(target.gap, target.recording)) {
        found.detected.failure = own;
        return found;
    }
    found.detected = voicepack::detectGap(target.recording, args.options);
    if (found.detected.noSpeech)
        found.status = ExitStatus::Incorrect;
    return found;
}

// A line as met: its recording's file, and the folder and name of its GAP file (in any case where
// the file system takes names so).
struct Met {
    fileio::FileIdentity recording;
    fileio::FileIdentity folder;
    std::string gapName;
    auto operator<=>(const Met&) const = default;
};

std::optional<Met> metAs(const std::string& recording, const std::string& gap) {
    const std::filesystem::path gapPath = toPath(gap);
    const std::filesystem::path folder = gapPath.has_parent_path() ? gapPath.parent_path() : ".";
    const std::optional<fileio::FileIdentity> file = fileio::identityOf(recording);
    const std::optional<fileio::FileIdentity> within = fileio::identityOf(utf8Of(folder));
    if (!file || !within)
        return std::nullopt;
    std::string name = utf8Of(gapPath.filename());
#ifdef _WIN32
    name = plaintext::asciiLower(name);
#endif
    return Met{*file, *within, std::move(name)};
}

// The recordings to detect: each RECORDING named, and every recording under each FOLDER named,
// line by line as the Voice Pack window lists them, each with the GAP file the pairing rule
// gives it. A line with a GAP file is skipped with a note unless --force; a line met again
// (folders that overlap, a file named twice) is detected once. Hard links to one recording
// under other names are lines of their own, each with its GAP file.
std::vector<Target> targetsOf(const Arguments& args, Report& report) {
    std::vector<Target> targets;
    std::set<Met> seen;
    const auto firstTime = [&](const std::string& recording, const std::string& gap) {
        const std::optional<Met> met = metAs(recording, gap);
        return !met || seen.insert(*met).second;
    };
    for (const std::string& path : args.paths) {
        std::error_code error;
        if (!std::filesystem::is_directory(toPath(path), error)) {
            const std::string gap = args.output ? *args.output : voicepack::gapFileBeside(path);
            if (firstTime(path, gap))
                targets.push_back({path, gap});
            continue;
        }
        const voicepack::Listing listing = voicepack::listPack(path);
        for (const Failure& failure : listing.failures)
            report.fail(failure);
        for (const voicepack::Line& line : listing.lines) {
            if (!line.recording || !firstTime(*line.recording, line.gapPath()))
                continue;
            if (line.gap && !args.force)
                report.say("\"" + printable(*line.gap) +
                           "\" exists already and was skipped (--force replaces it).");
            else
                targets.push_back({*line.recording, line.gapPath()});
        }
    }
    return targets;
}

// Writes one recording's GAP file and its report; false when nothing more is to be done.
bool writeFound(const Target& target, Found& result, const Arguments& args, bool several,
                Report& report, const ShowFile& show) {
    if (several)
        report.out() << messages::loadedFile(target.gap) << '\n';
    if (result.detected.failure) {
        report.fail(*result.detected.failure, result.status);
        return report.flush();
    }
    if (!report.mayChange(target.gap))
        return false;
    report.workOn(target.gap, true);
    std::optional<Failure> failure;
    if (args.force && args.keeping.backupSuffix)
        failure =
            voicepack::writeGap(target.gap, std::move(result.detected.bytes), true, args.keeping)
                .failure;
    else
        failure =
            fileio::replaceFile(target.gap, result.detected.bytes,
                                args.force ? fileio::IfExists::replace : fileio::IfExists::refuse);
    if (failure) {
        report.fail(withForceHint(*failure));
        return !report.lost();
    }
    report.changed(target.gap);
    show(target.gap);
    for (const std::string& warning : result.detected.warnings) {
        report.say("warning: \"" + printable(target.recording) + "\": " + warning + ".");
        report.worsen(ExitStatus::Incorrect);
    }
    return report.flush();
}

} // namespace

void runDetect(const std::vector<std::string>& arguments, Report& report, const ShowFile& show) {
    std::optional<Arguments> parsed = parseArguments(arguments, true, report);
    if (!parsed)
        return;
    if (parsed->paths.empty())
        return report.misuse("The detect command needs at least one RECORDING.");
    if (parsed->output && parsed->paths.size() > 1)
        return report.misuse("-o names the GAP file of a single RECORDING.");
    if (parsed->output && std::filesystem::is_directory(toPath(parsed->paths.front())))
        return report.misuse("-o names the GAP file of a single RECORDING, not a FOLDER.");
    const Arguments& args = *parsed;
    const std::vector<Target> targets = targetsOf(args, report);

    // The recordings are read and searched by the batch engine; their GAP files are written
    // here, in the order of the arguments, each only after the report of those before it got
    // through. The progress line is drawn and taken away here only, between the reports.
    Progress progress(report.err(), targets.size());
    const voicepack::BatchRun run{args.jobs, nullptr, {}};
    voicepack::runInOrder<Found>(
        targets.size(), run, [&](std::size_t i) { return detectOne(targets[i], args); },
        [&](std::size_t i) {
            Found failed;
            failed.detected.failure =
                voicepack::outOfMemory("Could not find silences in", targets[i].recording);
            return failed;
        },
        [&](std::size_t i, Found& result) {
            if (report.lost())
                return false;
            progress.hide();
            const bool goOn =
                writeFound(targets[i], result, args, targets.size() > 1, report, show);
            progress.advance();
            return goOn;
        });
}

void runVerify(const std::vector<std::string>& arguments, Report& report) {
    const std::optional<Arguments> parsed = parseArguments(arguments, false, report);
    if (!parsed)
        return;
    if (parsed->paths.size() != 2)
        return report.misuse("The verify command takes GAP RECORDING.");
    const std::string& gapPath = parsed->paths[0];
    const std::string& recording = parsed->paths[1];
    report.workOn(gapPath, false);

    const fileio::Contents contents = fileio::readGapFile(gapPath);
    if (contents.failure)
        return report.fail(*contents.failure);
    auto opened = audio::SoundFile::open(recording);
    if (!opened.file)
        return report.fail(*opened.failure);
    const audio::Verification verification =
        audio::verifyRecording(GapBytes(contents.bytes), *opened.file, parsed->options);
    if (verification.failure)
        return report.fail(*verification.failure,
                           verification.noSpeech ? ExitStatus::Incorrect : ExitStatus::Trouble);
    for (const audio::Finding& finding : verification.findings)
        report.out() << finding.text << '\n';
    report.worsen(verification.findings.empty() ? ExitStatus::AllCorrect : ExitStatus::Incorrect);
}

} // namespace ravik::cli
