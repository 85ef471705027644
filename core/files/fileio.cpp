// SPDX-License-Identifier: GPL-3.0-or-later
#include "fileio.hpp"

#include "core/files/nativefile.hpp"
#include "core/format/gapformat.hpp"
#include "core/text/utf8path.hpp"

#include <algorithm>
#include <array>
#include <cerrno>
#include <chrono>
#include <filesystem>
#include <set>
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
    [[nodiscard]] int release() { return std::exchange(fd_, -1); }
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

thread_local std::uint64_t changeCount = 0;

// The system's longest name of a folder entry (NAME_MAX; 255 UTF-16 units on Windows, which
// never take more than 255 bytes of UTF-8).
constexpr std::size_t kLongestName = 255;
constexpr std::string_view kTemporaryEnding = ".ravik-new";

// The waits between tries at a lock another writer holds: 1 ms at first, twice as long each time
// up to 10 ms, until `patience` has passed.
class Backoff {
public:
    explicit Backoff(std::chrono::milliseconds patience)
        : deadline_(std::chrono::steady_clock::now() + patience) {}
    // Waits once; false, without waiting, when the patience is spent.
    bool wait() {
        if (std::chrono::steady_clock::now() >= deadline_)
            return false;
        std::this_thread::sleep_for(pause_);
        pause_ = std::min(pause_ * 2, std::chrono::milliseconds(10));
        return true;
    }

private:
    std::chrono::steady_clock::time_point deadline_;
    std::chrono::milliseconds pause_{1};
};

// Takes the lock of a replacement just made, before it takes the file's name. A writer that began
// while the file was missing may open it by the temporary file's name and hold its lock a moment,
// until it finds the file there and lets go: that is waited for.
bool lockReplacement(native::Lock& lock, int fd, const FileIdentity& identity) {
    Backoff backoff(kLockPatience);
    for (;;) {
        const native::Lock::Attempt attempt = lock.tryTake(fd, identity);
        if (attempt != native::Lock::Attempt::busy)
            return attempt == native::Lock::Attempt::taken;
        if (!backoff.wait())
            return false;
    }
}

// The one name of the temporary file beside `target`. Replacements of one file take turns under
// its writers' lock, so one name is enough, and one left by a writer that was killed is met again
// by the next. A name too long for that keeps its start and a digest of the whole.
fs::path temporaryBeside(const fs::path& target) {
    const std::string name = utf8Of(target.filename());
    std::string temporary = "." + name + std::string(kTemporaryEnding);
    if (temporary.size() > kLongestName) {
        std::uint64_t digest = 0xcbf29ce484222325ULL; // FNV-1a
        for (const char c : name)
            digest = (digest ^ static_cast<unsigned char>(c)) * 0x100000001b3ULL;
        static constexpr char kDigits[] = "0123456789abcdef";
        std::string hex(16, '0');
        for (char& digit : hex) {
            digit = kDigits[digest >> 60];
            digest <<= 4;
        }
        std::size_t keep = kLongestName - 2 - hex.size() - kTemporaryEnding.size();
        while (keep > 0 && (static_cast<unsigned char>(name[keep]) & 0xC0U) == 0x80U)
            --keep; // not inside a UTF-8 sequence
        temporary = "." + name.substr(0, keep) + "~" + hex + std::string(kTemporaryEnding);
    }
    return target.parent_path() / toPath(temporary);
}

} // namespace

// Opens a user's file for reading, refusing anything but a regular file; `path` names it in
// failures.
struct Opener {
    static ReadableFile::Opening open(const fs::path& file, const std::string& path) {
        ReadableFile::Opening opening;
        Status status;
        // A folder cannot be opened as a file on Windows: say what it is.
        if (native::statusOf(file, status) && status.kind == Kind::folder) {
            opening.failure = failure("Could not open", path, kNotAFile);
            return opening;
        }
        Descriptor fd(native::openForReading(file)); // never waits, even for a named pipe
        if (!fd.valid()) {
            opening.failure = failure("Could not open", path, lastReason());
            return opening;
        }
        if (!native::statusOf(fd.get(), status)) {
            opening.failure = failure("Could not read", path, lastReason());
            return opening;
        }
        if (status.kind != Kind::regular) {
            opening.failure = failure("Could not open", path,
                                      status.kind == Kind::folder ? kNotAFile : kNotRegular);
            return opening;
        }
        opening.file = ReadableFile(fd.release(), path, status.size);
        return opening;
    }
    static int descriptor(const ReadableFile& file) { return file.fd_; }
};

