// SPDX-License-Identifier: GPL-3.0-or-later
#include "core/files/nativefile.hpp"

#include <algorithm>
#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <pthread.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/types.h>
#include <unistd.h>
#include <utility>

namespace ravik::fileio::native {

std::error_code lastError() {
    return {errno, std::generic_category()};
}

int openForReading(const fs::path& path) {
    int fd;
    // Non-blocking, so that a named pipe given by mistake cannot hang the open.
    do
        fd = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    while (fd < 0 && errno == EINTR);
    return fd;
}

int openForWriting(const fs::path& path) {
    int fd;
    do
        fd = ::open(path.c_str(), O_RDWR | O_NONBLOCK | O_CLOEXEC);
    while (fd < 0 && errno == EINTR);
    return fd;
}

int createExclusive(const fs::path& path, int mode) {
    int fd;
    do
        fd = ::open(path.c_str(), O_RDWR | O_CREAT | O_EXCL | O_CLOEXEC, mode);
    while (fd < 0 && errno == EINTR);
    return fd;
}

int openOrCreate(const fs::path& path, int mode) {
    int fd;
    do
        fd = ::open(path.c_str(), O_RDWR | O_CREAT | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC, mode);
    while (fd < 0 && errno == EINTR);
    return fd;
}

int closeNative(int fd) {
    return ::close(fd);
}

namespace {

void fill(const struct stat& info, Status& status) {
    status.kind = S_ISREG(info.st_mode)   ? Kind::regular
                  : S_ISDIR(info.st_mode) ? Kind::folder
                                          : Kind::other;
    status.size = static_cast<std::uint64_t>(info.st_size);
    status.identity = {static_cast<std::uint64_t>(info.st_dev),
                       static_cast<std::uint64_t>(info.st_ino)};
    status.unlinked = info.st_nlink == 0;
    status.mode = info.st_mode & 07777;
    status.owner = info.st_uid;
    status.group = info.st_gid;
}

} // namespace

bool statusOf(const fs::path& path, Status& status) {
    struct stat info {};
    if (::stat(path.c_str(), &info) != 0) {
        if (errno != ENOENT)
            return false;
        status = Status{};
        return true;
    }
    fill(info, status);
    return true;
}

bool statusOf(int fd, Status& status) {
    struct stat info {};
    if (::fstat(fd, &info) != 0)
        return false;
    fill(info, status);
    return true;
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

bool truncateTo(int fd, std::uint64_t length) {
    int done;
    do
        done = ::ftruncate(fd, static_cast<off_t>(length));
    while (done != 0 && errno == EINTR);
    return done == 0;
}

bool flushToDisk(int fd) {
    return ::fsync(fd) == 0;
}

bool removePath(const fs::path& path) {
    return ::unlink(path.c_str()) == 0;
}

bool writableByUser(const fs::path& path) {
    return ::access(path.c_str(), W_OK) == 0;
}

int defaultMode() {
    const mode_t mask = ::umask(0);
    ::umask(mask);
    return static_cast<int>(0666 & ~mask);
}

bool applyPermissions(int fd, const Status* replaced) {
    if (replaced == nullptr)
        return ::fchmod(fd, static_cast<mode_t>(defaultMode())) == 0;
    if (::fchown(fd, replaced->owner, replaced->group) != 0) {
        // Only a privileged user may give a file away; the permissions still follow.
    }
    return ::fchmod(fd, replaced->mode) == 0;
}

void flushFolder(const fs::path& folder) {
    const int fd =
        ::open(folder.empty() ? "." : folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd >= 0) {
        ::fsync(fd);
        ::close(fd);
    }
}

bool renameOver(const fs::path& from, const fs::path& to) {
    return ::rename(from.c_str(), to.c_str()) == 0;
}

bool renameNoReplace(const fs::path& from, const fs::path& to) {
    if (::renameat2(AT_FDCWD, from.c_str(), AT_FDCWD, to.c_str(), RENAME_NOREPLACE) == 0)
        return true;
    if (errno != EINVAL && errno != ENOSYS)
        return false;
    // A file system without it: a second name, which link() refuses to put over another
    // file, then the first name goes.
    if (::link(from.c_str(), to.c_str()) != 0)
        return false;
    (void)::unlink(from.c_str());
    return true;
}

int openFolder(const fs::path& path) {
    return ::open(path.empty() ? "." : path.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
}

int openFolderIn(int folder, const fs::path& name) {
    return ::openat(folder, name.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
}

int openFolderAbove(int folder) {
    return ::openat(folder, "..", O_RDONLY | O_DIRECTORY | O_CLOEXEC);
}

bool folderIdentity(int folder, Identity& identity) {
    Status status;
    if (!statusOf(folder, status))
        return false;
    identity = status.identity;
    return true;
}

bool listFolder(int folder, std::vector<FolderEntry>& entries) {
    const int listed = ::fcntl(folder, F_DUPFD_CLOEXEC, 3); // closedir closes its own
    DIR* stream = listed >= 0 ? ::fdopendir(listed) : nullptr;
    if (stream == nullptr) {
        if (listed >= 0)
            ::close(listed);
        return false;
    }
    errno = 0;
    while (const dirent* entry = ::readdir(stream)) {
        const std::string name = entry->d_name;
        if (name == "." || name == "..")
            continue;
        FolderEntry found{name, FolderEntry::Kind::file};
        struct stat itself {};
        found.link = entry->d_type == DT_LNK ||
                     (entry->d_type == DT_UNKNOWN &&
                      ::fstatat(folder, entry->d_name, &itself, AT_SYMLINK_NOFOLLOW) == 0 &&
                      S_ISLNK(itself.st_mode));
        if (entry->d_type == DT_DIR) {
            found.kind = FolderEntry::Kind::folder;
        } else if (entry->d_type == DT_LNK || entry->d_type == DT_UNKNOWN) {
            struct stat target {};
            if (::fstatat(folder, entry->d_name, &target, 0) != 0)
                found.kind = FolderEntry::Kind::broken;
            else if (S_ISDIR(target.st_mode))
                found.kind = FolderEntry::Kind::folder;
        }
        entries.push_back(std::move(found));
        errno = 0;
    }
    const int error = errno;
    ::closedir(stream);
    errno = error;
    return error == 0;
}

void closeFolder(int folder) {
    if (folder >= 0)
        ::close(folder);
}

namespace {

// Whether the link `link` (its lstat) in the folder `folder` may be followed: in a folder that
// anyone may write to (sticky, as /tmp) only when it is the user's or the folder owner's own, as
// Linux's fs.protected_symlinks has it for the last part of a path: anyone else's could be
// planted there to redirect a write.
bool mayFollow(const fs::path& folder, const struct stat& link) {
    struct stat shared {};
    return ::stat(folder.empty() ? "." : folder.c_str(), &shared) != 0 ||
           (shared.st_mode & S_ISVTX) == 0 || (shared.st_mode & S_IWOTH) == 0 ||
           link.st_uid == ::geteuid() || link.st_uid == shared.st_uid;
}

} // namespace

bool mayFollowLinkIn(int folder, const fs::path& name) {
    struct stat link {};
    struct stat shared {};
    if (::fstatat(folder, name.c_str(), &link, AT_SYMLINK_NOFOLLOW) != 0 ||
        ::fstat(folder, &shared) != 0)
        return false;
    return (shared.st_mode & S_ISVTX) == 0 || (shared.st_mode & S_IWOTH) == 0 ||
           link.st_uid == ::geteuid() || link.st_uid == shared.st_uid;
}

Resolved resolveLinks(const fs::path& given) {
    // Every part of the path in turn, the links among them followed, each judged where it
    // lies: a link to a folder planted in a shared folder redirects a write as well as a link
    // to the file itself.
    const fs::path parts = given.relative_path();
    std::vector<fs::path> rest(parts.begin(), parts.end());
    std::reverse(rest.begin(), rest.end()); // the next part last
    fs::path done = given.root_path();
    // As many links as the system itself follows before it gives up.
    int hops = 0;
    while (!rest.empty()) {
        const fs::path part = std::move(rest.back());
        rest.pop_back();
        if (part.empty() || part == ".")
            continue;
        const fs::path next = done / part;
        struct stat link {};
        if (part == ".." || ::lstat(next.c_str(), &link) != 0 || !S_ISLNK(link.st_mode)) {
            done = next; // what is missing or wrong the system's own open reports
            continue;
        }
        if (!mayFollow(done, link))
            return {given, rest.empty() ? "It is a symbolic link that somebody else placed in a "
                                          "folder anyone may write to; it is not followed"
                                        : "It is reached through a symbolic link that somebody "
                                          "else placed in a folder anyone may write to; it is "
                                          "not followed"};
        std::error_code error;
        const fs::path target = fs::read_symlink(next, error);
        if (error || ++hops > 40)
            return {given, {}}; // the system's own open reports what is wrong
        const fs::path relative = target.relative_path();
        const std::size_t at = rest.size();
        rest.insert(rest.end(), relative.begin(), relative.end());
        std::reverse(rest.begin() + static_cast<std::ptrdiff_t>(at), rest.end());
        if (target.is_absolute())
            done = target.root_path();
    }
    return {done.empty() ? given : done, {}};
}

static_assert(sizeof(sigset_t) <= 128, "the saved signal mask fits DeferTermination");

DeferTermination::DeferTermination() {
    sigset_t deferred;
    sigemptyset(&deferred);
    for (const int signal : {SIGINT, SIGTERM, SIGHUP, SIGQUIT})
        sigaddset(&deferred, signal);
    sigset_t previous;
    pthread_sigmask(SIG_BLOCK, &deferred, &previous);
    std::memcpy(saved_, &previous, sizeof previous);
}

DeferTermination::~DeferTermination() {
    sigset_t previous;
    std::memcpy(&previous, saved_, sizeof previous);
    pthread_sigmask(SIG_SETMASK, &previous, nullptr);
}

void ignoreLimitSignals() {
    std::signal(SIGXFSZ, SIG_IGN);
    std::signal(SIGPIPE, SIG_IGN);
}

Lock::Lock(Lock&& other) noexcept
    : identity_(other.identity_)
    , queued_(std::exchange(other.queued_, false))
    , held_(std::exchange(other.held_, false))
    , fd_(std::exchange(other.fd_, -1))
    , whole_(other.whole_) {}

Lock& Lock::operator=(Lock&& other) noexcept {
    if (this != &other) {
        release();
        identity_ = other.identity_;
        queued_ = std::exchange(other.queued_, false);
        held_ = std::exchange(other.held_, false);
        fd_ = std::exchange(other.fd_, -1);
        whole_ = other.whole_;
    }
    return *this;
}

Lock::~Lock() {
    release();
}

void Lock::release() {
    if (fd_ >= 0)
        ::close(fd_); // the last descriptor of the description: its locks go with it
    fd_ = -1;
    queued_ = false;
    held_ = false;
}

namespace {

// The two lock bytes lie far beyond any GAP file; locks on them stop no reading or writing.
constexpr off_t kFileByte = off_t{1} << 60;
constexpr off_t kQueueByte = kFileByte + 1;

// One try at an exclusive lock on `byte`, owned by the open file description, so that it holds
// between programs and between two opens in one program alike.
Lock::Attempt tryByte(int fd, off_t byte, short type) {
    struct flock range {};
    range.l_type = type;
    range.l_whence = SEEK_SET;
    range.l_start = byte;
    range.l_len = 1;
    if (::fcntl(fd, F_OFD_SETLK, &range) == 0)
        return Lock::Attempt::taken;
    return errno == EAGAIN || errno == EACCES ? Lock::Attempt::busy : Lock::Attempt::failed;
}

} // namespace

Lock::Attempt Lock::tryTake(int fd, const Identity& identity) {
    if (fd_ >= 0 && identity != identity_)
        release(); // another file is at the path now: queue for that one
    if (fd_ < 0) {
        fd_ = ::fcntl(fd, F_DUPFD_CLOEXEC, 3);
        if (fd_ < 0)
            return Attempt::failed;
        identity_ = identity;
        // A range lock needs a descriptor open for writing; a file that cannot be opened so
        // cannot be changed either, and gets the whole-file lock that reading allows.
        const int mode = ::fcntl(fd_, F_GETFL);
        whole_ = mode >= 0 && (mode & O_ACCMODE) == O_RDONLY;
    }
    if (whole_) {
        if (::flock(fd_, LOCK_EX | LOCK_NB) == 0) {
            held_ = true;
            return Attempt::taken;
        }
        return errno == EWOULDBLOCK ? Attempt::busy : Attempt::failed;
    }
    if (!queued_) {
        const Attempt queue = tryByte(fd_, kQueueByte, F_WRLCK);
        if (queue != Attempt::taken)
            return queue;
        queued_ = true;
    }
    const Attempt file = tryByte(fd_, kFileByte, F_WRLCK);
    if (file == Attempt::taken) {
        (void)tryByte(fd_, kQueueByte, F_UNLCK);
        queued_ = false;
        held_ = true;
    }
    return file;
}

} // namespace ravik::fileio::native
