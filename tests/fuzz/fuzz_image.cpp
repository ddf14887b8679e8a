// The image decoders by content: DecodeImageMemory recognises BMP, headerless DIB, PNG and TIFF
// from the first bytes, so one harness reaches every decoder, JPEG among them (the seeds hold
// baseline, progressive, greyscale and 4:4:4 files).
#include <cstddef>
#include <cstdint>
#include <cstdlib>

#include "platform/image_codec.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  try {
    const zolva::RgbImage image = zolva::DecodeImageMemory(data, size);
    // A decoded picture is whole and opaque.
    if (image.width <= 0 || image.height <= 0 ||
        image.pixels.size() != static_cast<std::size_t>(image.width) * image.height)
      std::abort();
    for (std::uint32_t p : image.pixels)
      if (p > 0xFFFFFFu) std::abort();
  } catch (const zolva::ImageError&) {
    // Refused with a reason: the sound answer to a bad file.
  }
  return 0;
}
