// SPDX-License-Identifier: GPL-3.0-or-later
#include "gaptool.hpp"

#include "commands.hpp"
#ifdef RAVIK_WITH_AUDIO
#include "detect.hpp"
#endif
#include "core/actions/actions.hpp"
#include "core/files/replacement.hpp"
#include "core/text/failure.hpp"
#include "core/text/messages.hpp"
#include "options.hpp"
#include "report.hpp"

#include <algorithm>
#include <array>
#include <new>
#include <optional>
#include <ostream>

namespace ravik::cli {
namespace {

constexpr std::string_view kUsage =
    R"(Usage: gaptool COMMAND FILE...
Checks, shows, cleans and writes GAP files, the silence lists of recorded speech.

Commands:
  check FILE...          check each file's structure
  show FILE...           list each file's silences and their statistics
  defrag [--backup] [--suffix S] FILE...
                         remove every silence of 50 ms or less, rewriting the file
  generic [--backup] [--suffix S] FILE
                         create FILE holding one silence from 0 to 1 ms
  write FILE START END   append one silence from START to END ms to FILE
  detect RECORDING|FOLDER...
                         find each recording's silences and write them beside it
                         under the same name with .gap (an existing file is kept
                         unless --force is given); a FOLDER: every recording under
                         it, each line with a GAP file skipped with a note
  verify GAP RECORDING   list where GAP and its recording disagree
)";

constexpr std::string_view kUsageEnd = R"(
Options of detect and verify:
  -o OUT.gap             detect: write the GAP file of a single RECORDING to OUT.gap
  --threshold DB         quiet below DB dBFS (negative); default: just above the
                         recording's noise floor, found from the recording
  --min-silence MS       the least silence length in ms (default 51: what defrag keeps)
  --force                detect: replace existing GAP files
  -j N                   detect: read N recordings at once, 1 to 999 (default: one
                         per core)

Options:
  --help                 show this help and exit
  --version              show the version and exit
  --backup               defrag, generic, detect --force: first keep the content
                         replaced as FILE~; none when FILE did not exist or its
                         content stays the same.
                         When the backup cannot be written, FILE is left as it was
  --suffix S             use S instead of "~" for the backup (implies --backup)
  --                     end the options, so that a FILE may start with "-"

With more than one FILE, each file's lines start with ">> Loaded File: " and its path.
Exit status: 0 when every file is correct, 1 when a file's structure is incorrect
(import: the input cannot make a valid file; diff and lint: something was found),
2 when a file could not be read or written, or the command line is wrong,
3 when a file was changed but the report of it could not be printed.
)";

// gaptool's side of the actions: lines into the report, failures beside it, the statistics as
// labelled lines, and the worst outcome as the exit status.
class Session final : public ActionView {
public:
    Session(Report& report, std::string_view decimalSeparator)
        : report_(report)
        , decimalSeparator_(decimalSeparator) {}

    /// Runs `command` on `path`, which it only reads.
    void inspect(const std::string& path, void (Session::*command)(const std::string&)) {
        if (report_.lost())
            return;
        report_.workOn(path, false);
        (this->*command)(path);
        report_.flush();
    }

    void check(const std::string& path) {
        path_ = path;
        actions::check(*this);
    }

    void show(const std::string& path) {
        path_ = path;
        actions::timeline(*this);
    }

    void defrag(const std::string& path) {
        path_ = path;
        change(path, [&] { return actions::defrag(*this, keeping_); });
    }

    void generic(const std::string& path) {
        change(path, [&] { return actions::createGeneric(*this, path, keeping_); });
    }

    void keep(Keeping keeping) { keeping_ = std::move(keeping); }

    void write(const std::string& path, const std::string& start, const std::string& end) {
        change(path, [&] { return actions::writeSilence(*this, path, start, end); });
    }

    void header(const std::string& path) {
        if (!report_.lost())
            report_.out() << messages::loadedFile(path) << '\n';
    }

    // ActionView
    [[nodiscard]] std::string currentPath() const override { return path_; }
    void setCurrentPath(const std::string& path) override { path_ = path; }
    void clearStatus() override {} // a terminal keeps what it printed
    void appendStatus(std::string_view line) override { report_.out() << line << '\n'; }
    void appendStatus(const StatusLines& lines) override {
        report_.out().write(lines.text().data(), static_cast<std::streamsize>(lines.text().size()));
    }
    void reportFailure(const Failure& failure) override { report_.fail(failure); }
    void showTimeline(const Timeline& timeline) override {
        if (timeline.failure)
            return;
        field(messages::kSilenceCountLabel, timeline.count);
        field(messages::kSourceLengthLabel, timeline.minimum);
        field(messages::kSilencesLengthLabel, timeline.length);
        if (timeline.verdict == Verdict::Incorrect)
            report_.worsen(ExitStatus::Incorrect);
    }
    void showCheck(const StructureCheck& check) override {
        if (check.verdict == Verdict::Incorrect)
            report_.worsen(ExitStatus::Incorrect);
    }
    void clearVerdict() override {}
    // A terminal has no picture: the timeline draws no boxes for it.
    [[nodiscard]] PictureSize pictureSize() const override { return {}; }
    [[nodiscard]] std::string decimalSeparator() const override {
        return std::string(decimalSeparator_);
    }

private:
    void field(std::string_view label, std::string_view text) {
        report_.out() << label << ' ' << text << '\n';
    }
    // Changes one file with `run` (which returns whether it changed the file), but only while
    // the report can be printed.
    template <typename Change>
    void change(const std::string& path, Change run) {
        if (!report_.mayChange(path))
            return;
        report_.workOn(path, true);
        if (run())
            report_.changed(path);
        report_.flush();
    }

