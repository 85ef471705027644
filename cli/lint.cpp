#include "core/lint.hpp"

#include "commands.hpp"
#include "core/fileio.hpp"
#include "core/jsontext.hpp"
#include "options.hpp"
#include "paths.hpp"
#include "recordings.hpp"

#include <algorithm>
#include <atomic>
#include <filesystem>
#include <functional>
#include <ostream>
#include <set>
#include <thread>

namespace ravik::cli {
namespace {
namespace fs = std::filesystem;

constexpr int kClean = 0;
constexpr int kFound = 1;
constexpr int kTrouble = 2;

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

/// Collects the .gap files under a folder, in name order. A folder reached twice (through a
/// symbolic link back up the tree) is listed once.
class Walk {
public:
    explicit Walk(std::vector<Entry>& entries)
        : entries_(entries) {}

    void add(const std::string& path) {
        std::error_code error;
        const fs::path native = toPath(path);
        const fs::file_status status = fs::status(native, error);
        if (error && !fs::exists(status)) {
            entries_.push_back(
                {path, {}, Failure{"Could not open", path, reasonText(error)}, std::nullopt});
        } else if (fs::is_directory(status)) {
            folder(native);
        } else {
            // Named outright: linted whatever its name.
            entries_.push_back({path, {}, std::nullopt, recordings::recordingBeside(path)});
        }
    }

private:
    void folder(const fs::path& folder) {
        std::error_code error;
        const fs::path canonical = fs::canonical(folder, error);
        if (!error && !visited_.insert(canonical).second)
            return;
        std::vector<fs::path> files;
        std::vector<fs::path> folders;
        std::vector<fs::path> recorded; // the recordings among the files, found in the same pass
        fs::directory_iterator it(folder, error);
        for (; !error && it != fs::directory_iterator(); it.increment(error)) {
            std::error_code typeError;
            if (it->is_directory(typeError))
                folders.push_back(it->path());
            else if (isGapName(it->path()) && !typeError)
                files.push_back(it->path());
            else if (recordings::isRecording(it->path()) && !typeError)
                recorded.push_back(it->path());
        }
        if (error) {
            const std::string path = utf8Of(folder);
            entries_.push_back(
                {path, {}, Failure{"Could not list", path, reasonText(error)}, std::nullopt});
            return;
        }
        std::sort(files.begin(), files.end());
        std::sort(folders.begin(), folders.end());
        std::sort(recorded.begin(), recorded.end());
        for (const fs::path& file : files) {
            Entry entry{utf8Of(file), {}, std::nullopt, std::nullopt};
            for (const fs::path& recording : recorded)
                if (recording.stem() == file.stem() && !entry.recording)
                    entry.recording = utf8Of(recording);
            entries_.push_back(std::move(entry));
        }
        for (const fs::path& inner : folders)
            this->folder(inner);
    }

    std::vector<Entry>& entries_;
    std::set<fs::path> visited_;
};

void lintOne(Entry& entry) {
    if (entry.unreadable)
        return;
    const fileio::Contents contents = fileio::readGapFile(entry.path);
    if (contents.failure) {
        entry.unreadable = contents.failure;
        return;
    }
    const GapBytes bytes(contents.bytes);
    entry.findings = lint::lintBytes(bytes);
    if (entry.recording)
        recordings::addFindings(*entry.recording, bytes, entry.findings);
}

/// Lints every entry on `jobs` threads; each thread takes the next entry not yet taken.
void lintAll(std::vector<Entry>& entries, unsigned jobs) {
    std::atomic<std::size_t> next{0};
    auto work = [&] {
        for (std::size_t i = next++; i < entries.size(); i = next++)
            lintOne(entries[i]);
    };
    std::vector<std::jthread> threads;
    for (unsigned j = 1; j < std::min<std::size_t>(jobs, entries.size()); ++j)
        threads.emplace_back(work);
    work();
}

std::string number(const std::optional<std::int64_t>& value) {
    return value ? std::to_string(*value) : "null";
}

void printText(const std::vector<Entry>& entries, std::ostream& out, std::ostream& err) {
    for (const Entry& entry : entries) {
        if (entry.unreadable) {
            out.flush();
            err << "gaptool: " << entry.unreadable->sentence() << '\n';
            continue;
        }
        std::string lines;
        for (const lint::Finding& finding : entry.findings) {
            lines += entry.path;
            if (finding.offset)
                lines += ':' + std::to_string(*finding.offset);
            lines += ": ";
            lines += lint::kindName(finding.kind);
            lines += ": " + finding.message + '\n';
        }
        out << lines;
    }
}

void printJson(const std::vector<Entry>& entries, std::ostream& out) {
    std::string text = "{\n  \"files\": " + std::to_string(entries.size()) + ",\n  \"findings\": [";
    bool first = true;
    auto add = [&](const std::string& path, std::string_view kind,
                   const std::optional<std::int64_t>& offset,
                   const std::optional<std::int64_t>& time, const std::string& message) {
        text += first ? "\n" : ",\n";
        first = false;
        text += "    {\"file\": " + jsontext::quoted(path) + ", \"kind\": \"" + std::string(kind) +
                "\", \"offset\": " + number(offset) + ", \"time_ms\": " + number(time) +
                ", \"message\": " + jsontext::quoted(message) + "}";
    };
    for (const Entry& entry : entries) {
        if (entry.unreadable)
            add(entry.path, lint::kindName(lint::Kind::Unreadable), std::nullopt, std::nullopt,
                entry.unreadable->sentence());
        for (const lint::Finding& finding : entry.findings) {
            std::optional<std::int64_t> offset;
            if (finding.offset)
                offset = static_cast<std::int64_t>(*finding.offset);
            add(entry.path, lint::kindName(finding.kind), offset, finding.time, finding.message);
        }
    }
    text += first ? "]\n}\n" : "\n  ]\n}\n";
    out << text;
}

} // namespace

int runLint(const std::vector<std::string>& arguments, std::ostream& out, std::ostream& err) {
    const Options options(arguments, {{"--json", false}, {"-j", true}});
    if (options.problem())
        return misuse(err, *options.problem());
    if (options.operands().empty())
        return misuse(err, "The lint command needs at least one PATH.");
    unsigned jobs = std::max(1U, std::thread::hardware_concurrency());
    if (const auto text = options.value("-j")) {
        if (text->empty() || text->size() > 3 ||
            !std::all_of(text->begin(), text->end(), [](char c) { return c >= '0' && c <= '9'; }) ||
            std::stoi(*text) == 0)
            return misuse(err, "-j takes a number of jobs from 1 to 999.");
        jobs = static_cast<unsigned>(std::stoi(*text));
    }

    std::vector<Entry> entries;
    Walk walk(entries);
    for (const std::string& path : options.operands())
        walk.add(path);
    lintAll(entries, jobs);

    if (options.has("--json"))
        printJson(entries, out);
    else
        printText(entries, out, err);

    int status = kClean;
    for (const Entry& entry : entries)
        status = std::max(status, entry.unreadable         ? kTrouble
                                  : entry.findings.empty() ? kClean
                                                           : kFound);
    return status;
}

} // namespace ravik::cli
