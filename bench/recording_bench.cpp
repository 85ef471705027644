// SPDX-License-Identifier: GPL-3.0-or-later
// The Recording window: opening a recording and painting it, the repaint of an edge drag at
// each zoom, and a 10-minute recording's opening time and memory.
#include "ui/Form1.hpp"
#include "ui/recordingwindow.hpp"
#include "ui/waveformview.hpp"

#include <QApplication>
#include <QMouseEvent>
#include <QUndoStack>
#include <algorithm>
#include <benchmark/benchmark.h>
#include <cmath>
#include <filesystem>
#include <sndfile.h>
#include <string>
#include <sys/resource.h>
#include <vector>

namespace {

// Speech-like bursts: a 220 Hz tone under a slow on/off envelope with a little noise, written in
// blocks so that making the file takes no memory of its own.
std::string recording(int seconds, int channels) {
    const std::string path = (std::filesystem::temp_directory_path() /
                              ("ravik-recording-bench-" + std::to_string(seconds) + "s-" +
                               std::to_string(channels) + ".wav"))
                                 .string();
    if (std::filesystem::exists(path))
        return path;
    constexpr int kRate = 48'000;
    SF_INFO info{};
    info.samplerate = kRate;
    info.channels = channels;
    info.format = SF_FORMAT_WAV | SF_FORMAT_PCM_16;
    SNDFILE* file = sf_open(path.c_str(), SFM_WRITE, &info);
    std::vector<float> block(static_cast<std::size_t>(kRate * channels));
    std::uint32_t noise = 1;
    for (int second = 0; second < seconds; ++second) {
        for (int i = 0; i < kRate; ++i) {
            const double t = second + static_cast<double>(i) / kRate;
            const bool speaking = std::fmod(t, 1.3) < 0.9;
            noise = noise * 1'664'525U + 1'013'904'223U;
            const double value = (speaking ? 0.5 * std::sin(2 * M_PI * 220 * t) : 0.0) +
                                 (static_cast<double>(noise >> 8) / (1U << 24) - 0.5) * 0.002;
            for (int c = 0; c < channels; ++c)
                block[static_cast<std::size_t>(i * channels + c)] = static_cast<float>(value);
        }
        sf_writef_float(file, block.data(), kRate);
    }
    sf_close(file);
    return path;
}

QString gapBeside(const std::string& wav) {
    return QString::fromStdString(std::filesystem::path(wav).replace_extension(".gap").string());
}

struct Windows {
    Windows()
        : form([](const ravik::StatusSink&) {}) {}
    ravik::RecordingWindow& open(const std::string& wav) {
        form.openRecording(QString::fromStdString(wav), gapBeside(wav));
        QApplication::processEvents();
        return *form.recordingWindow();
    }
    ravik::Form1 form;
};

// Opening a 30-second 48 kHz stereo recording, to the first paint.
void BM_OpenAndPaint30s(benchmark::State& state) {
    const std::string wav = recording(30, 2);
    Windows windows;
    for (auto _ : state) {
        ravik::RecordingWindow& window = windows.open(wav);
        window.waveform().repaint();
    }
}

// One step of dragging an edge: the edit, its undo merge and the repaint, at the zoom given in
// microseconds of recording per pixel (0: the whole recording in view).
void BM_EdgeDragRepaint(benchmark::State& state) {
    const std::string wav = recording(30, 2);
    std::filesystem::remove(gapBeside(wav).toStdString());
    Windows windows;
    ravik::RecordingWindow& window = windows.open(wav);
    window.resize(1200, 400);
    window.show();
    QApplication::processEvents();
    ravik::WaveformView& view = window.waveform();
    window.setSilences({{10'000, 12'000}}, std::nullopt);
    const double perPixel = static_cast<double>(state.range(0)) / 1000.0;
    if (perPixel > 0)
        view.setView(12'000 - view.width() / 2.0 * perPixel, perPixel);
    const QPointF edge(view.xAt(12'000), view.height() / 2.0);
    QMouseEvent press(QEvent::MouseButtonPress, edge, view.mapToGlobal(edge), Qt::LeftButton,
                      Qt::LeftButton, {});
    QApplication::sendEvent(&view, &press);
    // Far enough that every step moves the edge by a millisecond at the closest zoom too.
    const double stride = perPixel > 0 ? std::max(1.0, std::ceil(1.0 / perPixel)) : 1.0;
    int step = 0;
    for (auto _ : state) {
        const QPointF to = edge + QPointF(++step % 2 == 0 ? 0 : stride, 0);
        QMouseEvent move(QEvent::MouseMove, to, view.mapToGlobal(to), Qt::NoButton, Qt::LeftButton,
                         {});
        QApplication::sendEvent(&view, &move);
        view.repaint();
    }
    state.counters["undo_steps"] = window.undoStack().count(); // 1: the drag merged
}

// A 10-minute 48 kHz recording: the time to open and paint it, and the program's peak memory.
void BM_OpenTenMinutes(benchmark::State& state) {
    const std::string wav = recording(600, 1);
    Windows windows;
    for (auto _ : state) {
        ravik::RecordingWindow& window = windows.open(wav);
        window.waveform().repaint();
    }
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    state.counters["peak_resident_MB"] = static_cast<double>(usage.ru_maxrss) / 1024.0;
}

} // namespace

// The ten-minute one runs first, so that its peak memory is its own.
BENCHMARK(BM_OpenTenMinutes)->Unit(benchmark::kMillisecond)->Iterations(3);
BENCHMARK(BM_OpenAndPaint30s)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_EdgeDragRepaint)
    ->Arg(0)
    ->Arg(10'000)
    ->Arg(1'000)
    ->Arg(50)
    ->Unit(benchmark::kMillisecond);