    Report& report_;
    std::string_view decimalSeparator_;
    std::string path_;
    Keeping keeping_;
};

// check, show and defrag take any number of files, each after its heading when there are several.
void runOnFiles(const std::vector<std::string>& arguments, Report& report, std::string_view name,
                std::string_view decimalSeparator) {
    const bool changes = name == "defrag" || name == "generic";
    const Options options(
        arguments,
        changes ? std::initializer_list<Options::Known>{{"--backup", false}, {"--suffix", true}}
                : std::initializer_list<Options::Known>{});
    if (options.problem())
        return report.misuse(*options.problem());
    const std::vector<std::string>& files = options.operands();
    Session session(report, decimalSeparator);
    if (changes) {
        std::optional<Keeping> keeping = options.keeping();
        if (!keeping)
            return report.misuse(kSuffixProblem);
        session.keep(std::move(*keeping));
    }
    if (name == "generic" && files.size() != 1)
        return report.misuse("The generic command takes exactly one FILE.");
    if (files.empty())
        return report.misuse("The " + std::string(name) + " command needs at least one FILE.");
    // The actions take an empty path for no file at all.
    if (std::ranges::any_of(files, &std::string::empty))
        return report.misuse("A FILE argument is empty.");
    for (const std::string& path : files) {
        if (report.lost())
            break;
        if (files.size() > 1)
            session.header(path);
        if (name == "check")
            session.inspect(path, &Session::check);
        else if (name == "show")
            session.inspect(path, &Session::show);
        else if (name == "defrag")
            session.defrag(path);
        else
            session.generic(path);
    }
}

void runWrite(const std::vector<std::string>& arguments, Report& report,
              std::string_view decimalSeparator) {
    const Options options(arguments, {});
    if (options.problem())
        return report.misuse(*options.problem());
    const std::vector<std::string>& operands = options.operands();
    if (operands.size() != 3)
        return report.misuse("The write command takes FILE START END.");
    if (operands[0].empty())
        return report.misuse("A FILE argument is empty.");
    Session(report, decimalSeparator).write(operands[0], operands[1], operands[2]);
}

void detect(const std::vector<std::string>& arguments, Report& report,
            std::string_view decimalSeparator) {
#ifdef RAVIK_WITH_AUDIO
    runDetect(arguments, report,
              [&](const std::string& path) { Session(report, decimalSeparator).show(path); });
#else
    (void)arguments;
    (void)decimalSeparator;
    report.misuse("This gaptool was built without libsndfile: it cannot read recordings.");
#endif
}

void verify(const std::vector<std::string>& arguments, Report& report) {
#ifdef RAVIK_WITH_AUDIO
    runVerify(arguments, report);
#else
    (void)arguments;
    report.misuse("This gaptool was built without libsndfile: it cannot read recordings.");
#endif
}

using Arguments = std::vector<std::string>;

struct Command {
    std::string_view name;
    void (*run)(const Arguments& arguments, Report& report, std::string_view decimalSeparator);
};

// Every command, with the arguments after its name.
constexpr std::array<Command, 11> kCommands{{
    {"check",
     [](const Arguments& a, Report& r, std::string_view s) { runOnFiles(a, r, "check", s); }},
    {"show",
     [](const Arguments& a, Report& r, std::string_view s) { runOnFiles(a, r, "show", s); }},
    {"defrag",
     [](const Arguments& a, Report& r, std::string_view s) { runOnFiles(a, r, "defrag", s); }},
    {"generic",
     [](const Arguments& a, Report& r, std::string_view s) { runOnFiles(a, r, "generic", s); }},
    {"write", &runWrite},
    {"detect", &detect},
    {"verify", [](const Arguments& a, Report& r, std::string_view) { verify(a, r); }},
    {"export", [](const Arguments& a, Report& r, std::string_view) { runExport(a, r); }},
    {"import", [](const Arguments& a, Report& r, std::string_view) { runImport(a, r); }},
    {"diff", [](const Arguments& a, Report& r, std::string_view) { runDiff(a, r); }},
    {"lint", [](const Arguments& a, Report& r, std::string_view) { runLint(a, r); }},
}};

} // namespace

ExitStatus runGaptool(const std::vector<std::string>& arguments, std::ostream& out,
                      std::ostream& err, std::string_view decimalSeparator) {
    Report report(out, err);
    if (arguments.empty()) {
        report.misuse("No command given.");
        return report.status();
    }
    const std::string& name = arguments.front();
    if (name == "--help" || name == "-h") {
        out << kUsage << kExchangeUsage << kUsageEnd;
        return report.finish();
    }
    if (name == "--version") {
        out << "gaptool (Ravik) " << RAVIK_VERSION << '\n';
        return report.finish();
    }
    const auto command = std::ranges::find(kCommands, name, &Command::name);
    if (command == kCommands.end()) {
        report.misuse("Unknown command '" + name + "'.");
        return report.status();
    }
    try {
        command->run({arguments.begin() + 1, arguments.end()}, report, decimalSeparator);
    } catch (const std::bad_alloc&) {
        report.outOfMemory();
    }
    return report.finish();
}

} // namespace ravik::cli
