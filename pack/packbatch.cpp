// SPDX-License-Identifier: GPL-3.0-or-later
#include "packbatch.hpp"

#include "audio/soundfile.hpp"
#include "core/actions/gapfile.hpp"
#include "core/files/fileio.hpp"
#include "core/format/silences.hpp"
#include "pack/batchengine.hpp"

#include <algorithm>
#include <mutex>
#include <new>
#include <system_error>
#include <thread>

namespace ravik::voicepack {
namespace {

constexpr std::string_view kDetectOperation = "Detect";

/// What one line's work gives the batch.
struct Outcome {
    std::optional<Replacement> replaced;
    std::optional<std::string> note;
    std::optional<Failure> failure;
};

// Works on every line on the batch engine until `cancel` is set, and gathers the outcomes in the
// lines' order.
Batch runBatch(const std::vector<Line>& lines, unsigned jobs, const std::atomic<bool>& cancel,
               const BatchProgress& progress, const std::function<Outcome(const Line&)>& work) {
    Batch batch;
    const BatchRun run{jobs, &cancel, progress};
    batch.done = runInOrder<Outcome>(
        lines.size(), run, [&](std::size_t i) { return work(lines[i]); },
        [&](std::size_t i) {
            return Outcome{std::nullopt, std::nullopt,
                           outOfMemory("Could not work on", lines[i].gapPath())};
        },
        [&](std::size_t, Outcome& outcome) {
            if (outcome.replaced)
                batch.replaced.push_back(std::move(*outcome.replaced));
            if (outcome.note)
                batch.notes.push_back(std::move(*outcome.note));
            if (outcome.failure)
                batch.failures.push_back(std::move(*outcome.failure));
            return true;
        });
    batch.cancelled = batch.done < lines.size();
    return batch;
}

Outcome detectLine(const Line& line, const BatchOptions& options) {
    const std::string gapPath = line.gapPath();
    if (!line.recording)
        return {std::nullopt, "\"" + printable(gapPath) + "\" has no recording to detect from",
                std::nullopt};
    if (line.gap && !options.replaceExisting)
        return {std::nullopt,
                "\"" + printable(gapPath) + "\" exists already and was left as it was",
                std::nullopt};
    Detected detected = detectGap(*line.recording, options.detect);
    if (detected.failure)
        return {std::nullopt, std::nullopt, std::move(detected.failure)};
    GapWrite written =
        writeGap(gapPath, std::move(detected.bytes), options.replaceExisting, options.keeping);
    if (written.leftAlone) // listed without a GAP file, and one came since
        return {std::nullopt,
                "\"" + printable(gapPath) + "\" exists already and was left as it was",
                std::nullopt};
    return {std::move(written.replaced), std::nullopt, std::move(written.failure)};
}

Outcome defragLine(const Line& line, const BatchOptions& options) {
    if (!line.gap)
        return {std::nullopt, "\"" + printable(line.gapPath()) + "\" has no GAP file to defragment",
                std::nullopt};
    Defragmentation done = defragment(*line.gap, options.keeping);
    if (done.failure)
        return {std::nullopt, std::nullopt, std::move(done.failure)};
    if (done.replaced && done.replaced->before == done.replaced->after)
        done.replaced.reset(); // nothing to take back
    return {std::move(done.replaced), std::nullopt, std::nullopt};
}

} // namespace

GapWrite writeGap(const std::string& path, std::vector<std::uint8_t> bytes, bool replaceExisting,
                  const Keeping& keeping) {
    GapWrite written;
    fileio::Locking locking = fileio::lockForWriting(path, fileio::IfMissing::create);
    if (locking.failure) {
        written.failure = std::move(locking.failure);
        return written;
    }
    const bool existed = locking.lock->existed();
    fileio::Contents before;
    if (existed) {
        if (!replaceExisting) {
            written.leftAlone = true;
            return written;
        }
        before = locking.lock->read();
        if (before.failure) {
            written.failure = std::move(before.failure);
            return written;
        }
    }
    if (auto failure = replaceKeeping(*locking.lock, path, before.bytes, bytes, keeping)) {
        written.failure = std::move(failure);
        return written;
    }
    written.replaced =
        Replacement{path, kDetectOperation, existed, std::move(before.bytes), std::move(bytes)};
    return written;
}

Detected detectGap(const std::string& recording, const audio::DetectOptions& options) {
    Detected detected;
    auto opened = audio::SoundFile::open(recording);
    if (!opened.file) {
        detected.failure = std::move(opened.failure);
        return detected;
    }
    audio::Detection detection = audio::detectSilences(*opened.file, options);
    if (detection.failure) {
        detected.failure = std::move(detection.failure);
        detected.noSpeech = detection.noSpeech;
        return detected;
    }
    detected.bytes = silences::encode(detection.silences);
    detected.warnings = std::move(detection.warnings);
    return detected;
}

Batch detectLines(const std::vector<Line>& lines, const BatchOptions& options,
                  const std::atomic<bool>& cancel, const BatchProgress& progress) {
    return runBatch(lines, options.jobs, cancel, progress,
                    [&](const Line& line) { return detectLine(line, options); });
}

Batch defragLines(const std::vector<Line>& lines, const BatchOptions& options,
                  const std::atomic<bool>& cancel, const BatchProgress& progress) {
    return runBatch(lines, options.jobs, cancel, progress,
                    [&](const Line& line) { return defragLine(line, options); });
}

std::vector<Failure> undoBatch(const Batch& batch) {
    std::vector<Failure> failures;
    for (const Replacement& done : batch.replaced)
        if (auto failure = undoReplacement(done))
            failures.push_back(std::move(*failure));
    return failures;
}

} // namespace ravik::voicepack
