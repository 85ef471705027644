// SPDX-License-Identifier: GPL-3.0-or-later
#include "actions.hpp"

#include "core/actions/gapfile.hpp"
#include "core/text/messages.hpp"

namespace ravik::actions {
namespace {

// The timeline's failure, when it could not read the file. Its lines go to the view a block at a
// time, as they are made.
std::optional<Failure> drawTimeline(ActionView& view, const std::string& path) {
    const Timeline drawn =
        buildTimeline(path, view.pictureSize(), view.decimalSeparator(),
                      [&](const StatusLines& block) { view.appendStatus(block); });
    if (drawn.failure)
        view.reportFailure(*drawn.failure);
    view.showTimeline(drawn);
    return drawn.failure;
}

// `alreadyReported`: what the timeline just said about the same file, which is not said twice.
void runCheck(ActionView& view, const std::string& path,
              const std::optional<Failure>& alreadyReported = std::nullopt) {
    const StructureCheck checked = checkStructure(path);
    view.appendStatus(checked.lines);
    if (checked.failure && checked.failure != alreadyReported)
        view.reportFailure(*checked.failure);
    view.showCheck(checked);
}

void drawAndCheck(ActionView& view, const std::string& path) {
    runCheck(view, path, drawTimeline(view, path));
}

} // namespace

void open(ActionView& view, const FileQuestion& askForFile) {
    view.clearStatus();
    view.clearVerdict();
    const std::optional<std::string> path = askForFile();
    if (!path || path->empty()) {
        view.appendStatus(messages::kNoFileLoaded);
        return;
    }
    view.appendStatus(messages::loadedFile(*path));
    view.setCurrentPath(*path);
    drawAndCheck(view, *path);
}

void startWith(ActionView& view, const std::string& path) {
    if (path.empty())
        return;
    view.setCurrentPath(path);
    drawAndCheck(view, path);
}

void timeline(ActionView& view) {
    if (const std::string path = view.currentPath(); !path.empty())
        drawTimeline(view, path);
}

void check(ActionView& view) {
    if (const std::string path = view.currentPath(); !path.empty())
        runCheck(view, path);
}

bool defrag(ActionView& view, const Keeping& keeping) {
    const std::string path = view.currentPath();
    if (path.empty())
        return false;
    Defragmentation result = defragment(path, keeping);
    view.appendStatus(result.lines);
    if (result.failure) {
        view.reportFailure(*result.failure);
        return false; // the file is as it was; there is nothing new to draw
    }
    view.keepForUndo(std::move(result.replaced));
    drawTimeline(view, path);
    return true;
}

void takeWrittenFile(ActionView& view, const std::string& path) {
    view.setCurrentPath(path);
    drawAndCheck(view, path);
}

bool createGeneric(ActionView& view, const std::string& path, const Keeping& keeping) {
    GenericCreation created = createGenericGap(path, keeping);
    if (created.failure) {
        view.reportFailure(*created.failure);
        return false;
    }
    view.keepForUndo(std::move(created.replaced));
    view.clearStatus();
    view.appendStatus(messages::createdGeneric(path));
    takeWrittenFile(view, path);
    return true;
}

bool undo(ActionView& view) {
    std::optional<Replacement> done = view.takeForUndo();
    if (!done) {
        view.appendStatus(messages::kNothingToUndo);
        return false;
    }
    if (const auto failure = undoReplacement(*done)) {
        view.reportFailure(*failure);
        view.keepForUndo(std::move(done)); // asked again, it says again why not
        return false;
    }
    view.appendStatus(messages::undone(done->operation, done->path, done->existed));
    if (done->existed) {
        takeWrittenFile(view, done->path);
        return true;
    }
    // The file is gone again: nothing of it stays on show.
    view.setCurrentPath(done->path);
    view.clearVerdict();
    view.showTimeline(Timeline{});
    return true;
}

bool writeSilence(ActionView& view, const std::string& path, std::string_view startText,
                  std::string_view endText) {
    const SilenceWrite write =
        ravik::writeSilence(path, startText, endText, view.decimalSeparator());
    if (write.failure) {
        view.reportFailure(*write.failure);
        return false;
    }
    view.appendStatus(write.lines);
    return true;
}

} // namespace ravik::actions
