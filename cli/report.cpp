// SPDX-License-Identifier: GPL-3.0-or-later
#include "report.hpp"

#include "core/files/fileio.hpp"
#include "output.hpp"

#include <algorithm>
#include <ostream>
#include <system_error>

namespace ravik::cli {

Report::Report(std::ostream& out, std::ostream& err)
    : out_(out)
    , err_(err) {}

void Report::worsen(ExitStatus status) {
    status_ = std::max(status_, status);
}

void Report::fail(const Failure& failure, ExitStatus status) {
    say(failure.sentence());
    worsen(status);
}

void Report::say(std::string_view sentence) {
    out_.flush(); // on a terminal the message stays after the lines that led to it
    std::string line = "gaptool: ";
    line += sentence;
    line += '\n';
    err_ << line;
    err_.flush();
}

void Report::misuse(std::string_view problem) {
    say(std::string(problem) + " Try 'gaptool --help'.");
    worsen(ExitStatus::Trouble);
}

void Report::workOn(const std::string& path, bool changes) {
    working_ = path;
    changes_ = changes;
    changesBefore_ = fileio::changesMade();
}

bool Report::flush() {
    const std::string problem = outputProblem(out_);
    if (problem.empty()) {
        pending_.reset();
        return true;
    }
    lost_ = true;
    worsen(ExitStatus::Trouble);
    if (pending_) {
        say("\"" + printable(*pending_) +
            "\" was written, but its report could not be printed: " + problem + ".");
        worsen(ExitStatus::ReportLost);
        said_ = true;
        pending_.reset();
    }
    return false;
}

bool Report::mayChange(const std::string& path) {
    if (flush())
        return true;
    if (!said_)
        say("Nothing was changed in \"" + printable(path) +
            "\", since its report could not be printed: " + outputProblem(out_) + ".");
    said_ = true;
    return false;
}

void Report::changed(const std::string& path) {
    pending_ = path;
}

void Report::outOfMemory() {
    const std::string reason = reasonText(std::make_error_code(std::errc::not_enough_memory));
    if (working_.empty()) {
        say("Could not go on: " + reason + ".");
    } else if (fileio::changesMade() != changesBefore_) {
        say("\"" + printable(working_) +
            "\" was written, but its report could not be printed: " + reason + ".");
        worsen(ExitStatus::ReportLost);
    } else {
        say(Failure{"Could not go on with", working_, reason}.sentence() +
            (changes_ ? " It was left as it was." : ""));
    }
    said_ = true;
    worsen(ExitStatus::Trouble);
}

ExitStatus Report::finish() {
    if (!flush() && !said_) {
        // A reader that went away (gaptool show ... | head) wanted no more: no complaint.
        const auto* buffer = dynamic_cast<const DescriptorBuffer*>(out_.rdbuf());
        if (buffer == nullptr || !buffer->readerGone())
            say("The report could not be printed: " + outputProblem(out_) + ".");
        said_ = true;
    }
    return status_;
}

} // namespace ravik::cli