ReadableFile::ReadableFile(int fd, std::string path, std::uint64_t size)
    : fd_(fd)
    , path_(std::move(path))
    , size_(size) {}

ReadableFile::ReadableFile(ReadableFile&& other) noexcept
    : fd_(std::exchange(other.fd_, -1))
    , path_(std::move(other.path_))
    , size_(other.size_)
    , failure_(std::move(other.failure_)) {}

ReadableFile& ReadableFile::operator=(ReadableFile&& other) noexcept {
    if (this != &other) {
        if (fd_ >= 0)
            native::closeNative(fd_);
        fd_ = std::exchange(other.fd_, -1);
        path_ = std::move(other.path_);
        size_ = other.size_;
        failure_ = std::move(other.failure_);
    }
    return *this;
}

ReadableFile::~ReadableFile() {
    if (fd_ >= 0)
        native::closeNative(fd_);
}

ReadableFile::Opening ReadableFile::open(const std::string& path) {
    return Opener::open(toPath(path), path);
}

std::optional<std::size_t> ReadableFile::read(std::span<std::uint8_t> into) {
    const long long got = native::readSome(fd_, into.data(), into.size());
    if (got < 0) {
        failure_ = fileio::failure("Could not read", path_, lastReason());
        return std::nullopt;
    }
    return static_cast<std::size_t>(got);
}

bool ReadableFile::seek(std::uint64_t offset) {
    if (native::seekTo(fd_, offset))
        return true;
    failure_ = fileio::failure("Could not read", path_, lastReason());
    return false;
}

namespace {

// Reads what `file` holds when it is no longer than `largest` bytes, `what` saying whose
// limit that is.
Contents readWhole(ReadableFile::Opening opening, std::uint64_t largest, const std::string& what) {
    Contents contents;
    if (!opening.file) {
        contents.failure = std::move(opening.failure);
        return contents;
    }
    ReadableFile& file = *opening.file;
    if (file.size() > largest) {
        contents.failure =
            failure("Could not open", file.path(),
                    "It is " + std::to_string(file.size()) + " bytes long, more than the " +
                        std::to_string(largest) + " bytes " + what);
        return contents;
    }
    contents.bytes.resize(static_cast<std::size_t>(file.size()));
    std::size_t have = 0;
    while (have < contents.bytes.size()) {
        const std::optional<std::size_t> got = file.read(std::span(contents.bytes).subspan(have));
        if (!got) {
            contents.bytes.clear();
            contents.failure = file.failure();
            return contents;
        }
        if (*got == 0)
            break; // the file shrank since it was measured: what is there is the file
        have += *got;
    }
    contents.bytes.resize(have);
    return contents;
}

} // namespace

const std::string& gapFileLimit() {
    static const std::string text =
        "(" + std::to_string(kLargestRecordCount) + " silences) of the largest GAP file";
    return text;
}

Contents readGapFile(const std::string& path) {
    return readWhole(ReadableFile::open(path), kLargestFileSize, gapFileLimit());
}

Contents readTextFile(const std::string& path) {
    return readWhole(ReadableFile::open(path), kLargestTextSize,
                     "(256 MiB) that the program reads of another program's file");
}

std::optional<FileIdentity> identityOf(const std::string& path) {
    Status status;
    if (!native::statusOf(toPath(path), status) || status.kind == Kind::missing)
        return std::nullopt;
    return status.identity;
}

bool sameFile(const std::string& first, const std::string& second) {
    const std::optional<FileIdentity> one = identityOf(first);
    return one && one == identityOf(second);
}

std::uint64_t changesMade() {
    return changeCount;
}

std::string joinPath(const std::string& folder, const std::string& name) {
    if (folder.empty())
        return name;
    const char last = folder.back();
    const bool separated = last == '/' || (last == '\\' && fs::path::preferred_separator == '\\');
    return separated ? folder + name
                     : folder + static_cast<char>(fs::path::preferred_separator) + name;
}

std::optional<Failure> listFolder(const std::string& path, std::vector<FolderEntry>& entries) {
    const int fd = native::openFolder(toPath(path));
    const bool listed = fd >= 0 && native::listFolder(fd, entries);
    std::optional<Failure> failed;
    if (!listed)
        failed = failure("Could not list", path, lastReason());
    native::closeFolder(fd);
    std::sort(entries.begin(), entries.end(),
              [](const FolderEntry& a, const FolderEntry& b) { return a.name < b.name; });
    return failed;
}

