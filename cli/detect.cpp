#include "detect.hpp"

#include "audio/silencedetector.hpp"
#include "audio/soundfile.hpp"
#include "audio/verify.hpp"
#include "core/fileio.hpp"
#include "core/gapformat.hpp"
#include "core/messages.hpp"
#include "gaptool.hpp"

#include <algorithm>
#include <atomic>
#include <charconv>
#include <cmath>
#include <filesystem>
#include <future>
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
            double db = 0;
            if (!hasValue)
                break;
            if (!parse(arguments[++i], db) || !std::isfinite(db) || db >= 0) {
                parsed.problem = "--threshold takes a negative level in dBFS, such as -45.";
                break;
            }
            parsed.options.thresholdDb = db;
        } else if (takesValue("--min-silence")) {
            int ms = 0;
            if (!hasValue)
                break;
            if (!parse(arguments[++i], ms) || ms < 1 || ms > audio::kLastGapMs) {
                parsed.problem = "--min-silence takes milliseconds from 1 to 32767.";
                break;
            }
            parsed.options.leastSilenceMs = ms;
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

std::string gapPathFor(const std::string& recording) {
    std::filesystem::path path(std::u8string(recording.begin(), recording.end()));
    path.replace_extension(".gap");
    const std::u8string text = path.u8string();
    return {text.begin(), text.end()};
}

std::vector<std::uint8_t> gapBytes(const std::vector<audio::Silence>& silences) {
    std::vector<std::uint8_t> bytes;
    bytes.reserve(silences.size() * kRecordSize);
    for (const audio::Silence& silence : silences) {
        const auto record = encodeRecord(static_cast<std::int16_t>(silence.start),
                                         static_cast<std::int16_t>(silence.end));
        bytes.insert(bytes.end(), record.begin(), record.end());
    }
    return bytes;
}

// One recording's whole part of the output, made apart so that recordings run at once.
struct Block {
    std::ostringstream out;
    std::ostringstream err;
    int status = kAllCorrect;
};

void detectOne(const std::string& recording, const std::string& gapPath, const Arguments& args,
               const ShowFile& show, Block& block) {
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
    if (auto failure = fileio::replaceFile(gapPath, gapBytes(detection.silences), ifExists))
        return fail(*failure, kTrouble);
    block.status = std::max(block.status, show(gapPath, block.out, block.err));
    for (const std::string& warning : detection.warnings) {
        block.err << "gaptool: warning: \"" << recording << "\": " << warning << ".\n";
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
    const auto work = [&] {
        for (std::size_t i = next++; i < args.paths.size(); i = next++) {
            const std::string& recording = args.paths[i];
            detectOne(recording, args.output ? *args.output : gapPathFor(recording), args, show,
                      blocks[i]);
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
            out << messages::loadedFile(args.output ? *args.output : gapPathFor(args.paths[i]))
                << '\n';
        out << blocks[i].out.str();
        out.flush();
        err << blocks[i].err.str();
        status = std::max(status, blocks[i].status);
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
    const GapBytes bytes(contents.bytes);
    std::vector<audio::Silence> listed;
    for (std::uint64_t at = 0; at + kRecordSize <= bytes.size(); at += kRecordSize)
        listed.push_back({bytes.word(at), bytes.word(at + 4)});

    auto opened = audio::SoundFile::open(recording);
    if (!opened.file) {
        err << "gaptool: " << opened.failure->sentence() << '\n';
        return kTrouble;
    }
    audio::DetectOptions options = args.options;
    options.leastSilenceMs = 1; // every quiet stretch, to judge short listed silences too
    const audio::Detection detection = audio::detectSilences(*opened.file, options);
    if (detection.failure) {
        err << "gaptool: " << detection.failure->sentence() << '\n';
        return detection.noSpeech ? kIncorrect : kTrouble;
    }
    const std::vector<audio::Finding> findings =
        audio::compareSilences(listed, detection, args.options.leastSilenceMs);
    for (const audio::Finding& finding : findings)
        out << finding.text << '\n';
    return findings.empty() ? kAllCorrect : kIncorrect;
}

} // namespace ravik::cli
