// SPDX-License-Identifier: GPL-3.0-or-later
// Feeds arbitrary bytes through libsndfile's virtual I/O to the silence detector, as gaptool
// detect reads a recording. Besides the sanitizers' own checks it asserts that whatever the
// bytes, the silences found could be written as a valid GAP file, and that verify finds nothing
// in them (detect and verify judge quiet by one rule).
#include "audio/silencedetector.hpp"
#include "audio/soundfile.hpp"
#include "audio/verify.hpp"

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <span>

namespace {

void require(bool holds, const char* what) {
    if (!holds) {
        std::fprintf(stderr, "recording_fuzzer: %s\n", what);
        std::abort();
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    auto opened = ravik::audio::SoundFile::openBytes(std::span(data, size), "input");
    if (!opened.file) {
        require(opened.failure && !opened.failure->reason.empty(), "a failure without a reason");
        return 0;
    }
    for (const bool automatic : {true, false}) {
        require(opened.file->seek(0) || opened.file->frames() == 0, "cannot seek to the start");
        ravik::audio::DetectOptions options;
        if (!automatic)
            options.thresholdDb = -40;
        const ravik::audio::Detection detection =
            ravik::audio::detectSilences(*opened.file, options);
        std::int64_t previousEnd = -1;
        for (const ravik::Silence& silence : detection.silences) {
            require(silence.start > previousEnd, "a silence does not start after the one before");
            require(silence.start <= silence.end, "a silence ends before it starts");
            require(silence.end <= ravik::silences::kLastMs, "a silence ends past 32,767 ms");
            previousEnd = silence.end;
        }
        if (!detection.failure)
            require(
                ravik::audio::compareSilences(detection.silences, *opened.file, detection).empty(),
                "verify finds something in what detect found");
    }
    return 0;
}
