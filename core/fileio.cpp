#include "fileio.hpp"

#include "gapformat.hpp"

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <filesystem>
#include <random>
#include <system_error>

#ifdef _WIN32
#include <fcntl.h>
#include <io.h>
#include <sys/stat.h>
#include <windows.h>
#else
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

namespace ravik::fileio {
namespace fs = std::filesystem;

namespace {

constexpr const char* kNotAFile = "It is a folder, not a file";
constexpr const char* kNotRegular = "It is not a regular file";

fs::path toPath(const std::string& utf8) {
    return fs::path(std::u8string(utf8.begin(), utf8.end()));
}

std::string utf8Of(const fs::path& path) {
    const std::u8string text = path.u8string();
    return std::string(text.begin(), text.end());
}

std::string reasonOf(int error) {
    return reasonText(std::error_code(error, std::generic_category()));
}

Failure failure(const char* action, const std::string& path, std::string reason) {
    return Failure{action, path, std::move(reason)};
}

// --- The few system calls that differ between POSIX and Windows ---------------------------

#ifdef _WIN32
using Stat = struct _stat64;
constexpr int kNonBlocking = 0;
constexpr int kBinary = _O_BINARY | _O_NOINHERIT;

int openNative(const fs::path& path, int flags, int mode = 0) {
    return _wopen(path.c_str(), flags | kBinary, mode);
}
int statusOf(int fd, Stat& status) {
    return _fstat64(fd, &status);
}
int statusOf(const fs::path& path, Stat& status) {
    return _wstat64(path.c_str(), &status);
}
bool isRegular(const Stat& status) {
    return (status.st_mode & _S_IFMT) == _S_IFREG;
}
bool isFolder(const Stat& status) {
    return (status.st_mode & _S_IFMT) == _S_IFDIR;
}
long long readSome(int fd, std::uint8_t* into, std::size_t count) {
    return _read(fd, into, static_cast<unsigned>(std::min<std::size_t>(count, 1U << 30)));
}
long long writeSome(int fd, const std::uint8_t* from, std::size_t count) {
    return _write(fd, from, static_cast<unsigned>(std::min<std::size_t>(count, 1U << 30)));
}
bool seekTo(int fd, std::uint64_t offset) {
    return _lseeki64(fd, static_cast<long long>(offset), SEEK_SET) >= 0;
}
int flushToDisk(int fd) {
    return _commit(fd);
}
int closeNative(int fd) {
    return _close(fd);
}
int unlinkNative(const fs::path& path) {
    return _wunlink(path.c_str());
}
bool writable(const fs::path& path) {
    return _waccess(path.c_str(), 2) == 0;
}
int defaultMode() {
    return _S_IREAD | _S_IWRITE;
}
// Windows keeps no permission bits worth carrying over; the read-only attribute is checked
// before replacing.
int applyPermissions(int, const Stat*) {
    return 0;
}
void flushFolder(const fs::path&) {}

// Returns 0 or the reason; MoveFileEx is the atomic replace on Windows.
int renameOver(const fs::path& from, const fs::path& to, std::string& reason) {
    if (MoveFileExW(from.c_str(), to.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH))
        return 0;
    reason = reasonText(std::error_code(static_cast<int>(GetLastError()), std::system_category()));
    return -1;
}
#else
using Stat = struct stat;
constexpr int kNonBlocking = O_NONBLOCK;

int openNative(const fs::path& path, int flags, int mode = 0) {
    int fd;
    do
        fd = ::open(path.c_str(), flags | O_CLOEXEC, mode);
    while (fd < 0 && errno == EINTR);
    return fd;
}
int statusOf(int fd, Stat& status) {
    return ::fstat(fd, &status);
}
int statusOf(const fs::path& path, Stat& status) {
    return ::stat(path.c_str(), &status);
}
bool isRegular(const Stat& status) {
    return S_ISREG(status.st_mode);
}
bool isFolder(const Stat& status) {
    return S_ISDIR(status.st_mode);
}
long long readSome(int fd, std::uint8_t* into, std::size_t count) {
    ssize_t got;
    do
        got = ::read(fd, into, count);
    while (got < 0 && errno == EINTR);
    return got;
}
long long writeSome(int fd, const std::uint8_t* from, std::size_t count) {
    ssize_t put;
    do
        put = ::write(fd, from, count);
    while (put < 0 && errno == EINTR);
    return put;
}
bool seekTo(int fd, std::uint64_t offset) {
    return ::lseek(fd, static_cast<off_t>(offset), SEEK_SET) >= 0;
}
int flushToDisk(int fd) {
    return ::fsync(fd);
}
int closeNative(int fd) {
    return ::close(fd);
}
int unlinkNative(const fs::path& path) {
    return ::unlink(path.c_str());
}
bool writable(const fs::path& path) {
    return ::access(path.c_str(), W_OK) == 0;
}
int defaultMode() {
    const mode_t mask = ::umask(0);
    ::umask(mask);
    return static_cast<int>(0666 & ~mask);
}
// The replacement takes the replaced file's permissions and, where allowed, its owner; a new
// file gets the permissions any new file of the user gets.
int applyPermissions(int fd, const Stat* replaced) {
    if (replaced == nullptr)
        return ::fchmod(fd, static_cast<mode_t>(defaultMode()));
    if (::fchown(fd, replaced->st_uid, replaced->st_gid) != 0) {
        // Only a privileged user may give a file away; the permissions still follow.
    }
    return ::fchmod(fd, replaced->st_mode & 07777);
}
// Makes the rename itself durable; a failure here loses nothing, so it is not reported.
void flushFolder(const fs::path& folder) {
    const int fd = openNative(folder, O_RDONLY | O_DIRECTORY);
    if (fd >= 0) {
        ::fsync(fd);
        ::close(fd);
    }
}
int renameOver(const fs::path& from, const fs::path& to, std::string& reason) {
    if (::rename(from.c_str(), to.c_str()) == 0)
        return 0;
    reason = reasonOf(errno);
    return -1;
}
#endif

/// Owns an open file descriptor.
class Descriptor {
public:
    explicit Descriptor(int fd)
        : fd_(fd) {}
    Descriptor(const Descriptor&) = delete;
    Descriptor& operator=(const Descriptor&) = delete;
    ~Descriptor() {
        if (fd_ >= 0)
            closeNative(fd_);
    }
    void reset(int fd) {
        if (fd_ >= 0)
            closeNative(fd_);
        fd_ = fd;
    }
    [[nodiscard]] int get() const { return fd_; }
    [[nodiscard]] bool valid() const { return fd_ >= 0; }
    /// Closes now and reports whether the close succeeded (a late write error shows here).
    [[nodiscard]] bool close() {
        const int fd = fd_;
        fd_ = -1;
        return closeNative(fd) == 0;
    }

private:
    int fd_;
};

bool writeAll(int fd, std::span<const std::uint8_t> bytes) {
    while (!bytes.empty()) {
        const long long put = writeSome(fd, bytes.data(), bytes.size());
        if (put <= 0) {
            if (put == 0)
                errno = EIO;
            return false;
        }
        bytes = bytes.subspan(static_cast<std::size_t>(put));
    }
    return true;
}

bool isFolderPath(const fs::path& path) {
    std::error_code error;
    return fs::is_directory(path, error);
}

// The name of a temporary file beside `target` that nobody else uses, opened for writing.
int createTemporaryBeside(const fs::path& target, fs::path& temporary) {
    static std::mt19937_64 generator{
        std::random_device{}() ^
        static_cast<std::uint64_t>(std::chrono::steady_clock::now().time_since_epoch().count())};
    static const char* const kDigits = "0123456789abcdef";
    for (int attempt = 0; attempt < 100; ++attempt) {
        std::string suffix = ".ravik-";
        std::uint64_t bits = generator();
        for (int i = 0; i < 12; ++i, bits >>= 4)
            suffix += kDigits[bits & 15U];
        temporary = target.parent_path() / toPath("." + utf8Of(target.filename()) + suffix);
        const int fd = openNative(temporary, O_WRONLY | O_CREAT | O_EXCL, 0600);
        if (fd >= 0 || errno != EEXIST)
            return fd;
    }
    return -1;
}

// Follows a symbolic link so that the file it points to is replaced, not the link.
fs::path replacementTarget(const std::string& path) {
    const fs::path given = toPath(path);
    std::error_code error;
    fs::path resolved = fs::weakly_canonical(given, error);
    return error ? given : resolved;
}

} // namespace

Contents readGapFile(const std::string& path) {
    Contents contents;
    const fs::path file = toPath(path);
    if (isFolderPath(file)) {
        contents.failure = failure("Could not open", path, kNotAFile);
        return contents;
    }
    // Non-blocking, so that a named pipe given by mistake cannot hang the open.
    Descriptor fd(openNative(file, O_RDONLY | kNonBlocking));
    if (!fd.valid()) {
        contents.failure = failure("Could not open", path, reasonOf(errno));
        return contents;
    }
    Stat status{};
    if (statusOf(fd.get(), status) != 0) {
        contents.failure = failure("Could not read", path, reasonOf(errno));
        return contents;
    }
    if (!isRegular(status)) {
        contents.failure =
            failure("Could not open", path, isFolder(status) ? kNotAFile : kNotRegular);
        return contents;
    }
    const auto size = static_cast<std::uint64_t>(status.st_size);
    if (size > kLargestFileSize) {
        contents.failure =
            failure("Could not open", path,
                    "It is " + std::to_string(size) + " bytes long, more than the " +
                        std::to_string(kLargestFileSize) + " bytes (" +
                        std::to_string(kLargestRecordCount) + " silences) of the largest GAP file");
        return contents;
    }
    contents.bytes.resize(static_cast<std::size_t>(size));
    std::size_t have = 0;
    while (have < contents.bytes.size()) {
        const long long got =
            readSome(fd.get(), contents.bytes.data() + have, contents.bytes.size() - have);
        if (got < 0) {
            contents.bytes.clear();
            contents.failure = failure("Could not read", path, reasonOf(errno));
            return contents;
        }
        if (got == 0)
            break; // the file shrank since it was measured: what is there is the file
        have += static_cast<std::size_t>(got);
    }
    contents.bytes.resize(have);
    return contents;
}

std::optional<Failure> replaceFile(const std::string& path, std::span<const std::uint8_t> bytes,
                                   IfExists ifExists) {
    const fs::path target = replacementTarget(path);
    Stat existing{};
    const bool exists = statusOf(target, existing) == 0;
    if (exists && ifExists == IfExists::refuse)
        return failure("Did not replace", path, "It exists already");
    if (exists && isFolder(existing))
        return failure("Could not replace", path, kNotAFile);
    if (exists && !isRegular(existing))
        return failure("Could not replace", path, kNotRegular);
    // A file its owner has made read-only stays as it is, although its folder would allow the
    // rename.
    if (exists && !writable(target))
        return failure("Could not replace", path, reasonOf(errno));

    fs::path temporary;
    Descriptor fd(createTemporaryBeside(target, temporary));
    if (!fd.valid())
        return failure("Could not create a temporary file beside", path, reasonOf(errno));

    auto abandon = [&](const char* action) {
        const int error = errno;
        if (fd.valid())
            (void)fd.close();
        unlinkNative(temporary);
        return failure(action, path, reasonOf(error));
    };
    if (!writeAll(fd.get(), bytes) || flushToDisk(fd.get()) != 0)
        return abandon("Could not write a temporary file beside");
    if (applyPermissions(fd.get(), exists ? &existing : nullptr) != 0)
        return abandon("Could not set the permissions of a temporary file beside");
    if (!fd.close())
        return abandon("Could not write a temporary file beside");
    std::string reason;
    if (renameOver(temporary, target, reason) != 0) {
        unlinkNative(temporary);
        return failure("Could not replace", path, reason);
    }
    flushFolder(target.parent_path());
    return std::nullopt;
}

Written writeAtEvenEnd(const std::string& path, std::span<const std::uint8_t> bytes,
                       std::uint64_t sizeLimit) {
    Written written;
    const fs::path file = toPath(path);
    if (isFolderPath(file)) {
        written.failure = failure("Could not open", path, kNotAFile);
        return written;
    }
    bool created = false;
    Descriptor fd(openNative(file, O_RDWR | kNonBlocking));
    if (!fd.valid() && errno == ENOENT) {
        fd.reset(openNative(file, O_RDWR | O_CREAT | O_EXCL, defaultMode()));
        created = fd.valid();
    }
    if (!fd.valid()) {
        written.failure = failure("Could not open", path, reasonOf(errno));
        return written;
    }
    auto fail = [&](const char* action, std::string reason) {
        (void)fd.close();
        if (created)
            unlinkNative(file);
        written.failure = failure(action, path, std::move(reason));
        return written;
    };
    Stat status{};
    if (statusOf(fd.get(), status) != 0)
        return fail("Could not read", reasonOf(errno));
    if (!isRegular(status))
        return fail("Could not open", kNotRegular);
    written.offset = static_cast<std::uint64_t>(status.st_size) & ~std::uint64_t{1};
    if (written.offset + bytes.size() > sizeLimit)
        return fail("Nothing written to", "It would grow beyond " + std::to_string(sizeLimit) +
                                              " bytes, more than a GAP file holds");
    if (!seekTo(fd.get(), written.offset) || !writeAll(fd.get(), bytes) ||
        flushToDisk(fd.get()) != 0)
        return fail("Could not write to", reasonOf(errno));
    if (!fd.close()) {
        written.failure = failure("Could not write to", path, reasonOf(errno));
        return written;
    }
    return written;
}

std::optional<Failure> removeFile(const std::string& path) {
    const fs::path file = toPath(path);
    if (isFolderPath(file))
        return failure("Could not delete", path, kNotAFile);
    if (unlinkNative(file) != 0 && errno != ENOENT)
        return failure("Could not delete", path, reasonOf(errno));
    return std::nullopt;
}

} // namespace ravik::fileio
