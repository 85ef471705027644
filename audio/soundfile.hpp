// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "core/text/failure.hpp"

#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <span>
#include <string>

/// Recordings: decoding through libsndfile, and what the program finds in them.
namespace ravik::audio {

/// An open recording, read front to back in blocks of interleaved float frames (libsndfile
/// converts every sample format to float, integers scaled to -1..1). Copies share one open file,
/// as libsndfile's own C++ handle does; the file closes with the last copy.
class SoundFile {
public:
    struct Opened;

    /// Opens the recording at `path` (UTF-8), as fileio::ReadableFile opens a user's file: a
    /// folder, a named pipe or a device is refused without waiting. A file libsndfile cannot
    /// read, a missing file, or one of more than 256 channels, or fewer than 1,000 or more than
    /// 1,000,000 samples a second gives a failure naming the path and the reason. Every read
    /// gives the samples of one decode from the start, whatever the format and the order of the
    /// reads and seeks.
    [[nodiscard]] static Opened open(const std::string& path);
    /// Opens a recording held in memory; `bytes` must outlive every copy of the handle. `name`
    /// stands for the path in failures.
    [[nodiscard]] static Opened openBytes(std::span<const std::uint8_t> bytes,
                                          const std::string& name);

    [[nodiscard]] const std::string& path() const { return path_; }
    [[nodiscard]] int sampleRate() const { return sampleRate_; }
    [[nodiscard]] int channels() const { return channels_; }
    /// Frames the file says it holds; a damaged file may end sooner (readFrames returns less).
    [[nodiscard]] std::int64_t frames() const { return frames_; }

    /// Reads up to `interleaved.size() / channels()` frames at the current position into
    /// `interleaved` and returns how many it read: 0 at the end of the recording. A sample that
    /// is not a number or lies beyond 1000 times full scale ends the recording there for good;
    /// readFailure() names it.
    [[nodiscard]] std::size_t readFrames(std::span<float> interleaved);
    /// True when the recording's samples are integers of 16 bits or fewer, so that reading them
    /// as such loses nothing; it is the quickest way through a long recording.
    [[nodiscard]] bool sixteenBitSamples() const { return sixteenBits_; }
    /// readFrames as 16-bit integers (a float of the other readFrames times 32,768).
    [[nodiscard]] std::size_t readFrames(std::span<std::int16_t> interleaved);
    /// Moves the read position to `frame` (0 to frames()), to the sample in every format. False
    /// when the file cannot seek there.
    [[nodiscard]] bool seek(std::int64_t frame);
    /// Why the last read or seek stopped short: a sample no recording holds, a failed read of the
    /// file, or libsndfile's reason; nothing at a plain end of the recording.
    [[nodiscard]] std::optional<Failure> readFailure() const;

private:
    struct Handle;
    SoundFile() = default;
    // Opens `handle` with `open` (given libsndfile's SF_INFO), taking turns with other opens.
    template <class Open>
    static Opened openWith(std::shared_ptr<Handle> handle, const std::string& path, Open open);

    std::shared_ptr<Handle> handle_;
    std::string path_;
    int sampleRate_ = 0;
    int channels_ = 0;
    std::int64_t frames_ = 0;
    bool sixteenBits_ = false;
};

struct SoundFile::Opened {
    std::optional<SoundFile> file; ///< set when the recording opened
    std::optional<Failure> failure;
};

} // namespace ravik::audio
