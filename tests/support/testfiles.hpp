// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstdint>
#include <filesystem>
#include <functional>
#include <initializer_list>
#include <ostream>
#include <string>
#include <utility>
#include <vector>

namespace ravik::test {

using Bytes = std::vector<std::uint8_t>;

/// Names each row of a parameterised test after the row's `name`.
struct RowName {
    template <typename ParamInfo>
    std::string operator()(const ParamInfo& row) const {
        return row.param.name;
    }
};

/// Prints a parameterised test's row as its name; bring it in with `using test::PrintTo;`.
template <typename Row>
requires requires(const Row& row) {
    row.name;
}
void PrintTo(const Row& row, std::ostream* out) {
    *out << row.name;
}

/// A fresh folder under the system's temporary folder, removed with everything in it. Others
/// may enter it, so that a test can run an operation as an unprivileged user.
class TempDir {
public:
    TempDir();
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;
    ~TempDir();

    [[nodiscard]] const std::filesystem::path& path() const { return path_; }
    /// The UTF-8 path of `name` inside the folder, as the program's operations take it.
    [[nodiscard]] std::string file(const std::string& name) const;
    /// Writes `bytes` into the file `name` inside the folder and returns its path.
    std::string write(const std::string& name, const std::vector<std::uint8_t>& bytes) const;

private:
    std::filesystem::path path_;
};

/// Records as two little-endian 32-bit fields each: {start, end}.
[[nodiscard]] Bytes records(std::initializer_list<std::pair<std::int64_t, std::int64_t>> silences);
/// Little-endian 16-bit words, as the structure check reads them.
[[nodiscard]] Bytes words(std::initializer_list<std::int32_t> values);
[[nodiscard]] Bytes concat(Bytes first, const Bytes& second);

void writeBytes(const std::string& path, const Bytes& bytes);
[[nodiscard]] Bytes readBytes(const std::string& path);
/// The names in a folder, to see that nothing was left behind.
[[nodiscard]] std::vector<std::string> namesIn(const std::filesystem::path& folder);

/// Whether tests may switch to an unprivileged user (only root may, and only root needs to:
/// permission bits do not stop root).
[[nodiscard]] bool canDropPrivileges();
/// Runs `work` in a child process as the unprivileged user "nobody" and returns what it
/// returned. Precondition: canDropPrivileges().
[[nodiscard]] std::string runUnprivileged(const std::function<std::string()>& work);

#ifndef _WIN32
/// Runs `work` in a child process, after `prepare` (when given) succeeded there, and returns
/// what it returned.
[[nodiscard]] std::string runInChild(const std::function<std::string()>& work,
                                     const std::function<bool()>& prepare = {});
#endif

} // namespace ravik::test
