#include "commands.hpp"
#include "core/exchange/lintreport.hpp"
#include "core/files/fileio.hpp"
#include "core/format/lint.hpp"
#include "options.hpp"
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

/// One file to lint and what was found in it.
struct Entry {
    std::string path;
    std::vector<lint::Finding> findings;
    std::optional<Failure> unreadable;    ///< a folder that could not be listed, or a missing PATH
    std::optional<std::string> recording; ///< the recording beside it, to compare it with
};

/// Collects the .gap files named, and those under the folders named, in name order.
class Walk {
public:
    explicit Walk(std::vector<Entry>& entries)
        : entries_(entries) {}

    void add(const std::string& path) {
        std::error_code error;
        const fs::file_status status = fs::status(toPath(path), error);
        if (error && !fs::exists(status)) {
            entries_.push_back(
                {path, {}, Failure{"Could not open", path, reasonText(error)}, std::nullopt});
        } else if (fs::is_directory(status)) {
            fileio::walkFolders(
                path,
                [this](const std::string& folder, const std::vector<fileio::FolderEntry>& found) {
                    list(folder, found);
                },
                [this](const Failure& failure) {
                    entries_.push_back({failure.path, {}, failure, std::nullopt});
                });
        } else {
            // Named outright: linted whatever its name.
            entries_.push_back({path, {}, std::nullopt, recordings::recordingBeside(path)});
        }
    }

private:
    // Adds the .gap files among a folder's entries (in name order), each with the recording the
    // voice pack's pairing rule gives it.
    void list(const std::string& folder, const std::vector<fileio::FolderEntry>& found) {
        using Kind = fileio::FolderEntry::Kind;
        std::vector<std::string> files; // the names the recordings are chosen from
        if (recordings::available())
            for (const fileio::FolderEntry& entry : found)
                if (entry.kind == Kind::file)
                    files.push_back(entry.name);
        for (const fileio::FolderEntry& entry : found) {
            // A broken link too: reading it says what is wrong with it.
            if (entry.kind == Kind::folder || !isGapName(toPath(entry.name)))
                continue;
            Entry linted{fileio::joinPath(folder, entry.name), {}, std::nullopt, std::nullopt};
            if (const auto recording = recordings::pairedRecording(entry.name, files))
                linted.recording = fileio::joinPath(folder, *recording);
            entries_.push_back(std::move(linted));
        }
    }

    std::vector<Entry>& entries_;
};

void lintOne(Entry& entry) {
    if (entry.unreadable)
        return;
    try {
        const fileio::Contents contents = fileio::readGapFile(entry.path);
        if (contents.failure) {
            entry.unreadable = contents.failure;
            return;
        }
        const GapBytes bytes(contents.bytes);
        entry.findings = lint::lintBytes(bytes);
        if (entry.recording)
            recordings::addFindings(*entry.recording, bytes, entry.findings);
    } catch (const std::bad_alloc&) {
        entry.findings = {};
        entry.unreadable = Failure{"Could not lint", entry.path,
                                   reasonText(std::make_error_code(std::errc::not_enough_memory))};
    }
}

/// Lints every entry on `jobs` threads; each thread takes the next entry not yet taken.
void lintAll(std::vector<Entry>& entries, unsigned jobs, Progress& progress) {
    std::atomic<std::size_t> next{0};
    auto work = [&] {
        for (std::size_t i = next++; i < entries.size(); i = next++) {
            lintOne(entries[i]);
            progress.advance();
        }
    };
    std::vector<std::jthread> threads;
    for (unsigned j = 1; j < std::min<std::size_t>(jobs, entries.size()); ++j)
        threads.emplace_back(work);
    work();
}

// Every line shows the path and the message as every text report shows outside text.
void printText(const std::vector<Entry>& entries, Report& report) {
    for (const Entry& entry : entries) {
        if (report.lost())
            return;
        if (entry.unreadable) {
            report.fail(*entry.unreadable);
            continue;
        }
        std::string lines;
        const std::string path = printable(entry.path);
        for (const lint::Finding& finding : entry.findings) {
            lines += path;
            if (finding.offset)
                lines += ':' + std::to_string(*finding.offset);
            lines += ": ";
            lines += lint::kindName(finding.kind);
            lines += ": " + printable(finding.message) + '\n';
        }
        report.out() << lines;
    }
}

void printJson(const std::vector<Entry>& entries, std::ostream& out) {
    std::vector<lint::FileFindings> files;
    files.reserve(entries.size());
    for (const Entry& entry : entries) {
        lint::FileFindings& file = files.emplace_back(lint::FileFindings{entry.path, {}});
        if (entry.unreadable)
            file.findings.push_back(
                {lint::Kind::Unreadable, std::nullopt, std::nullopt, entry.unreadable->sentence()});
        file.findings.insert(file.findings.end(), entry.findings.begin(), entry.findings.end());
    }
    out << lint::jsonReport(files);
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
    {
        Progress progress(report.err(), entries.size());
        lintAll(entries, *jobs, progress);
    }

    if (options.has("--json"))
        printJson(entries, report.out());
    else
        printText(entries, report);

    for (const Entry& entry : entries)
        report.worsen(entry.unreadable         ? ExitStatus::Trouble
                      : entry.findings.empty() ? ExitStatus::AllCorrect
                                               : ExitStatus::Incorrect);
}

} // namespace ravik::cli
