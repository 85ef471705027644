#include "soundfile.hpp"

#include "core/files/fileio.hpp"
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
    constexpr int kHighestRate = 1'000'000;
    if (info.channels < 1 || info.channels > kMostChannels)
        return "It has " + std::to_string(info.channels) +
               " channels; this program reads recordings of 1 to " + std::to_string(kMostChannels) +
               " channels (mix it down first)";
    if (info.samplerate < 1 || info.samplerate > kHighestRate)
        return "It has " + std::to_string(info.samplerate) +
               " samples a second; this program reads recordings of 1 to 1,000,000";
    return std::nullopt;
}

} // namespace

struct SoundFile::Handle {
    SNDFILE* file = nullptr;
    MemoryReader memory;            // used only by recordings opened from bytes
    DiskReader disk;                // used only by recordings opened from a path
    std::int64_t position = 0;      // the frame the next read starts at
    std::optional<Failure> refusal; // a sample no recording holds: nothing more is read
    ~Handle() {
        if (file != nullptr)
            sf_close(file);
    }
};

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
            return {std::nullopt, Failure{kCouldNotRead, path, trimmed(sf_strerror(nullptr))}};
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
    return {std::move(file), std::nullopt};
}

SoundFile::Opened SoundFile::open(const std::string& path) {
    fileio::ReadableFile::Opening opening = fileio::ReadableFile::open(path);
    if (!opening.file)
        return {std::nullopt, Failure{kCouldNotRead, path, opening.failure->reason}};
    auto handle = std::make_shared<Handle>();
    handle->disk.file = std::move(opening.file);
    Handle& opened = *handle;
    Opened result = openWith(std::move(handle), path, [&opened](SF_INFO& info) {
        return sf_open_virtual(virtualIo(true), SFM_READ, &info, &opened.disk);
    });
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
    return openWith(std::move(handle), name, [&opened](SF_INFO& info) {
        return sf_open_virtual(virtualIo(false), SFM_READ, &info, &opened.memory);
    });
}

std::size_t SoundFile::readFrames(std::span<float> interleaved) {
    if (channels_ <= 0 || handle_->refusal)
        return 0;
    const auto channels = static_cast<std::size_t>(channels_);
    const auto wanted = static_cast<sf_count_t>(interleaved.size() / channels);
    const sf_count_t read = sf_readf_float(handle_->file, interleaved.data(), wanted);
    const std::size_t got = read > 0 ? static_cast<std::size_t>(read) : 0;
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
    if (channels_ <= 0 || handle_->refusal)
        return 0;
    const auto wanted = static_cast<sf_count_t>(interleaved.size() / std::size_t(channels_));
    const sf_count_t read = sf_readf_short(handle_->file, interleaved.data(), wanted);
    const std::size_t got = read > 0 ? static_cast<std::size_t>(read) : 0;
    handle_->position += static_cast<std::int64_t>(got);
    return got;
}

bool SoundFile::seek(std::int64_t frame) {
    if (sf_seek(handle_->file, frame, SEEK_SET) != frame)
        return false;
    handle_->position = frame;
    return true;
}

std::optional<Failure> SoundFile::readFailure() const {
    if (handle_->refusal)
        return handle_->refusal;
    if (handle_->disk.file && handle_->disk.file->failure())
        return Failure{kCouldNotRead, path_, handle_->disk.file->failure()->reason};
    if (sf_error(handle_->file) == SF_ERR_NO_ERROR)
        return std::nullopt;
    return Failure{kCouldNotRead, path_, trimmed(sf_strerror(handle_->file))};
}

} // namespace ravik::audio
