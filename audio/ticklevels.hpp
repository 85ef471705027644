// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "audio/soundfile.hpp"

#include <array>
#include <cstddef>
#include <cstdint>
#include <vector>

/// The levels the detector and verify judge a recording by, per 5 ms tick, taken in one reading.
namespace ravik::audio {

/// Octave bands, the highest first. The recording is brought down to an analysis rate R of 8 to
/// 16 kHz by halving its rate (which keeps the whole speech band and makes every later step
/// cheap); band b then spans R / 2^(b+2) to R / 2^(b+1): 2 to 4 kHz down to 125 to 250 Hz at
/// 8 kHz, 2.8 to 5.5 kHz down to 170 to 345 Hz at 11 kHz. Together they are the speech band;
/// what lies under the lowest (mains hum, rumble, a DC offset) counts for nothing.
inline constexpr std::size_t kOctaves = 5;

/// The analysis rate for a recording at `sampleRate`.
[[nodiscard]] int analysisRate(int sampleRate);

/// Per tick: the speech band's mean square (in the loudest channel), each octave's (each in its
/// loudest channel), and the spread of the samples: half the distance between the highest and
/// the lowest in the channel where that is widest (0 in digital silence: zeros or a constant
/// offset).
struct TickLevels {
    int tickFrames = 1;
    std::int64_t origin = 0; ///< the first tick's first frame
    std::int64_t frames = 0; ///< where the reading stopped (the end of the recording, or before)
    std::vector<float> energy;
    std::vector<float> spread;
    std::vector<std::array<float, kOctaves>> octaves;

    [[nodiscard]] std::size_t ticks() const { return energy.size(); }
};

/// Eight lanes of the vector unit (AVX2) are built beside four where the compiler can build them
/// and the program can ask the processor for them.
#if defined(__GNUC__) && defined(__x86_64__)
#define RAVIK_EIGHT_LANES 1
#else
#define RAVIK_EIGHT_LANES 0
#endif

/// How wide the vector unit's lanes are that the analysis's filters and the speech model's sums
/// run in: every width gives the same results to the bit, so the widest the processor has is
/// taken.
enum class Lanes { Four, Eight };
[[nodiscard]] bool hasLanes(Lanes lanes);
[[nodiscard]] Lanes widestLanes();

/// Reads frames [from, to) of `recording` (to its end when `to` is past it) and takes their
/// levels, ticks counted from `from`. Judged from those samples only: what lies before and after
/// them is taken to repeat the first and the last. Stops short where the recording cannot be
/// read (see SoundFile::readFailure). `lanes` is the width the filters run in; every width the
/// processor has gives the same levels.
[[nodiscard]] TickLevels readTickLevels(SoundFile& recording, std::int64_t from, std::int64_t to,
                                        int tickFrames, Lanes lanes = widestLanes());

/// The value below which `share` (0 to 1) of `values` lie; `values` must not be empty and hold no
/// NaN. May reorder `values` rather than copy them: only their order changes, so they can be
/// asked again.
[[nodiscard]] double percentile(std::vector<float>& values, double share);

} // namespace ravik::audio
