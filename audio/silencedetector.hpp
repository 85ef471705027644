// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "audio/soundfile.hpp"
#include "audio/speechmodel.hpp"
#include "core/format/silencerules.hpp"
#include "core/format/silences.hpp"
#include "core/text/failure.hpp"

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace ravik::audio {

/// Silences of 50 ms or less are the ones defrag removes, so detection keeps only longer ones.
inline constexpr int kDefaultLeastSilenceMs = 51;

struct DetectOptions {
    /// Quiet below this level (dBFS, negative); nothing: found from the recording itself.
    std::optional<double> thresholdDb;
    /// A silence lasts at least this long (ms, 1 or more).
    int leastSilenceMs = kDefaultLeastSilenceMs;
    /// Sound by its levels alone, without the speech model: what the model learns from.
    bool levelRule = false;

    bool operator==(const DetectOptions&) const = default;
};

/// The threshold a user typed, if it is one: a finite negative level in dBFS, such as "-45",
/// with nothing before or after it.
[[nodiscard]] std::optional<double> thresholdFromText(std::string_view text);
/// The least silence a user typed, if it is one: whole milliseconds from 1 to
/// silences::kLastMs, with nothing before or after them.
[[nodiscard]] std::optional<int> leastSilenceFromText(std::string_view text);

struct Detection {
    /// In order, each starting after the one before ends, all within 0..silences::kLastMs.
    std::vector<ravik::Silence> silences;
    /// The level that ends a pause: a silence holds sound where the speech band's level over
    /// 20 ms reaches it (see soundInside). verify judges listed silences by it.
    double thresholdDb = 0;
    double noiseFloorDb = 0;  ///< the level of the recording's pauses
    double speechLevelDb = 0; ///< the level of its speech
    std::int64_t lengthMs = 0;
    /// Sentences for the user about what could not go into a GAP file.
    std::vector<std::string> warnings;
    /// Set when the recording could not be read or holds nothing to find silences in.
    std::optional<Failure> failure;
    /// True when the failure is about the recording's content (no speech), not about reading it.
    bool noSpeech = false;
};

/// Finds the silences of `recording`, reading it whole once (and a few parts of it again, from
/// the start); its levels are measured over its first ten minutes of sound only, so that a
/// longer recording costs no more memory, and the rest is only read for its length. A pause starts
/// where the speech band's level falls near the recording's noise floor, and every octave's near
/// its own noise, and ends where one of them rises well above it (or, with a threshold given, where
/// the speech band's level falls below and rises above that level); it lasts at least the least
/// silence length and holds no sound by soundInside's rule; a click of a few milliseconds inside a
/// pause does not split it. Boundaries are exact to the sample (the last and first samples that
/// rise above the pauses' own noise), then rounded inwards to milliseconds. Only pauses that a GAP
/// file reaches are placed and judged so.
[[nodiscard]] Detection detectSilences(SoundFile& recording, const DetectOptions& options = {});

/// What the speech model sees of a recording, read as detectSilences reads it; for training.
struct Features {
    std::vector<speech::TickFeatures> features;
    float roomDecay = 0;     ///< speech::roomDecay of the recording
    std::int64_t origin = 0; ///< the first tick's first frame
    int tickFrames = 1;
    std::vector<float> levelDb; ///< each tick's speech band over 20 ms
    double speechDb = 0;        ///< the level of the recording's speech
};
[[nodiscard]] Features speechFeaturesOf(SoundFile& recording);

/// The ticks where a voice speaks in a clean recording, which the model learns to find again
/// under noise, babble, a room's reverberation and a codec: the level rule's sound there
/// (detectSilences with levelRule).
[[nodiscard]] std::vector<char> teacherLabels(SoundFile& recording, const Features& features);

} // namespace ravik::audio
