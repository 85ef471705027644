#include "verify.hpp"

#include <algorithm>
#include <cmath>

namespace ravik::audio {
namespace {

std::string span(std::int64_t start, std::int64_t end) {
    return std::to_string(start) + " to " + std::to_string(end) + " ms";
}

std::string listedName(std::size_t index, const Silence& silence) {
    return "Silence " + std::to_string(index + 1) + " (" + span(silence.start, silence.end) + ")";
}

// The loudest sound overlapping [start, end), as a phrase: "at -18 dBFS".
std::string loudness(const Detection& detection, int start, int end) {
    double loudest = -1e9;
    for (const Sound& sound : detection.sounds)
        if (sound.start < end && sound.end > start)
            loudest = std::max(loudest, sound.peakDb);
    if (loudest < -1e8)
        return "softly (under " + std::to_string(std::lround(detection.thresholdDb)) + " dBFS)";
    return "at " + std::to_string(std::lround(loudest)) + " dBFS";
}

} // namespace

std::vector<Finding> compareSilences(const std::vector<Silence>& listed, const Detection& detection,
                                     int leastSilenceMs) {
    std::vector<Finding> findings;
    const auto length = static_cast<int>(std::min<std::int64_t>(detection.lengthMs, 1 << 30));
    for (std::size_t index = 0; index < listed.size(); ++index) {
        const Silence& silence = listed[index];
        // A GAP file's times, and so the listed ones, fit an int.
        const int start = static_cast<int>(silence.start);
        const int stop = static_cast<int>(silence.end);
        if (stop > length) {
            findings.push_back({std::max(start, length), listedName(index, silence) +
                                                             " goes past the recording's end at " +
                                                             std::to_string(length) + " ms"});
        }
        // The parts of the listed silence that no found silence covers hold sound.
        int at = start;
        const int end = std::min(stop, length);
        const auto report = [&](int from, int to) {
            if (to - from > 1) // boundaries are rounded inwards: one millisecond is rounding
                findings.push_back({from, listedName(index, silence) + " holds sound from " +
                                              span(from, to) + ", " +
                                              loudness(detection, from, to)});
        };
        for (const Silence& found : detection.silences) {
            if (found.end <= at || found.start >= end)
                continue;
            if (found.start > at)
                report(at, static_cast<int>(found.start));
            at = std::max(at, static_cast<int>(found.end));
        }
        if (at < end)
            report(at, end);
    }
    for (const Silence& found : detection.silences) {
        if (found.end - found.start < leastSilenceMs)
            continue;
        const bool covered = std::any_of(listed.begin(), listed.end(), [&](const Silence& s) {
            return s.start < found.end && s.end > found.start;
        });
        if (!covered)
            findings.push_back({static_cast<int>(found.start),
                                "Pause from " + span(found.start, found.end) + " is not listed"});
    }
    if (detection.lengthMs > silences::kLastMs)
        findings.push_back(
            {silences::kLastMs, "The recording lasts " + std::to_string(detection.lengthMs) +
                                    " ms, longer than a GAP file reaches (32767 ms)"});
    std::stable_sort(findings.begin(), findings.end(),
                     [](const Finding& a, const Finding& b) { return a.atMs < b.atMs; });
    return findings;
}

Verification verifyRecording(const GapBytes& bytes, SoundFile& recording,
                             const DetectOptions& options) {
    DetectOptions everyStretch = options;
    everyStretch.leastSilenceMs = 1; // every quiet stretch, to judge short listed silences too
    const Detection detection = detectSilences(recording, everyStretch);
    if (detection.failure)
        return {{}, detection.failure, detection.noSpeech};
    return {compareSilences(silences::decodeFile(bytes).list, detection, options.leastSilenceMs),
            std::nullopt, false};
}

} // namespace ravik::audio
