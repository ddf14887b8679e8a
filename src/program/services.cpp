#include "program/services.h"

#include <cstdio>
#include <memory>
#include <vector>

#include "core/utility.h"
#include "program/context.h"
#include "program/reporting.h"

namespace zolva {

std::string ProgramFolder(Context& ctx) {
  constexpr std::size_t kMaxPath = 255;
  std::string path = ctx.platform->ProgramFilePath();
  std::size_t slash = path.find_last_of("/\\");
  std::string folder;
  if (slash == std::string::npos) {
    // A bare file name lives in the working folder. An empty folder with a separator appended
    // would name the root folder instead.
    folder = "./";
  } else {
    folder = path.substr(0, slash + 1);
  }
  if (folder.size() > kMaxPath) folder.resize(kMaxPath);
  if (folder.back() != '/' && folder.back() != '\\') folder += '/';
  return folder;
}

int OpenDocument(Context& ctx, const std::string& path, const std::string& parameters, int show) {
  return ctx.platform->OpenDocument(path, parameters, show);
}

bool PlaySoundFile(Context& ctx, const std::string& path) {
  return ctx.platform->PlaySoundFile(path);
}

void PlayTone(Context& ctx, int frequency, int milliseconds, int volume) {
  if (frequency > 0.6 * kToneSampleRate) {
    char text[128];
    std::snprintf(text, sizeof text, "Sample rate of %d is too Low to play a tone of %dHz",
                  kToneSampleRate, frequency);
    MessageBox(ctx, text, "zolva", ButtonsOk);
    return;
  }
  auto image = std::make_shared<const std::vector<std::uint8_t>>(
      BuildToneImage(frequency, milliseconds, volume));
  ctx.platform->PlayWave(image, ctx.toneMode);
}

void Tone(Context& ctx, int value) {
  if (value != 0) {
    ctx.toneMode = SoundMode::AsyncLoop;
    PlayTone(ctx, value, 1000, 60);
  } else {
    ctx.toneMode = SoundMode::Async;
    PlayTone(ctx, 1000, 1, 60);
  }
}

}  // namespace zolva
