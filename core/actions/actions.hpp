// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "core/files/replacement.hpp"
#include "core/format/structurecheck.hpp"
#include "core/format/timeline.hpp"
#include "core/text/failure.hpp"
#include "core/text/statuslines.hpp"

#include <functional>
#include <optional>
#include <string>
#include <string_view>

namespace ravik {

/// Where the actions show what they did and which file is current: the main window, or gaptool's
/// output. The actions decide the order of the steps; a view only renders each step.
class ActionView {
public:
    virtual ~ActionView() = default;

    /// The current file; empty when none is.
    [[nodiscard]] virtual std::string currentPath() const = 0;
    virtual void setCurrentPath(const std::string& path) = 0;
    virtual void clearStatus() = 0;
    virtual void appendStatus(std::string_view line) = 0;
    virtual void appendStatus(const StatusLines& lines) = 0;
    virtual void reportFailure(const Failure& failure) = 0;
    /// The timeline's fields and boxes, after its lines; a failed timeline leaves none.
    virtual void showTimeline(const Timeline& timeline) = 0;
    /// The check's verdict, after its lines.
    virtual void showCheck(const StructureCheck& check) = 0;
    /// Empties the verdict before another file is opened.
    virtual void clearVerdict() = 0;
    [[nodiscard]] virtual PictureSize pictureSize() const = 0;
    /// The user's, for the numbers the timeline and the writer read and write.
    [[nodiscard]] virtual std::string decimalSeparator() const = 0;

    /// Keeps the one replacement undo can take back, or forgets it (none). A view without undo
    /// keeps nothing.
    virtual void keepForUndo(std::optional<Replacement> replacement) { (void)replacement; }
    /// Hands over the replacement kept for undo, keeping none.
    [[nodiscard]] virtual std::optional<Replacement> takeForUndo() { return std::nullopt; }
};

/// Each user action's steps in their order, for the windows and gaptool alike. The actions that
/// work on the current file do nothing when there is none.
namespace actions {

/// Asks for a file; none chosen: nothing loaded.
using FileQuestion = std::function<std::optional<std::string>()>;

/// The open command: empties the list and the verdict, asks for the file, then loads, draws and
/// checks it.
void open(ActionView& view, const FileQuestion& askForFile);
/// Start-up with a path: makes it current, draws and checks it; the list keeps what it holds.
void startWith(ActionView& view, const std::string& path);
/// Draws the current file's timeline.
void timeline(ActionView& view);
/// Checks the current file's structure.
void check(ActionView& view);
/// Removes the current file's fragments, then draws it again when it was rewritten. False when
/// the file was left as it was; the failure is reported. A rewrite becomes the one replacement
/// undo can take back.
bool defrag(ActionView& view, const Keeping& keeping = {});
/// After a file was written: makes it current, draws and checks it.
void takeWrittenFile(ActionView& view, const std::string& path);
/// "Create Generic GAP": writes the file, empties the list and takes the file up. False when
/// nothing was written; the failure is reported. The file written becomes the one replacement
/// undo can take back.
bool createGeneric(ActionView& view, const std::string& path, const Keeping& keeping = {});
/// Undo (Ctrl+Z): takes back the last Defrag GAP or Create Generic GAP when its file still holds
/// what it wrote, says so, and draws and checks the file. Once taken back there is nothing more
/// to undo (a refused undo stays, and says why again). False when nothing was undone; the reason
/// is reported.
bool undo(ActionView& view);
/// Appends one silence to the file at `path`, times as typed. False when nothing was written;
/// the failure is reported.
bool writeSilence(ActionView& view, const std::string& path, std::string_view startText,
                  std::string_view endText);

} // namespace actions
} // namespace ravik
