#include "gaptool.hpp"

#include "commands.hpp"
#ifdef RAVIK_WITH_AUDIO
#include "detect.hpp"
#endif

#include "core/defrag.hpp"
#include "core/messages.hpp"
#include "core/structurecheck.hpp"
#include "core/timeline.hpp"
#include "core/writers.hpp"

#include <algorithm>
#include <ostream>

namespace ravik::cli {
namespace {

constexpr std::string_view kUsage =
    R"(Usage: gaptool COMMAND FILE...
Checks, shows, cleans and writes GAP files, the silence lists of recorded speech.

Commands:
  check FILE...          check each file's structure
  show FILE...           list each file's silences and their statistics
  defrag FILE...         remove every silence of 50 ms or less, rewriting the file
  generic FILE           create FILE holding one silence from 0 to 1 ms
  write FILE START END   append one silence from START to END ms to FILE
  detect RECORDING...    find each recording's silences and write them beside it as
                         (same name, .gap; never over an existing file without --force)
  verify GAP RECORDING   list where GAP and its recording disagree
)";

constexpr std::string_view kUsageEnd = R"(
Options of detect and verify:
  -o OUT.gap             detect: write the GAP file of a single RECORDING to OUT.gap
  --threshold DB         quiet below DB dBFS (negative); default: just above the
                         recording's noise floor, found from the recording
  --min-silence MS       the least silence length in ms (default 51: what defrag keeps)
  --force                detect: replace existing GAP files
  -j N                   detect: read N recordings at once (default: one per core)

Options:
  --help                 show this help and exit
  --version              show the version and exit

With more than one FILE, each file's lines start with ">> Loaded File: " and its path.
Exit status: 0 when every file is correct, 1 when a file's structure is incorrect
(import: the input cannot make a valid file; diff and lint: something was found),
2 when a file could not be read or written, or the command line is wrong.
)";

class Session {
public:
    Session(std::ostream& out, std::ostream& err, std::string_view decimalSeparator)
        : out_(out)
        , err_(err)
        , decimalSeparator_(decimalSeparator) {}

    [[nodiscard]] int status() const { return status_; }

    void check(const std::string& path) {
        const StructureCheck check = checkStructure(path);
        print(check.lines);
        if (check.failure)
            report(*check.failure);
        else if (check.verdict == Verdict::Incorrect)
            worsen(kIncorrect);
    }

    void show(const std::string& path) {
        const Timeline timeline = buildTimeline(path, kTimelinePicture, decimalSeparator_);
        print(timeline.lines);
        if (timeline.failure) {
            report(*timeline.failure);
            return;
        }
        field(messages::kSilenceCountLabel, timeline.count);
        field(messages::kSourceLengthLabel, timeline.minimum);
        field(messages::kSilencesLengthLabel, timeline.length);
    }

    void defrag(const std::string& path) {
        const Defragmentation defragmentation = defragment(path);
        print(defragmentation.lines);
        if (defragmentation.failure)
            report(*defragmentation.failure);
        else
            show(path);
    }

    void generic(const std::string& path) {
        if (auto failure = createGenericGap(path)) {
            report(*failure);
            return;
        }
        out_ << messages::createdGeneric(path) << '\n';
        show(path);
        check(path);
    }

    void write(const std::string& path, const std::string& start, const std::string& end) {
        const SilenceWrite write = writeSilence(path, start, end, decimalSeparator_);
        print(write.lines);
        if (write.failure)
            report(*write.failure);
    }

    int misuse(std::string_view problem) {
        err_ << "gaptool: " << problem << " Try 'gaptool --help'.\n";
        return kTrouble;
    }

    void header(const std::string& path) { out_ << messages::loadedFile(path) << '\n'; }

private:
    void print(const StatusLines& lines) {
        out_.write(lines.text().data(), static_cast<std::streamsize>(lines.text().size()));
    }
    void field(std::string_view label, std::string_view text) {
        out_ << label << ' ' << text << '\n';
    }
    void report(const Failure& failure) {
        out_.flush(); // keep the failure after the lines that led to it on a terminal
        err_ << "gaptool: " << failure.sentence() << '\n';
        worsen(kTrouble);
    }
    void worsen(int status) { status_ = std::max(status_, status); }

    std::ostream& out_;
    std::ostream& err_;
    std::string_view decimalSeparator_;
    int status_ = kAllCorrect;
};

} // namespace

int runGaptool(const std::vector<std::string>& arguments, std::ostream& out, std::ostream& err,
               std::string_view decimalSeparator) {
    Session session(out, err, decimalSeparator);
    if (arguments.empty())
        return session.misuse("No command given.");
    const std::string& command = arguments.front();
    const std::vector<std::string> files(arguments.begin() + 1, arguments.end());
    if (command == "--help" || command == "-h") {
        out << kUsage << kExchangeUsage << kUsageEnd;
        return kAllCorrect;
    }
    if (command == "--version") {
        out << "gaptool (Ravik) " << RAVIK_VERSION << '\n';
        return kAllCorrect;
    }
#ifdef RAVIK_WITH_AUDIO
    if (command == "detect")
        return runDetect(files, out, err,
                         [&](const std::string& path, std::ostream& to, std::ostream& failures) {
                             Session block(to, failures, decimalSeparator);
                             block.show(path);
                             return block.status();
                         });
    if (command == "verify")
        return runVerify(files, out, err);
#else
    if (command == "detect" || command == "verify")
        return session.misuse("This gaptool was built without libsndfile: it cannot read "
                              "recordings.");
#endif

    const std::vector<std::string> rest(arguments.begin() + 1, arguments.end());
    if (command == "export")
        return runExport(rest, out, err);
    if (command == "import")
        return runImport(rest, out, err);
    if (command == "diff")
        return runDiff(rest, out, err);
    if (command == "lint")
        return runLint(rest, out, err);

    using Action = void (Session::*)(const std::string&);
    Action action = nullptr;
    if (command == "check")
        action = &Session::check;
    else if (command == "show")
        action = &Session::show;
    else if (command == "defrag")
        action = &Session::defrag;
    else if (command == "generic") {
        if (files.size() != 1)
            return session.misuse("The generic command takes exactly one FILE.");
        action = &Session::generic;
    } else if (command == "write") {
        if (files.size() != 3)
            return session.misuse("The write command takes FILE START END.");
        session.write(files[0], files[1], files[2]);
        return session.status();
    } else {
        return session.misuse("Unknown command '" + command + "'.");
    }
    if (files.empty())
        return session.misuse("The " + command + " command needs at least one FILE.");

    for (const std::string& path : files) {
        if (files.size() > 1)
            session.header(path);
        (session.*action)(path);
    }
    return session.status();
}

} // namespace ravik::cli
