#include "soundfile.hpp"

#include <algorithm>
#include <filesystem>
#include <mutex>
#include <sndfile.h>
#include <system_error>

#ifdef _WIN32
#define ENABLE_SNDFILE_WINDOWS_PROTOTYPES 1
#include <windows.h>
#endif

namespace ravik::audio {
namespace {

constexpr const char* kCouldNotRead = "Could not read the recording";

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

// The bytes of a recording held in memory, read through libsndfile's virtual I/O.
struct MemoryReader {
    std::span<const std::uint8_t> bytes;
    sf_count_t position = 0;

    static MemoryReader& of(void* data) { return *static_cast<MemoryReader*>(data); }
    static sf_count_t length(void* data) { return static_cast<sf_count_t>(of(data).bytes.size()); }
    static sf_count_t seek(sf_count_t offset, int whence, void* data) {
        MemoryReader& reader = of(data);
        const sf_count_t base = whence == SEEK_CUR   ? reader.position
                                : whence == SEEK_END ? length(data)
                                                     : 0;
        const sf_count_t target = base + offset;
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

} // namespace

struct SoundFile::Handle {
    SNDFILE* file = nullptr;
    MemoryReader memory; // used only by recordings opened from bytes
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
        if (handle->file == nullptr)
            return {std::nullopt, Failure{kCouldNotRead, path, trimmed(sf_strerror(nullptr))}};
    }
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
    std::error_code error;
    if (std::filesystem::is_directory(
            std::filesystem::path(std::u8string(path.begin(), path.end())), error))
        return {std::nullopt, Failure{kCouldNotRead, path,
                                      reasonText(std::make_error_code(std::errc::is_a_directory))}};
    // libsndfile's own words for a missing file differ from system to system.
    if (!std::filesystem::exists(std::filesystem::path(std::u8string(path.begin(), path.end())),
                                 error) &&
        !error)
        return {std::nullopt,
                Failure{kCouldNotRead, path,
                        reasonText(std::make_error_code(std::errc::no_such_file_or_directory))}};
    return openWith(std::make_shared<Handle>(), path, [&path](SF_INFO& info) {
#ifdef _WIN32
        std::wstring wide(static_cast<std::size_t>(MultiByteToWideChar(
                              CP_UTF8, 0, path.data(), static_cast<int>(path.size()), nullptr, 0)),
                          L'\0');
        MultiByteToWideChar(CP_UTF8, 0, path.data(), static_cast<int>(path.size()), wide.data(),
                            static_cast<int>(wide.size()));
        return sf_wchar_open(wide.c_str(), SFM_READ, &info);
#else
        return sf_open(path.c_str(), SFM_READ, &info);
#endif
    });
}

SoundFile::Opened SoundFile::openBytes(std::span<const std::uint8_t> bytes,
                                       const std::string& name) {
    auto handle = std::make_shared<Handle>();
    handle->memory.bytes = bytes;
    Handle& opened = *handle;
    return openWith(std::move(handle), name, [&opened](SF_INFO& info) {
        static SF_VIRTUAL_IO io{&MemoryReader::length, &MemoryReader::seek, &MemoryReader::read,
                                &MemoryReader::write, &MemoryReader::tell};
        return sf_open_virtual(&io, SFM_READ, &info, &opened.memory);
    });
}

std::size_t SoundFile::readFrames(std::span<float> interleaved) {
    if (channels_ <= 0)
        return 0;
    const auto wanted = static_cast<sf_count_t>(interleaved.size() / std::size_t(channels_));
    const sf_count_t got = sf_readf_float(handle_->file, interleaved.data(), wanted);
    return got > 0 ? static_cast<std::size_t>(got) : 0;
}

std::size_t SoundFile::readFrames(std::span<std::int16_t> interleaved) {
    if (channels_ <= 0)
        return 0;
    const auto wanted = static_cast<sf_count_t>(interleaved.size() / std::size_t(channels_));
    const sf_count_t got = sf_readf_short(handle_->file, interleaved.data(), wanted);
    return got > 0 ? static_cast<std::size_t>(got) : 0;
}

bool SoundFile::seek(std::int64_t frame) {
    return sf_seek(handle_->file, frame, SEEK_SET) == frame;
}

std::optional<Failure> SoundFile::readFailure() const {
    if (sf_error(handle_->file) == SF_ERR_NO_ERROR)
        return std::nullopt;
    return Failure{kCouldNotRead, path_, trimmed(sf_strerror(handle_->file))};
}

} // namespace ravik::audio
