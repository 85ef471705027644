// SPDX-License-Identifier: GPL-3.0-or-later
#include "output.hpp"

#include "core/text/failure.hpp"

#include <cerrno>
#include <cstring>
#include <system_error>

#ifdef _WIN32
#include <fcntl.h>
#include <io.h>
#else
#include <fcntl.h>
#include <unistd.h>
#endif

namespace ravik::cli {
namespace {

#ifdef _WIN32
bool isOpen(int fd) {
    return _get_osfhandle(fd) != -1;
}
long long writeSome(int fd, const char* text, std::size_t count) {
    return _write(fd, text, static_cast<unsigned>(count > (1U << 30) ? (1U << 30) : count));
}
#else
bool isOpen(int fd) {
    return ::fcntl(fd, F_GETFD) != -1;
}
long long writeSome(int fd, const char* text, std::size_t count) {
    ssize_t put;
    do
        put = ::write(fd, text, count);
    while (put < 0 && errno == EINTR);
    return put;
}
#endif

} // namespace

DescriptorBuffer::DescriptorBuffer(int fd)
    : fd_(fd) {
    setp(buffer_.data(), buffer_.data() + buffer_.size());
    if (!isOpen(fd))
        problem_ = "The standard output is closed";
}

DescriptorBuffer::~DescriptorBuffer() {
    drain();
}

bool DescriptorBuffer::writeOut(const char* text, std::size_t count) {
    if (!problem_.empty())
        return false;
    while (count > 0) {
        const long long put = writeSome(fd_, text, count);
        if (put <= 0) {
            const int error = put == 0 ? EIO : errno;
            readerGone_ = error == EPIPE;
            problem_ = reasonText(std::error_code(error, std::generic_category()));
            return false;
        }
        text += put;
        count -= static_cast<std::size_t>(put);
    }
    return true;
}

bool DescriptorBuffer::drain() {
    const auto count = static_cast<std::size_t>(pptr() - pbase());
    setp(buffer_.data(), buffer_.data() + buffer_.size());
    return writeOut(buffer_.data(), count);
}

DescriptorBuffer::int_type DescriptorBuffer::overflow(int_type c) {
    if (!drain())
        return traits_type::eof();
    if (!traits_type::eq_int_type(c, traits_type::eof())) {
        *pptr() = traits_type::to_char_type(c);
        pbump(1);
    }
    return traits_type::not_eof(c);
}

int DescriptorBuffer::sync() {
    return drain() ? 0 : -1;
}

std::streamsize DescriptorBuffer::xsputn(const char* text, std::streamsize count) {
    const auto room = static_cast<std::streamsize>(epptr() - pptr());
    if (count <= room) {
        std::memcpy(pptr(), text, static_cast<std::size_t>(count));
        pbump(static_cast<int>(count));
        return count;
    }
    if (!drain() || !writeOut(text, static_cast<std::size_t>(count)))
        return 0;
    return count;
}

std::string outputProblem(std::ostream& out) {
    out.flush();
    const auto* buffer = dynamic_cast<const DescriptorBuffer*>(out.rdbuf());
    if (buffer != nullptr && !buffer->problem().empty())
        return buffer->problem();
    return out ? std::string() : std::string("The output could not be written");
}

int setAsideStandardError() {
#ifdef _WIN32
    const int own = _dup(2);
    const int null = _open("NUL", _O_WRONLY);
    if (own >= 0 && null >= 0)
        _dup2(null, 2);
    if (null >= 0)
        _close(null);
#else
    const int own = ::fcntl(2, F_DUPFD_CLOEXEC, 3);
    const int null = ::open("/dev/null", O_WRONLY | O_CLOEXEC);
    if (own >= 0 && null >= 0)
        ::dup2(null, 2);
    if (null >= 0)
        ::close(null);
#endif
    return own >= 0 ? own : 2;
}

bool occupyStandardDescriptors() {
    const bool outputOpen = isOpen(1);
    for (int fd = 0; fd <= 2; ++fd) {
        if (isOpen(fd))
            continue;
#ifdef _WIN32
        const int null = _open("NUL", fd == 0 ? _O_RDONLY : _O_WRONLY);
        if (null >= 0 && null != fd) {
            _dup2(null, fd);
            _close(null);
        }
#else
        // open() takes the lowest free number, which is this one.
        const int null = ::open("/dev/null", fd == 0 ? O_RDONLY : O_WRONLY);
        if (null >= 0 && null != fd) {
            ::dup2(null, fd);
            ::close(null);
        }
#endif
    }
    return outputOpen;
}

} // namespace ravik::cli
