// Plays WAV images held in memory through Qt Multimedia: a PCM image is fed to an audio sink,
// once or looping until the next image replaces it. Without an audio device nothing plays and
// nothing fails.
#pragma once

#include <QObject>
#include <cstdint>
#include <memory>
#include <vector>

#include "platform/platform.h"

class QAudioSink;

namespace zolva {

// The PCM data and format of a WAV image; valid only for 8- or 16-bit PCM.
struct WaveData {
  bool valid = false;
  int sampleRate = 0;
  int channels = 0;
  int bitsPerSample = 0;
  std::size_t dataOffset = 0;
  std::size_t dataSize = 0;
};
// Reads the RIFF chunks of an image; a chunk that runs past the end makes it invalid.
WaveData ParseWave(const std::vector<std::uint8_t>& image);

class LoopingWaveSource;

class WavePlayer {
 public:
  WavePlayer();
  ~WavePlayer();
  // Starts the image, replacing whatever plays; returns false when it cannot be played (no
  // device, a format the device refuses, not a PCM image). Sync waits for the end.
  bool Play(WaveImage image, SoundMode mode);

 private:
  void Stop();
  std::unique_ptr<QAudioSink> sink_;
  std::unique_ptr<LoopingWaveSource> source_;
};

}  // namespace zolva
