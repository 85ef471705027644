// SPDX-License-Identifier: GPL-3.0-or-later
// The Player on Windows, through the system's own wave output (winmm's waveOut): a queue of
// blocks the output plays in turn, refilled from the window's thread as it hands them back.
#include "playbackstretch.hpp"
#include "player.hpp"

#include <QElapsedTimer>
#include <QTimer>
#include <algorithm>
#include <array>
#include <cstdint>
#include <vector>
#include <windows.h>
// mmsystem.h needs the types of windows.h.
#include <mmsystem.h>

namespace ravik {
namespace {

// Blocks of 50 ms: ten of them are the half second kept queued.
constexpr int kBlockMs = 50;
constexpr std::size_t kBlocks = playback::kQueuedMs / kBlockMs;

struct Block {
    std::vector<char> bytes;
    WAVEHDR header{};
};

} // namespace

struct Player::State {
    bool hasOutput = waveOutGetNumDevs() > 0;
    std::optional<playback::Stretch> stretch;
    HWAVEOUT output = nullptr;
    WAVEFORMATEX format{};
    std::array<Block, kBlocks> blocks;
    QTimer ticker;
    QElapsedTimer started;
    std::uint64_t doneBytes = 0; // of the blocks the output handed back

    // Hands the output every block it has played, refilled.
    bool refill() {
        for (Block& block : blocks) {
            if ((block.header.dwFlags & WHDR_PREPARED) != 0 &&
                (block.header.dwFlags & WHDR_DONE) == 0)
                continue; // still queued
            if ((block.header.dwFlags & WHDR_PREPARED) != 0) {
                doneBytes += block.header.dwBufferLength;
                waveOutUnprepareHeader(output, &block.header, sizeof block.header);
            }
            const std::size_t filled = stretch->fill(block.bytes, playback::Stretch::Sample::Int16);
            block.header = {};
            block.header.lpData = block.bytes.data();
            block.header.dwBufferLength = static_cast<DWORD>(filled);
            if (waveOutPrepareHeader(output, &block.header, sizeof block.header) !=
                    MMSYSERR_NOERROR ||
                waveOutWrite(output, &block.header, sizeof block.header) != MMSYSERR_NOERROR)
                return false;
        }
        return true;
    }

    // What the output's own count says it has played, in whatever unit it answers with: one
    // that cannot count in samples gives bytes or milliseconds, and read as nothing, the
    // play-head stood still while the sound played.
    [[nodiscard]] double positionMs() const {
        MMTIME time{};
        time.wType = TIME_SAMPLES;
        if (waveOutGetPosition(output, &time, sizeof time) != MMSYSERR_NOERROR)
            return 0;
        switch (time.wType) {
        case TIME_SAMPLES:
            return static_cast<double>(time.u.sample) * 1000.0 / format.nSamplesPerSec;
        case TIME_BYTES:
            return static_cast<double>(time.u.cb) * 1000.0 / format.nAvgBytesPerSec;
        case TIME_MS:
            return static_cast<double>(time.u.ms);
        default:
            return 0;
        }
    }

    // What the output has played of the stretch so far: its count, and at least every block it
    // handed back. Some outputs (Wine's) count what they handed on to the sound server, a few
    // tens of milliseconds ahead of what was heard; none plays faster than time passes.
    [[nodiscard]] double playedMs() const {
        const double done = static_cast<double>(doneBytes) * 1000.0 / format.nAvgBytesPerSec;
        return std::min(std::max(positionMs(), done), static_cast<double>(started.elapsed()));
    }
};

Player::Player(QObject* parent)
    : QObject(parent)
    , state_(std::make_unique<State>()) {
    state_->ticker.setInterval(30);
    connect(&state_->ticker, &QTimer::timeout, this, &Player::tick);
}

Player::~Player() {
    blockSignals(true); // its window is going too
    stop();
}

// Asked once, when the window is made: the window asks on every change of its actions, and
// Wine's answer goes to the sound server each time.
std::optional<QString> Player::unavailableReason() const {
    if (!state_->hasOutput)
        return tr("No audio output device: nothing can be played here.");
    return std::nullopt;
}

bool Player::isPlaying() const {
    return state_->output != nullptr;
}

// The output counts the samples it has played; the stretch ends there, not where the queue ran
// dry (an underrun on a busy machine, after which it plays on once fed).
void Player::tick() {
    if (!state_->output)
        return;
    const playback::Stretch& stretch = *state_->stretch;
    const double played = state_->playedMs();
    emit positionChanged(stretch.fromMs() + std::min(played, stretch.lengthMs()));
    if (stretch.over(played, static_cast<double>(state_->started.elapsed())))
        return stop();
    if (!state_->refill()) {
        stop();
        emit failed(tr("Playing stopped: the sound output failed."));
    }
}

void Player::play(const QString& path, double fromMs, std::optional<double> toMs) {
    stop();
    playback::Stretch::Opened opened = playback::Stretch::open(path, fromMs, toMs);
    if (!opened.stretch) {
        emit failed(opened.failure);
        return;
    }
    State& state = *state_;
    playback::Stretch& stretch = state.stretch.emplace(std::move(*opened.stretch));
    WAVEFORMATEX& format = state.format;
    format = {};
    format.wFormatTag = WAVE_FORMAT_PCM;
    format.nChannels = static_cast<WORD>(stretch.outChannels());
    format.nSamplesPerSec = static_cast<DWORD>(stretch.sampleRate());
    format.wBitsPerSample = 16;
    format.nBlockAlign = static_cast<WORD>(format.nChannels * format.wBitsPerSample / 8);
    format.nAvgBytesPerSec = format.nSamplesPerSec * format.nBlockAlign;
    const MMRESULT result = waveOutOpen(&state.output, WAVE_MAPPER, &format, 0, 0, CALLBACK_NULL);
    if (result != MMSYSERR_NOERROR) {
        state.output = nullptr;
        state.stretch.reset();
        wchar_t reason[MAXERRORLENGTH] = {};
        waveOutGetErrorTextW(result, reason, MAXERRORLENGTH);
        emit failed(tr("Could not play \"%1\": the sound output refused it (%2).")
                        .arg(path, QString::fromWCharArray(reason)));
        return;
    }
    const std::size_t blockBytes =
        static_cast<std::size_t>(format.nAvgBytesPerSec) * kBlockMs / 1000;
    for (Block& block : state.blocks) {
        block.bytes.assign(blockBytes - blockBytes % format.nBlockAlign, 0);
        block.header = {};
    }
    state.doneBytes = 0;
    state.started.start();
    if (!state.refill()) {
        stop();
        emit failed(tr("Playing stopped: the sound output failed."));
        return;
    }
    state.ticker.start();
    emit positionChanged(stretch.fromMs());
}

void Player::stop() {
    if (!state_ || !state_->output)
        return;
    State& state = *state_;
    state.ticker.stop();
    // Reset hands back every queued block at once, so each can be unprepared.
    waveOutReset(state.output);
    for (Block& block : state.blocks)
        if ((block.header.dwFlags & WHDR_PREPARED) != 0)
            waveOutUnprepareHeader(state.output, &block.header, sizeof block.header);
    waveOutClose(state.output);
    state.output = nullptr;
    state.stretch.reset();
    emit stopped();
}

} // namespace ravik
