// SPDX-License-Identifier: GPL-3.0-or-later
#include "commands.hpp"
#include "core/exchange/lintreport.hpp"
#include "core/files/fileio.hpp"
#include "core/format/lint.hpp"
#include "options.hpp"
#include "pack/batchengine.hpp"
#include "paths.hpp"
#include "progress.hpp"
#include "recordings.hpp"
#include "report.hpp"

#include <algorithm>
#include <atomic>
#include <filesystem>
#include <functional>
#include <new>
#include <ostream>
#include <system_error>
#include <thread>

namespace ravik::cli {
namespace {
namespace fs = std::filesystem;

bool isGapName(const fs::path& path) {
    std::string extension = utf8Of(path.extension());
    std::transform(extension.begin(), extension.end(), extension.begin(),
                   [](char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c + 32) : c; });
    return extension == ".gap";
}

/// One file to lint: a GAP file, or a recording without one.
struct Entry {
    std::string path;
    std::optional<Failure> unreadable;    ///< a folder that could not be listed, or a missing PATH
    std::optional<std::string> recording; ///< the recording beside it, to compare it with
    bool recordingAlone = false;          ///< `path` is a recording that has no GAP file
};

/// What was read of one file: its bytes, whose findings are listed as they are printed (a file
/// of a million fragments needs no list of them), and the recording's findings.
struct Linted {
    std::vector<std::uint8_t> bytes;
    std::vector<lint::Finding> recording;
    std::optional<Failure> unreadable;
};

/// Collects the .gap files named, and those under the folders named, in name order, and the
/// recordings there without one (only whether they can be read is worth knowing of them).
class Walk {
public:
    explicit Walk(std::vector<Entry>& entries)
        : entries_(entries) {}

    void add(const std::string& path) {
        std::error_code error;
        const fs::file_status status = fs::status(toPath(path), error);
        if (error && !fs::exists(status)) {
            entries_.push_back(
                {path, Failure{"Could not open", path, reasonText(error)}, std::nullopt, false});
        } else if (fs::is_directory(status)) {
            fileio::walkFolders(
                path,
                [this](const std::string& folder, const std::vector<fileio::FolderEntry>& found) {
                    list(folder, found);
                },
                [this](const Failure& failure) {
                    entries_.push_back({failure.path, failure, std::nullopt, false});
                });
        } else {
            // Named outright: linted whatever its name.
            entries_.push_back({path, std::nullopt, recordings::recordingBeside(path), false});
        }
    }

private:
    // Adds the .gap files among a folder's entries (in name order), each with the recording the
    // voice pack's pairing rule gives it, then the recordings without one.
    void list(const std::string& folder, const std::vector<fileio::FolderEntry>& found) {
        const recordings::FolderRecordings recordings(found);
        const std::vector<std::string> alone = recordings.alone();
        auto next = alone.begin(); // merged in name order with the GAP files
        const auto addAloneUpTo = [&](const std::string* name) {
            for (; next != alone.end() && (name == nullptr || *next < *name); ++next)
                entries_.push_back(
                    {fileio::joinPath(folder, *next), std::nullopt, std::nullopt, true});
        };
        for (const fileio::FolderEntry& entry : found) {
            // A broken link too: reading it says what is wrong with it.
            if (entry.kind == fileio::FolderEntry::Kind::folder || !isGapName(toPath(entry.name)))
                continue;
            addAloneUpTo(&entry.name);
            Entry linted{fileio::joinPath(folder, entry.name), std::nullopt, std::nullopt, false};
            if (const auto recording = recordings.of(entry.name))
                linted.recording = fileio::joinPath(folder, *recording);
            entries_.push_back(std::move(linted));
        }
        addAloneUpTo(nullptr);
    }

    std::vector<Entry>& entries_;
};

Linted lintOne(const Entry& entry) {
    Linted linted;
    if (entry.unreadable) {
        linted.unreadable = entry.unreadable;
    } else if (entry.recordingAlone) {
        linted.unreadable = recordings::openFailure(entry.path);
    } else {
        fileio::Contents contents = fileio::readGapFile(entry.path);
        if (contents.failure) {
            linted.unreadable = contents.failure;
            return linted;
        }
        linted.bytes = std::move(contents.bytes);
        if (entry.recording)
            recordings::addFindings(*entry.recording, GapBytes(linted.bytes), linted.recording);
    }
    return linted;
}

// Every line shows the path and the message as every text report shows outside text.
std::string textLine(const std::string& path, const lint::Finding& finding) {
    std::string line = printable(path);
    if (finding.offset)
        line += ':' + std::to_string(*finding.offset);
    return line + ": " + std::string(lint::kindName(finding.kind)) + ": " +
           printable(finding.message) + '\n';
}

// Prints the file's findings, in the text report or the JSON one, and says how it is.
void printFindings(const Entry& entry, const Linted& linted, lint::JsonReportWriter* json,
                   Report& report) {
    if (linted.unreadable) {
        report.worsen(ExitStatus::Trouble);
        if (!json)
            return report.fail(*linted.unreadable);
        report.out() << json->finding(entry.path, {lint::Kind::Unreadable, std::nullopt,
                                                   std::nullopt, linted.unreadable->sentence()});
        return;
    }
    bool found = false;
    const auto print = [&](const lint::Finding& finding) {
        found = true;
        report.out() << (json ? json->finding(entry.path, finding) : textLine(entry.path, finding));
    };
    lint::lintBytes(GapBytes(linted.bytes), [&](lint::Finding&& finding) { print(finding); });
    for (const lint::Finding& finding : linted.recording)
        print(finding);
    report.worsen(found ? ExitStatus::Incorrect : ExitStatus::AllCorrect);
}

} // namespace

void runLint(const std::vector<std::string>& arguments, Report& report) {
    const Options options(arguments, {{"--json", false}, {"-j", true}});
    if (options.problem())
        return report.misuse(*options.problem());
    if (options.operands().empty())
        return report.misuse("The lint command needs at least one PATH.");
    const std::optional<unsigned> jobs = options.jobs();
    if (!jobs)
        return report.misuse(kJobsProblem);

    std::vector<Entry> entries;
    Walk walk(entries);
    for (const std::string& path : options.operands())
        walk.add(path);

    // Each file's findings are printed once it and the files before it are linted, and then
    // forgotten, so that lint holds the findings of a few files at a time, however many.
    const bool asJson = options.has("--json");
    lint::JsonReportWriter writer;
    if (asJson)
        report.out() << lint::JsonReportWriter::start(entries.size());
    // The progress line is drawn and taken away here only, between the files' reports, so that
    // no report line is written over it.
    Progress progress(report.err(), entries.size());
    const voicepack::BatchRun run{*jobs, nullptr, {}};
    voicepack::runInOrder<Linted>(
        entries.size(), run, [&](std::size_t i) { return lintOne(entries[i]); },
        [&](std::size_t i) {
            return Linted{{}, {}, voicepack::outOfMemory("Could not lint", entries[i].path)};
        },
        [&](std::size_t i, Linted& linted) {
            progress.hide();
            printFindings(entries[i], linted, asJson ? &writer : nullptr, report);
            if (progress.shown())
                report.flush(); // before the line is drawn again below it
            progress.advance();
            return !report.lost();
        });
    if (asJson && !report.lost())
        report.out() << writer.end();
}

} // namespace ravik::cli