namespace {

// Whether the folder open as `fd` lies inside the tree of the folder `top`: `top` is above it.
bool insideTree(int fd, const FileIdentity& top) {
    int at = native::openFolderAbove(fd);
    FileIdentity below;
    bool inside = false;
    bool found = native::folderIdentity(fd, below);
    while (found && at >= 0 && !inside) {
        FileIdentity identity;
        found = native::folderIdentity(at, identity) && identity != below; // not the root
        inside = found && identity == top;
        below = identity;
        const int above = native::openFolderAbove(at);
        native::closeFolder(at);
        at = above;
    }
    native::closeFolder(at);
    return inside;
}

} // namespace

void walkFolders(const std::string& top, const FolderVisit& visit, const FolderFailure& failed) {
    // Paths are kept as text: a path object of thousands of parts costs as many to make.
    struct Frame {
        std::string path;
        FileIdentity identity;
        std::vector<FolderEntry> folders; ///< to enter, in name order
        std::size_t next = 0;
    };
    std::set<FileIdentity> entered;
    FileIdentity topIdentity;
    std::vector<Frame> frames; // from the top down to the folder open as `current`
    int current = -1;
    const auto cannotList = [&](const std::string& path) {
        failed(failure("Could not list", path, lastReason()));
    };
    // Lists the folder open as `fd` and, unless it was entered before, visits it and makes it
    // the current one. Closes `fd` when it does not become current.
    const auto enter = [&](int fd, std::string path) {
        Frame frame{std::move(path), {}, {}, 0};
        std::vector<FolderEntry> entries;
        if (!native::folderIdentity(fd, frame.identity) || !native::listFolder(fd, entries)) {
            cannotList(frame.path);
            native::closeFolder(fd);
            return false;
        }
        if (!entered.insert(frame.identity).second) {
            native::closeFolder(fd);
            return false;
        }
        std::sort(entries.begin(), entries.end(),
                  [](const FolderEntry& a, const FolderEntry& b) { return a.name < b.name; });
        visit(frame.path, entries);
        for (const FolderEntry& entry : entries)
            if (entry.kind == FolderEntry::Kind::folder)
                frame.folders.push_back(entry);
        frames.push_back(std::move(frame));
        current = fd;
        return true;
    };

    const int opened = native::openFolder(toPath(top));
    if (opened < 0)
        return cannotList(top);
    if (!native::folderIdentity(opened, topIdentity)) {
        native::closeFolder(opened);
        return cannotList(top);
    }
    if (!enter(opened, top))
        return;
    while (!frames.empty()) {
        Frame& frame = frames.back();
        if (frame.next < frame.folders.size()) {
            const FolderEntry& folder = frame.folders[frame.next++];
            std::string path = joinPath(frame.path, folder.name);
            const int above = current;
            // A link is followed only where a link to a file would be, and only into the tree.
            if (folder.link && current >= 0 &&
                !native::mayFollowLinkIn(current, toPath(folder.name)))
                continue;
            const int inner = current < 0 ? native::openFolder(toPath(path))
                                          : native::openFolderIn(current, toPath(folder.name));
            if (inner < 0) {
                cannotList(path);
            } else if (folder.link && !insideTree(inner, topIdentity)) {
                native::closeFolder(inner);
            } else if (enter(inner, std::move(path))) {
                native::closeFolder(above); // only the current folder stays open
            }
            continue;
        }
        // Back to the folder above: through "..", when that is the folder above (one reached
        // through a link has another), else by its path.
        frames.pop_back();
        int above = frames.empty() || current < 0 ? -1 : native::openFolderAbove(current);
        FileIdentity identity;
        if (above >= 0 &&
            !(native::folderIdentity(above, identity) && identity == frames.back().identity)) {
            native::closeFolder(above);
            above = -1;
        }
        if (above < 0 && !frames.empty())
            above = native::openFolder(toPath(frames.back().path));
        native::closeFolder(current);
        current = above;
    }
}

// --- The writers' lock ------------------------------------------------------------------------

// A file that is there is locked itself. A missing one is not made to be locked, since a writer
// killed then would leave an empty file where the user's belongs: its temporary file is locked
// instead, filled, and renamed into place, the lock with it, so that the file is either missing
// or whole. Writers of the same missing file queue on that temporary file; one that gets it after
// the rename finds it gone and locks the file that is now there.
struct WriterLock::State {
    std::string path;      ///< as the user gave it, for messages
    fs::path file;         ///< the file itself, links followed
    native::Lock lock;     ///< on the file now at `file`, or on `temporary` while `missing`
    FileIdentity identity; ///< of the file locked
    bool missing = false;  ///< the file is not there: `temporary` is locked in its place
    fs::path temporary;
    bool changed = false;
};

