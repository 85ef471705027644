// SPDX-License-Identifier: GPL-3.0-or-later
#include "testfiles.hpp"

#include <algorithm>
#include <fstream>
#include <iterator>
#include <random>
#include <stdexcept>

#ifndef _WIN32
#include <sys/wait.h>
#include <unistd.h>
#endif

namespace ravik::test {
namespace fs = std::filesystem;

namespace {
constexpr unsigned kNobody = 65534;
}

TempDir::TempDir() {
    std::random_device random;
    for (;;) {
        path_ = fs::temp_directory_path() / ("ravik-test-" + std::to_string(random()));
        if (fs::create_directory(path_))
            break;
    }
    fs::permissions(path_, fs::perms::owner_all | fs::perms::group_read | fs::perms::group_exec |
                               fs::perms::others_read | fs::perms::others_exec);
}

TempDir::~TempDir() {
    std::error_code error;
    fs::permissions(path_, fs::perms::owner_all, fs::perm_options::add, error);
    fs::remove_all(path_, error);
}

std::string TempDir::file(const std::string& name) const {
    const std::u8string text = (path_ / name).u8string();
    return std::string(text.begin(), text.end());
}

std::string TempDir::write(const std::string& name, const Bytes& bytes) const {
    const std::string path = file(name);
    writeBytes(path, bytes);
    return path;
}

Bytes records(std::initializer_list<std::pair<std::int64_t, std::int64_t>> silences) {
    Bytes bytes;
    for (const auto& [start, end] : silences)
        for (std::int64_t value : {start, end})
            for (int shift = 0; shift < 32; shift += 8)
                bytes.push_back(
                    static_cast<std::uint8_t>((static_cast<std::uint64_t>(value) >> shift) & 0xFF));
    return bytes;
}

Bytes words(std::initializer_list<std::int32_t> values) {
    Bytes bytes;
    for (std::int32_t value : values) {
        bytes.push_back(static_cast<std::uint8_t>(value & 0xFF));
        bytes.push_back(static_cast<std::uint8_t>((value >> 8) & 0xFF));
    }
    return bytes;
}

Bytes concat(Bytes first, const Bytes& second) {
    first.insert(first.end(), second.begin(), second.end());
    return first;
}

void writeBytes(const std::string& path, const Bytes& bytes) {
    std::ofstream out(fs::path(std::u8string(path.begin(), path.end())), std::ios::binary);
    out.write(reinterpret_cast<const char*>(bytes.data()),
              static_cast<std::streamsize>(bytes.size()));
    if (!out)
        throw std::runtime_error("cannot write test file " + path);
}

Bytes readBytes(const std::string& path) {
    std::ifstream in(fs::path(std::u8string(path.begin(), path.end())), std::ios::binary);
    if (!in)
        throw std::runtime_error("cannot read test file " + path);
    return Bytes(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

std::vector<std::string> namesIn(const fs::path& folder) {
    std::vector<std::string> names;
    for (const auto& entry : fs::directory_iterator(folder))
        names.push_back(entry.path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
}

#ifdef _WIN32
bool canDropPrivileges() {
    return false;
}
std::string runUnprivileged(const std::function<std::string()>&) {
    throw std::logic_error("no unprivileged user on Windows");
}
#else
bool canDropPrivileges() {
    return ::geteuid() == 0;
}

std::string runUnprivileged(const std::function<std::string()>& work) {
    return runInChild(work, [] { return ::setgid(kNobody) == 0 && ::setuid(kNobody) == 0; });
}

std::string runInChild(const std::function<std::string()>& work,
                       const std::function<bool()>& prepare) {
    int channel[2];
    if (::pipe(channel) != 0)
        throw std::runtime_error("pipe failed");
    const pid_t child = ::fork();
    if (child < 0)
        throw std::runtime_error("fork failed");
    if (child == 0) {
        ::close(channel[0]);
        if (prepare && !prepare())
            ::_exit(3);
        const std::string answer = work();
        const char* data = answer.data();
        std::size_t left = answer.size();
        while (left > 0) {
            const ssize_t put = ::write(channel[1], data, left);
            if (put <= 0)
                ::_exit(4);
            data += put;
            left -= static_cast<std::size_t>(put);
        }
        ::_exit(0);
    }
    ::close(channel[1]);
    std::string answer;
    char buffer[4096];
    ssize_t got;
    while ((got = ::read(channel[0], buffer, sizeof buffer)) > 0)
        answer.append(buffer, static_cast<std::size_t>(got));
    ::close(channel[0]);
    int status = 0;
    ::waitpid(child, &status, 0);
    if (!WIFEXITED(status) || WEXITSTATUS(status) != 0)
        throw std::runtime_error("the child process failed");
    return answer;
}
#endif

} // namespace ravik::test
