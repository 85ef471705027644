// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// The few system calls that differ between POSIX and Windows, behind one interface that
// fileio.cpp uses. Not part of the core's API.

#include "core/files/fileio.hpp"

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <string>
#include <system_error>
#include <vector>

namespace ravik::fileio::native {
namespace fs = std::filesystem;

/// The reason the last failed call of this interface gave, on this thread.
[[nodiscard]] std::error_code lastError();

using Identity = FileIdentity;

enum class Kind { missing, regular, folder, other };

struct Status {
    Kind kind = Kind::missing;
    std::uint64_t size = 0;
    Identity identity;       ///< of folders too
    bool unlinked = false;   ///< the file has no name any more (POSIX only)
    std::uint32_t mode = 0;  ///< permission bits to carry over to a replacement
    std::uint32_t owner = 0; ///< POSIX owner and group, likewise
    std::uint32_t group = 0;
};

// Descriptors are C runtime file descriptors on both systems; -1 is a failure.
[[nodiscard]] int openForReading(const fs::path& path);
[[nodiscard]] int openForWriting(const fs::path& path);
[[nodiscard]] int createExclusive(const fs::path& path, int mode);
/// Opens the regular file at `path` for writing, making it (with `mode`) when it is missing; a
/// symbolic link there is not followed.
[[nodiscard]] int openOrCreate(const fs::path& path, int mode);
int closeNative(int fd);

/// False on failure; a missing file is Kind::missing and no failure.
[[nodiscard]] bool statusOf(const fs::path& path, Status& status);
[[nodiscard]] bool statusOf(int fd, Status& status);

[[nodiscard]] long long readSome(int fd, std::uint8_t* into, std::size_t count);
[[nodiscard]] long long writeSome(int fd, const std::uint8_t* from, std::size_t count);
[[nodiscard]] bool seekTo(int fd, std::uint64_t offset);
[[nodiscard]] bool truncateTo(int fd, std::uint64_t length);
[[nodiscard]] bool flushToDisk(int fd);
[[nodiscard]] bool removePath(const fs::path& path);
[[nodiscard]] bool writableByUser(const fs::path& path);
[[nodiscard]] int defaultMode();
/// Gives the replacement being written in `fd` the permissions of the file it replaces, or
/// those of any new file of the user when `replaced` is null.
[[nodiscard]] bool applyPermissions(int fd, const Status* replaced);
/// Makes a rename in `folder` durable; a failure loses nothing, so it is not reported.
void flushFolder(const fs::path& folder);
[[nodiscard]] bool renameOver(const fs::path& from, const fs::path& to);
/// Renames `from` to `to` where nothing is at `to`, in one step: fails (file_exists) when
/// something is.
[[nodiscard]] bool renameNoReplace(const fs::path& from, const fs::path& to);

/// While one lives, a request to end the program (Ctrl+C, kill) waits, so that a replacement
/// half done leaves no temporary file behind; it takes effect when the object goes.
class DeferTermination {
public:
    DeferTermination();
    DeferTermination(const DeferTermination&) = delete;
    DeferTermination& operator=(const DeferTermination&) = delete;
    ~DeferTermination();

private:
    unsigned char saved_[128] = {};
};

void ignoreLimitSignals();

/// Folders open for listing and for opening the folders in them; -1 is a failure. A folder is
/// opened from the one above it where the system allows, so that no whole path is looked up.
[[nodiscard]] int openFolder(const fs::path& path);
[[nodiscard]] int openFolderIn(int folder, const fs::path& name);
/// The folder above, through "..": nothing (-1) where the system has no such step.
[[nodiscard]] int openFolderAbove(int folder);
[[nodiscard]] bool folderIdentity(int folder, Identity& identity);
/// The folder's entries, in no order; false when it could not be listed.
[[nodiscard]] bool listFolder(int folder, std::vector<FolderEntry>& entries);
/// Whether the symbolic link `name` in `folder` may be followed: not when somebody else planted
/// it in a folder anyone may write to (see resolveLinks).
[[nodiscard]] bool mayFollowLinkIn(int folder, const fs::path& name);
void closeFolder(int folder);

/// The file a path names once its symbolic links are followed, or why a link is not followed.
struct Resolved {
    fs::path path;
    std::string refusal; ///< empty when `path` is usable
};
[[nodiscard]] Resolved resolveLinks(const fs::path& given);

/// The writers' lock on one file, held while the object lives. Two locks make it fair: a
/// writer first takes its place in the queue (a lock of its own), then the file's lock, and
/// keeps its place while it waits, so that the holder of the file cannot take it back at once.
class Lock {
public:
    Lock() = default;
    Lock(Lock&& other) noexcept;
    Lock& operator=(Lock&& other) noexcept;
    Lock(const Lock&) = delete;
    Lock& operator=(const Lock&) = delete;
    ~Lock();
    [[nodiscard]] bool held() const { return held_; }
    void release();

    enum class Attempt { taken, busy, failed };
    /// Tries once, without waiting, to lock the file open as `fd` (whose identity is
    /// `identity`); `fd` may be closed afterwards. After `busy`, call again for the same file to
    /// keep the place in the queue.
    [[nodiscard]] Attempt tryTake(int fd, const Identity& identity);

private:
    Identity identity_;
    bool queued_ = false;
    bool held_ = false;
#ifdef _WIN32
    void* queue_ = nullptr;
    void* file_ = nullptr;
#else
    int fd_ = -1;
    bool whole_ = false; ///< a descriptor open for reading only: one lock, no queue
#endif
};

} // namespace ravik::fileio::native
