#pragma once

#include "failure.hpp"

#include <cstdint>
#include <optional>
#include <span>
#include <string>
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

/// Replaces the file at `path`, or creates it, with `bytes` in one atomic step: a temporary file
/// beside it is written, flushed and renamed over it, keeping its permissions. A path reached
/// through a symbolic link replaces the file the link points to. On failure the file is as it
/// was and no temporary file is left behind. With IfExists::refuse an existing file is left
/// alone and named in the failure.
[[nodiscard]] std::optional<Failure> replaceFile(const std::string& path,
                                                 std::span<const std::uint8_t> bytes,
                                                 IfExists ifExists = IfExists::replace);

struct Written {
    std::uint64_t offset = 0; ///< where the bytes went
    std::optional<Failure> failure;
};

/// Writes `bytes` at the file's length rounded down to an even number, creating the file when
/// it is missing and keeping what it holds. Refuses to grow the file beyond `sizeLimit`.
[[nodiscard]] Written writeAtEvenEnd(const std::string& path, std::span<const std::uint8_t> bytes,
                                     std::uint64_t sizeLimit);

/// Deletes the file at `path`; a file that is already gone is no failure.
[[nodiscard]] std::optional<Failure> removeFile(const std::string& path);

} // namespace ravik::fileio
