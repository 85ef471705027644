// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "core/text/failure.hpp"
#include "gaptool.hpp"

#include <cstdint>
#include <iosfwd>
#include <optional>
#include <string>
#include <string_view>

namespace ravik::cli {

/// Where every gaptool command sends its report (standard output) and its failures (standard
/// error, one sentence each), with one rule for a report that cannot be printed: it is said once
/// (nothing is said to a reader that went away, as `| head`), the exit status is at least 2, no
/// further file is read or changed, and a file changed before its report got through is named
/// with exit status 3, so that a script does not make the same change twice.
class Report {
public:
    Report(std::ostream& out, std::ostream& err);

    /// The report itself.
    [[nodiscard]] std::ostream& out() { return out_; }
    /// Standard error, for the progress line.
    [[nodiscard]] std::ostream& err() { return err_; }
    [[nodiscard]] ExitStatus status() const { return status_; }
    void worsen(ExitStatus status);

    /// A failure, after what the report holds so far.
    void fail(const Failure& failure, ExitStatus status = ExitStatus::Trouble);
    /// A sentence of the program's own on standard error, "gaptool: " before it.
    void say(std::string_view sentence);
    /// A wrong command line.
    void misuse(std::string_view problem);

    /// Names the file the command works on now, for a failure that has no file of its own (a
    /// failed allocation), and whether the command changes it.
    void workOn(const std::string& path, bool changes);

    /// Whether `path` may be changed now: not once the report could not be printed (the first
    /// refusal says so).
    [[nodiscard]] bool mayChange(const std::string& path);
    /// After `path` was changed: the report up to the next flush() is its report, which must get
    /// through, or the file is named (status 3).
    void changed(const std::string& path);
    /// Sends what the report holds; false when it could not be printed.
    bool flush();
    /// Whether the report could not be printed: nothing more is read or changed then.
    [[nodiscard]] bool lost() const { return lost_; }

    /// A failed allocation ends the command: said as a failure naming the file worked on, with
    /// status 3 when that file was changed first.
    void outOfMemory();

    /// Ends the command: sends the rest of the report, applies the rule, returns the exit status.
    [[nodiscard]] ExitStatus finish();

private:
    std::ostream& out_;
    std::ostream& err_;
    ExitStatus status_ = ExitStatus::AllCorrect;
    bool lost_ = false;
    bool said_ = false;                  ///< the lost report has been spoken of
    std::optional<std::string> pending_; ///< changed, its report not yet through
    std::string working_;
    bool changes_ = false;
    std::uint64_t changesBefore_ = 0;
};

} // namespace ravik::cli
