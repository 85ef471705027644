// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <array>
#include <ostream>
#include <streambuf>
#include <string>

namespace ravik::cli {

/// A stream buffer over a file descriptor (standard output) that keeps the reason of a failed
/// write, so that gaptool can say why its report could not be printed.
class DescriptorBuffer : public std::streambuf {
public:
    /// A descriptor that is not open is a failure from the start.
    explicit DescriptorBuffer(int fd);
    DescriptorBuffer(const DescriptorBuffer&) = delete;
    DescriptorBuffer& operator=(const DescriptorBuffer&) = delete;
    ~DescriptorBuffer() override;

    /// Why the last write failed; empty while none has.
    [[nodiscard]] const std::string& problem() const { return problem_; }
    /// Whether the last failure was a reader that went away (a closed pipe).
    [[nodiscard]] bool readerGone() const { return readerGone_; }

protected:
    int_type overflow(int_type c) override;
    int sync() override;
    std::streamsize xsputn(const char* text, std::streamsize count) override;

private:
    bool drain();
    bool writeOut(const char* text, std::size_t count);

    int fd_;
    std::string problem_;
    bool readerGone_ = false;
    std::array<char, 1 << 16> buffer_{};
};

/// Flushes `out` and says why what was written to it could not be printed, or nothing when it
/// could (the reason comes from a DescriptorBuffer beneath it).
[[nodiscard]] std::string outputProblem(std::ostream& out);

/// Keeps standard error for the program's own messages, on a descriptor of its own (returned),
/// and points the libraries' standard error at the null device: a decoder's own messages (an
/// MP3 decoder's about a damaged frame) never reach the user, who gets the program's one
/// sentence naming the file instead.
[[nodiscard]] int setAsideStandardError();

/// Makes sure standard input, output and error are open (on the null device when they are
/// not), so that no file the program opens takes their place; returns whether standard output
/// was open.
bool occupyStandardDescriptors();

} // namespace ravik::cli
