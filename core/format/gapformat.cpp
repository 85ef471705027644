// SPDX-License-Identifier: GPL-3.0-or-later
#include "gapformat.hpp"

namespace ravik {

std::uint64_t zeroScan(const GapBytes& bytes) {
    std::uint64_t offset = bytes.field(0) == 0 ? kRecordSize : 0;
    while (bytes.field(offset) != 0)
        offset += 4;
    return offset;
}

std::string strayBytesText(std::uint64_t fileSize) {
    const std::uint64_t extra = fileSize % kRecordSize;
    if (extra == 0)
        return {};
    return "the file ends " + std::to_string(extra) + (extra == 1 ? " byte" : " bytes") +
           " into a record of 8";
}

} // namespace ravik
