// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "core/text/failure.hpp"

#include <chrono>
#include <compare>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

/// The program's only access to files. Paths are UTF-8 text as the user gave them; every
/// failure names that path and the system's reason.
namespace ravik::fileio {

struct Contents {
    std::vector<std::uint8_t> bytes;
    std::optional<Failure> failure;
};

/// Reads a whole GAP file, as a ReadableFile. Refuses files larger than a GAP file can be before
/// reading anything.
[[nodiscard]] Contents readGapFile(const std::string& path);

/// The longest file of another program's silences that is read (a label track, a CSV export).
inline constexpr std::uint64_t kLargestTextSize = std::uint64_t{256} << 20;
/// Reads a whole file of another program's, as readGapFile does, up to kLargestTextSize.
[[nodiscard]] Contents readTextFile(const std::string& path);

/// Which file a path names: two paths name one file when their identities are equal.
struct FileIdentity {
    std::uint64_t device = 0;
    std::uint64_t file = 0;
    auto operator<=>(const FileIdentity&) const = default;
};

/// The identity of the file or folder at `path`, its links followed; nothing when there is none
/// or it cannot be asked.
[[nodiscard]] std::optional<FileIdentity> identityOf(const std::string& path);

/// Whether both paths name one existing file (through links, hard links or other spellings).
[[nodiscard]] bool sameFile(const std::string& first, const std::string& second);

/// One entry of a folder, as walkFolders finds it.
struct FolderEntry {
    enum class Kind {
        folder,
        file,   ///< anything else that is there: a regular file, a named pipe, a device
        broken, ///< a symbolic link that leads nowhere, or round in a loop
    };
    std::string name;       ///< UTF-8
    Kind kind = Kind::file; ///< what its links lead to
    bool link = false;      ///< the entry itself is a symbolic link
    bool operator==(const FolderEntry&) const = default;
};

/// `name` inside `folder`, joined with the system's separator as std::filesystem joins them.
[[nodiscard]] std::string joinPath(const std::string& folder, const std::string& name);

/// Lists the one folder at `path` into `entries`, in name order; the failure when it cannot.
[[nodiscard]] std::optional<Failure> listFolder(const std::string& path,
                                                std::vector<FolderEntry>& entries);

/// Gets each folder's path (the top folder's path joined with the names on the way down) and
/// its entries, in name order.
using FolderVisit =
    std::function<void(const std::string& path, const std::vector<FolderEntry>& entries)>;
/// Gets a folder that could not be opened or listed.
using FolderFailure = std::function<void(const Failure& failure)>;

/// Walks the folder at `top` and every folder under it, depth first, each folder's folders in
/// name order after the folder itself. A folder reached again (through a link back up the tree,
/// or mounted a second time) is entered once: folders are known by their identity. A link leads
/// the walk only to a folder inside the tree, and only where a link to a file would be followed
/// (see lockForWriting), so that a walk never leaves the tree it was given. Each folder is opened
/// from the one above it, not by its whole path, so that a folder costs the same however deep
/// it lies.
void walkFolders(const std::string& top, const FolderVisit& visit, const FolderFailure& failed);

/// A file open for reading, opened only as a regular file. Opening never waits and never creates
/// or changes anything: a folder, a named pipe or a device given by mistake is refused before
/// anything is read, with a failure that says so. Every reading of a user's file (GAP files,
/// other programs' files, recordings) opens it so.
class ReadableFile {
public:
    struct Opening;
    [[nodiscard]] static Opening open(const std::string& path);

    ReadableFile(ReadableFile&& other) noexcept;
    ReadableFile& operator=(ReadableFile&& other) noexcept;
    ReadableFile(const ReadableFile&) = delete;
    ReadableFile& operator=(const ReadableFile&) = delete;
    ~ReadableFile();

    [[nodiscard]] const std::string& path() const { return path_; }
    /// The file's length when it was opened.
    [[nodiscard]] std::uint64_t size() const { return size_; }
    /// Reads up to `into.size()` bytes at the position and returns how many: 0 at the end, nothing
    /// when the read failed (failure() says why).
    [[nodiscard]] std::optional<std::size_t> read(std::span<std::uint8_t> into);
    /// Moves the position to `offset` from the start; false when that failed (see failure()).
    [[nodiscard]] bool seek(std::uint64_t offset);
    /// Why the last read or seek failed: "Could not read", the path and the system's reason.
    [[nodiscard]] const std::optional<Failure>& failure() const { return failure_; }

private:
    friend struct Opener;
    ReadableFile(int fd, std::string path, std::uint64_t size);

