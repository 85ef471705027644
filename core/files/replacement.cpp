// SPDX-License-Identifier: GPL-3.0-or-later
#include "replacement.hpp"

#include "core/files/fileio.hpp"

#include <algorithm>

namespace ravik {

std::string backupPath(std::string_view path, std::string_view suffix) {
    std::string backup(path);
    backup += suffix;
    return backup;
}

std::optional<Failure> replaceKeeping(fileio::WriterLock& lock, const std::string& path,
                                      std::span<const std::uint8_t> before,
                                      std::span<const std::uint8_t> after, const Keeping& keeping) {
    // Content that stays the same is not written, and needs no backup: a run repeated over the
    // same files keeps the backup of the content before the first run, and the files their times.
    if (lock.existed() && std::ranges::equal(before, after))
        return std::nullopt;
    if (keeping.backupSuffix && lock.existed()) {
        const std::string backup = backupPath(path, *keeping.backupSuffix);
        const std::string leftAlone = "; \"" + printable(path) + "\" was left as it was";
        // An empty suffix would name the file itself, whose lock this writer already holds.
        if (keeping.backupSuffix->empty())
            return Failure{"Could not write the backup", backup,
                           "The backup suffix is empty" + leftAlone};
        if (auto failure = lock.writeCopy(backup, before))
            return Failure{"Could not write the backup", backup, failure->reason + leftAlone};
    }
    return lock.replace(after);
}

std::optional<Failure> undoReplacement(const Replacement& done) {
    const std::string action = "Did not undo " + std::string(done.operation) + " on";
    // A file deleted since is not made again: the lock's empty stand-in goes when it ends.
    fileio::Locking locking = fileio::lockForWriting(done.path, fileio::IfMissing::create);
    if (locking.failure)
        return Failure{action, done.path, locking.failure->reason};
    if (!locking.lock->existed())
        return Failure{action, done.path,
                       "It was deleted since " + std::string(done.operation) + " wrote it"};
    const fileio::Contents now = locking.lock->read();
    if (now.failure)
        return Failure{action, done.path, now.failure->reason};
    if (!std::ranges::equal(now.bytes, done.after))
        return Failure{action, done.path,
                       "It has changed since " + std::string(done.operation) + " wrote it"};
    return done.existed ? locking.lock->replace(done.before) : locking.lock->remove();
}

} // namespace ravik
