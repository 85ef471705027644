#pragma once

#include "failure.hpp"

#include <chrono>
#include <cstdint>
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

/// Reads a whole GAP file. Never creates or changes a file; refuses folders, devices and files
/// larger than a GAP file can be before reading anything.
[[nodiscard]] Contents readGapFile(const std::string& path);

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

    /// Whether the file was there when the lock was taken (else the lock made it, empty).
    [[nodiscard]] bool existed() const { return existed_; }

    /// Reads the file, as readGapFile does.
    [[nodiscard]] Contents read() const;

    /// Replaces the file with `bytes` in one atomic step (see replaceFile); the lock then holds
    /// the new file.
    [[nodiscard]] std::optional<Failure> replace(std::span<const std::uint8_t> bytes);

    /// Writes `bytes` at the file's length rounded down to an even number. Refuses to grow the
    /// file beyond `sizeLimit`. When the write fails part way, the file is cut back to what it
    /// was, so that it never ends in part of a record.
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
    void abandonCreated();
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
/// up to `patience` for another writer. With IfMissing::create a missing file is made, empty,
/// and removed again when the lock ends with it still empty and nothing written.
[[nodiscard]] Locking lockForWriting(const std::string& path, IfMissing ifMissing);

/// Replaces the file at `path`, or creates it, with `bytes` in one atomic step under the
/// writers' lock: a temporary file beside it is written, flushed and renamed over it, keeping
/// its permissions. A path reached through a symbolic link replaces the file the link points
/// to. On failure the file is as it was and no temporary file is left behind. With
/// IfExists::refuse an existing file is left alone and named in the failure.
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