    int fd_ = -1;
    std::string path_;
    std::uint64_t size_ = 0;
    std::optional<Failure> failure_;
};

struct ReadableFile::Opening {
    std::optional<ReadableFile> file;
    std::optional<Failure> failure; ///< set when `file` is not
};

/// How many changes of files (replacements, appends, deletions) this thread has made: a caller
/// that is interrupted (by a failed allocation) tells by it whether a file was changed first.
[[nodiscard]] std::uint64_t changesMade();

/// What replaceFile does when the file exists already.
enum class IfExists { replace, refuse };

/// What locking does when the file does not exist yet.
enum class IfMissing { create, fail };

/// How long a writer waits for another program's change of the same file to finish.
inline constexpr std::chrono::milliseconds kLockPatience{5000};

struct Written {
    std::uint64_t offset = 0; ///< where the bytes went
    std::optional<Failure> failure;
};

namespace native {
struct Status;
}
class WriterLock;
struct Locking;
[[nodiscard]] Locking lockForWriting(const std::string& path, IfMissing ifMissing,
                                     std::chrono::milliseconds patience);

/// The writers' lock on one GAP file: while it lives, no other writer of this program (in this
/// or another process) changes the file. Every change of a GAP file goes through one. Readers
/// need none, since a replacement is one atomic step. The lock is advisory: a program that does
/// not take it is not stopped.
class WriterLock {
public:
    WriterLock(WriterLock&&) noexcept;
    WriterLock& operator=(WriterLock&&) noexcept;
    ~WriterLock();

    /// Whether the file was there when the lock was taken. A missing file is not made for the
    /// lock: its temporary file is locked in its place, and the first change puts it there whole.
    [[nodiscard]] bool existed() const { return existed_; }

    /// Reads the file, as readGapFile does.
    [[nodiscard]] Contents read() const;

    /// Replaces the file with `bytes` in one atomic step (see replaceFile); the lock then holds
    /// the new file. A file that holds `bytes` already is left alone.
    [[nodiscard]] std::optional<Failure> replace(std::span<const std::uint8_t> bytes);

    /// Writes `bytes` at the file's length rounded down to an even number, by a replacement of
    /// the whole file, so that it never ends in part of a record. Refuses to grow the file beyond
    /// `sizeLimit`.
    [[nodiscard]] Written append(std::span<const std::uint8_t> bytes, std::uint64_t sizeLimit);

    /// Deletes the file.
    [[nodiscard]] std::optional<Failure> remove();

    /// Writes `bytes` to the file at `copyPath` (a backup of this one) in one atomic step under
    /// that file's own lock, with this file's permissions, so that a backup shows no more than
    /// the file does.
    [[nodiscard]] std::optional<Failure> writeCopy(const std::string& copyPath,
                                                   std::span<const std::uint8_t> bytes) const;

private:
    friend Locking lockForWriting(const std::string&, IfMissing, std::chrono::milliseconds);
    WriterLock() = default;
    void abandonTemporary();
    /// Fills the temporary file locked for a missing file and renames it into place.
    [[nodiscard]] std::optional<Failure> putInPlace(std::span<const std::uint8_t> bytes,
                                                    const native::Status* like);
    /// replace(), with the permissions of `like` when given, else those of the file replaced.
    [[nodiscard]] std::optional<Failure> replaceWith(std::span<const std::uint8_t> bytes,
                                                     const native::Status* like);

    struct State;
    std::unique_ptr<State> state_;
    bool existed_ = false;
};

struct Locking {
    std::optional<WriterLock> lock;
    std::optional<Failure> failure;
};

/// Takes the writers' lock on the file at `path` (the file a symbolic link points to), waiting
/// up to `patience` for another writer. The links are judged again once the lock is taken, so
/// that a link put in place while this writer waited is followed only where any link would be,
/// and every later step checks that the path still names the file locked. With
/// IfMissing::create a missing file is locked without being made: the first change puts it in
/// place whole, and without one nothing is left.
[[nodiscard]] Locking lockForWriting(const std::string& path, IfMissing ifMissing);

/// Replaces the file at `path`, or creates it, with `bytes` in one atomic step under the
/// writers' lock: a temporary file beside it is written, flushed and renamed over it, keeping
/// its permissions. A path reached through a symbolic link replaces the file the link points
/// to. On failure the file is as it was and no temporary file is left behind. The temporary
/// file has one name for each file, short enough beside any name the folder allows; one left
/// by a writer that was killed is removed by the next replacement of the same file. With
/// IfExists::refuse an existing file is left alone and named in the failure. A file that holds
/// `bytes` already is not written again.
[[nodiscard]] std::optional<Failure> replaceFile(const std::string& path,
                                                 std::span<const std::uint8_t> bytes,
                                                 IfExists ifExists = IfExists::replace);

/// Writes `bytes` at the end of the file under the writers' lock (see WriterLock::append),
/// creating the file when it is missing and keeping what it holds.
[[nodiscard]] Written writeAtEvenEnd(const std::string& path, std::span<const std::uint8_t> bytes,
                                     std::uint64_t sizeLimit);

/// Deletes the file at `path` under the writers' lock; a file that is already gone is no
/// failure.
[[nodiscard]] std::optional<Failure> removeFile(const std::string& path);

/// Makes a file-size limit (ulimit -f) fail the write that reaches it, as a full disk does,
/// instead of ending the program; and a closed pipe fail the write into it. Call once at start.
void treatLimitsAsErrors();

} // namespace ravik::fileio
