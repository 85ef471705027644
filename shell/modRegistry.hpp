// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "core/text/failure.hpp"
#include "core/text/statuslines.hpp"

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>

/// Registering the ".gap" file type with the desktop, so that GAP files show their icon and open
/// in the program with a double-click: in the registry on Windows, through the freedesktop MIME
/// database and a desktop entry elsewhere (see freedesktop.hpp).
namespace ravik::shell {

/// Registers the ".gap" file type for the program in the folder of the running executable.
/// Appends "Succesfully edited registry !!" when every step succeeded; otherwise one line,
/// starting with ">> ", that names the first key or file that could not be written and why.
/// A failed step does not stop the steps after it.
void RegisterGAP(const StatusSink& appendLine);

/// The folder that holds the running executable, without a separator at its end; empty when the
/// system cannot tell. On Windows the text is in the ANSI code page, as the registry gets it.
[[nodiscard]] std::string programDirectory();

// --- The Windows registry ----------------------------------------------------------------------

/// A registry key handle, as wide as the platform's HKEY.
using Key = std::uintptr_t;
/// HKEY_CLASSES_ROOT: the predefined handle 0x80000000, widened with its sign as Windows does.
inline constexpr Key kClassesRoot =
    static_cast<Key>(static_cast<std::intptr_t>(static_cast<std::int32_t>(0x80000000U)));
/// The value type REG_SZ, a string.
inline constexpr std::uint32_t kRegSz = 1;
/// ERROR_SUCCESS; every other result of a registry call is a refusal.
inline constexpr long kRegistryOk = 0;

/// The five calls of advapi32 (ANSI forms) that the registration makes, each returning the
/// system's result code, so that a recording registry can stand in for the real one.
class Registry {
public:
    virtual ~Registry() = default;
    /// Opens `subKey` below `key` (an empty path opens `key` itself).
    virtual long RegOpenKeyA(Key key, const char* subKey, Key* result) = 0;
    /// Creates `subKey` below `key`, or opens it when it exists.
    virtual long RegCreateKeyA(Key key, const char* subKey, Key* result) = 0;
    /// Sets the unnamed value of `subKey` below `key`, creating the subkey when it is missing.
    virtual long RegSetValueA(Key key, const char* subKey, std::uint32_t type, const char* data,
                              std::uint32_t length) = 0;
    /// Sets the value `valueName` of `key` to the `size` bytes at `data`.
    virtual long RegSetValueExA(Key key, const char* valueName, std::uint32_t reserved,
                                std::uint32_t type, const std::uint8_t* data,
                                std::uint32_t size) = 0;
    virtual long RegCloseKey(Key key) = 0;
};

#ifdef _WIN32
/// The system's registry: advapi32 itself.
[[nodiscard]] Registry& systemRegistry();
#endif

/// Sets the unnamed value of `path` below `root` to `text` (RegSetValueA, given the text's
/// length). Returns what could not be written.
[[nodiscard]] std::optional<Failure>
SetDefaultValue(Registry& registry, Key root, const std::string& path, const std::string& text);

/// Sets the value `name` of the key `path` below `root` to `text`, its terminating null
/// included. Writes nothing when the key cannot be opened. Returns what could not be written.
[[nodiscard]] std::optional<Failure> SetNamedValue(Registry& registry, Key root,
                                                   const std::string& path, const std::string& name,
                                                   const std::string& text);

struct CreatedKey {
    Key key = 0; ///< the created or opened child, for the caller to close; none on failure
    std::optional<Failure> failure;
};

/// Creates the key `child` below `parent` (a path below `root`; empty means `root` itself), or
/// opens it when it exists. Creates nothing when `parent` cannot be opened.
[[nodiscard]] CreatedKey CreateSubKey(Registry& registry, Key root, const std::string& parent,
                                      const std::string& child);

/// The open command of GAP files for the program in `programDirectory`: the program's path and
/// the file's placeholder each in quotation marks, `"D:\Tools\Ravik.exe" "%1"`, so that neither
/// a blank in the folder nor one in the file's path can split the command.
[[nodiscard]] std::string openCommand(const std::string& programDirectory);

/// Writes the ".gap" file association into `registry` for the program in `programDirectory`
/// and reports as RegisterGAP(appendLine) does.
void RegisterGAP(Registry& registry, const std::string& programDirectory,
                 const StatusSink& appendLine);

} // namespace ravik::shell
