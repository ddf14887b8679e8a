#include "ui/wave_player.h"

#include <QAudioDevice>
#include <QAudioFormat>
#include <QAudioSink>
#include <QEventLoop>
#include <QIODevice>
#include <QMediaDevices>
#include <QTimer>
#include <algorithm>
#include <cstring>

namespace zolva {

namespace {

std::uint32_t Read32(const std::vector<std::uint8_t>& b, std::size_t at) {
  return b[at] | (b[at + 1] << 8) | (b[at + 2] << 16) |
         (static_cast<std::uint32_t>(b[at + 3]) << 24);
}
std::uint16_t Read16(const std::vector<std::uint8_t>& b, std::size_t at) {
  return static_cast<std::uint16_t>(b[at] | (b[at + 1] << 8));
}
bool Tag(const std::vector<std::uint8_t>& b, std::size_t at, const char* tag) {
  return at + 4 <= b.size() && std::memcmp(b.data() + at, tag, 4) == 0;
}

}  // namespace

WaveData ParseWave(const std::vector<std::uint8_t>& b) {
  WaveData w;
  if (!Tag(b, 0, "RIFF") || !Tag(b, 8, "WAVE")) return w;
  bool format = false;
  std::size_t at = 12;
  while (at + 8 <= b.size()) {
    const std::size_t size = Read32(b, at + 4);
    const std::size_t body = at + 8;
    if (size > b.size() - body) return WaveData{};
    if (Tag(b, at, "fmt ") && size >= 16) {
      if (Read16(b, body) != 1) return WaveData{};  // PCM only
      w.channels = Read16(b, body + 2);
      w.sampleRate = static_cast<int>(Read32(b, body + 4));
      w.bitsPerSample = Read16(b, body + 14);
      format = true;
    } else if (Tag(b, at, "data")) {
      w.dataOffset = body;
      w.dataSize = size;
      w.valid = format && (w.bitsPerSample == 8 || w.bitsPerSample == 16) && w.channels >= 1 &&
                w.sampleRate > 0;
      return w;
    }
    at = body + size + (size & 1);  // chunks are padded to an even length
  }
  return WaveData{};
}

// Serves the samples of one image, from the start again at its end when looping. The image is
// shared, so it stays alive for as long as the sink reads it.
class LoopingWaveSource final : public QIODevice {
 public:
  LoopingWaveSource(WaveImage image, WaveData data, bool loop)
      : image_(std::move(image)), data_(data), loop_(loop) {}
  bool isSequential() const override { return true; }
  qint64 bytesAvailable() const override {
    if (loop_) return qint64{1} << 30;
    return static_cast<qint64>(data_.dataSize - position_) + QIODevice::bytesAvailable();
  }

 protected:
  qint64 readData(char* out, qint64 maxSize) override {
    qint64 written = 0;
    while (written < maxSize && data_.dataSize > 0) {
      if (position_ >= data_.dataSize) {
        if (!loop_) break;
        position_ = 0;
      }
      const std::size_t n = std::min<std::size_t>(static_cast<std::size_t>(maxSize - written),
                                                  data_.dataSize - position_);
      std::memcpy(out + written, image_->data() + data_.dataOffset + position_, n);
      position_ += n;
      written += static_cast<qint64>(n);
    }
    return written;
  }
  qint64 writeData(const char*, qint64) override { return -1; }

 private:
  WaveImage image_;
  WaveData data_;
  bool loop_;
  std::size_t position_ = 0;
};

WavePlayer::WavePlayer() = default;

WavePlayer::~WavePlayer() {
  Stop();
}

void WavePlayer::Stop() {
  if (sink_) sink_->stop();
  sink_.reset();
  source_.reset();
}

bool WavePlayer::Play(WaveImage image, SoundMode mode) {
  Stop();
  if (!image) return false;
  const WaveData data = ParseWave(*image);
  if (!data.valid) return false;
  const QAudioDevice device = QMediaDevices::defaultAudioOutput();
  if (device.isNull()) return false;
  QAudioFormat format;
  format.setSampleRate(data.sampleRate);
  format.setChannelCount(data.channels);
  format.setSampleFormat(data.bitsPerSample == 8 ? QAudioFormat::UInt8 : QAudioFormat::Int16);
  if (!device.isFormatSupported(format)) return false;

  source_ = std::make_unique<LoopingWaveSource>(image, data, mode == SoundMode::AsyncLoop);
  source_->open(QIODevice::ReadOnly);
  sink_ = std::make_unique<QAudioSink>(device, format);
  sink_->start(source_.get());
  if (sink_->error() != QAudio::NoError) {
    Stop();
    return false;
  }
  if (mode == SoundMode::Sync) {
    // Wait for the sink to run dry, at most the image's length and a margin for the device.
    const int bytesPerSecond = data.sampleRate * data.channels * (data.bitsPerSample / 8);
    const int ms = static_cast<int>(1000.0 * static_cast<double>(data.dataSize) / bytesPerSecond);
    QEventLoop loop;
    QObject::connect(sink_.get(), &QAudioSink::stateChanged, &loop, [&loop](QAudio::State s) {
      if (s == QAudio::IdleState || s == QAudio::StoppedState) loop.quit();
    });
    QTimer::singleShot(ms + 500, &loop, &QEventLoop::quit);
    loop.exec(QEventLoop::ExcludeUserInputEvents);
    Stop();
  }
  return true;
}

}  // namespace zolva
