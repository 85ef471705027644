#include "gaptool.hpp"

#ifdef RAVIK_WITH_AUDIO
#include "detect.hpp"
#endif

#include "core/actions.hpp"
#include "core/failure.hpp"
#include "core/messages.hpp"
#include "output.hpp"

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
Exit status: 0 when every file is correct, 1 when a file's structure is incorrect,
2 when a file could not be read or written, or the command line is wrong,
3 when a file was changed but the report of it could not be printed.
)";

// gaptool's side of the actions: lines to `out`, failures to `err`, the statistics as labelled
// lines, and the worst outcome as the exit status.
class Session final : public ActionView {
public:
    Session(std::ostream& out, std::ostream& err, std::string_view decimalSeparator)
        : out_(out)
        , err_(err)
        , decimalSeparator_(decimalSeparator) {}

    [[nodiscard]] int status() const { return status_; }

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
        change(path, [&] { return actions::defrag(*this); });
    }

    void generic(const std::string& path) {
        change(path, [&] { return actions::createGeneric(*this, path); });
    }

    void write(const std::string& path, const std::string& start, const std::string& end) {
        change(path, [&] { return actions::writeSilence(*this, path, start, end); });
    }

    /// Runs a command that only reads `path`, and notes when its report could not be printed.
    void inspect(const std::string& path, void (Session::*command)(const std::string&)) {
        if (stopped_)
            return;
        (this->*command)(path);
        out_.flush();
        if (const std::string problem = outputProblem(); !problem.empty()) {
            // A reader that went away (gaptool show ... | head) wanted no more: no complaint.
            const auto* buffer = dynamic_cast<const DescriptorBuffer*>(out_.rdbuf());
            if (buffer == nullptr || !buffer->readerGone())
                err_ << "gaptool: The report could not be printed: " << problem << ".\n";
            worsen(kTrouble);
            stopped_ = true;
        }
    }

    int misuse(std::string_view problem) {
        err_ << "gaptool: " << problem << " Try 'gaptool --help'.\n";
        return kTrouble;
    }

    void header(const std::string& path) {
        if (!stopped_)
            out_ << messages::loadedFile(path) << '\n';
    }

    // ActionView
    [[nodiscard]] std::string currentPath() const override { return path_; }
    void setCurrentPath(const std::string& path) override { path_ = path; }
    void clearStatus() override {} // a terminal keeps what it printed
    void appendStatus(std::string_view line) override { out_ << line << '\n'; }
    void appendStatus(const StatusLines& lines) override { print(lines); }
    void reportFailure(const Failure& failure) override { report(failure); }
    void showTimeline(const Timeline& timeline) override {
        if (timeline.failure)
            return;
        field(messages::kSilenceCountLabel, timeline.count);
        field(messages::kSourceLengthLabel, timeline.minimum);
        field(messages::kSilencesLengthLabel, timeline.length);
    }
    void showCheck(const StructureCheck& check) override {
        if (check.verdict == Verdict::Incorrect)
            worsen(kIncorrect);
    }
    void clearVerdict() override {}
    [[nodiscard]] PictureSize pictureSize() const override { return kTimelinePicture; }
    [[nodiscard]] std::string decimalSeparator() const override {
        return std::string(decimalSeparator_);
    }

private:
    void print(const StatusLines& lines) {
        out_.write(lines.text().data(), static_cast<std::streamsize>(lines.text().size()));
    }
    void field(std::string_view label, std::string_view text) {
        out_ << label << ' ' << text << '\n';
    }
    // Changes one file with `run` (which returns whether it changed the file), but only while
    // the report can be printed, and says so truthfully when the report is what failed.
    template <typename Change>
    void change(const std::string& path, Change run) {
        if (stopped_)
            return;
        out_.flush();
        if (const std::string problem = outputProblem(); !problem.empty()) {
            err_ << "gaptool: Nothing was changed in \"" << printable(path)
                 << "\", since its report could not be printed: " << problem << ".\n";
            worsen(kTrouble);
            stopped_ = true;
            return;
        }
        const bool changed = run();
        out_.flush();
        if (const std::string problem = outputProblem(); changed && !problem.empty()) {
            err_ << "gaptool: \"" << printable(path)
                 << "\" was written, but its report could not be printed: " << problem << ".\n";
            worsen(kReportLost);
            stopped_ = true;
        }
    }
    // Why the report cannot be printed, or nothing while it can.
    [[nodiscard]] std::string outputProblem() const {
        const auto* buffer = dynamic_cast<const DescriptorBuffer*>(out_.rdbuf());
        if (buffer != nullptr && !buffer->problem().empty())
            return buffer->problem();
        return out_ ? std::string() : std::string("The output could not be written");
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
    std::string path_;
    int status_ = kAllCorrect;
    bool stopped_ = false; ///< the output failed: no further file is touched
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
        out << kUsage;
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

    using Action = void (Session::*)(const std::string&);
    Action action = nullptr;
    bool reads = false;
    if (command == "check") {
        action = &Session::check;
        reads = true;
    } else if (command == "show") {
        action = &Session::show;
        reads = true;
    } else if (command == "defrag")
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

    // The actions take an empty path for no file at all.
    if (std::ranges::any_of(files, &std::string::empty))
        return session.misuse("A FILE argument is empty.");
    for (const std::string& path : files) {
        if (files.size() > 1)
            session.header(path);
        if (reads)
            session.inspect(path, action);
        else
            (session.*action)(path);
    }
    return session.status();
}

} // namespace ravik::cli