namespace {

constexpr const char* kReplacedMeanwhile =
    "Another program put another file in its place while this one held it; nothing was done";

// Why the file open as `fd` is not the one `state` locked, if it is not.
std::optional<std::string> notTheLockedFile(int fd, const FileIdentity& locked) {
    Status status;
    if (!native::statusOf(fd, status))
        return lastReason();
    if (status.kind != Kind::regular || status.unlinked || status.identity != locked)
        return std::string(kReplacedMeanwhile);
    return std::nullopt;
}

// Whether `path` names the file of `identity`.
bool names(const fs::path& path, const FileIdentity& identity) {
    Status status;
    return native::statusOf(path, status) && status.kind == Kind::regular &&
           status.identity == identity;
}

// Removes the temporary file a killed writer left at `temporary`, once no writer holds it.
std::optional<Failure> removeLeftover(const fs::path& temporary, const std::string& path) {
    const char* action = "Could not remove the temporary file an earlier change left beside";
    // A writer that holds it began while the file was missing: it lets go in a moment, when it
    // finds the file there (or, when its own change had begun, once that has failed, removing
    // it). That is waited for, taking the file at the name afresh on every try.
    native::Lock lock;
    Backoff backoff(kLockPatience);
    for (;;) {
        Descriptor fd(native::openForWriting(temporary));
        if (!fd.valid())
            return native::lastError() == std::errc::no_such_file_or_directory
                       ? std::nullopt
                       : std::optional(failure(action, path, lastReason()));
        Status status;
        if (!native::statusOf(fd.get(), status))
            return failure(action, path, lastReason());
        const native::Lock::Attempt attempt = lock.tryTake(fd.get(), status.identity);
        if (attempt == native::Lock::Attempt::taken)
            break;
        // Closed while waiting: on Windows an open file cannot be removed by the writer holding it.
        (void)fd.close();
        if (attempt == native::Lock::Attempt::failed || !backoff.wait())
            return failure(action, path, "Another writer holds it");
    }
    if (!native::removePath(temporary) &&
        native::lastError() != std::errc::no_such_file_or_directory)
        return failure(action, path, lastReason());
    return std::nullopt;
}

} // namespace

WriterLock::WriterLock(WriterLock&&) noexcept = default;
WriterLock& WriterLock::operator=(WriterLock&&) noexcept = default;

WriterLock::~WriterLock() {
    abandonTemporary();
}

// The temporary file locked for a missing file goes when nothing was put in place, so that a
// failed change leaves no trace.
void WriterLock::abandonTemporary() {
    if (!state_ || !state_->missing)
        return;
    if (names(state_->temporary, state_->identity))
        (void)native::removePath(state_->temporary);
    state_->missing = false;
}

// The file a writer is to lock, opened into `fd`: for writing where it may be, else for reading (a
// file that may not be written still gets a lock, and its change says what fails); a missing one,
// when asked, by its temporary file, made now.
struct Opened {
    Status status;
    bool missing = false;
    std::optional<Failure> failure;
};

Opened openToLock(Descriptor& fd, const fs::path& file, const std::string& path,
                  IfMissing ifMissing, const fs::path& temporary) {
    Opened open;
    const char* action = "Could not open";
    fd.reset(native::openForWriting(file));
    if (!fd.valid() && native::lastError() != std::errc::no_such_file_or_directory)
        fd.reset(native::openForReading(file));
    if (!fd.valid() && native::lastError() == std::errc::no_such_file_or_directory &&
        ifMissing == IfMissing::create) {
        fd.reset(native::openOrCreate(temporary, 0600));
        open.missing = fd.valid();
        action = "Could not create";
    }
    if (!fd.valid())
        open.failure = failure(action, path, lastReason());
    else if (!native::statusOf(fd.get(), open.status))
        open.failure = failure("Could not read", path, lastReason());
    else if (open.status.kind != Kind::regular)
        open.failure = failure("Could not open", path, kNotRegular);
    return open;
}

