#pragma once

#include "audio/silencedetector.hpp"

#include <cstdint>
#include <string>
#include <vector>

/// Recordings with known silences, made from the espeak-ng phrases in tests/audio/phrases, and
/// the score of a detection against them. Shared by the tests and the accuracy benchmark.
namespace ravik::testset {

/// A stretch of time in milliseconds, not rounded.
struct Interval {
    double start = 0;
    double end = 0;
};

enum class Condition { clean, stereo44k, noise20dB, noise10dB, hum, clicks };
inline constexpr Condition kConditions[] = {Condition::clean,     Condition::stereo44k,
                                            Condition::noise20dB, Condition::noise10dB,
                                            Condition::hum,       Condition::clicks};
[[nodiscard]] std::string nameOf(Condition condition);

struct Recording {
    int sampleRate = 22'050;
    int channels = 1;
    std::vector<float> samples;  ///< interleaved
    std::vector<Interval> truth; ///< the pauses put between the phrases, to the sample
};

/// The phrases joined by pauses of 60 to 700 ms (and one before and after), under `condition`.
/// `repeat` strings that many rounds of phrases together (about 15 s each).
[[nodiscard]] Recording makeRecording(Condition condition, int repeat = 1);

/// Writes `recording` as a 16-bit WAV file, or in libsndfile's `format` (SF_FORMAT_...) when
/// given; false when it could not.
[[nodiscard]] bool writeWav(const Recording& recording, const std::string& path, int format = 0);

struct Score {
    int matched = 0;
    int found = 0;
    int expected = 0;
    double f1 = 0;
    double worstBoundaryMs = 0; ///< over the matched silences
    double meanBoundaryMs = 0;
};

/// Matches found silences to true ones as `gaptool diff` matches two files' silences (see
/// silences::sameSilence). Both lists are in time order.
[[nodiscard]] Score score(const std::vector<Interval>& truth, const std::vector<Interval>& found);
[[nodiscard]] std::vector<Interval> intervalsOf(const std::vector<ravik::Silence>& silences);

} // namespace ravik::testset
