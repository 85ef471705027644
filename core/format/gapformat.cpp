// SPDX-License-Identifier: GPL-3.0-or-later
#include "gapformat.hpp"

namespace ravik {

std::uint64_t zeroScan(const GapBytes& bytes) {
    std::uint64_t offset = bytes.field(0) == 0 ? kRecordSize : 0;
    while (bytes.field(offset) != 0)
        offset += 4;
    return offset;
}

} // namespace ravik
