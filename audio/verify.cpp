// SPDX-License-Identifier: GPL-3.0-or-later
#include "verify.hpp"

#include "quiet.hpp"

#include <algorithm>
#include <cmath>
#include <map>

namespace ravik::audio {
namespace {

std::string span(std::int64_t start, std::int64_t end) {
    return std::to_string(start) + " to " + std::to_string(end) + " ms";
}

std::string listedName(std::size_t index, const Silence& silence) {
    return "Silence " + std::to_string(index + 1) + " (" + span(silence.start, silence.end) + ")";
}

} // namespace

std::vector<Finding> compareSilences(const std::vector<Silence>& listed, SoundFile& recording,
                                     const Detection& detection) {
    std::vector<Finding> findings;
    const auto length = static_cast<int>(std::min<std::int64_t>(detection.lengthMs, 1 << 30));
    const int rate = recording.sampleRate();
    std::map<std::pair<std::int64_t, std::int64_t>, std::vector<SoundSpan>> judgedBefore;
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
        const FrameSpan frames = framesOf(start, std::min(stop, length), rate);
        // A silence listed again (a file that lists one stretch many times) is judged once.
        auto judged = judgedBefore.find({frames.start, frames.end});
        if (judged == judgedBefore.end())
            judged = judgedBefore
                         .emplace(std::pair{frames.start, frames.end},
                                  soundInside(recording, frames.start, frames.end,
                                              detection.thresholdDb))
                         .first;
        for (const SoundSpan& sound : judged->second) {
            const auto from = std::max<std::int64_t>(start, sound.start * 1000 / rate);
            const auto to = std::min<std::int64_t>(std::min(stop, length),
                                                   (sound.end * 1000 + rate - 1) / rate);
            findings.push_back({static_cast<int>(from),
                                listedName(index, silence) + " holds sound from " + span(from, to) +
                                    ", at " + std::to_string(std::lround(sound.peakDb)) + " dBFS"});
        }
    }
    for (const Silence& found : detection.silences) {
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
    const Detection detection = detectSilences(recording, options);
    if (detection.failure)
        return {{}, detection.failure, detection.noSpeech};
    return {compareSilences(silences::decodeFile(bytes).list, recording, detection), std::nullopt,
            false};
}

} // namespace ravik::audio
