// SPDX-License-Identifier: GPL-3.0-or-later
// ravik_speech_features RECORDING OUT [--teacher]: what the speech model sees of a recording,
// for audio/speechmodel/train.py. Writes to OUT, little-endian: the ticks (uint32), the features
// per tick (uint32), the first tick's frame (int64), the frames per tick and the rate (uint32
// each), the recording's room decay (float32), then every tick's features (float32). With
// --teacher, then one byte per tick: 1 where a voice speaks by the level rule, on a clean recording
// (the labels the model learns), 0 where it does not.
#include "audio/silencedetector.hpp"
#include "audio/soundfile.hpp"
#include "audio/speechmodel.hpp"
#include "audio/ticklevels.hpp"

#include <cstdint>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <limits>

namespace {

using namespace ravik::audio;

template <class T>
void put(std::ofstream& out, T value) {
    out.write(reinterpret_cast<const char*>(&value), sizeof value);
}

} // namespace

int main(int argc, char** argv) {
    if (argc < 3) {
        std::fprintf(stderr, "Usage: %s RECORDING OUT [--teacher]\n", argv[0]);
        return 2;
    }
    const bool teacher = argc > 3 && std::strcmp(argv[3], "--teacher") == 0;
    auto opened = SoundFile::open(argv[1]);
    if (!opened.file) {
        std::fprintf(stderr, "%s\n", opened.failure->sentence().c_str());
        return 1;
    }
    const Features seen = speechFeaturesOf(*opened.file);
    std::ofstream out(argv[2], std::ios::binary);
    put(out, static_cast<std::uint32_t>(seen.features.size()));
    put(out, static_cast<std::uint32_t>(speech::kTickFeatures));
    put(out, static_cast<std::int64_t>(seen.origin));
    put(out, static_cast<std::uint32_t>(seen.tickFrames));
    put(out, static_cast<std::uint32_t>(opened.file->sampleRate()));
    put(out, seen.roomDecay);
    for (const speech::TickFeatures& tick : seen.features)
        for (const float value : tick)
            put(out, value);
    if (teacher) {
        const std::vector<char> speaking = teacherLabels(*opened.file, seen);
        out.write(speaking.data(), static_cast<std::streamsize>(speaking.size()));
    }
    return out ? 0 : 1;
}
