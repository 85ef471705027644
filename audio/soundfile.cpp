// SPDX-License-Identifier: GPL-3.0-or-later
#include "soundfile.hpp"

#include "core/files/fileio.hpp"
#include "core/format/silencerules.hpp"
#include "formats.hpp"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <mutex>
#include <sndfile.h>

namespace ravik::audio {
namespace {

constexpr const char* kCouldNotRead = "Could not read the recording";
// A sample beyond this many times full scale (60 dB above it) is no recording's: a float file's
// samples may pass full scale a little, but not by this much.
constexpr float kLoudestSample = 1000.0F;
// The most samples kept of a recording's start in a format read front to back (16 MiB: what a
// GAP file reaches of a 48 kHz stereo recording).
constexpr std::int64_t kKeptSamples = std::int64_t{1} << 22;

// A failed sf_open leaves its reason in one global slot, so opens take turns while several
// recordings are read at once.
std::mutex& openMutex() {
    static std::mutex mutex;
    return mutex;
}

std::string trimmed(std::string text) {
    while (!text.empty() && (text.back() == '.' || text.back() == ' ' || text.back() == '\n'))
        text.pop_back();
    return text;
}

// "WAV, AIFF, FLAC, Ogg Vorbis, Opus or MP3": the formats this build reads.
std::string readableFormats() {
    std::vector<std::string_view> names;
    for (const RecordingFormat& format : recordingFormats())
        if (format.readable)
            names.push_back(format.name);
    std::string text;
    for (std::size_t at = 0; at < names.size(); ++at)
        text += std::string(at == 0                  ? ""
                            : at + 1 == names.size() ? " or "
                                                     : ", ") +
                std::string(names[at]);
    return text;
}

// What is wrong with a file libsndfile could not open, in words about the file: libsndfile's
// own say "File does not exist" of a cut MP3 and "Internal error" of a WAV with two data chunks.
std::string refusalOf(int error, std::uint64_t size) {
    if (size == 0)
        return "It is empty";
    switch (error) {
    case SF_ERR_UNRECOGNISED_FORMAT:
        return "It is not a recording in a format this program reads (" + readableFormats() + ")";
    case SF_ERR_UNSUPPORTED_ENCODING:
        return "Its samples are encoded in a way this program does not read (" +
               trimmed(sf_error_number(error)) + ")";
    default:
        return "It is damaged or cut short: its header or its first samples cannot be read";
    }
}

// Where a seek of libsndfile's virtual I/O lands (`whence` as fseek's), or -1 before the start.
sf_count_t seekTarget(sf_count_t offset, int whence, sf_count_t position, sf_count_t length) {
    const sf_count_t base = whence == SEEK_CUR ? position : whence == SEEK_END ? length : 0;
    return base + offset < 0 ? -1 : base + offset;
}

// The bytes of a recording held in memory, read through libsndfile's virtual I/O.
struct MemoryReader {
    std::span<const std::uint8_t> bytes;
    sf_count_t position = 0;

    static MemoryReader& of(void* data) { return *static_cast<MemoryReader*>(data); }
    static sf_count_t length(void* data) { return static_cast<sf_count_t>(of(data).bytes.size()); }
    static sf_count_t seek(sf_count_t offset, int whence, void* data) {
        MemoryReader& reader = of(data);
        const sf_count_t target = seekTarget(offset, whence, reader.position, length(data));
        if (target < 0 || target > length(data))
            return -1;
        reader.position = target;
        return target;
    }
    static sf_count_t read(void* to, sf_count_t count, void* data) {
        MemoryReader& reader = of(data);
        const sf_count_t n = std::clamp<sf_count_t>(count, 0, length(data) - reader.position);
        std::copy_n(reader.bytes.data() + reader.position, n, static_cast<std::uint8_t*>(to));
        reader.position += n;
        return n;
    }
    static sf_count_t write(const void*, sf_count_t, void*) { return 0; }
    static sf_count_t tell(void* data) { return of(data).position; }
};

// A recording on disk, opened by the program's own rule for reading a user's file (a regular
// file only, never waiting for a named pipe) and read by libsndfile through its virtual I/O.
struct DiskReader {
    std::optional<fileio::ReadableFile> file;
    sf_count_t position = 0;

