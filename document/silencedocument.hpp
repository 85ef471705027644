// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "audio/peaks.hpp"
#include "audio/silencedetector.hpp"
#include "core/format/silences.hpp"
#include "core/text/failure.hpp"

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

/// What the Recording window edits: a recording and the silences of its GAP file, kept as a
/// document keeps its data (opening, editing, saving under the writers' lock), over the decoders
/// and the detector of audio/ and the rules of core/.
namespace ravik::document {

using audio::DetectOptions;
using audio::Peaks;

/// What the Recording window edits: a recording, the GAP file paired with it, and that file's
/// silences. It owns the edits (each operation gives the list it would make, which apply()
/// then takes, so that an undo stack can hold both sides) and knows whether the list differs
/// from the file as it was loaded or last saved. Opening, discarding and saving are its
/// transitions; whoever shows it asks the user and renders.
class SilenceDocument {
public:
    enum class State {
        Empty,  ///< nothing opened yet
        Open,   ///< a recording and its silences
        Failed, ///< the last open failed: nothing of the one before is kept
    };

    /// One edit: what it is called, the list after it and the silence to select then.
    struct Edit {
        std::string name;
        std::vector<Silence> list;
        std::optional<std::size_t> select;
        bool operator==(const Edit&) const = default;
    };

    /// Reads the recording's peaks and the GAP file at `gap` (which need not exist). Whatever it
    /// held before is dropped, edits included: ask first. On failure the document is Failed,
    /// holding only the paths and the failure, which is also returned.
    [[nodiscard]] std::optional<Failure> open(const std::string& recording, const std::string& gap);
    /// Drops the edits: the silences are the file's again, as loaded or last saved.
    void discard();
    /// Reads the GAP file again, dropping the edits; on failure the document keeps its state.
    [[nodiscard]] std::optional<Failure> reload();

    [[nodiscard]] State state() const { return state_; }
    [[nodiscard]] bool isOpen() const { return state_ == State::Open; }
    [[nodiscard]] const std::string& recordingPath() const { return recording_; }
    [[nodiscard]] const std::string& gapPath() const { return gap_; }
    /// Why the last open failed (Failed only).
    [[nodiscard]] const std::optional<Failure>& failure() const { return failure_; }
    /// The recording's envelope (Open only).
    [[nodiscard]] const Peaks* peaks() const { return isOpen() ? &peaks_ : nullptr; }
    [[nodiscard]] const std::vector<Silence>& silences() const { return list_; }
    /// True when saving would change the file: the list is not the one loaded or last saved.
    [[nodiscard]] bool isModified() const;
    /// What the GAP file held when it was loaded or last saved.
    [[nodiscard]] const std::vector<std::uint8_t>& loadedBytes() const { return loaded_; }
    /// A sentence on the GAP file as loaded, when its silences could not be shown.
    [[nodiscard]] const std::optional<std::string>& notice() const { return notice_; }
    /// Where the recording ends, in whole ms (Open only; 0 otherwise).
    [[nodiscard]] std::int64_t recordingEndMs() const;
    /// What is said of `silence` when it reaches past the recording's end (a GAP file may list
    /// times after it): "past the recording's end at 2000 ms"; nothing when it lies within.
    [[nodiscard]] std::optional<std::string> pastTheEnd(const Silence& silence) const;

    // The operations: the edit each would make, or nothing when it would change nothing.
    /// Moves an edge of silence `index` towards `ms`, as far as its neighbours allow.
    [[nodiscard]] std::optional<Edit> moveEdge(std::size_t index, silences::Edge edge,
                                               int ms) const;
    /// Adds `silence`, which must lie in free room.
    [[nodiscard]] std::optional<Edit> add(const Silence& silence) const;
    [[nodiscard]] std::optional<Edit> remove(std::size_t index) const;
    struct Detected {
        std::optional<Edit> edit; ///< the detected list in place of the current one
        std::vector<std::string> warnings;
        std::optional<Failure> failure;
    };
    /// Finds the silences of the recording as `gaptool detect` does, to replace the list.
    [[nodiscard]] Detected detect(const DetectOptions& options) const;

    /// Takes the list of an edit (or of its undo). Precondition: a valid list, the document Open.
    void apply(std::vector<Silence> list);

    struct Saving {
        enum class Outcome {
            Saved,
            ChangedOnDisk, ///< nothing written: the file holds `onDisk`, not what was loaded
            Failed,        ///< nothing written: see failure
        };
        Outcome outcome = Outcome::Saved;
        std::vector<std::uint8_t> onDisk;
        std::optional<Failure> failure;
    };
    /// Writes the list in one step under the writers' lock, after reading the file again under
    /// that lock: only when it still holds what was loaded, or `overwriting` (what the user
    /// agreed to replace).
    [[nodiscard]] Saving save(const std::optional<std::vector<std::uint8_t>>& overwriting = {});

private:
    void take(std::vector<std::uint8_t> bytes);

    State state_ = State::Empty;
    std::string recording_;
    std::string gap_;
    std::optional<Failure> failure_;
    Peaks peaks_;
    std::vector<Silence> list_;
    std::vector<Silence> saved_; // the list as the file holds it
    std::vector<std::uint8_t> loaded_;
    std::optional<std::string> notice_;
};

} // namespace ravik::document