Locking lockForWriting(const std::string& path, IfMissing ifMissing,
                       std::chrono::milliseconds patience) {
    Locking locking;
    const fs::path given = toPath(path);
    // The links are followed afresh on every try and judged by the same rule, so that a link put
    // at the path while this writer waited is followed only where any link would be.
    const auto resolve = [&]() -> std::optional<fs::path> {
        native::Resolved resolved = native::resolveLinks(given);
        if (!resolved.refusal.empty()) {
            locking.failure = failure("Could not open", path, resolved.refusal);
            return std::nullopt;
        }
        return std::move(resolved.path);
    };
    Backoff backoff(patience);
    native::Lock lock; // keeps this writer's place in the queue while it waits
    for (;;) {
        const std::optional<fs::path> resolved = resolve();
        if (!resolved)
            return locking;
        const fs::path& file = *resolved;
        Status status;
        if (native::statusOf(file, status) && status.kind == Kind::folder) {
            locking.failure = failure("Could not open", path, kNotAFile);
            return locking;
        }
        const fs::path temporary = temporaryBeside(file);
        Descriptor fd(-1);
        Opened open = openToLock(fd, file, path, ifMissing, temporary);
        if (open.failure) {
            locking.failure = std::move(open.failure);
            return locking;
        }
        const Status& opened = open.status;
        const bool missing = open.missing;
        const native::Lock::Attempt attempt = lock.tryTake(fd.get(), opened.identity);
        if (attempt == native::Lock::Attempt::failed) {
            locking.failure = failure("Could not lock", path, lastReason());
            return locking;
        }
        if (attempt == native::Lock::Attempt::taken) {
            // While this writer waited, another may have replaced, made or deleted the file, or
            // put a link in its place: the lock counts only if the path, its links judged again,
            // still names the file that was locked (or, for a missing file, the file is still
            // missing and its temporary file is the one locked).
            const std::optional<fs::path> again = resolve();
            if (!again)
                return locking;
            // (Compared by identity: Windows spells a file's path another way once it exists.)
            Status now;
            const bool still = missing
                                   ? native::statusOf(*again, now) && now.kind == Kind::missing &&
                                         *again == file && names(temporary, opened.identity)
                                   : native::statusOf(*again, now) && now.kind == Kind::regular &&
                                         !opened.unlinked && now.identity == opened.identity;
            if (still) {
                WriterLock writer;
                writer.state_ = std::make_unique<WriterLock::State>();
                writer.state_->path = path;
                writer.state_->file = *again;
                writer.state_->lock = std::move(lock);
                writer.state_->identity = opened.identity;
                writer.state_->missing = missing;
                writer.state_->temporary = temporary;
                writer.existed_ = !missing;
                locking.lock = std::move(writer);
                return locking;
            }
            lock.release();
            continue; // another file is at the path (or the one waited for is there now)
        }
        // Closed while waiting: on Windows an open file cannot be renamed over by the holder.
        (void)fd.close();
        if (!backoff.wait()) {
            locking.failure =
                failure("Could not lock", path,
                        "Another program has been changing it for " +
                            std::to_string(patience.count() / 1000) + " seconds; nothing was done");
            return locking;
        }
    }
}

Locking lockForWriting(const std::string& path, IfMissing ifMissing) {
    return lockForWriting(path, ifMissing, kLockPatience);
}