    static DiskReader& of(void* data) { return *static_cast<DiskReader*>(data); }
    static sf_count_t length(void* data) {
        return static_cast<sf_count_t>(std::min<std::uint64_t>(of(data).file->size(), INT64_MAX));
    }
    static sf_count_t seek(sf_count_t offset, int whence, void* data) {
        DiskReader& reader = of(data);
        const sf_count_t target = seekTarget(offset, whence, reader.position, length(data));
        if (target < 0 || !reader.file->seek(static_cast<std::uint64_t>(target)))
            return -1;
        reader.position = target;
        return target;
    }
    static sf_count_t read(void* to, sf_count_t count, void* data) {
        DiskReader& reader = of(data);
        const std::optional<std::size_t> got =
            reader.file->read(std::span(static_cast<std::uint8_t*>(to),
                                        static_cast<std::size_t>(std::max<sf_count_t>(count, 0))));
        if (!got)
            return 0;
        reader.position += static_cast<sf_count_t>(*got);
        return static_cast<sf_count_t>(*got);
    }
    static sf_count_t tell(void* data) { return of(data).position; }
};

SF_VIRTUAL_IO* virtualIo(bool disk) {
    static SF_VIRTUAL_IO memory{&MemoryReader::length, &MemoryReader::seek, &MemoryReader::read,
                                &MemoryReader::write, &MemoryReader::tell};
    static SF_VIRTUAL_IO files{&DiskReader::length, &DiskReader::seek, &DiskReader::read,
                               &MemoryReader::write, &DiskReader::tell};
    return disk ? &files : &memory;
}

// What the file's header says that this program cannot read, if anything.
std::optional<std::string> unreadableShape(const SF_INFO& info) {
    constexpr int kMostChannels = 256;
    // A GAP file places silences to the millisecond, which a slower recording cannot; no
    // recording of speech is that slow (a telephone's takes 8,000 samples a second).
    constexpr int kLowestRate = 1'000;
    constexpr int kHighestRate = 1'000'000;
    if (info.channels < 1 || info.channels > kMostChannels)
        return "It has " + std::to_string(info.channels) +
               " channels; this program reads recordings of 1 to " + std::to_string(kMostChannels) +
               " channels (mix it down first)";
    if (info.samplerate < kLowestRate)
        return "It has " + std::to_string(info.samplerate) +
               (info.samplerate == 1 ? " sample" : " samples") +
               " a second, too few to place a silence to the millisecond; this program "
               "reads recordings of 1,000 to 1,000,000 samples a second";
    if (info.samplerate > kHighestRate)
        return "It has " + std::to_string(info.samplerate) +
               " samples a second; this program reads recordings of 1,000 to 1,000,000";
    return std::nullopt;
}

// libsndfile seeks to the sample in these: PCM, floats and the companded codes, whose frames
// lie at fixed offsets, and FLAC, whose decoder seeks to the sample. In Ogg Vorbis it may land a
// block away, and after a seek in MP3 the decoder gives other samples until its state has built
// up again; Opus and the block codecs are not trusted either. (Measured on libsndfile 1.2.0.)
bool seeksExactly(int format) {
    const int major = format & SF_FORMAT_TYPEMASK;
    if (major == SF_FORMAT_FLAC)
        return true;
    if (major == SF_FORMAT_OGG || major == SF_FORMAT_MPEG)
        return false;
    switch (format & SF_FORMAT_SUBMASK) {
    case SF_FORMAT_PCM_S8:
    case SF_FORMAT_PCM_U8:
    case SF_FORMAT_PCM_16:
    case SF_FORMAT_PCM_24:
    case SF_FORMAT_PCM_32:
    case SF_FORMAT_FLOAT:
    case SF_FORMAT_DOUBLE:
    case SF_FORMAT_ULAW:
    case SF_FORMAT_ALAW:
        return true;
    default:
        return false;
    }
}

} // namespace

// Formats that libsndfile does not seek to the sample are only ever decoded front to back. What
// a GAP file reaches (its first 32.767 s, where the detector and verify read again) is kept as it
// is decoded, and so are the last frames decoded: a read there needs no decoding, one ahead of the
// decoder decodes up to it, and one behind both opens the file again and decodes from the start.
// Every read so gives the samples of one decode from the start, in whatever order they are asked
// for.
struct SoundFile::Handle {
    SNDFILE* file = nullptr;
    MemoryReader memory;            // used only by recordings opened from bytes
    DiskReader disk;                // used only by recordings opened from a path
    std::int64_t position = 0;      // the frame the next read starts at
    std::optional<Failure> refusal; // a sample no recording holds: nothing more is read
    bool inOrder = false;           // decoded front to back only (see seeksExactly)
    std::size_t channels = 1;
    std::int64_t decoded = 0; // frames the decoder has given since the file was opened
    // The first frames, interleaved, as many as have been decoded.
    std::vector<float> start;
    std::int64_t startFrames = 0;
    // The frames after those, the last decoded ones: frame f at (f % recentFrames), from
    // decoded - recentHeld to decoded.
    std::vector<float> recent;
    std::int64_t recentFrames = 0;
    std::int64_t recentHeld = 0;

