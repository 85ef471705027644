// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

/// Every fixed text the program shows: status lines, verdicts and the statistics' labels.
namespace ravik::messages {

// Timeline
inline constexpr std::string_view kDesigningGraph = ">> Designing Graph";
inline constexpr std::string_view kSilenceCountLabel = "Silence Count :";
inline constexpr std::string_view kSourceLengthLabel = "Source Length :";
inline constexpr std::string_view kSilencesLengthLabel = "Silences Length :";

// Structure check
inline constexpr std::string_view kFormatCorrect = ">> GAP format is correct !";
inline constexpr std::string_view kFormatIncorrect = ">> GAP format is incorrect !!!!!!!";
inline constexpr std::string_view kHighWordError =
    "Error: Too long source file or GAP not in format AAAA 0000 BBBB 0000.";
inline constexpr std::string_view kEndBeforeStartError =
    "Error: Silence end is before silence start.";
inline constexpr std::string_view kVerdictCorrect = "Correct";
inline constexpr std::string_view kVerdictIncorrect = "Incorrect !";
[[nodiscard]] std::string misplacedError(std::uint64_t recordOffset);

// Defragmentation
inline constexpr std::string_view kInitialisingDefrag = ">>>>> Initialising Defragging Function";
inline constexpr std::string_view kDefragFinished = " >> Defragging Finished Successfully";

// Loading and the editing tools
inline constexpr std::string_view kNoFileLoaded = "No File Loaded...";
inline constexpr std::string_view kRegistryEdited = "Succesfully edited registry !!";
[[nodiscard]] std::string loadedFile(std::string_view path);
[[nodiscard]] std::string createdGeneric(std::string_view path);
[[nodiscard]] std::string writingSilence(std::string_view startText, std::string_view endText);
[[nodiscard]] std::string preparingToWrite(std::string_view path);
[[nodiscard]] std::string killingFile(std::string_view path);

// Undo of the last whole-file replacement
inline constexpr std::string_view kDefragOperation = "Defrag GAP";
inline constexpr std::string_view kGenericOperation = "Create Generic GAP";
inline constexpr std::string_view kNothingToUndo =
    ">> Nothing to undo: only the last Defrag GAP or Create Generic GAP can be undone, once.";
/// `restored`: the previous content came back; else the file the operation created was removed.
[[nodiscard]] std::string undone(std::string_view operation, std::string_view path, bool restored);

} // namespace ravik::messages