Contents WriterLock::read() const {
    if (state_->missing)
        return Contents{}; // as an empty file reads
    ReadableFile::Opening opening = Opener::open(state_->file, state_->path);
    if (opening.file)
        if (auto reason = notTheLockedFile(Opener::descriptor(*opening.file), state_->identity))
            return Contents{{}, failure("Could not read", state_->path, std::move(*reason))};
    return readWhole(std::move(opening), kLargestFileSize, gapFileLimit());
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

std::optional<Failure> WriterLock::putInPlace(std::span<const std::uint8_t> bytes,
                                              const Status* like) {
    const std::string& path = state_->path;
    const native::DeferTermination uninterrupted;
    Descriptor fd(native::openForWriting(state_->temporary));
    if (!fd.valid())
        return failure("Could not write a temporary file beside", path, lastReason());
    if (auto reason = notTheLockedFile(fd.get(), state_->identity))
        return failure("Could not write a temporary file beside", path, std::move(*reason));
    const auto abandon = [&](const char* action) {
        const std::string reason = lastReason();
        (void)fd.close();
        abandonTemporary();
        return failure(action, path, reason);
    };
    if (!native::truncateTo(fd.get(), 0) || !native::seekTo(fd.get(), 0) ||
        !writeAll(fd.get(), bytes) || !native::flushToDisk(fd.get()))
        return abandon("Could not write a temporary file beside");
    if (!native::applyPermissions(fd.get(), like))
        return abandon("Could not set the permissions of a temporary file beside");
    if (!fd.close())
        return abandon("Could not write a temporary file beside");
    // Never over a file another program made meanwhile: that one stays, and this one goes.
    if (!native::renameNoReplace(state_->temporary, state_->file)) {
        const bool made = native::lastError() == std::errc::file_exists;
        const std::string reason = lastReason();
        abandonTemporary();
        return failure("Could not create", path,
                       made ? "Another program made it meanwhile; nothing was done" : reason);
    }
    // The file locked is the one now in place.
    state_->missing = false;
    state_->changed = true;
    ++changeCount;
    native::flushFolder(state_->file.parent_path());
    return std::nullopt;
}

std::optional<Failure> WriterLock::replaceWith(std::span<const std::uint8_t> bytes,
                                               const Status* like) {
    if (state_->missing)
        return putInPlace(bytes, like);
    const std::string& path = state_->path;
    const fs::path& target = state_->file;
    Status existing;
    if (!native::statusOf(target, existing))
        return failure("Could not replace", path, lastReason());
    const bool exists = existing.kind != Kind::missing;
    if (existing.kind == Kind::folder)
        return failure("Could not replace", path, kNotAFile);
    if (existing.kind == Kind::other)
        return failure("Could not replace", path, kNotRegular);
    if (existing.kind == Kind::regular && existing.identity != state_->identity)
        return failure("Could not replace", path, kReplacedMeanwhile);
    // A replacement that would change no byte (nor the permissions a backup takes) is not made:
    // the file keeps its time, and nothing is flushed for nothing.
    if (existing.kind == Kind::regular && existing.size == bytes.size() &&
        (like == nullptr || (like->mode == existing.mode && like->owner == existing.owner &&
                             like->group == existing.group))) {
        const Contents now = read();
        if (!now.failure && std::ranges::equal(now.bytes, bytes))
            return std::nullopt;
    }
    // A file its owner has made read-only stays as it is, although its folder would allow the
    // rename.
    if (exists && !native::writableByUser(target))
        return failure("Could not replace", path, lastReason());

    const native::DeferTermination uninterrupted;
    const fs::path temporary = temporaryBeside(target);
    // This writer holds the file's lock: a temporary file of that name is one a writer of the
    // same file left when it was killed, or one a writer holds that began while the file was
    // missing and another program made it (that writer finds it there and gives up).
    if (auto failed = removeLeftover(temporary, path))
        return failed;
    Descriptor fd(native::createExclusive(temporary, 0600));
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
    if (!native::statusOf(fd.get(), made) || !lockReplacement(next, fd.get(), made.identity))
        return abandon("Could not lock a temporary file beside");
    if (!fd.close())
        return abandon("Could not write a temporary file beside");
    if (!native::renameOver(temporary, target)) {
        const std::string reason = lastReason();
        (void)native::removePath(temporary);
        return failure("Could not replace", path, reason);
    }
    state_->lock = std::move(next);
    state_->identity = made.identity;
    state_->changed = true;
    ++changeCount;
    native::flushFolder(target.parent_path());
    return std::nullopt;
}

Written WriterLock::append(std::span<const std::uint8_t> bytes, std::uint64_t sizeLimit) {
    // By a replacement, like every change: killed at any moment, the file ends in no part of a
    // record, and a failure leaves it as it was.
    Written written;
    Contents before = read();
    if (before.failure) {
        written.failure = std::move(before.failure);
        return written;
    }
    written.offset = before.bytes.size() & ~std::uint64_t{1};
    if (written.offset + bytes.size() > sizeLimit) {
        written.failure = failure("Nothing written to", state_->path,
                                  "It would grow beyond " + std::to_string(sizeLimit) +
                                      " bytes, more than a GAP file holds");
        return written;
    }
    before.bytes.resize(static_cast<std::size_t>(written.offset));
    before.bytes.insert(before.bytes.end(), bytes.begin(), bytes.end());
    written.failure = replace(before.bytes);
    return written;
}

std::optional<Failure> WriterLock::remove() {
    if (!native::removePath(state_->file) &&
        native::lastError() != std::errc::no_such_file_or_directory)
        return failure("Could not delete", state_->path, lastReason());
    state_->changed = true;
    ++changeCount;
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
