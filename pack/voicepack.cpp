// SPDX-License-Identifier: GPL-3.0-or-later
#include "voicepack.hpp"

#include "audio/formats.hpp"
#include "audio/soundfile.hpp"
#include "audio/verify.hpp"
#include "core/files/fileio.hpp"
#include "core/text/plaintext.hpp"
#include "pack/batchengine.hpp"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <ctime>
#include <filesystem>
#include <map>
#include <new>
#include <system_error>

namespace ravik::voicepack {
namespace {
namespace fs = std::filesystem;

fs::path pathOf(const std::string& utf8) {
    return fs::path(std::u8string(utf8.begin(), utf8.end()));
}

std::string textOf(const fs::path& path) {
    const std::u8string text = path.u8string();
    return std::string(text.begin(), text.end());
}

// The name without its ending and the ending without its dot; a name that starts with its only
// dot (".wav") has no ending, as std::filesystem sees it.
std::pair<std::string_view, std::string_view> split(std::string_view name) {
    const std::size_t dot = name.rfind('.');
    if (dot == std::string_view::npos || dot == 0)
        return {name, {}};
    return {name.substr(0, dot), name.substr(dot + 1)};
}

#ifdef _WIN32
constexpr std::string_view kSeparators = "/\\";
#else
constexpr std::string_view kSeparators = "/";
#endif

// Verify's findings as addRecordingFindings adds them, and the recording's length in seconds.
bool verifyAgainst(const std::string& recording, const GapBytes& bytes,
                   std::vector<lint::Finding>& findings, std::optional<double>* seconds) {
    const std::string name = textOf(pathOf(recording).filename());
    auto opened = audio::SoundFile::open(recording);
    audio::Verification verification;
    if (opened.file) {
        if (seconds)
            *seconds = static_cast<double>(opened.file->frames()) / opened.file->sampleRate();
        verification = audio::verifyRecording(bytes, *opened.file); // as verify does by default
    }
    if (const std::optional<Failure> failure =
            opened.file ? verification.failure : opened.failure) {
        // The failure's own sentence names the recording, so the finding reads on its own.
        findings.push_back(
            {lint::Kind::Recording, std::nullopt, std::nullopt, failure->sentence()});
        // A recording without speech was read: it disagrees with any GAP file.
        return opened.file && verification.noSpeech;
    }
    for (const audio::Finding& finding : verification.findings)
        findings.push_back(
            {lint::Kind::Recording, std::nullopt, finding.atMs, name + ": " + finding.text});
    return true;
}

} // namespace

std::optional<std::size_t> recordingRank(std::string_view fileName) {
    const std::string ending = plaintext::asciiLower(split(fileName).second);
    if (ending.empty())
        return std::nullopt;
    std::size_t rank = 0;
    for (const audio::RecordingFormat& format : audio::recordingFormats())
        for (std::string_view extension : format.extensions) {
            if (extension == ending)
                return rank;
            ++rank;
        }
    return std::nullopt;
}

bool isGapName(std::string_view fileName) {
    return plaintext::asciiLower(split(fileName).second) == "gap";
}

FolderPairing::FolderPairing(const std::vector<fileio::FolderEntry>& entries) {
    std::map<std::string, std::size_t, std::less<>> ranks;
    for (const fileio::FolderEntry& entry : entries) {
        if (entry.kind == fileio::FolderEntry::Kind::folder)
            continue;
        const auto [stem, ending] = split(entry.name);
        if (isGapName(entry.name)) {
            // A broken link too: reading it says what is wrong with it.
            Pair& pair = pairs_[std::string(stem)];
            if (!pair.gap || entry.name < *pair.gap)
                pair.gap = entry.name;
            continue;
        }
        const std::optional<std::size_t> rank = recordingRank(entry.name);
        if (!rank || entry.kind != fileio::FolderEntry::Kind::file)
            continue;
        Pair& pair = pairs_[std::string(stem)];
        const auto known = ranks.find(stem);
        if (!pair.recording || *rank < known->second ||
            (*rank == known->second && entry.name < *pair.recording)) {
            pair.recording = entry.name;
            ranks[std::string(stem)] = *rank;
        }
    }
}

std::optional<std::string> FolderPairing::recordingOf(std::string_view gapName) const {
    const auto found = pairs_.find(split(gapName).first);
    return found == pairs_.end() ? std::nullopt : found->second.recording;
}

std::string FolderPairing::gapOf(std::string_view recordingName) const {
    const std::string_view stem = split(recordingName).first;
    const auto found = pairs_.find(stem);
    if (found != pairs_.end() && found->second.gap)
        return *found->second.gap;
    return std::string(stem) + ".gap";
}

namespace {

// The pairing of the folder that holds `path`, or nothing when it cannot be listed.
std::optional<FolderPairing> pairingBeside(const fs::path& path) {
    const fs::path folder = path.parent_path();
    std::vector<fileio::FolderEntry> entries;
    if (fileio::listFolder(textOf(folder.empty() ? fs::path(".") : folder), entries))
        return std::nullopt;
    return FolderPairing(entries);
}

} // namespace

std::optional<std::string> recordingBeside(const std::string& gapPath) {
    const fs::path gap = pathOf(gapPath);
    const std::optional<FolderPairing> pairing = pairingBeside(gap);
    const std::optional<std::string> name =
        pairing ? pairing->recordingOf(textOf(gap.filename())) : std::nullopt;
    if (!name)
        return std::nullopt;
    return textOf(gap.parent_path() / pathOf(*name));
}

std::string gapFileBeside(const std::string& recordingPath) {
    const fs::path recording = pathOf(recordingPath);
    const std::optional<FolderPairing> pairing = pairingBeside(recording);
    const std::string name = textOf(recording.filename());
    return textOf(recording.parent_path() /
                  pathOf(pairing ? pairing->gapOf(name) : std::string(split(name).first) + ".gap"));
}

std::string Line::gapPath() const {
    if (gap)
        return *gap;
    fs::path path = pathOf(recording.value_or(std::string()));
    path.replace_extension(".gap");
    return textOf(path);
}

Listing listPack(const std::string& folder) {
    Listing listing;
    const std::size_t topLength = folder.size();
    fileio::walkFolders(
        folder,
        [&](const std::string& path, const std::vector<fileio::FolderEntry>& entries) {
            // The folder's place under the top one, as the table shows it: "act1/scene2/".
            std::string prefix = path.substr(std::min(topLength, path.size()));
            prefix.erase(0, prefix.find_first_not_of(kSeparators));
            if (!prefix.empty()) {
                const std::u8string generic = pathOf(prefix).generic_u8string();
                prefix.assign(generic.begin(), generic.end());
                prefix += '/';
            }
            // The folder's lines in the order of their files' names (the GAP file's, else the
            // recording's), as gaptool lint lists them.
            const FolderPairing pairing(entries);
            std::vector<std::pair<std::string, Line>> lines;
            for (const auto& [stem, pair] : pairing.pairs()) {
                Line line;
                line.name = prefix + stem;
                if (pair.gap)
                    line.gap = fileio::joinPath(path, *pair.gap);
                if (pair.recording)
                    line.recording = fileio::joinPath(path, *pair.recording);
                lines.emplace_back(pair.gap.value_or(pair.recording.value_or("")), std::move(line));
            }
            std::ranges::sort(lines, {}, &std::pair<std::string, Line>::first);
            for (auto& [name, line] : lines)
                listing.lines.push_back(std::move(line));
        },
        [&](const Failure& failure) { listing.failures.push_back(failure); });
    return listing;
}

std::string_view statusName(Status status) {
    switch (status) {
    case Status::Unreadable:
        return "unreadable";
    case Status::StructureIncorrect:
        return "structure incorrect";
    case Status::NoGap:
        return "no GAP file";
    case Status::NoRecording:
        return "no recording";
    case Status::Disagrees:
        return "disagrees with its recording";
    case Status::Fragments:
        return "fragments";
    case Status::PastLimit:
        return "past 32,767 ms";
    case Status::Correct:
        break;
    }
    return "correct";
}

std::string statusText(const Scan& scan) {
    std::string text(statusName(scan.status));
    if (scan.status == Status::Disagrees) {
        const auto told = std::count_if(
            scan.findings.begin(), scan.findings.end(),
            [](const lint::Finding& finding) { return finding.kind == lint::Kind::Recording; });
        text += " (" + std::to_string(told) + ")";
    }
    return text;
}

Status statusOf(const std::vector<lint::Finding>& findings) {
    Status worst = Status::Correct;
    for (const lint::Finding& finding : findings) {
        Status status = Status::Correct;
        switch (finding.kind) {
        case lint::Kind::Unreadable:
            status = Status::Unreadable;
            break;
        case lint::Kind::Structure:
        case lint::Kind::Count:
        case lint::Kind::HighWord:
        case lint::Kind::PartialRecord:
            status = Status::StructureIncorrect;
            break;
        case lint::Kind::Recording:
            status = Status::Disagrees;
            break;
        case lint::Kind::Fragment:
            status = Status::Fragments;
            break;
        case lint::Kind::PastLimit:
            status = Status::PastLimit;
            break;
        }
        worst = std::min(worst, status);
    }
    return worst;
}

Stamp stampOf(const std::optional<std::string>& path) {
    if (!path)
        return {};
    std::error_code error;
    const fs::path file = pathOf(*path);
    const auto changed = fs::last_write_time(file, error);
    if (error)
        return {};
    const auto size = fs::file_size(file, error);
    const auto since = std::chrono::file_clock::to_sys(changed).time_since_epoch();
    return {std::chrono::duration_cast<std::chrono::nanoseconds>(since).count(),
            error ? 0 : static_cast<std::uint64_t>(size)};
}

std::int64_t Scan::changedNs() const {
    return std::max(gapStamp.changedNs, recordingStamp.changedNs);
}

bool addRecordingFindings(const std::string& recording, const GapBytes& bytes,
                          std::vector<lint::Finding>& findings) {
    return verifyAgainst(recording, bytes, findings, nullptr);
}

Scan scanLine(const Line& line) {
    Scan scan;
    scan.gapStamp = stampOf(line.gap);
    scan.recordingStamp = stampOf(line.recording);
    bool readable = true;
    if (line.recording) {
        const std::size_t rank =
            recordingRank(textOf(pathOf(*line.recording).filename())).value_or(0);
        std::size_t at = 0;
        for (const audio::RecordingFormat& format : audio::recordingFormats()) {
            at += format.extensions.size();
            if (rank < at) {
                scan.format = format.name;
                break;
            }
        }
    }
    if (line.recording && !line.gap) {
        auto opened = audio::SoundFile::open(*line.recording);
        if (opened.file) {
            scan.seconds = static_cast<double>(opened.file->frames()) / opened.file->sampleRate();
            scan.status = Status::NoGap;
        } else {
            scan.findings.push_back(
                {lint::Kind::Unreadable, std::nullopt, std::nullopt, opened.failure->sentence()});
            scan.status = Status::Unreadable;
        }
        return scan;
    }
    const fileio::Contents contents = fileio::readGapFile(line.gapPath());
    if (contents.failure) {
        scan.findings.push_back(
            {lint::Kind::Unreadable, std::nullopt, std::nullopt, contents.failure->sentence()});
        scan.status = Status::Unreadable;
        return scan;
    }
    const GapBytes bytes(contents.bytes);
    scan.silences = contents.bytes.size() / kRecordSize;
    scan.findings = lint::lintBytes(bytes);
    if (line.recording) {
        readable = verifyAgainst(*line.recording, bytes, scan.findings, &scan.seconds);
    }
    scan.status = readable ? statusOf(scan.findings) : Status::Unreadable;
    if (!line.recording && scan.status > Status::NoRecording)
        scan.status = Status::NoRecording;
    return scan;
}

Scan outOfMemoryScan(const Line& line) {
    Scan scan;
    scan.findings = {{lint::Kind::Unreadable, std::nullopt, std::nullopt,
                      outOfMemory("Could not lint", line.gapPath()).sentence()}};
    scan.status = Status::Unreadable;
    return scan;
}

namespace {

std::string csvField(std::string_view text) {
    if (text.find_first_of(",\"\r\n") == std::string_view::npos)
        return std::string(text);
    std::string quoted = "\"";
    for (char c : text) {
        if (c == '"')
            quoted += '"';
        quoted += c;
    }
    return quoted + '"';
}

std::string isoTime(std::int64_t ns) {
    if (ns == 0)
        return {};
    const std::time_t seconds = static_cast<std::time_t>(ns / 1'000'000'000);
    std::tm utc{};
#ifdef _WIN32
    gmtime_s(&utc, &seconds);
#else
    gmtime_r(&seconds, &utc);
#endif
    char text[32];
    std::strftime(text, sizeof text, "%Y-%m-%dT%H:%M:%SZ", &utc);
    return text;
}

} // namespace

std::string csvReport(std::span<const ReportRow> rows) {
    std::string text = "line,gap,recording,format,seconds,silences,status,changed,findings\r\n";
    for (const ReportRow& row : rows) {
        const Line& line = *row.line;
        std::string findings;
        std::string seconds;
        std::string silences;
        if (row.scan) {
            for (const lint::Finding& finding : row.scan->findings) {
                if (!findings.empty())
                    findings += '\n';
                findings += std::string(lint::kindName(finding.kind)) + ": " + finding.message;
            }
            if (row.scan->seconds) {
                char number[32];
                std::snprintf(number, sizeof number, "%.3f", *row.scan->seconds);
                seconds = number;
            }
            if (row.scan->silences)
                silences = std::to_string(*row.scan->silences);
        }
        text += csvField(line.name) + ',' + csvField(line.gap.value_or("")) + ',' +
                csvField(line.recording.value_or("")) + ',' +
                csvField(row.scan ? row.scan->format : "") + ',' + seconds + ',' + silences + ',' +
                csvField(row.scan ? statusName(row.scan->status) : "") + ',' +
                (row.scan ? isoTime(row.scan->changedNs()) : "") + ',' + csvField(findings) +
                "\r\n";
    }
    return text;
}

std::vector<lint::FileFindings> lintFindings(std::span<const ReportRow> rows) {
    std::vector<lint::FileFindings> files;
    for (const ReportRow& row : rows) {
        // Every line: its GAP file, else its recording, whose findings say whether it can be read.
        const std::optional<std::string>& file =
            row.line->gap ? row.line->gap : row.line->recording;
        if (!file)
            continue;
        lint::FileFindings& found = files.emplace_back(lint::FileFindings{*file, {}});
        if (row.scan && (row.line->gap || row.scan->status == Status::Unreadable))
            found.findings = row.scan->findings;
    }
    return files;
}

} // namespace ravik::voicepack
