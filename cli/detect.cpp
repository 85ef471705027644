#include "detect.hpp"

#include "audio/silencedetector.hpp"
#include "audio/soundfile.hpp"
#include "audio/verify.hpp"
#include "core/failure.hpp"
#include "core/fileio.hpp"
#include "core/gapformat.hpp"
#include "core/messages.hpp"
#include "core/silences.hpp"
#include "gaptool.hpp"
#include "output.hpp"

#include <algorithm>
#include <atomic>
#include <charconv>
#include <future>
#include <mutex>
#include <optional>
#include <ostream>
#include <sstream>
#include <thread>

namespace ravik::cli {
namespace {

struct Arguments {
    std::vector<std::string> paths;
    std::optional<std::string> output;
    audio::DetectOptions options;
    bool force = false;
    unsigned jobs = 0;
    std::string problem; ///< set when the command line is wrong
};

template <class Number>
bool parse(const std::string& text, Number& value) {
    const char* end = text.data() + text.size();
    const auto [at, error] = std::from_chars(text.data(), end, value);
    return error == std::errc() && at == end;
}

Arguments parseArguments(const std::vector<std::string>& arguments, bool detect) {
    Arguments parsed;
    for (std::size_t i = 0; i < arguments.size(); ++i) {
        const std::string& argument = arguments[i];
        const bool hasValue = i + 1 < arguments.size();
        const auto takesValue = [&](std::string_view name) {
            if (argument != name)
                return false;
            if (!hasValue)
                parsed.problem = std::string(name) + " needs a value.";
            return true;
        };
        if (takesValue("--threshold")) {
            if (!hasValue)
                break;
            parsed.options.thresholdDb = audio::thresholdFromText(arguments[++i]);
            if (!parsed.options.thresholdDb) {
                parsed.problem = "--threshold takes a negative level in dBFS, such as -45.";
                break;
            }
        } else if (takesValue("--min-silence")) {
            if (!hasValue)
                break;
            const std::optional<int> ms = audio::leastSilenceFromText(arguments[++i]);
            if (!ms) {
                parsed.problem = "--min-silence takes milliseconds from 1 to 32767.";
                break;
            }
            parsed.options.leastSilenceMs = *ms;
        } else if (detect && takesValue("-o")) {
            if (!hasValue)
                break;
            parsed.output = arguments[++i];
        } else if (detect && takesValue("-j")) {
            if (!hasValue)
                break;
            if (!parse(arguments[++i], parsed.jobs) || parsed.jobs < 1) {
                parsed.problem = "-j takes a number of recordings to read at once, 1 or more.";
                break;
            }
        } else if (detect && argument == "--force") {
            parsed.force = true;
        } else if (argument.size() > 1 && argument.front() == '-') {
            parsed.problem = "Unknown option '" + argument + "'.";
            break;
        } else {
            parsed.paths.push_back(argument);
        }
    }
    return parsed;
}

int misuse(std::ostream& err, const std::string& problem) {
    err << "gaptool: " << problem << " Try 'gaptool --help'.\n";
    return kTrouble;
}

// One recording's whole part of the output, made apart so that recordings run at once.
struct Block {
    std::ostringstream out;
    std::ostringstream err;
    int status = kAllCorrect;
    bool written = false; ///< a GAP file was written
};

void detectOne(const std::string& recording, const std::string& gapPath, const Arguments& args,
               const ShowFile& show, const std::string& outputProblem, Block& block) {
    const auto fail = [&](const Failure& failure, int status) {
        block.err << "gaptool: " << failure.sentence() << '\n';
        block.status = std::max(block.status, status);
    };
    if (gapPath == recording)
        return fail({"Could not write", gapPath, "it is the recording itself"}, kTrouble);
    auto opened = audio::SoundFile::open(recording);
    if (!opened.file)
        return fail(*opened.failure, kTrouble);
    const audio::Detection detection = audio::detectSilences(*opened.file, args.options);
    if (detection.failure)
        return fail(*detection.failure, detection.noSpeech ? kIncorrect : kTrouble);
    const auto ifExists = args.force ? fileio::IfExists::replace : fileio::IfExists::refuse;
    if (!outputProblem.empty()) {
        block.err << "gaptool: Nothing was changed in \"" << printable(gapPath)
                  << "\", since its report could not be printed: " << outputProblem << ".\n";
        block.status = std::max<int>(block.status, kTrouble);
        return;
    }
    if (auto failure = fileio::replaceFile(gapPath, silences::encode(detection.silences), ifExists))
        return fail(*failure, kTrouble);
    block.written = true;
    block.status = std::max(block.status, show(gapPath, block.out, block.err));
    for (const std::string& warning : detection.warnings) {
        block.err << "gaptool: warning: \"" << printable(recording) << "\": " << warning << ".\n";
        block.status = std::max<int>(block.status, kIncorrect);
    }
}

} // namespace

int runDetect(const std::vector<std::string>& arguments, std::ostream& out, std::ostream& err,
              const ShowFile& show) {
    const Arguments args = parseArguments(arguments, true);
    if (!args.problem.empty())
        return misuse(err, args.problem);
    if (args.paths.empty())
        return misuse(err, "The detect command needs at least one RECORDING.");
    if (args.output && args.paths.size() > 1)
        return misuse(err, "-o names the GAP file of a single RECORDING.");

    std::vector<Block> blocks(args.paths.size());
    std::vector<std::promise<void>> done(args.paths.size());
    std::atomic<std::size_t> next = 0;
    // Once the report cannot be printed, no further GAP file is written.
    std::mutex problemGuard;
    std::string problem = outputProblem(out);
    const auto work = [&] {
        for (std::size_t i = next++; i < args.paths.size(); i = next++) {
            const std::string& recording = args.paths[i];
            std::string seen;
            {
                const std::scoped_lock guard(problemGuard);
                seen = problem;
            }
            detectOne(recording, args.output ? *args.output : silences::gapPathFor(recording), args,
                      show, seen, blocks[i]);
            done[i].set_value();
        }
    };
    const auto jobs = static_cast<unsigned>(std::min<std::size_t>(
        args.jobs > 0 ? args.jobs : std::max(1U, std::thread::hardware_concurrency()),
        args.paths.size()));
    std::vector<std::jthread> workers;
    for (unsigned i = 1; i < jobs; ++i)
        workers.emplace_back(work);
    std::jthread own;
    if (jobs <= 1)
        work();
    else
        own = std::jthread(work);

    // Blocks come out in the order of the arguments, each as soon as it and those before it are
    // done.
    int status = kAllCorrect;
    for (std::size_t i = 0; i < blocks.size(); ++i) {
        done[i].get_future().wait();
        if (blocks.size() > 1)
            out << messages::loadedFile(args.output ? *args.output
                                                    : silences::gapPathFor(args.paths[i]))
                << '\n';
        out << blocks[i].out.str();
        const std::string lost = outputProblem(out);
        err << blocks[i].err.str();
        status = std::max(status, blocks[i].status);
        if (!lost.empty()) {
            {
                const std::scoped_lock guard(problemGuard);
                problem = lost;
            }
            if (blocks[i].written) {
                err << "gaptool: \""
                    << printable(args.output ? *args.output : silences::gapPathFor(args.paths[i]))
                    << "\" was written, but its report could not be printed: " << lost << ".\n";
                status = std::max<int>(status, kReportLost);
            }
        }
    }
    return status;
}

int runVerify(const std::vector<std::string>& arguments, std::ostream& out, std::ostream& err) {
    const Arguments args = parseArguments(arguments, false);
    if (!args.problem.empty())
        return misuse(err, args.problem);
    if (args.paths.size() != 2)
        return misuse(err, "The verify command takes GAP RECORDING.");
    const std::string& gapPath = args.paths[0];
    const std::string& recording = args.paths[1];

    const fileio::Contents contents = fileio::readGapFile(gapPath);
    if (contents.failure) {
        err << "gaptool: " << contents.failure->sentence() << '\n';
        return kTrouble;
    }
    auto opened = audio::SoundFile::open(recording);
    if (!opened.file) {
        err << "gaptool: " << opened.failure->sentence() << '\n';
        return kTrouble;
    }
    const audio::Verification verification =
        audio::verifyRecording(GapBytes(contents.bytes), *opened.file, args.options);
    if (verification.failure) {
        err << "gaptool: " << verification.failure->sentence() << '\n';
        return verification.noSpeech ? kIncorrect : kTrouble;
    }
    for (const audio::Finding& finding : verification.findings)
        out << finding.text << '\n';
    return verification.findings.empty() ? kAllCorrect : kIncorrect;
}

} // namespace ravik::cli
