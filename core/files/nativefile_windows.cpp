// SPDX-License-Identifier: GPL-3.0-or-later
#include "core/files/nativefile.hpp"

#include <cerrno>
#include <fcntl.h>
#include <io.h>
#include <map>
#include <sys/stat.h>
#include <utility>
#include <windows.h>

namespace ravik::fileio::native {

namespace {

thread_local std::error_code lastFailure;

void failWith(std::error_code error) {
    lastFailure = error;
}
void failWithErrno() {
    lastFailure = {errno, std::generic_category()};
}
void failWithSystem() {
    lastFailure = {static_cast<int>(GetLastError()), std::system_category()};
}

// Every open shares reading, writing and deletion, so that a file this program has open can
// still be replaced by a rename from another writer's process.
int openShared(const fs::path& path, DWORD access, DWORD disposition, int crtFlags) {
    HANDLE handle =
        CreateFileW(path.c_str(), access, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                    nullptr, disposition, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (handle == INVALID_HANDLE_VALUE) {
        const DWORD error = GetLastError();
        // The C runtime's own words for the common cases, as the rest of the program uses.
        if (error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND)
            failWith(std::make_error_code(std::errc::no_such_file_or_directory));
        else if (error == ERROR_FILE_EXISTS || error == ERROR_ALREADY_EXISTS)
            failWith(std::make_error_code(std::errc::file_exists));
        else if (error == ERROR_ACCESS_DENIED)
            failWith(std::make_error_code(std::errc::permission_denied));
        else
            failWithSystem();
        return -1;
    }
    const int fd = _open_osfhandle(reinterpret_cast<intptr_t>(handle), crtFlags | _O_BINARY);
    if (fd < 0) {
        failWithErrno();
        CloseHandle(handle);
    }
    return fd;
}

} // namespace

std::error_code lastError() {
    return lastFailure;
}

int openForReading(const fs::path& path) {
    return openShared(path, GENERIC_READ, OPEN_EXISTING, _O_RDONLY);
}

int openForWriting(const fs::path& path) {
    return openShared(path, GENERIC_READ | GENERIC_WRITE, OPEN_EXISTING, _O_RDWR);
}

int createExclusive(const fs::path& path, int) {
    return openShared(path, GENERIC_READ | GENERIC_WRITE, CREATE_NEW, _O_RDWR);
}

int openOrCreate(const fs::path& path, int) {
    return openShared(path, GENERIC_READ | GENERIC_WRITE, OPEN_ALWAYS, _O_RDWR);
}

int closeNative(int fd) {
    return _close(fd);
}

namespace {

void fill(const struct _stat64& info, Status& status) {
    status.kind = (info.st_mode & _S_IFMT) == _S_IFREG   ? Kind::regular
                  : (info.st_mode & _S_IFMT) == _S_IFDIR ? Kind::folder
                                                         : Kind::other;
    status.size = static_cast<std::uint64_t>(info.st_size);
}

bool identityOf(HANDLE handle, Identity& identity) {
    BY_HANDLE_FILE_INFORMATION info{};
    if (!GetFileInformationByHandle(handle, &info))
        return false;
    identity = {info.dwVolumeSerialNumber,
                (std::uint64_t{info.nFileIndexHigh} << 32) | info.nFileIndexLow};
    return true;
}

} // namespace

bool statusOf(const fs::path& path, Status& status) {
    const int fd = openForReading(path);
    if (fd < 0) {
        std::error_code error;
        const fs::file_status kind = fs::status(path, error);
        if (fs::is_directory(kind)) { // a folder cannot be opened as a file
            status = Status{};
            status.kind = Kind::folder;
            // Its identity, for telling a folder reached again through a link.
            HANDLE folder =
                CreateFileW(path.c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                            nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
            if (folder != INVALID_HANDLE_VALUE) {
                (void)identityOf(folder, status.identity);
                CloseHandle(folder);
            }
            return true;
        }
        if (lastFailure == std::errc::no_such_file_or_directory) {
            status = Status{};
            return true;
        }
        return false;
    }
    const bool done = statusOf(fd, status);
    _close(fd);
    return done;
}

bool statusOf(int fd, Status& status) {
    struct _stat64 info {};
    if (_fstat64(fd, &info) != 0) {
        failWithErrno();
        return false;
    }
    status = Status{};
    fill(info, status);
    if (!identityOf(reinterpret_cast<HANDLE>(_get_osfhandle(fd)), status.identity)) {
        failWithSystem();
        return false;
    }
    return true;
}

long long readSome(int fd, std::uint8_t* into, std::size_t count) {
    const int got = _read(fd, into, static_cast<unsigned>(std::min<std::size_t>(count, 1U << 30)));
    if (got < 0)
        failWithErrno();
    return got;
}

long long writeSome(int fd, const std::uint8_t* from, std::size_t count) {
    const int put = _write(fd, from, static_cast<unsigned>(std::min<std::size_t>(count, 1U << 30)));
    if (put < 0)
        failWithErrno();
    return put;
}

bool seekTo(int fd, std::uint64_t offset) {
    if (_lseeki64(fd, static_cast<long long>(offset), SEEK_SET) >= 0)
        return true;
    failWithErrno();
    return false;
}

bool truncateTo(int fd, std::uint64_t length) {
    const errno_t error = _chsize_s(fd, static_cast<long long>(length));
    if (error == 0)
        return true;
    failWith({error, std::generic_category()});
    return false;
}

bool flushToDisk(int fd) {
    if (_commit(fd) == 0)
        return true;
    failWithErrno();
    return false;
}

bool removePath(const fs::path& path) {
    if (DeleteFileW(path.c_str()))
        return true;
    const DWORD error = GetLastError();
    if (error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND)
        failWith(std::make_error_code(std::errc::no_such_file_or_directory));
    else
        failWithSystem();
    return false;
}

bool writableByUser(const fs::path& path) {
    const DWORD attributes = GetFileAttributesW(path.c_str());
    if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_READONLY) != 0) {
        failWith(std::make_error_code(std::errc::permission_denied));
        return false;
    }
    return true;
}

int defaultMode() {
    return _S_IREAD | _S_IWRITE;
}

// Windows keeps no permission bits worth carrying over; the read-only attribute is checked
// before replacing.
bool applyPermissions(int, const Status*) {
    return true;
}

void flushFolder(const fs::path&) {}

namespace {

// A writer waiting for the lock opens the file for a moment now and then to see which one it
// is, and an open file cannot be renamed over: try again for a while.
bool moveFile(const fs::path& from, const fs::path& to, DWORD flags) {
    for (int attempt = 0;; ++attempt) {
        if (MoveFileExW(from.c_str(), to.c_str(), flags | MOVEFILE_WRITE_THROUGH))
            return true;
        const DWORD error = GetLastError();
        if ((error != ERROR_ACCESS_DENIED && error != ERROR_SHARING_VIOLATION) || attempt == 200) {
            if (error == ERROR_FILE_EXISTS || error == ERROR_ALREADY_EXISTS)
                failWith(std::make_error_code(std::errc::file_exists));
            else
                failWithSystem();
            return false;
        }
        Sleep(10);
    }
}

} // namespace

bool renameOver(const fs::path& from, const fs::path& to) {
    return moveFile(from, to, MOVEFILE_REPLACE_EXISTING);
}

bool renameNoReplace(const fs::path& from, const fs::path& to) {
    return moveFile(from, to, 0);
}

// Windows opens folders by their paths only: an open folder here is its path, kept under a number.
namespace {

thread_local std::map<int, fs::path> openFolders;
thread_local int lastFolder = 0;

int keepFolder(fs::path path) {
    std::error_code error;
    if (!fs::is_directory(path, error)) {
        failWith(error ? error : std::make_error_code(std::errc::not_a_directory));
        return -1;
    }
    openFolders[++lastFolder] = std::move(path);
    return lastFolder;
}

} // namespace

int openFolder(const fs::path& path) {
    return keepFolder(path.empty() ? fs::path(".") : path);
}

int openFolderIn(int folder, const fs::path& name) {
    return keepFolder(openFolders.at(folder) / name);
}

int openFolderAbove(int) {
    return -1;
}

bool folderIdentity(int folder, Identity& identity) {
    Status status;
    if (!statusOf(openFolders.at(folder), status) || status.kind != Kind::folder)
        return false;
    identity = status.identity;
    return true;
}

bool listFolder(int folder, std::vector<FolderEntry>& entries) {
    std::error_code error;
    fs::directory_iterator it(openFolders.at(folder), error);
    for (; !error && it != fs::directory_iterator(); it.increment(error)) {
        const std::u8string name = it->path().filename().u8string();
        FolderEntry found{std::string(name.begin(), name.end()), FolderEntry::Kind::file};
        std::error_code typeError;
        if (it->is_directory(typeError))
            found.kind = FolderEntry::Kind::folder;
        else if (typeError)
            found.kind = FolderEntry::Kind::broken;
        entries.push_back(std::move(found));
    }
    if (error)
        failWith(error);
    return !error;
}

bool mayFollowLinkIn(int, const fs::path&) {
    return true; // Windows has no folder that anyone may write to and nobody may take from
}

void closeFolder(int folder) {
    openFolders.erase(folder);
}

Resolved resolveLinks(const fs::path& given) {
    // The system follows every link when it opens the file; its final path is the file to
    // replace, so that a link stays a link.
    HANDLE handle =
        CreateFileW(given.c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                    nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    if (handle == INVALID_HANDLE_VALUE)
        return {given, {}};
    std::wstring final(MAX_PATH, L'\0');
    DWORD length = GetFinalPathNameByHandleW(handle, final.data(), static_cast<DWORD>(final.size()),
                                             FILE_NAME_NORMALIZED);
    if (length >= final.size()) {
        final.resize(length + 1);
        length = GetFinalPathNameByHandleW(handle, final.data(), static_cast<DWORD>(final.size()),
                                           FILE_NAME_NORMALIZED);
    }
    CloseHandle(handle);
    if (length == 0 || length >= final.size())
        return {given, {}};
    final.resize(length);
    return {fs::path(final), {}};
}

// Windows ends a program without a signal to defer, and has no file-size limit.
DeferTermination::DeferTermination() = default;
DeferTermination::~DeferTermination() = default;
void ignoreLimitSignals() {}

// Windows cannot rename over a file that any program holds open, so the locks cannot live on
// the file itself: they are mutexes named after the file's identity, which every writer of
// this program takes, and which the system releases when their holder ends.
Lock::Lock(Lock&& other) noexcept
    : identity_(other.identity_)
    , queued_(std::exchange(other.queued_, false))
    , held_(std::exchange(other.held_, false))
    , queue_(std::exchange(other.queue_, nullptr))
    , file_(std::exchange(other.file_, nullptr)) {}

Lock& Lock::operator=(Lock&& other) noexcept {
    if (this != &other) {
        release();
        identity_ = other.identity_;
        queued_ = std::exchange(other.queued_, false);
        held_ = std::exchange(other.held_, false);
        queue_ = std::exchange(other.queue_, nullptr);
        file_ = std::exchange(other.file_, nullptr);
    }
    return *this;
}

Lock::~Lock() {
    release();
}

void Lock::release() {
    if (queued_)
        ReleaseMutex(queue_);
    if (held_)
        ReleaseMutex(file_);
    for (void* mutex : {queue_, file_})
        if (mutex != nullptr)
            CloseHandle(mutex);
    queue_ = file_ = nullptr;
    queued_ = held_ = false;
}

namespace {

HANDLE mutexFor(const Identity& identity, const wchar_t* role) {
    wchar_t name[128];
    swprintf(name, sizeof name / sizeof name[0], L"Local\\ravik-gap-%ls-%016llx-%016llx", role,
             static_cast<unsigned long long>(identity.device),
             static_cast<unsigned long long>(identity.file));
    return CreateMutexW(nullptr, FALSE, name);
}

// An abandoned mutex was held by a program that ended: it is this one's now.
Lock::Attempt tryMutex(HANDLE mutex) {
    const DWORD waited = WaitForSingleObject(mutex, 0);
    if (waited == WAIT_OBJECT_0 || waited == WAIT_ABANDONED)
        return Lock::Attempt::taken;
    if (waited == WAIT_TIMEOUT)
        return Lock::Attempt::busy;
    failWithSystem();
    return Lock::Attempt::failed;
}

} // namespace

Lock::Attempt Lock::tryTake(int, const Identity& identity) {
    if (file_ != nullptr && identity != identity_)
        release(); // another file is at the path now: queue for that one
    if (file_ == nullptr) {
        queue_ = mutexFor(identity, L"queue");
        file_ = mutexFor(identity, L"writer");
        identity_ = identity;
        if (queue_ == nullptr || file_ == nullptr) {
            failWithSystem();
            release();
            return Attempt::failed;
        }
    }
    if (!queued_) {
        const Attempt queue = tryMutex(queue_);
        if (queue != Attempt::taken)
            return queue;
        queued_ = true;
    }
    const Attempt file = tryMutex(file_);
    if (file == Attempt::taken) {
        ReleaseMutex(queue_);
        queued_ = false;
        held_ = true;
    }
    return file;
}

} // namespace ravik::fileio::native
