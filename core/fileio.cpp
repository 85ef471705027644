#include "fileio.hpp"

#include "gapformat.hpp"
#include "nativefile.hpp"

#include <algorithm>
#include <array>
#include <cerrno>
#include <chrono>
#include <filesystem>
#include <random>
#include <system_error>
#include <thread>
#include <utility>

namespace ravik::fileio {
namespace fs = std::filesystem;
using native::Kind;
using native::Status;

namespace {

constexpr const char* kNotAFile = "It is a folder, not a file";
constexpr const char* kNotRegular = "It is not a regular file";

fs::path toPath(const std::string& utf8) {
    return fs::path(std::u8string(utf8.begin(), utf8.end()));
}

std::string utf8Of(const fs::path& path) {
    const std::u8string text = path.u8string();
    return std::string(text.begin(), text.end());
}

std::string lastReason() {
    std::error_code error = native::lastError();
    if (!error)
        error = std::make_error_code(std::errc::io_error);
    return reasonText(error);
}

Failure failure(const char* action, const std::string& path, std::string reason) {
    return Failure{action, path, std::move(reason)};
}

/// Owns an open file descriptor.
class Descriptor {
public:
    explicit Descriptor(int fd)
        : fd_(fd) {}
    Descriptor(const Descriptor&) = delete;
    Descriptor& operator=(const Descriptor&) = delete;
    ~Descriptor() {
        if (fd_ >= 0)
            native::closeNative(fd_);
    }
    void reset(int fd) {
        if (fd_ >= 0)
            native::closeNative(fd_);
        fd_ = fd;
    }
    [[nodiscard]] int get() const { return fd_; }
    [[nodiscard]] bool valid() const { return fd_ >= 0; }
    /// Closes now and reports whether the close succeeded (a late write error shows here).
    [[nodiscard]] bool close() {
        const int fd = std::exchange(fd_, -1);
        return native::closeNative(fd) == 0;
    }

private:
    int fd_;
};

bool writeAll(int fd, std::span<const std::uint8_t> bytes, std::size_t* written = nullptr) {
    while (!bytes.empty()) {
        const long long put = native::writeSome(fd, bytes.data(), bytes.size());
        if (put <= 0) {
            if (put == 0)
                errno = EIO;
            return false;
        }
        bytes = bytes.subspan(static_cast<std::size_t>(put));
        if (written != nullptr)
            *written += static_cast<std::size_t>(put);
    }
    return true;
}

// Reads what `fd` holds, refusing anything but a regular file small enough to be a GAP file.
Contents readOpened(int fd, const std::string& path) {
    Contents contents;
    Status status;
    if (!native::statusOf(fd, status)) {
        contents.failure = failure("Could not read", path, lastReason());
        return contents;
    }
    if (status.kind != Kind::regular) {
        contents.failure =
            failure("Could not open", path, status.kind == Kind::folder ? kNotAFile : kNotRegular);
        return contents;
    }
    if (status.size > kLargestFileSize) {
        contents.failure =
            failure("Could not open", path,
                    "It is " + std::to_string(status.size) + " bytes long, more than the " +
                        std::to_string(kLargestFileSize) + " bytes (" +
                        std::to_string(kLargestRecordCount) + " silences) of the largest GAP file");
        return contents;
    }
    contents.bytes.resize(static_cast<std::size_t>(status.size));
    std::size_t have = 0;
    while (have < contents.bytes.size()) {
        const long long got =
            native::readSome(fd, contents.bytes.data() + have, contents.bytes.size() - have);
        if (got < 0) {
            contents.bytes.clear();
            contents.failure = failure("Could not read", path, lastReason());
            return contents;
        }
        if (got == 0)
            break; // the file shrank since it was measured: what is there is the file
        have += static_cast<std::size_t>(got);
    }
    contents.bytes.resize(have);
    return contents;
}

Contents readAt(const fs::path& file, const std::string& path) {
    Status status;
    if (native::statusOf(file, status) && status.kind == Kind::folder) {
        Contents contents;
        contents.failure = failure("Could not open", path, kNotAFile);
        return contents;
    }
    Descriptor fd(native::openForReading(file));
    if (!fd.valid()) {
        Contents contents;
        contents.failure = failure("Could not open", path, lastReason());
        return contents;
    }
    return readOpened(fd.get(), path);
}

// A name beside `target` that nobody else uses, created and opened for writing.
int createTemporaryBeside(const fs::path& target, fs::path& temporary) {
    static std::mt19937_64 generator{
        std::random_device{}() ^
        static_cast<std::uint64_t>(std::chrono::steady_clock::now().time_since_epoch().count())};
    static const char* const kDigits = "0123456789abcdef";
    for (int attempt = 0; attempt < 100; ++attempt) {
        std::array<char, 12> suffix{};
        std::uint64_t bits = generator();
        for (char& digit : suffix) {
            digit = kDigits[bits & 15U];
            bits >>= 4;
        }
        std::string name = ".";
        name += utf8Of(target.filename());
        name += ".ravik-";
        name.append(suffix.data(), suffix.size());
        temporary = target.parent_path() / toPath(name);
        const int fd = native::createExclusive(temporary, 0600);
        if (fd >= 0 || native::lastError() != std::errc::file_exists)
            return fd;
    }
    return -1;
}

} // namespace

Contents readGapFile(const std::string& path) {
    return readAt(toPath(path), path);
}

// --- The writers' lock ------------------------------------------------------------------------

struct WriterLock::State {
    std::string path;  ///< as the user gave it, for messages
    fs::path file;     ///< the file itself, links followed
    native::Lock lock; ///< on the file now at `file`
    bool created = false;
    bool changed = false;
};

WriterLock::WriterLock(WriterLock&&) noexcept = default;
WriterLock& WriterLock::operator=(WriterLock&&) noexcept = default;

WriterLock::~WriterLock() {
    abandonCreated();
}

// A file the lock made and nothing filled goes again, so that a failed change leaves no trace.
void WriterLock::abandonCreated() {
    if (!state_ || !state_->created || state_->changed)
        return;
    Status status;
    if (native::statusOf(state_->file, status) && status.kind == Kind::regular && status.size == 0)
        (void)native::removePath(state_->file);
    state_->created = false;
}

Locking lockForWriting(const std::string& path, IfMissing ifMissing,
                       std::chrono::milliseconds patience) {
    Locking locking;
    const native::Resolved resolved = native::resolveLinks(toPath(path));
    if (!resolved.refusal.empty()) {
        locking.failure = failure("Could not open", path, resolved.refusal);
        return locking;
    }
    const fs::path& file = resolved.path;
    const auto deadline = std::chrono::steady_clock::now() + patience;
    auto pause = std::chrono::milliseconds(1);
    native::Lock lock; // keeps this writer's place in the queue while it waits
    for (;;) {
        Status status;
        if (native::statusOf(file, status) && status.kind == Kind::folder) {
            locking.failure = failure("Could not open", path, kNotAFile);
            return locking;
        }
        // A file that may not be written still gets a lock, and its change says what fails.
        bool created = false;
        const char* action = "Could not open";
        Descriptor fd(native::openForWriting(file));
        if (!fd.valid() && native::lastError() != std::errc::no_such_file_or_directory)
            fd.reset(native::openForReading(file));
        if (!fd.valid() && native::lastError() == std::errc::no_such_file_or_directory &&
            ifMissing == IfMissing::create) {
            fd.reset(native::createExclusive(file, native::defaultMode()));
            created = fd.valid();
            action = "Could not create";
            // Another writer made it first: lock theirs.
            if (!fd.valid() && native::lastError() == std::errc::file_exists)
                continue;
        }
        if (!fd.valid()) {
            locking.failure = failure(action, path, lastReason());
            return locking;
        }
        Status opened;
        if (!native::statusOf(fd.get(), opened)) {
            locking.failure = failure("Could not read", path, lastReason());
            return locking;
        }
        if (opened.kind != Kind::regular) {
            locking.failure = failure("Could not open", path, kNotRegular);
            return locking;
        }
        const native::Lock::Attempt attempt = lock.tryTake(fd.get(), opened.identity);
        if (attempt == native::Lock::Attempt::failed) {
            locking.failure = failure("Could not lock", path, lastReason());
            return locking;
        }
        if (attempt == native::Lock::Attempt::taken) {
            // While this writer waited, another may have replaced or deleted the file: the lock
            // counts only if the path still names the file that was locked.
            Status now;
            if (native::statusOf(file, now) && now.kind == Kind::regular && !opened.unlinked &&
                now.identity == opened.identity) {
                WriterLock writer;
                writer.state_ = std::make_unique<WriterLock::State>();
                writer.state_->path = path;
                writer.state_->file = file;
                writer.state_->lock = std::move(lock);
                writer.state_->created = created;
                writer.existed_ = !created;
                locking.lock = std::move(writer);
                return locking;
            }
            lock.release();
            continue; // a new file is at the path: lock that one
        }
        // Closed while waiting: on Windows an open file cannot be renamed over by the holder.
        (void)fd.close();
        if (std::chrono::steady_clock::now() >= deadline) {
            locking.failure =
                failure("Could not lock", path,
                        "Another program has been changing it for " +
                            std::to_string(patience.count() / 1000) + " seconds; nothing was done");
            return locking;
        }
        std::this_thread::sleep_for(pause);
        pause = std::min(pause * 2, std::chrono::milliseconds(10));
    }
}

Locking lockForWriting(const std::string& path, IfMissing ifMissing) {
    return lockForWriting(path, ifMissing, kLockPatience);
}

Contents WriterLock::read() const {
    return readAt(state_->file, state_->path);
}

std::optional<Failure> WriterLock::replace(std::span<const std::uint8_t> bytes) {
    return replaceWith(bytes, nullptr);
}

std::optional<Failure> WriterLock::writeCopy(const std::string& copyPath,
                                             std::span<const std::uint8_t> bytes) const {
    Status original;
    const bool known = native::statusOf(state_->file, original) && original.kind == Kind::regular;
    Locking locking = lockForWriting(copyPath, IfMissing::create);
    if (locking.failure)
        return locking.failure;
    return locking.lock->replaceWith(bytes, known ? &original : nullptr);
}

std::optional<Failure> WriterLock::replaceWith(std::span<const std::uint8_t> bytes,
                                               const Status* like) {
    const std::string& path = state_->path;
    const fs::path& target = state_->file;
    Status existing;
    if (!native::statusOf(target, existing))
        return failure("Could not replace", path, lastReason());
    const bool exists = existing.kind != Kind::missing && !state_->created;
    if (existing.kind == Kind::folder)
        return failure("Could not replace", path, kNotAFile);
    if (existing.kind == Kind::other)
        return failure("Could not replace", path, kNotRegular);
    // A file its owner has made read-only stays as it is, although its folder would allow the
    // rename.
    if (exists && !native::writableByUser(target))
        return failure("Could not replace", path, lastReason());

    const native::DeferTermination uninterrupted;
    fs::path temporary;
    Descriptor fd(createTemporaryBeside(target, temporary));
    if (!fd.valid())
        return failure("Could not create a temporary file beside", path, lastReason());

    auto abandon = [&](const char* action) {
        const std::string reason = lastReason();
        if (fd.valid())
            (void)fd.close();
        (void)native::removePath(temporary);
        return failure(action, path, reason);
    };
    if (!writeAll(fd.get(), bytes) || !native::flushToDisk(fd.get()))
        return abandon("Could not write a temporary file beside");
    if (!native::applyPermissions(fd.get(), like != nullptr ? like : exists ? &existing : nullptr))
        return abandon("Could not set the permissions of a temporary file beside");
    // The replacement is locked before it takes the name, so that no writer gets between.
    Status made;
    native::Lock next;
    if (!native::statusOf(fd.get(), made) ||
        next.tryTake(fd.get(), made.identity) != native::Lock::Attempt::taken)
        return abandon("Could not lock a temporary file beside");
    if (!fd.close())
        return abandon("Could not write a temporary file beside");
    if (!native::renameOver(temporary, target)) {
        const std::string reason = lastReason();
        (void)native::removePath(temporary);
        return failure("Could not replace", path, reason);
    }
    state_->lock = std::move(next);
    state_->changed = true;
    native::flushFolder(target.parent_path());
    return std::nullopt;
}

Written WriterLock::append(std::span<const std::uint8_t> bytes, std::uint64_t sizeLimit) {
    Written written;
    const std::string& path = state_->path;
    Descriptor fd(native::openForWriting(state_->file));
    if (!fd.valid()) {
        written.failure = failure("Could not open", path, lastReason());
        return written;
    }
    Status status;
    if (!native::statusOf(fd.get(), status)) {
        written.failure = failure("Could not read", path, lastReason());
        return written;
    }
    const std::uint64_t length = status.size;
    written.offset = length & ~std::uint64_t{1};
    if (written.offset + bytes.size() > sizeLimit) {
        written.failure = failure("Nothing written to", path,
                                  "It would grow beyond " + std::to_string(sizeLimit) +
                                      " bytes, more than a GAP file holds");
        return written;
    }
    // A file of odd length loses its last byte to the record; kept to be put back on failure.
    std::uint8_t overwritten = 0;
    if (length != written.offset && (!native::seekTo(fd.get(), written.offset) ||
                                     native::readSome(fd.get(), &overwritten, 1) != 1)) {
        written.failure = failure("Could not read", path, lastReason());
        return written;
    }
    std::size_t put = 0;
    if (native::seekTo(fd.get(), written.offset) && writeAll(fd.get(), bytes, &put) &&
        native::flushToDisk(fd.get())) {
        state_->changed = true;
        if (!fd.close())
            written.failure = failure("Could not write to", path, lastReason());
        return written;
    }
    std::string reason = lastReason();
    // Cutting a file shorter needs no space, so this works on a full disk too.
    const bool restored =
        put == 0 || (native::truncateTo(fd.get(), length) &&
                     (length == written.offset || (native::seekTo(fd.get(), written.offset) &&
                                                   writeAll(fd.get(), {&overwritten, 1}))) &&
                     native::flushToDisk(fd.get()));
    if (!restored)
        reason += "; the file could not be cut back to its " + std::to_string(length) +
                  " bytes and may end in part of a record";
    written.failure = failure("Could not write to", path, std::move(reason));
    return written;
}

std::optional<Failure> WriterLock::remove() {
    if (!native::removePath(state_->file) &&
        native::lastError() != std::errc::no_such_file_or_directory)
        return failure("Could not delete", state_->path, lastReason());
    state_->changed = true;
    return std::nullopt;
}

void treatLimitsAsErrors() {
    native::ignoreLimitSignals();
}

std::optional<Failure> replaceFile(const std::string& path, std::span<const std::uint8_t> bytes,
                                   IfExists ifExists) {
    Locking locking = lockForWriting(path, IfMissing::create);
    if (locking.failure)
        return locking.failure;
    if (locking.lock->existed() && ifExists == IfExists::refuse)
        return failure("Did not replace", path, "It exists already");
    return locking.lock->replace(bytes);
}

Written writeAtEvenEnd(const std::string& path, std::span<const std::uint8_t> bytes,
                       std::uint64_t sizeLimit) {
    Locking locking = lockForWriting(path, IfMissing::create);
    if (locking.failure)
        return Written{0, locking.failure};
    return locking.lock->append(bytes, sizeLimit);
}

std::optional<Failure> removeFile(const std::string& path) {
    Status status;
    if (native::statusOf(toPath(path), status) && status.kind == Kind::folder)
        return failure("Could not delete", path, kNotAFile);
    Locking locking = lockForWriting(path, IfMissing::fail);
    if (locking.failure) {
        // A file that is already gone is what was asked for.
        if (native::statusOf(toPath(path), status) && status.kind == Kind::missing)
            return std::nullopt;
        return failure("Could not delete", path, locking.failure->reason);
    }
    return locking.lock->remove();
}

} // namespace ravik::fileio
