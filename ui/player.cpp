// SPDX-License-Identifier: GPL-3.0-or-later
#include "player.hpp"

#ifdef RAVIK_PLAYBACK_QT

#include "playbackstretch.hpp"

#include <QAudioDevice>
#include <QAudioFormat>
#include <QAudioSink>
#include <QElapsedTimer>
#include <QIODevice>
#include <QMediaDevices>
#include <QTimer>
#include <algorithm>
#include <span>

namespace ravik {
namespace {

// Hands the sink the stretch, converted to its format, then silence.
class RecordingStream final : public QIODevice {
public:
    RecordingStream(playback::Stretch& stretch, playback::Stretch::Sample sample)
        : stretch_(stretch)
        , sample_(sample) {}

    bool isSequential() const override { return true; }
    /// The bytes handed to the sink so far (opened unbuffered, so every byte read went there).
    [[nodiscard]] qint64 handed() const { return handed_; }

protected:
    qint64 readData(char* data, qint64 maxSize) override {
        const auto filled = static_cast<qint64>(
            stretch_.fill(std::span(data, static_cast<std::size_t>(maxSize)), sample_));
        handed_ += filled;
        return filled;
    }
    qint64 writeData(const char*, qint64) override { return -1; }

private:
    playback::Stretch& stretch_;
    playback::Stretch::Sample sample_;
    qint64 handed_ = 0;
};

} // namespace

struct Player::State {
    std::optional<playback::Stretch> stretch;
    std::unique_ptr<QAudioSink> sink;
    std::unique_ptr<RecordingStream> stream;
    QAudioFormat format;
    QTimer ticker;
    QElapsedTimer started;
    double takenMs = 0;   // what the server had taken when that last grew
    double takenAtMs = 0; // when that was seen
    double stepMs = 0;    // by how much it grew then
    double headMs = 0;    // the play-head, never going back

    // What the server has taken of the stream: what was handed to the sink less what still
    // waits in its buffer. It moves as soon as the first block is taken, unlike processedUSecs.
    [[nodiscard]] double serverTookMs() const {
        const qint64 waiting = std::max<qint64>(0, sink->bufferSize() - sink->bytesFree());
        const qint64 taken = std::max<qint64>(0, stream->handed() - waiting);
        return static_cast<double>(taken) * 1000.0 / format.bytesPerFrame() / format.sampleRate();
    }

    // The play-head `elapsedMs` after playing started. The server takes a block at a time and
    // plays it at the pace of time, so between two the head goes on, by a block at most.
    double follow(double elapsedMs) {
        if (const double took = serverTookMs(); took > takenMs) {
            stepMs = took - takenMs;
            takenMs = took;
            takenAtMs = elapsedMs;
        }
        const double going = takenMs > 0 ? takenMs + std::min(elapsedMs - takenAtMs, stepMs) : 0.0;
        headMs = std::max(headMs, std::min(going, elapsedMs));
        return headMs;
    }
};

Player::Player(QObject* parent)
    : QObject(parent)
    , state_(std::make_unique<State>()) {
    state_->ticker.setInterval(30);
    connect(&state_->ticker, &QTimer::timeout, this, &Player::tick);
}

// The play-head follows what the server has taken: processedUSecs subtracts the server's latency
// only once the stream has played longer than it, so it ran ahead and then stood still at the
// start. Stopping still waits for processedUSecs, late rather than early, so the end is heard.
void Player::tick() {
    if (!state_->sink)
        return;
    const playback::Stretch& stretch = *state_->stretch;
    const auto elapsed = static_cast<double>(state_->started.elapsed());
    emit positionChanged(stretch.fromMs() + std::min(state_->follow(elapsed), stretch.lengthMs()));
    const double played = static_cast<double>(state_->sink->processedUSecs()) / 1000.0;
    if (stretch.over(played, elapsed))
        stop();
}

Player::~Player() {
    blockSignals(true); // its window is going too
    stop();
}

std::optional<QString> Player::unavailableReason() const {
    if (QMediaDevices::defaultAudioOutput().isNull())
        return tr("No audio output device: nothing can be played here.");
    return std::nullopt;
}

bool Player::isPlaying() const {
    return state_->sink != nullptr;
}

void Player::play(const QString& path, double fromMs, std::optional<double> toMs) {
    stop();
    playback::Stretch::Opened opened = playback::Stretch::open(path, fromMs, toMs);
    if (!opened.stretch) {
        emit failed(opened.failure);
        return;
    }
    playback::Stretch& stretch = state_->stretch.emplace(std::move(*opened.stretch));
    const QAudioDevice device = QMediaDevices::defaultAudioOutput();
    QAudioFormat format;
    format.setSampleRate(stretch.sampleRate());
    format.setChannelCount(stretch.outChannels());
    format.setSampleFormat(QAudioFormat::Float);
    if (!device.isFormatSupported(format))
        format.setSampleFormat(QAudioFormat::Int16);
    state_->stream = std::make_unique<RecordingStream>(
        stretch, format.sampleFormat() == QAudioFormat::Float ? playback::Stretch::Sample::Float
                                                              : playback::Stretch::Sample::Int16);
    state_->stream->open(QIODevice::ReadOnly | QIODevice::Unbuffered);
    state_->format = format;
    state_->takenMs = state_->takenAtMs = state_->stepMs = state_->headMs = 0;
    state_->sink = std::make_unique<QAudioSink>(device, format);
    state_->sink->setBufferSize(format.bytesForDuration(qint64{playback::kQueuedMs} * 1000));
    connect(state_->sink.get(), &QAudioSink::stateChanged, this, [this](QAudio::State now) {
        if (now != QAudio::StoppedState || !state_->sink)
            return; // idle is an underrun: the sink plays on when fed again
        const QAudio::Error error = state_->sink->error();
        QTimer::singleShot(0, this, [this, error] { // not from inside the sink's own signal
            stop();
            if (error != QAudio::NoError)
                emit failed(tr("Playing stopped: the sound output failed."));
        });
    });
    state_->started.start();
    state_->sink->start(state_->stream.get());
    state_->ticker.start();
    emit positionChanged(stretch.fromMs());
}

void Player::stop() {
    if (!state_ || !state_->sink)
        return;
    state_->ticker.stop();
    auto sink = std::move(state_->sink);
    sink->disconnect(this);
    sink->stop();
    sink.reset();
    state_->stream.reset();
    state_->stretch.reset();
    emit stopped();
}

} // namespace ravik

#elif !defined(RAVIK_PLAYBACK_WAVEOUT) // without a sound output (player_windows.cpp has one)

namespace ravik {

struct Player::State {};

Player::Player(QObject* parent)
    : QObject(parent) {}

Player::~Player() = default;

std::optional<QString> Player::unavailableReason() const {
    return tr("This build of the program has no sound output (it was made without Qt "
              "Multimedia).");
}

bool Player::isPlaying() const {
    return false;
}

void Player::play(const QString&, double, std::optional<double>) {}

void Player::stop() {}

} // namespace ravik

#endif
