// Shared pieces of the image codecs: the per-format decoders behind DecodeImageMemory, the
// whole-file reader and writer, and the alpha flattening that every format uses.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "platform/image_codec.h"

namespace zolva::image_detail {

// Files above this size are refused before they are read.
inline constexpr std::uint64_t kMaxImageFileBytes = std::uint64_t{1} << 30;

// Throws ImageError unless 0 < width, 0 < height and width * height <= kMaxDecodedPixels.
// Every decoder calls it before it allocates the picture.
void CheckDecodedSize(std::int64_t width, std::int64_t height, const char* format);

// Transparent pixels are composited onto white: a Usermap is a drawing whose background is
// paper-white, so a see-through area reads as background, never as a black conductor.
// `rgba` holds R + 256 G + 65536 B + 16777216 A per pixel and becomes opaque in place.
// With `premultiplied` the colour components are already multiplied by alpha.
void FlattenOntoWhite(std::vector<std::uint32_t>& rgba, bool premultiplied);

// A BMP file ("BM" and the 14-byte file header) or a DIB without file header (starting with
// the size of its info header).
RgbImage DecodeBmp(const std::uint8_t* data, std::size_t size);
RgbImage DecodeHeaderlessDib(const std::uint8_t* data, std::size_t size);
RgbImage DecodePng(const std::uint8_t* data, std::size_t size);
RgbImage DecodeTiff(const std::uint8_t* data, std::size_t size);
// Baseline and progressive JPEG; the image it returns has exactColours false.
RgbImage DecodeJpeg(const std::uint8_t* data, std::size_t size);

// The encoders build the whole file in memory, so a failure half-way never leaves a damaged
// file behind; only WriteWholeFile touches the disk.
std::vector<std::uint8_t> EncodeBmp(const RgbImage& image);
std::vector<std::uint8_t> EncodePng(const RgbImage& image);
std::vector<std::uint8_t> EncodeTiff(const RgbImage& image);

// Throws ImageError unless the image has a positive size within kMaxDecodedPixels and exactly
// width * height pixels.
void CheckEncodable(const RgbImage& image);

std::vector<std::uint8_t> ReadWholeFile(const std::string& path);
void WriteWholeFile(const std::string& path, const std::vector<std::uint8_t>& bytes);

}  // namespace zolva::image_detail
