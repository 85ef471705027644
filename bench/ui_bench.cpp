// SPDX-License-Identifier: GPL-3.0-or-later
// Opening a file in the main window against the core's own work for the same file, and what
// the window does with the largest file accepted: open it, scroll the list, refresh.
#include "core/actions/gapfile.hpp"
#include "ui/Form1.hpp"

#include <QAbstractItemView>
#include <QApplication>
#include <QScrollBar>
#include <benchmark/benchmark.h>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

namespace {

// Every start 1 ms after the previous end: 32,768 records is the largest file that passes the
// check; beyond it the times are 32-bit and the check stops at the first high word.
std::string gapFile(std::int64_t records) {
    const std::string path = (std::filesystem::temp_directory_path() /
                              ("ravik-ui-bench-" + std::to_string(records) + ".gap"))
                                 .string();
    std::vector<std::uint8_t> bytes;
    const auto put = [&](std::uint32_t value) {
        for (int shift = 0; shift < 32; shift += 8)
            bytes.push_back(static_cast<std::uint8_t>((value >> shift) & 0xFFU));
    };
    for (std::int64_t i = 0; i < records; ++i) {
        const auto start = static_cast<std::uint32_t>(records <= 32768 ? i : 100 * i + 1);
        put(start);
        put(records <= 32768 ? start : start + 60);
    }
    std::ofstream(path, std::ios::binary)
        .write(reinterpret_cast<const char*>(bytes.data()),
               static_cast<std::streamsize>(bytes.size()));
    return path;
}

struct Window {
    Window()
        : form([](const ravik::StatusSink&) {}) {
        form.show();
        QApplication::processEvents();
    }
    ravik::Form1 form;
};

// What the window shows of a file, computed by the core alone.
void BM_CoreOpen(benchmark::State& state) {
    const std::string path = gapFile(state.range(0));
    for (auto _ : state) {
        benchmark::DoNotOptimize(ravik::buildTimeline(path, ravik::kTimelinePicture, "."));
        benchmark::DoNotOptimize(ravik::checkStructure(path));
    }
}

// The open command with the file chosen: list, timeline, statistics and verdict, painted.
void BM_WindowOpen(benchmark::State& state) {
    const QString path = QString::fromStdString(gapFile(state.range(0)));
    Window window;
    for (auto _ : state) {
        window.form.openPath(path);
        window.form.repaint();
    }
}

// With the largest file open: one page of the list scrolled and painted.
void BM_WindowScrollAfterLargestOpen(benchmark::State& state) {
    Window window;
    window.form.openPath(QString::fromStdString(gapFile(state.range(0))));
    auto* list = window.form.findChild<QAbstractItemView*>(QStringLiteral("Sts"));
    QScrollBar* bar = list->verticalScrollBar();
    int step = 0;
    for (auto _ : state) {
        bar->setValue(bar->maximum() / 97 * (++step % 97));
        list->viewport()->repaint();
    }
}

// With the largest file open: the Refresh button's redraw.
void BM_WindowRefreshAfterLargestOpen(benchmark::State& state) {
    Window window;
    window.form.openPath(QString::fromStdString(gapFile(state.range(0))));
    for (auto _ : state) {
        window.form.Graph();
        window.form.repaint();
    }
}

} // namespace

BENCHMARK(BM_CoreOpen)->Arg(32768)->Arg(1048576)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_WindowOpen)->Arg(32768)->Arg(1048576)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_WindowScrollAfterLargestOpen)->Arg(1048576)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_WindowRefreshAfterLargestOpen)
    ->Arg(1048576)
    ->Unit(benchmark::kMillisecond)
    ->Iterations(3);
