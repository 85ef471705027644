// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "core/exchange/lintreport.hpp"
#include "core/files/fileio.hpp"
#include "core/format/gapformat.hpp"
#include "core/format/lint.hpp"
#include "core/text/failure.hpp"

#include <cstddef>
#include <cstdint>
#include <functional>
#include <map>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

/// A voice pack: every recorded line under a folder, each a recording and its GAP file, and what
/// is wrong with each. The window's table and `gaptool detect FOLDER` both take the lines from
/// here, and the one rule that pairs a GAP file with its recording lives here.
namespace ravik::voicepack {

/// Where a recording's ending stands in the order recordings are preferred in, when more than
/// one has a GAP file's name: the order of audio/formats (WAV, AIFF, FLAC, Ogg Vorbis, Opus, MP3;
/// .aiff before .aif), the ending's case ignored. Nothing for a name that is no recording's.
[[nodiscard]] std::optional<std::size_t> recordingRank(std::string_view fileName);

/// Whether `fileName` ends with ".gap", in any case.
[[nodiscard]] bool isGapName(std::string_view fileName);

/// The one rule that pairs GAP files and recordings, over one folder's entries; every command
/// and window asks it. A GAP file and a recording pair when their names are the same but for the
/// ending, whose case is ignored ("Take.GAP" and "Take.wav"). Of several recordings of one name,
/// the first by recordingRank, and of two with the same rank ("a.wav", "a.WAV") the first in
/// byte order; only a file that is there counts (a link that leads nowhere is none). Of several
/// GAP files of one name ("a.GAP", "a.gap"), the first in byte order is the line's. Built in
/// one pass over the names, so that a folder of any size costs its size.
class FolderPairing {
public:
    explicit FolderPairing(const std::vector<fileio::FolderEntry>& entries);

    /// The recording paired with the GAP file named `gapName`.
    [[nodiscard]] std::optional<std::string> recordingOf(std::string_view gapName) const;
    /// The GAP file of the recording named `recordingName`, there or to be written: the line's
    /// GAP file when it has one, else its name with ".gap".
    [[nodiscard]] std::string gapOf(std::string_view recordingName) const;

    struct Pair {
        std::optional<std::string> gap;
        std::optional<std::string> recording;
    };
    /// Each name's pair, by the name without its ending, in byte order.
    [[nodiscard]] const std::map<std::string, Pair, std::less<>>& pairs() const { return pairs_; }

private:
    std::map<std::string, Pair, std::less<>> pairs_;
};

/// The recording paired with the GAP file at `gapPath` by FolderPairing's rule, as a path;
/// nothing when its folder holds none (or cannot be listed).
[[nodiscard]] std::optional<std::string> recordingBeside(const std::string& gapPath);
/// The GAP file of the recording at `recordingPath` by FolderPairing's rule, as a path: the one
/// beside it that pairs with it, or where detect writes one.
[[nodiscard]] std::string gapFileBeside(const std::string& recordingPath);

/// One recorded line: a recording, its GAP file, or both.
struct Line {
    std::string name;                     ///< the path relative to the folder, without ending
    std::optional<std::string> gap;       ///< the GAP file's path
    std::optional<std::string> recording; ///< the recording's path
    bool operator==(const Line&) const = default;

    /// Where the line's GAP file is or would be written: beside the recording, ".gap".
    [[nodiscard]] std::string gapPath() const;
};

struct Listing {
    std::vector<Line> lines;       ///< in the walk's order: folder by folder, names in order
    std::vector<Failure> failures; ///< folders that could not be listed
};

/// Every line under `folder`, found recursively as gaptool lint walks (a folder reached again
/// through a link is listed once). In each folder the GAP files pair with recordings by
/// FolderPairing's rule; a recording left over (the second of "a.wav" and "a.flac") is not a
/// line of its own, since it would name the same GAP file.
[[nodiscard]] Listing listPack(const std::string& folder);

/// What is wrong with a line, worst first: the table shows the worst that applies.
enum class Status {
    Unreadable,         ///< the GAP file or the recording could not be read
    StructureIncorrect, ///< lint's structure, count, high-word or partial-record findings
    NoGap,              ///< a recording without its GAP file
    NoRecording,        ///< a GAP file without its recording
    Disagrees,          ///< verify finds the GAP file and its recording disagree
    Fragments,          ///< silences defrag would drop
    PastLimit,          ///< a time after 32,767 ms
    Correct,
};
inline constexpr std::size_t kStatusCount = static_cast<std::size_t>(Status::Correct) + 1;

/// The status as the table and the report show it: "structure incorrect", ...
[[nodiscard]] std::string_view statusName(Status status);

/// The worst status that `findings` (lint's and verify's, as lint reports them) show.
[[nodiscard]] Status statusOf(const std::vector<lint::Finding>& findings);

/// When a file was last changed, and its size: a line is scanned again when either moves.
struct Stamp {
    std::int64_t changedNs = 0; ///< since the epoch; 0 for a file that is not there
    std::uint64_t size = 0;
    bool operator==(const Stamp&) const = default;
};
[[nodiscard]] Stamp stampOf(const std::optional<std::string>& path);

/// Everything the table shows of one line, and the findings behind its status.
struct Scan {
    Status status = Status::Correct;
    std::string format;                    ///< the recording's format: "WAV"; empty without one
    std::optional<double> seconds;         ///< the recording's length
    std::optional<std::uint64_t> silences; ///< the GAP file's whole records
    std::vector<lint::Finding> findings;   ///< lint's, then verify's, as gaptool lint lists them
    Stamp gapStamp;
    Stamp recordingStamp;
    bool operator==(const Scan&) const = default;

    /// The later of the two files' changes, in ns since the epoch.
    [[nodiscard]] std::int64_t changedNs() const;
};

/// The status as the table's cell shows it: its name, and for a line that disagrees with its
/// recording, how many of verify's findings say so: "disagrees with its recording (3)".
[[nodiscard]] std::string statusText(const Scan& scan);

/// Reads and judges one line with gaptool lint's code: lint's findings of the GAP file, and
/// verify's of the pair (a recording that cannot be read is an unreadable finding).
[[nodiscard]] Scan scanLine(const Line& line);
/// The scan of a line whose scan ran out of memory: unreadable, saying so.
[[nodiscard]] Scan outOfMemoryScan(const Line& line);

/// Adds verify's findings for the GAP file `bytes` against `recording`, as gaptool lint lists
/// them: each named after the recording, or one naming why the recording could not be read.
/// Returns false when it could not be read.
bool addRecordingFindings(const std::string& recording, const GapBytes& bytes,
                          std::vector<lint::Finding>& findings);

/// One row of a report: a line and its scan, when it has one.
struct ReportRow {
    const Line* line = nullptr;
    const Scan* scan = nullptr;
};

/// The rows as CSV (RFC 4180, a header line first): the line, its files, format, length in
/// seconds, silences, status, last change (UTC, ISO 8601) and its findings, one per text line.
[[nodiscard]] std::string csvReport(std::span<const ReportRow> rows);

/// The rows' files and their findings, as `gaptool lint --json` reports them: each row's GAP
/// file, else its recording (with a finding only when it cannot be read); a row not scanned yet
/// has no findings.
[[nodiscard]] std::vector<lint::FileFindings> lintFindings(std::span<const ReportRow> rows);

} // namespace ravik::voicepack
