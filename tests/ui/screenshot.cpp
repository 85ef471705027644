// SPDX-License-Identifier: GPL-3.0-or-later
// Saves a picture of a window for the README: the main window with a GAP file loaded, or the
// Recording window with a recording and the GAP file beside it:
//   build/tests/ui_screenshot examples/speech.gap docs/main-window.png
//   build/tests/ui_screenshot --recording examples/speech.wav docs/recording-window.png
#include "ui/Form1.hpp"

#ifdef RAVIK_WITH_RECORDING
#include "pack/voicepack.hpp"
#include "ui/recordingwindow.hpp"
#include "ui/waveformview.hpp"
#endif

#include <QApplication>
#include <QPixmap>
#include <cstdio>
#include <cstring>

namespace {

int save(QWidget& window, const char* png) {
    QApplication::processEvents();
    if (!window.grab().save(QString::fromLocal8Bit(png))) {
        std::fprintf(stderr, "ui_screenshot: could not write %s\n", png);
        return 1;
    }
    return 0;
}

} // namespace

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication application(argc, argv);
    const bool recording = argc == 4 && std::strcmp(argv[1], "--recording") == 0;
    if (argc != 3 && !recording) {
        std::fprintf(stderr, "Usage: ui_screenshot GAPFILE PNGFILE\n"
                             "       ui_screenshot --recording RECORDING PNGFILE\n");
        return 2;
    }
    ravik::Form1 window([](const ravik::StatusSink&) {});
    window.show();
    if (!recording) {
        window.startWith(QString::fromLocal8Bit(argv[1]));
        return save(window, argv[2]);
    }
#ifdef RAVIK_WITH_RECORDING
    const QString wav = QString::fromLocal8Bit(argv[2]);
    window.openRecording(
        wav, QString::fromStdString(ravik::voicepack::gapFileBeside(wav.toStdString())));
    ravik::RecordingWindow* shown = window.recordingWindow();
    if (shown == nullptr || shown->recordingPath().isEmpty())
        return 1;
    shown->resize(1000, 380);
    QApplication::processEvents();
    shown->waveform().fitAll();
    shown->waveform().select(1); // a selected silence, as while editing
    shown->waveform().setPointerMs(
        shown->silenceList().size() > 1 ? static_cast<double>(shown->silenceList()[1].end) : 0);
    return save(*shown, argv[3]);
#else
    std::fprintf(stderr, "ui_screenshot: this build has no Recording window\n");
    return 2;
#endif
}
