// SPDX-License-Identifier: GPL-3.0-or-later
#include "modRegistry.hpp"

#include "steps.hpp"

#ifdef _WIN32
#include "windowsregistry.hpp"
#else
#include "freedesktop.hpp"

#include <filesystem>
#include <system_error>
#endif

namespace ravik::shell {

namespace {

// The registration writes below HKEY_CLASSES_ROOT only; another root shows as its handle.
std::string keyName(Key root, const std::string& path) {
    std::string name =
        root == kClassesRoot ? "HKEY_CLASSES_ROOT" : "key handle " + std::to_string(root);
    if (!path.empty())
        name += "\\" + path;
    return name;
}

std::string refusal(long code) {
#ifdef _WIN32
    return systemMessage(code) + " (error " + std::to_string(code) + ")";
#else
    return "error " + std::to_string(code);
#endif
}

Failure refused(std::string action, Key root, const std::string& path, long code) {
    return Failure{std::move(action), keyName(root, path), refusal(code)};
}

std::string childPath(const std::string& parent, const std::string& child) {
    return parent.empty() ? child : parent + "\\" + child;
}

// The text's length as the registry calls take it; registry texts are far below 4 GiB.
std::uint32_t sizeOf(std::size_t length) {
    return static_cast<std::uint32_t>(length);
}

} // namespace

std::optional<Failure> SetDefaultValue(Registry& registry, Key root, const std::string& path,
                                       const std::string& text) {
    const long result =
        registry.RegSetValueA(root, path.c_str(), kRegSz, text.c_str(), sizeOf(text.size()));
    if (result != kRegistryOk)
        return refused("Could not set the default value of the registry key", root, path, result);
    return std::nullopt;
}

std::optional<Failure> SetNamedValue(Registry& registry, Key root, const std::string& path,
                                     const std::string& name, const std::string& text) {
    Key key = 0;
    long result = registry.RegOpenKeyA(root, path.c_str(), &key);
    if (result != kRegistryOk)
        return refused("Could not open the registry key", root, path, result);
    // The size counts the terminating null, so the value is stored as a complete string.
    result = registry.RegSetValueExA(key, name.c_str(), 0, kRegSz,
                                     reinterpret_cast<const std::uint8_t*>(text.c_str()),
                                     sizeOf(text.size() + 1));
    registry.RegCloseKey(key);
    if (result != kRegistryOk)
        return refused("Could not set the value \"" + name + "\" of the registry key", root, path,
                       result);
    return std::nullopt;
}

CreatedKey CreateSubKey(Registry& registry, Key root, const std::string& parent,
                        const std::string& child) {
    CreatedKey created;
    Key parentKey = 0;
    long result = registry.RegOpenKeyA(root, parent.c_str(), &parentKey);
    if (result != kRegistryOk) {
        created.failure = refused("Could not open the registry key", root, parent, result);
        return created;
    }
    Key childKey = 0;
    result = registry.RegCreateKeyA(parentKey, child.c_str(), &childKey);
    registry.RegCloseKey(parentKey);
    if (result != kRegistryOk)
        created.failure =
            refused("Could not create the registry key", root, childPath(parent, child), result);
    else
        created.key = childKey;
    return created;
}

std::string openCommand(const std::string& programDirectory) {
    return "\"" + programDirectory + "\\Ravik.exe\" \"%1\"";
}

void RegisterGAP(Registry& registry, const std::string& programDirectory,
                 const StatusSink& appendLine) {
    Steps steps;
    // The keys are created only to exist; each handle is closed at once. A refused close
    // leaves nothing unwritten, so it is not reported.
    auto createKey = [&](const std::string& parent, const std::string& child) {
        const CreatedKey created = CreateSubKey(registry, kClassesRoot, parent, child);
        if (!created.failure)
            registry.RegCloseKey(created.key);
        steps.note(created.failure);
    };

    createKey("", ".gap");
    steps.note(SetDefaultValue(registry, kClassesRoot, ".gap", "GAPfile"));
    steps.note(SetNamedValue(registry, kClassesRoot, ".gap", "Content Type", "GAP File"));
    createKey("", "GAPfile");
    createKey("GAPfile", "defaulticon");
    steps.note(SetDefaultValue(registry, kClassesRoot, "GAPfile\\defaulticon",
                               programDirectory + "\\GAP.ico"));
    createKey("GAPfile", "Shell");
    createKey("GAPfile\\Shell", "Open");
    createKey("GAPfile\\Shell\\Open", "command");
    steps.note(SetDefaultValue(registry, kClassesRoot, "GAPfile\\Shell\\Open\\command",
                               openCommand(programDirectory)));

    steps.report(appendLine);
}

void RegisterGAP(const StatusSink& appendLine) {
    const std::string folder = programDirectory();
    if (folder.empty()) {
        appendLine(">> Could not find the folder of the running program.");
        return;
    }
#ifdef _WIN32
    RegisterGAP(systemRegistry(), folder, appendLine);
#else
    registerWithDesktop(folder, DesktopPlaces::fromEnvironment(), appendLine);
#endif
}

#ifndef _WIN32
std::string programDirectory() {
    std::error_code error;
    const std::filesystem::path program = std::filesystem::read_symlink("/proc/self/exe", error);
    if (error)
        return {};
    const std::u8string folder = program.parent_path().u8string();
    return std::string(folder.begin(), folder.end());
}
#endif

} // namespace ravik::shell
