// SPDX-License-Identifier: GPL-3.0-or-later
#include "companionwindows.hpp"

#include "Form1.hpp"
#include "audio/formats.hpp"
#include "pack/voicepack.hpp"
#include "recordingwindow.hpp"
#include "voicepackwindow.hpp"

#include <QDir>
#include <QFileInfo>
#include <QStringList>

namespace ravik {

CompanionWindows::CompanionWindows(Form1& main)
    : main_(main) {}

CompanionWindows::~CompanionWindows() = default;

void CompanionWindows::showRecording(const QString& gap) {
    if (!gap.isEmpty())
        if (const auto beside = voicepack::recordingBeside(gap.toStdString()))
            return openRecording(QString::fromStdString(*beside), gap);
    // The recordings' own dialog: the shared one's filter and file name are the GAP files'.
    // Folders in the system's own spelling, as the dialog gives paths (C:\... on Windows).
    const QString start = !recordingFolder_.isEmpty() ? recordingFolder_
                          : gap.isEmpty()             ? QString()
                                          : QDir::toNativeSeparators(QFileInfo(gap).absolutePath());
    QStringList patterns;
    for (const std::string& extension : audio::readableExtensions())
        patterns << QStringLiteral("*.") + QString::fromStdString(extension);
    const std::optional<QString> recording = main_.cmDialog1().chooseOther(
        &main_, FileChooser::Mode::Open,
        QStringLiteral("Recordings (%1)").arg(patterns.join(QLatin1Char(' '))), start);
    if (!recording)
        return;
    recordingFolder_ = QDir::toNativeSeparators(QFileInfo(*recording).absolutePath());
    openRecording(*recording,
                  gap.isEmpty()
                      ? QString::fromStdString(voicepack::gapFileBeside(recording->toStdString()))
                      : gap);
}

void CompanionWindows::openRecording(const QString& recording, const QString& gap) {
    if (!recording_)
        recording_ = std::make_unique<RecordingWindow>(main_);
    if (recording_->openRecording(recording, gap) == RecordingWindow::Opening::Cancelled)
        return;
    recording_->placeOver(main_);
    showInFront(*recording_);
}

void CompanionWindows::chooseFolder() {
    const QString start = pack_ ? pack_->folder() : QFileInfo(main_.path()).absolutePath();
    if (const std::optional<QString> folder =
            main_.cmDialog1().chooseOther(&main_, FileChooser::Mode::Folder, QString(), start))
        openPack(*folder);
}

void CompanionWindows::openPack(const QString& folder) {
    if (!pack_)
        pack_ = std::make_unique<VoicePackWindow>(VoicePackHost{
            [this](const QString& recording, const QString& gap) { openRecording(recording, gap); },
            [this](const QString& gap) {
                main_.openPath(gap);
                showInFront(main_);
            }});
    pack_->openFolder(folder);
    showInFront(*pack_);
}

bool CompanionWindows::takeDropped(const QString& path) {
    if (QFileInfo(path).isDir()) {
        openPack(path);
        return true;
    }
    if (!voicepack::recordingRank(QFileInfo(path).fileName().toStdString()))
        return false;
    openRecording(path, QString::fromStdString(voicepack::gapFileBeside(path.toStdString())));
    return true;
}

bool CompanionWindows::mayQuit() {
    return !recording_ || !recording_->isVisible() || recording_->close();
}

} // namespace ravik
