// SPDX-License-Identifier: GPL-3.0-or-later
#include "process.hpp"

#include <algorithm>
#include <array>
#include <cerrno>
#include <fcntl.h>
#include <poll.h>
#include <spawn.h>
#include <sys/wait.h>
#include <system_error>
#include <unistd.h>

extern char** environ;

namespace ravik::shell {

namespace {

constexpr std::size_t kMostErrorText = 4096;

/// Owns the two ends of a pipe.
class Pipe {
public:
    Pipe() {
        if (::pipe2(ends_.data(), O_CLOEXEC) != 0)
            ends_ = {-1, -1};
    }
    Pipe(const Pipe&) = delete;
    Pipe& operator=(const Pipe&) = delete;
    ~Pipe() {
        closeReading();
        closeWriting();
    }
    [[nodiscard]] bool valid() const { return ends_[0] >= 0; }
    [[nodiscard]] int reading() const { return ends_[0]; }
    [[nodiscard]] int writing() const { return ends_[1]; }
    void closeReading() { closeEnd(0); }
    void closeWriting() { closeEnd(1); }

private:
    void closeEnd(std::size_t end) {
        if (ends_[end] >= 0)
            ::close(ends_[end]);
        ends_[end] = -1;
    }
    std::array<int, 2> ends_{-1, -1};
};

std::vector<std::string> environmentFor(const Command& command) {
    std::vector<std::string> variables;
    for (char** entry = environ; *entry != nullptr; ++entry) {
        const std::string variable = *entry;
        const std::string name = variable.substr(0, variable.find('='));
        bool replaced = false;
        for (const auto& [changed, value] : command.environment)
            replaced = replaced || changed == name;
        if (!replaced)
            variables.push_back(variable);
    }
    for (const auto& [name, value] : command.environment)
        if (value)
            variables.push_back(name + "=" + *value);
    return variables;
}

std::vector<char*> pointersTo(std::vector<std::string>& texts) {
    std::vector<char*> pointers;
    for (std::string& text : texts)
        pointers.push_back(text.data());
    pointers.push_back(nullptr);
    return pointers;
}

// Reads both pipes until the program has closed them, so that neither can fill up and stall it.
void readBoth(Pipe& output, Pipe& errors, std::string& out, std::string& err) {
    std::array<pollfd, 2> watched{pollfd{output.reading(), POLLIN, 0},
                                  pollfd{errors.reading(), POLLIN, 0}};
    std::array<std::string*, 2> into{&out, &err};
    int open = 2;
    while (open > 0) {
        if (::poll(watched.data(), watched.size(), -1) < 0) {
            if (errno == EINTR)
                continue;
            return;
        }
        for (std::size_t i = 0; i < watched.size(); ++i) {
            if (watched[i].fd < 0 || watched[i].revents == 0)
                continue;
            char buffer[4096];
            const ssize_t got = ::read(watched[i].fd, buffer, sizeof buffer);
            if (got > 0) {
                into[i]->append(buffer, static_cast<std::size_t>(got));
            } else if (got == 0 || errno != EINTR) {
                watched[i].fd = -1;
                --open;
            }
        }
    }
}

std::string firstLine(const std::string& text) {
    const std::size_t start = text.find_first_not_of(" \n");
    if (start == std::string::npos)
        return {};
    const std::size_t end = std::min(text.find('\n', start), text.size());
    return text.substr(start, std::min(end - start, kMostErrorText));
}

std::string endingOf(int status, const std::string& errors, const std::string& output) {
    std::string reason = WIFSIGNALED(status)
                             ? "It was ended by signal " + std::to_string(WTERMSIG(status))
                             : "It exited with status " + std::to_string(WEXITSTATUS(status));
    // Some tools, desktop-file-validate among them, say what is wrong on their standard output.
    const std::string said = firstLine(errors.empty() ? output : errors);
    if (!said.empty())
        reason += ": " + said;
    return reason;
}

} // namespace

std::string findProgram(const std::string& name, const std::string& searchPath) {
    if (name.find('/') != std::string::npos)
        return ::access(name.c_str(), X_OK) == 0 ? name : std::string();
    std::size_t start = 0;
    while (start <= searchPath.size()) {
        const std::size_t end = std::min(searchPath.find(':', start), searchPath.size());
        const std::string folder = searchPath.substr(start, end - start);
        // Only absolute folders: an empty or relative entry would depend on the current folder.
        if (!folder.empty() && folder.front() == '/') {
            const std::string candidate = folder + "/" + name;
            if (::access(candidate.c_str(), X_OK) == 0)
                return candidate;
        }
        start = end + 1;
    }
    return {};
}

Finished run(const Command& command) {
    Finished finished;
    const std::string program = findProgram(command.program, command.searchPath);
    if (program.empty()) {
        std::string reason = "It was not found in " + command.searchPath;
        if (!command.installHint.empty())
            reason += "; " + command.installHint;
        finished.failure = Failure{"Could not run", command.program, reason};
        return finished;
    }

    Pipe output;
    Pipe errors;
    if (!output.valid() || !errors.valid()) {
        finished.failure = Failure{"Could not run", command.program,
                                   reasonText(std::error_code(errno, std::generic_category()))};
        return finished;
    }
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, STDIN_FILENO, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_adddup2(&actions, output.writing(), STDOUT_FILENO);
    posix_spawn_file_actions_adddup2(&actions, errors.writing(), STDERR_FILENO);

    std::vector<std::string> argumentTexts{program};
    argumentTexts.insert(argumentTexts.end(), command.arguments.begin(), command.arguments.end());
    std::vector<char*> arguments = pointersTo(argumentTexts);
    std::vector<std::string> variableTexts = environmentFor(command);
    std::vector<char*> variables = pointersTo(variableTexts);

    pid_t child = -1;
    const int spawned = ::posix_spawn(&child, program.c_str(), &actions, nullptr, arguments.data(),
                                      variables.data());
    posix_spawn_file_actions_destroy(&actions);
    if (spawned != 0) {
        finished.failure = Failure{"Could not run", command.program,
                                   reasonText(std::error_code(spawned, std::generic_category()))};
        return finished;
    }
    output.closeWriting();
    errors.closeWriting();
    std::string errorText;
    readBoth(output, errors, finished.output, errorText);

    int status = 0;
    while (::waitpid(child, &status, 0) < 0 && errno == EINTR) {
    }
    if (!WIFEXITED(status) || WEXITSTATUS(status) != 0)
        finished.failure =
            Failure{"Error from", command.program, endingOf(status, errorText, finished.output)};
    return finished;
}

} // namespace ravik::shell
