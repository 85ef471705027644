// SPDX-License-Identifier: GPL-3.0-or-later
#include "playbackstretch.hpp"

#include <QCoreApplication>
#include <algorithm>
#include <cmath>
#include <cstring>

namespace ravik::playback {

Stretch::Opened Stretch::open(const QString& path, double fromMs, std::optional<double> toMs) {
    auto opened = audio::SoundFile::open(path.toStdString());
    if (!opened.file)
        return {std::nullopt, QString::fromStdString(opened.failure->sentence())};
    Stretch stretch(std::move(*opened.file));
    audio::SoundFile& file = stretch.file_;
    const double rate = file.sampleRate();
    const auto first =
        std::clamp<std::int64_t>(std::llround(fromMs * rate / 1000.0), 0, file.frames());
    const std::int64_t last =
        toMs ? std::clamp<std::int64_t>(std::llround(*toMs * rate / 1000.0), first, file.frames())
             : file.frames();
    if (!file.seek(first))
        return {std::nullopt,
                QCoreApplication::translate("ravik::Player", "Could not play \"%1\": it cannot be "
                                                             "read from there.")
                    .arg(path)};
    stretch.left_ = last - first;
    stretch.fromMs_ = static_cast<double>(first) * 1000.0 / rate;
    stretch.lengthMs_ = static_cast<double>(last - first) * 1000.0 / rate;
    return {std::move(stretch), QString()};
}

std::size_t Stretch::fill(std::span<char> out, Sample sample) {
    const std::size_t sampleBytes = sample == Sample::Float ? sizeof(float) : sizeof(std::int16_t);
    const auto channels = static_cast<std::size_t>(file_.channels());
    const auto outChannels = static_cast<std::size_t>(this->outChannels());
    const std::size_t frameBytes = sampleBytes * outChannels;
    const std::size_t room = out.size() / frameBytes;
    const auto wanted =
        static_cast<std::size_t>(std::min<std::int64_t>(static_cast<std::int64_t>(room), left_));
    if (wanted == 0) {
        std::memset(out.data(), 0, room * frameBytes);
        return room * frameBytes;
    }
    buffer_.resize(wanted * channels);
    const std::size_t got = file_.readFrames(buffer_);
    left_ = got == 0 ? 0 : left_ - static_cast<std::int64_t>(got);
    for (std::size_t frame = 0; frame < got; ++frame)
        for (std::size_t channel = 0; channel < outChannels; ++channel) {
            const float value = buffer_[frame * channels + std::min(channel, channels - 1)];
            char* to = out.data() + (frame * outChannels + channel) * sampleBytes;
            if (sample == Sample::Float) {
                std::memcpy(to, &value, sizeof value);
            } else {
                const auto integer = static_cast<std::int16_t>(
                    std::lround(std::clamp(value, -1.0F, 1.0F) * 32767.0F));
                std::memcpy(to, &integer, sizeof integer);
            }
        }
    return got * frameBytes;
}

} // namespace ravik::playback
