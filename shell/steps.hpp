// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "core/text/failure.hpp"
#include "core/text/messages.hpp"
#include "modRegistry.hpp"

#include <optional>
#include <string>

namespace ravik::shell {

/// The outcome of a registration's steps: every step runs, and the first one that failed is
/// the one reported.
class Steps {
public:
    void note(std::optional<Failure> failure) {
        if (failure && !firstFailure_)
            firstFailure_ = std::move(failure);
    }
    /// Appends the success line, or the line naming the first failure.
    void report(const StatusSink& appendLine) const {
        appendLine(firstFailure_ ? firstFailure_->statusLine()
                                 : std::string(messages::kRegistryEdited));
    }

private:
    std::optional<Failure> firstFailure_;
};

} // namespace ravik::shell
