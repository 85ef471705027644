#include "audio/silencedetector.hpp"
#include "audio/soundfile.hpp"
#include "audio/verify.hpp"
#include "core/files/fileio.hpp"
#include "core/format/gapformat.hpp"
#include "core/format/silences.hpp"
#include "core/text/failure.hpp"
#include "core/text/messages.hpp"
#include "detect.hpp"
#include "gaptool.hpp"
#include "options.hpp"
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
        if (const auto suffix = options.value("--suffix")) {
            if (suffix->empty()) {
                report.misuse("The backup suffix must not be empty.");
                return std::nullopt;
            }
            parsed.keeping.backupSuffix = *suffix;
        } else if (options.has("--backup")) {
            parsed.keeping.backupSuffix = std::string(kBackupSuffix);
        }
    }
    return parsed;
}

// What was found in one recording, found apart so that recordings are read at once.
struct Found {
    voicepack::Detected detected;
    ExitStatus status = ExitStatus::Trouble; ///< of the failure
};

void detectOne(const std::string& recording, const std::string& gapPath, const Arguments& args,
               Found& found) {
    if (const auto own = ownInput(gapPath, recording)) {
        found.detected.failure = own;
        return;
    }
    found.detected = voicepack::detectGap(recording, args.options);
    if (found.detected.noSpeech)
        found.status = ExitStatus::Incorrect;
}

// The recordings to detect: each RECORDING named, and every recording under each FOLDER named,
// line by line as the Voice Pack window lists them. A line with a GAP file is skipped with a
// note unless --force.
std::vector<std::string> recordingsOf(const Arguments& args, Report& report) {
    std::vector<std::string> recordings;
    for (const std::string& path : args.paths) {
        std::error_code error;
        if (!std::filesystem::is_directory(toPath(path), error)) {
            recordings.push_back(path);
            continue;
        }
        const voicepack::Listing listing = voicepack::listPack(path);
        for (const Failure& failure : listing.failures)
            report.fail(failure);
        for (const voicepack::Line& line : listing.lines) {
            if (!line.recording)
                continue;
            if (line.gap && !args.force)
                report.say("\"" + printable(*line.gap) +
                           "\" exists already and was skipped (--force replaces it).");
            else
                recordings.push_back(*line.recording);
        }
    }
    return recordings;
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
    parsed->paths = recordingsOf(*parsed, report);
    const Arguments& args = *parsed;
    const auto gapPathOf = [&](std::size_t i) {
        return args.output ? *args.output : silences::gapPathFor(args.paths[i]);
    };

    // The recordings are read and searched on `jobs` threads; their GAP files are written here,
    // in the order of the arguments, each only after the report of those before it got through.
    std::vector<Found> found(args.paths.size());
    std::vector<std::promise<void>> done(args.paths.size());
    std::atomic<std::size_t> next = 0;
    std::atomic<bool> stop = false;
    const auto work = [&] {
        for (std::size_t i = next++; i < args.paths.size() && !stop; i = next++) {
            try {
                detectOne(args.paths[i], gapPathOf(i), args, found[i]);
            } catch (const std::bad_alloc&) {
                found[i].detected.failure =
                    Failure{"Could not find silences in", args.paths[i],
                            reasonText(std::make_error_code(std::errc::not_enough_memory))};
                found[i].status = ExitStatus::Trouble;
            }
            done[i].set_value();
        }
    };
    const auto jobs = static_cast<unsigned>(std::min<std::size_t>(args.jobs, args.paths.size()));
    std::vector<std::jthread> workers;
    for (unsigned i = 0; i < jobs; ++i)
        workers.emplace_back(work);
    // However this ends, the workers take no further recording.
    const struct Stop {
        std::atomic<bool>& stop;
        ~Stop() { stop = true; }
    } stopAtTheEnd{stop};

    const auto ifExists = args.force ? fileio::IfExists::replace : fileio::IfExists::refuse;
    Progress progress(report.err(), args.paths.size());
    for (std::size_t i = 0; i < args.paths.size() && !report.lost(); ++i) {
        if (i > 0)
            progress.advance();
        done[i].get_future().wait();
        const std::string gapPath = gapPathOf(i);
        if (args.paths.size() > 1)
            report.out() << messages::loadedFile(gapPath) << '\n';
        Found& result = found[i];
        if (result.detected.failure) {
            report.fail(*result.detected.failure, result.status);
            report.flush();
            continue;
        }
        if (!report.mayChange(gapPath))
            break;
        report.workOn(gapPath, true);
        std::optional<Failure> failure;
        if (args.force && args.keeping.backupSuffix)
            failure =
                voicepack::writeGap(gapPath, std::move(result.detected.bytes), true, args.keeping)
                    .failure;
        else
            failure = fileio::replaceFile(gapPath, result.detected.bytes, ifExists);
        if (failure) {
            report.fail(withForceHint(*failure));
            continue;
        }
        report.changed(gapPath);
        show(gapPath);
        for (const std::string& warning : result.detected.warnings) {
            report.say("warning: \"" + printable(args.paths[i]) + "\": " + warning + ".");
            report.worsen(ExitStatus::Incorrect);
        }
        report.flush();
    }
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
