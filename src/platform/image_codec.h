// Decoding BMP/DIB, PNG, TIFF and JPEG files into opaque 24-bit colours, and encoding them again
// (JPEG is only read).
#pragma once

#include <cstdint>
#include <stdexcept>
#include <string>
#include <vector>

namespace zolva {

// A decoded picture: packed colours R + 256 G + 65536 B, row-major, top row first.
struct RgbImage {
  int width = 0;
  int height = 0;
  std::vector<std::uint32_t> pixels;
  // False for a lossy format (JPEG), whose colours are near the drawn ones but seldom equal.
  bool exactColours = true;
};

// Every failure of a decoder or encoder: unreadable, malformed, truncated, unsupported or too
// large (above kMaxDecodedPixels) input.
class ImageError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// The fuzz build lowers the limit so that a header claiming a huge picture costs milliseconds,
// not a 400 MB allocation; the decoders' checks are the same at either limit.
#ifndef ZOLVA_MAX_DECODED_PIXELS
#define ZOLVA_MAX_DECODED_PIXELS 100'000'000
#endif
inline constexpr std::int64_t kMaxDecodedPixels = ZOLVA_MAX_DECODED_PIXELS;

// The format is recognised from the file's first bytes, not from its name.
RgbImage DecodeImageFile(const std::string& path);
RgbImage DecodeImageMemory(const std::uint8_t* data, std::size_t size);

void EncodeBmpFile(const std::string& path, const RgbImage& image);   // 24-bit BI_RGB
void EncodePngFile(const std::string& path, const RgbImage& image);   // 8-bit RGB
void EncodeTiffFile(const std::string& path, const RgbImage& image);  // 8-bit RGB
// Chooses the encoder by the extension in capitals: BMP or DIB, PNG, TIF or TIFF.
void EncodeImageFile(const std::string& path, const RgbImage& image, const std::string& extUpper);

}  // namespace zolva
