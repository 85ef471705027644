// SPDX-License-Identifier: GPL-3.0-or-later
#include "messages.hpp"

#include "core/text/failure.hpp"
#include "core/text/numberforms.hpp"

namespace ravik::messages {
namespace {

std::string joined(std::string_view first, std::string_view second) {
    std::string text(first);
    text += second;
    return text;
}

} // namespace

std::string misplacedError(std::uint64_t recordOffset) {
    return "Error: GAP possibly overwritten; Silence starting at offset " +
           numberforms::hexOffset(recordOffset) + " is misplaced.";
}

std::string loadedFile(std::string_view path) {
    return joined(">> Loaded File: ", printable(path));
}

std::string createdGeneric(std::string_view path) {
    return joined(">>Created Generic GAP at: ", printable(path));
}

std::string writingSilence(std::string_view startText, std::string_view endText) {
    return joined(joined("Writing Silence : ", printable(startText)),
                  joined(" - ", printable(endText)));
}

std::string preparingToWrite(std::string_view path) {
    return joined(">>Preparing to write to file : ", printable(path));
}

std::string killingFile(std::string_view path) {
    return joined(">>Killing file ", printable(path));
}

std::string undone(std::string_view operation, std::string_view path, bool restored) {
    return joined(
        joined(">> Undone ", operation),
        joined(restored ? ": restored the previous content of " : ": removed the new file ",
               printable(path)));
}

} // namespace ravik::messages