    ~Handle() {
        if (file != nullptr)
            sf_close(file);
    }
    SNDFILE* openFile(SF_INFO& info) {
        if (disk.file)
            return sf_open_virtual(virtualIo(true), SFM_READ, &info, &disk);
        return sf_open_virtual(virtualIo(false), SFM_READ, &info, &memory);
    }
    void keepForReadingInOrder(std::int64_t frames, int sampleRate);
    // The kept frames from `frame` on, as many in a row as are there (none when it is not kept).
    [[nodiscard]] std::span<const float> keptFrom(std::int64_t frame) const;
    // Opens the file again at its start, for a read behind what is kept.
    bool reopen(const std::string& path);
    // Decodes the next block; the frames it gave.
    std::int64_t decodeBlock();
    // Up to `frames` frames from `position` on.
    std::size_t readInOrder(float* into, std::size_t frames, const std::string& path);
};

void SoundFile::Handle::keepForReadingInOrder(std::int64_t frames, int sampleRate) {
    constexpr std::int64_t kRecentFrames = 16'384;
    // A second beyond what a GAP file reaches: where an edge is looked for past its last time.
    const std::int64_t reach = (std::int64_t{silences::kLastMs} + 1'000) * sampleRate / 1'000;
    const auto most = kKeptSamples / static_cast<std::int64_t>(channels);
    inOrder = true;
    // (A length libsndfile does not know is the largest count there is.)
    const std::int64_t wanted = frames < reach ? frames + kRecentFrames : reach;
    startFrames = std::clamp<std::int64_t>(wanted, 0, most);
    recentFrames = kRecentFrames;
    start.resize(static_cast<std::size_t>(startFrames) * channels);
    recent.resize(static_cast<std::size_t>(recentFrames) * channels);
}

std::span<const float> SoundFile::Handle::keptFrom(std::int64_t frame) const {
    std::int64_t count = 0;
    const float* at = nullptr;
    if (frame < std::min(decoded, startFrames)) {
        count = std::min(decoded, startFrames) - frame;
        at = start.data() + static_cast<std::size_t>(frame) * channels;
    } else if (frame >= decoded - recentHeld && frame < decoded) {
        const std::int64_t slot = frame % recentFrames;
        count = std::min(decoded - frame, recentFrames - slot);
        at = recent.data() + static_cast<std::size_t>(slot) * channels;
    }
    return {at, static_cast<std::size_t>(count) * channels};
}

bool SoundFile::Handle::reopen(const std::string& path) {
    sf_close(file);
    file = nullptr;
    decoded = 0;
    recentHeld = 0;
    SF_INFO info{};
    {
        const std::lock_guard lock(openMutex());
        if (disk.file) {
            disk.position = 0;
            if (disk.file->seek(0))
                file = openFile(info);
        } else {
            memory.position = 0;
            file = openFile(info);
        }
    }
    if (file == nullptr) {
        refusal = Failure{kCouldNotRead, path,
                          disk.file && disk.file->failure()
                              ? disk.file->failure()->reason
                              : "It could not be opened again to read it from its start"};
        return false;
    }
    return true;
}

std::int64_t SoundFile::Handle::decodeBlock() {
    constexpr std::int64_t kBlockFrames = 4'096;
    float* into = nullptr;
    std::int64_t room = 0;
    if (decoded < startFrames) {
        into = start.data() + static_cast<std::size_t>(decoded) * channels;
        room = startFrames - decoded;
    } else {
        const std::int64_t slot = decoded % recentFrames;
        into = recent.data() + static_cast<std::size_t>(slot) * channels;
        room = recentFrames - slot;
    }
    const sf_count_t got = sf_readf_float(file, into, std::min(kBlockFrames, room));
    if (got <= 0)
        return 0;
    if (decoded >= startFrames)
        recentHeld = std::min(recentFrames, recentHeld + got);
    decoded += got;
    return got;
}

std::size_t SoundFile::Handle::readInOrder(float* into, std::size_t frames,
                                           const std::string& path) {
    if (position < decoded && keptFrom(position).empty() && !reopen(path))
        return 0;
    std::size_t copied = 0;
    while (copied < frames) {
        const std::int64_t frame = position + static_cast<std::int64_t>(copied);
        const std::span<const float> kept = keptFrom(frame);
        if (kept.empty()) {
            // Ahead of the decoder (what it decodes on the way is kept, or not needed).
            if (decodeBlock() == 0)
                break;
            continue;
        }
        const std::size_t count = std::min(frames - copied, kept.size() / channels);
        std::copy_n(kept.begin(), count * channels, into + copied * channels);
        copied += count;
    }
    return copied;
}

template <class Open>
SoundFile::Opened SoundFile::openWith(std::shared_ptr<Handle> handle, const std::string& path,
                                      Open open) {
    SF_INFO info{};
    {
        const std::lock_guard lock(openMutex());
        handle->file = open(info);
        if (handle->file == nullptr) {
            // A failure of the file itself says more than libsndfile's reading of what it got.
            if (handle->disk.file && handle->disk.file->failure())
                return {std::nullopt,
                        Failure{kCouldNotRead, path, handle->disk.file->failure()->reason}};
            const std::uint64_t size =
                handle->disk.file ? handle->disk.file->size() : handle->memory.bytes.size();
            return {std::nullopt, Failure{kCouldNotRead, path, refusalOf(sf_error(nullptr), size)}};
        }
    }
    if (auto shape = unreadableShape(info))
        return {std::nullopt, Failure{kCouldNotRead, path, std::move(*shape)}};
    SoundFile file;
    file.handle_ = std::move(handle);
    file.path_ = path;
    file.sampleRate_ = info.samplerate;
    file.channels_ = info.channels;
    file.frames_ = std::max<sf_count_t>(info.frames, 0);
    const int subtype = info.format & SF_FORMAT_SUBMASK;
    file.sixteenBits_ =
        subtype == SF_FORMAT_PCM_16 || subtype == SF_FORMAT_PCM_S8 || subtype == SF_FORMAT_PCM_U8;
    Handle& opened = *file.handle_;
    opened.channels = static_cast<std::size_t>(info.channels);
    if (!seeksExactly(info.format)) {
        opened.keepForReadingInOrder(file.frames_, info.samplerate);
        file.sixteenBits_ = false;
    }
    return {std::move(file), std::nullopt};
}

SoundFile::Opened SoundFile::open(const std::string& path) {
    fileio::ReadableFile::Opening opening = fileio::ReadableFile::open(path);
    if (!opening.file)
        return {std::nullopt, Failure{kCouldNotRead, path, opening.failure->reason}};
    auto handle = std::make_shared<Handle>();
    handle->disk.file = std::move(opening.file);
    Handle& opened = *handle;
    Opened result = openWith(std::move(handle), path,
                             [&opened](SF_INFO& info) { return opened.openFile(info); });
    // libsndfile calls a format whose codec it was built without "unimplemented": say which.
    if (result.failure)
        if (std::optional<std::string> lacked = lackedFormat(path))
            result.failure->reason = *lacked;
    return result;
}

SoundFile::Opened SoundFile::openBytes(std::span<const std::uint8_t> bytes,
                                       const std::string& name) {
    auto handle = std::make_shared<Handle>();
    handle->memory.bytes = bytes;
    Handle& opened = *handle;
    return openWith(std::move(handle), name,
                    [&opened](SF_INFO& info) { return opened.openFile(info); });
}

std::size_t SoundFile::readFrames(std::span<float> interleaved) {
    if (channels_ <= 0 || handle_->refusal)
        return 0;
    const auto channels = static_cast<std::size_t>(channels_);
    const std::size_t wanted = interleaved.size() / channels;
    std::size_t got = 0;
    if (handle_->inOrder) {
        got = handle_->readInOrder(interleaved.data(), wanted, path_);
    } else {
        const sf_count_t read =
            sf_readf_float(handle_->file, interleaved.data(), static_cast<sf_count_t>(wanted));
        got = read > 0 ? static_cast<std::size_t>(read) : 0;
    }
    // Not a number, infinite or far beyond full scale: a broken file, whose level would be no
    // level at all. Refused, naming the sample, rather than read as silence or as sound.
    const std::span<const float> samples = interleaved.first(got * channels);
    const auto bad = std::find_if(samples.begin(), samples.end(), [](float sample) {
        return !(std::fabs(sample) <= kLoudestSample);
    });
    if (bad != samples.end()) {
        const auto index = static_cast<std::size_t>(bad - samples.begin());
        const std::int64_t frame = handle_->position + static_cast<std::int64_t>(index / channels);
        char seconds[32];
        std::snprintf(seconds, sizeof seconds, "%.3f", static_cast<double>(frame) / sampleRate_);
        const std::string what =
            std::isnan(*bad) ? "is not a number" : "lies beyond 1000 times full scale";
        handle_->refusal =
            Failure{kCouldNotRead, path_,
                    "Its sample at " + std::string(seconds) + " s (frame " + std::to_string(frame) +
                        ", channel " + std::to_string(index % channels + 1) + ") " + what +
                        "; no recording holds such a sample"};
        return 0;
    }
    handle_->position += static_cast<std::int64_t>(got);
    return got;
}

std::size_t SoundFile::readFrames(std::span<std::int16_t> interleaved) {
    // Only where sixteenBitSamples(), which a recording decoded in order never has.
    if (channels_ <= 0 || handle_->refusal || handle_->inOrder)
        return 0;
    const auto wanted = static_cast<sf_count_t>(interleaved.size() / std::size_t(channels_));
    const sf_count_t read = sf_readf_short(handle_->file, interleaved.data(), wanted);
    const std::size_t got = read > 0 ? static_cast<std::size_t>(read) : 0;
    handle_->position += static_cast<std::int64_t>(got);
    return got;
}

bool SoundFile::seek(std::int64_t frame) {
    if (handle_->inOrder) {
        // Decoded up to it by the next read; past the end that read gives nothing.
        if (frame < 0 || handle_->refusal)
            return false;
    } else if (sf_seek(handle_->file, frame, SEEK_SET) != frame) {
        return false;
    }
    handle_->position = frame;
    return true;
}

std::optional<Failure> SoundFile::readFailure() const {
    if (handle_->refusal)
        return handle_->refusal;
    if (handle_->disk.file && handle_->disk.file->failure())
        return Failure{kCouldNotRead, path_, handle_->disk.file->failure()->reason};
    if (handle_->file == nullptr || sf_error(handle_->file) == SF_ERR_NO_ERROR)
        return std::nullopt;
    char seconds[32];
    std::snprintf(seconds, sizeof seconds, "%.3f",
                  static_cast<double>(handle_->position) / sampleRate_);
    return Failure{kCouldNotRead, path_,
                   "It is damaged or cut short: its samples cannot be read past " +
                       std::string(seconds) + " s"};
}

} // namespace ravik::audio
