#include "player.hpp"

#ifdef RAVIK_WITH_PLAYBACK

#include "audio/soundfile.hpp"

#include <QAudioDevice>
#include <QAudioFormat>
#include <QAudioSink>
#include <QElapsedTimer>
#include <QIODevice>
#include <QMediaDevices>
#include <QTimer>
#include <algorithm>
#include <cmath>
#include <cstring>
#include <vector>

namespace ravik {
namespace {

// Enough sound queued ahead to ride out a busy machine (the sink is fed from this thread);
// stopping drops what is queued, so it costs no delay.
constexpr qint64 kBufferUs = 500'000;
// How long past the stretch's end playing may take before it is given up (a stalled server).
constexpr qint64 kPatienceMs = 3'000;
// The silence played after the stretch before stopping: stopping drops whatever is still queued,
// and the sink's count of what was played is an estimate between its timing updates.
constexpr double kTailMs = 100.0;

// Hands the sink the recording's frames from one position to another, converted to its format,
// then silence: the sink never runs dry at the end, so everything up to the end is heard before
// the player stops it there.
class RecordingStream final : public QIODevice {
public:
    RecordingStream(audio::SoundFile file, std::int64_t frames, QAudioFormat format)
        : file_(std::move(file))
        , left_(frames)
        , format_(format) {}

    bool isSequential() const override { return true; }

protected:
    qint64 readData(char* data, qint64 maxSize) override {
        const int frameBytes = format_.bytesPerFrame();
        const auto channels = static_cast<std::size_t>(file_.channels());
        const auto outChannels = static_cast<std::size_t>(format_.channelCount());
        const std::int64_t wanted = std::min<std::int64_t>(maxSize / frameBytes, left_);
        if (wanted <= 0) {
            const qint64 silence = maxSize / frameBytes * frameBytes;
            std::memset(data, 0, static_cast<std::size_t>(silence));
            return silence;
        }
        buffer_.resize(static_cast<std::size_t>(wanted) * channels);
        const std::size_t got = file_.readFrames(buffer_);
        left_ = got == 0 ? 0 : left_ - static_cast<std::int64_t>(got);
        for (std::size_t frame = 0; frame < got; ++frame)
            for (std::size_t channel = 0; channel < outChannels; ++channel) {
                const float sample = buffer_[frame * channels + std::min(channel, channels - 1)];
                char* out = data + (frame * outChannels + channel) *
                                       static_cast<std::size_t>(format_.bytesPerSample());
                if (format_.sampleFormat() == QAudioFormat::Float) {
                    std::memcpy(out, &sample, sizeof sample);
                } else {
                    const auto value = static_cast<std::int16_t>(
                        std::lround(std::clamp(sample, -1.0F, 1.0F) * 32767.0F));
                    std::memcpy(out, &value, sizeof value);
                }
            }
        return static_cast<qint64>(got) * frameBytes;
    }
    qint64 writeData(const char*, qint64) override { return -1; }

private:
    audio::SoundFile file_;
    std::int64_t left_;
    QAudioFormat format_;
    std::vector<float> buffer_;
};

} // namespace

struct Player::State {
    std::unique_ptr<QAudioSink> sink;
    std::unique_ptr<RecordingStream> stream;
    QTimer ticker;
    QElapsedTimer started;
    double fromMs = 0;
    double lengthMs = 0;
};

Player::Player(QObject* parent)
    : QObject(parent)
    , state_(std::make_unique<State>()) {
    state_->ticker.setInterval(30);
    connect(&state_->ticker, &QTimer::timeout, this, &Player::tick);
}

// The sink counts what it has played; the stretch ends there, not where its buffer ran dry
// (an underrun on a busy machine, after which it plays on).
void Player::tick() {
    if (!state_->sink)
        return;
    const double played = static_cast<double>(state_->sink->processedUSecs()) / 1000.0;
    emit positionChanged(state_->fromMs + std::min(played, state_->lengthMs));
    if (played >= state_->lengthMs + kTailMs ||
        state_->started.elapsed() > static_cast<qint64>(state_->lengthMs) + kPatienceMs)
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
    auto opened = audio::SoundFile::open(path.toStdString());
    if (!opened.file) {
        emit failed(QString::fromStdString(opened.failure->sentence()));
        return;
    }
    audio::SoundFile& file = *opened.file;
    const double rate = file.sampleRate();
    const auto first =
        std::clamp<std::int64_t>(std::llround(fromMs * rate / 1000.0), 0, file.frames());
    const std::int64_t last =
        toMs ? std::clamp<std::int64_t>(std::llround(*toMs * rate / 1000.0), first, file.frames())
             : file.frames();
    if (!file.seek(first)) {
        emit failed(tr("Could not play \"%1\": it cannot be read from there.").arg(path));
        return;
    }
    const QAudioDevice device = QMediaDevices::defaultAudioOutput();
    QAudioFormat format;
    format.setSampleRate(file.sampleRate());
    format.setChannelCount(std::min(file.channels(), 2));
    format.setSampleFormat(QAudioFormat::Float);
    if (!device.isFormatSupported(format))
        format.setSampleFormat(QAudioFormat::Int16);
    state_->fromMs = static_cast<double>(first) * 1000.0 / rate;
    state_->lengthMs = static_cast<double>(last - first) * 1000.0 / rate;
    state_->stream = std::make_unique<RecordingStream>(file, last - first, format);
    state_->stream->open(QIODevice::ReadOnly);
    state_->sink = std::make_unique<QAudioSink>(device, format);
    state_->sink->setBufferSize(format.bytesForDuration(kBufferUs));
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
    emit positionChanged(state_->fromMs);
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
    emit stopped();
}

} // namespace ravik

#else // without Qt Multimedia

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
