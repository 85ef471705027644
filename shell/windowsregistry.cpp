// SPDX-License-Identifier: GPL-3.0-or-later
#include "windowsregistry.hpp"

#include "modRegistry.hpp"

#include <system_error>
#include <windows.h>

namespace ravik::shell {

namespace {

HKEY handle(Key key) {
    return reinterpret_cast<HKEY>(key);
}

class Advapi32 final : public Registry {
public:
    long RegOpenKeyA(Key key, const char* subKey, Key* result) override {
        HKEY opened = nullptr;
        const LONG status = ::RegOpenKeyA(handle(key), subKey, &opened);
        *result = reinterpret_cast<Key>(opened);
        return status;
    }
    long RegCreateKeyA(Key key, const char* subKey, Key* result) override {
        HKEY created = nullptr;
        const LONG status = ::RegCreateKeyA(handle(key), subKey, &created);
        *result = reinterpret_cast<Key>(created);
        return status;
    }
    long RegSetValueA(Key key, const char* subKey, std::uint32_t type, const char* data,
                      std::uint32_t length) override {
        return ::RegSetValueA(handle(key), subKey, type, data, length);
    }
    long RegSetValueExA(Key key, const char* valueName, std::uint32_t reserved, std::uint32_t type,
                        const std::uint8_t* data, std::uint32_t size) override {
        return ::RegSetValueExA(handle(key), valueName, reserved, type, data, size);
    }
    long RegCloseKey(Key key) override { return ::RegCloseKey(handle(key)); }
};

} // namespace

Registry& systemRegistry() {
    static Advapi32 registry;
    return registry;
}

std::string systemMessage(long code) {
    return reasonText(std::error_code(static_cast<int>(code), std::system_category()));
}

std::string programDirectory() {
    std::string path(MAX_PATH, '\0');
    for (;;) {
        const DWORD length =
            GetModuleFileNameA(nullptr, path.data(), static_cast<DWORD>(path.size()));
        if (length == 0)
            return {};
        if (length < path.size()) {
            path.resize(length);
            break;
        }
        path.resize(path.size() * 2);
    }
    // The folder is everything before the executable's name: "C:" for a program at a drive's
    // root, so that appending "\GAP.ico" gives one separator.
    const std::size_t separator = path.find_last_of("\\/");
    return separator == std::string::npos ? std::string() : path.substr(0, separator);
}

} // namespace ravik::shell
