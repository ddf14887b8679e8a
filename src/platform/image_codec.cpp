// Format recognition, file input and output, and the pieces that every image codec shares.
#include "platform/image_codec.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <memory>
#include <system_error>

#include "platform/image_codec_internal.h"

namespace zolva {
namespace image_detail {

void CheckDecodedSize(std::int64_t width, std::int64_t height, const char* format) {
  if (width <= 0 || height <= 0) {
    throw ImageError(std::string(format) + " image has a non-positive size " +
                     std::to_string(width) + " x " + std::to_string(height));
  }
  // Each factor is checked first so that the product cannot overflow.
  if (width > kMaxDecodedPixels || height > kMaxDecodedPixels ||
      width * height > kMaxDecodedPixels) {
    throw ImageError(std::string(format) + " image of " + std::to_string(width) + " x " +
                     std::to_string(height) + " pixels exceeds the limit of " +
                     std::to_string(kMaxDecodedPixels) + " pixels");
  }
}

void FlattenOntoWhite(std::vector<std::uint32_t>& rgba, bool premultiplied) {
  for (std::uint32_t& p : rgba) {
    const std::uint32_t a = p >> 24;
    std::uint32_t out = 0;
    for (int shift = 0; shift < 24; shift += 8) {
      const std::uint32_t c = (p >> shift) & 0xFFu;
      // Over white: c a + 255 (255 - a), divided by 255 and rounded; a premultiplied
      // component already is c a / 255.
      std::uint32_t v = premultiplied ? c + (255u - a) : (c * a + 255u * (255u - a) + 127u) / 255u;
      if (v > 255u) v = 255u;
      out |= v << shift;
    }
    p = out;
  }
}

void CheckEncodable(const RgbImage& image) {
  if (image.width <= 0 || image.height <= 0 ||
      static_cast<std::int64_t>(image.width) * image.height > kMaxDecodedPixels) {
    throw ImageError("cannot encode an image of " + std::to_string(image.width) + " x " +
                     std::to_string(image.height) + " pixels");
  }
  if (image.pixels.size() !=
      static_cast<std::size_t>(image.width) * static_cast<std::size_t>(image.height)) {
    throw ImageError("cannot encode an image whose pixel count " +
                     std::to_string(image.pixels.size()) + " does not match its size " +
                     std::to_string(image.width) + " x " + std::to_string(image.height));
  }
}

namespace {

struct FileCloser {
  void operator()(std::FILE* f) const { std::fclose(f); }
};
using FilePtr = std::unique_ptr<std::FILE, FileCloser>;

std::string ErrnoText() {
  return std::strerror(errno);
}

}  // namespace

std::vector<std::uint8_t> ReadWholeFile(const std::string& path) {
  std::error_code ec;
  const auto status = std::filesystem::status(path, ec);
  if (!ec && std::filesystem::is_directory(status)) {
    throw ImageError("cannot read image file '" + path + "': it is a directory");
  }
  std::vector<std::uint8_t> bytes;
  if (!ec && std::filesystem::is_regular_file(status)) {
    const std::uintmax_t size = std::filesystem::file_size(path, ec);
    if (!ec && size > kMaxImageFileBytes) {
      throw ImageError("image file '" + path + "' is larger than 1 GiB");
    }
    if (!ec) bytes.reserve(static_cast<std::size_t>(size));
  }
  FilePtr file(std::fopen(path.c_str(), "rb"));
  if (!file) throw ImageError("cannot open image file '" + path + "': " + ErrnoText());
  // The file is read to its real end, which a growing or special file may place beyond the
  // size seen above, so the cap is enforced again while reading.
  std::uint8_t chunk[65536];
  for (;;) {
    const std::size_t got = std::fread(chunk, 1, sizeof chunk, file.get());
    if (got > 0) {
      if (bytes.size() + got > kMaxImageFileBytes) {
        throw ImageError("image file '" + path + "' is larger than 1 GiB");
      }
      bytes.insert(bytes.end(), chunk, chunk + got);
    }
    if (got < sizeof chunk) {
      if (std::ferror(file.get())) {
        throw ImageError("cannot read image file '" + path + "': " + ErrnoText());
      }
      break;
    }
  }
  return bytes;
}

void WriteWholeFile(const std::string& path, const std::vector<std::uint8_t>& bytes) {
  FilePtr file(std::fopen(path.c_str(), "wb"));
  if (!file) throw ImageError("cannot create image file '" + path + "': " + ErrnoText());
  if (std::fwrite(bytes.data(), 1, bytes.size(), file.get()) != bytes.size()) {
    throw ImageError("cannot write image file '" + path + "': " + ErrnoText());
  }
  std::FILE* raw = file.release();
  if (std::fclose(raw) != 0) {
    throw ImageError("cannot write image file '" + path + "': " + ErrnoText());
  }
}

}  // namespace image_detail

namespace {

bool StartsWith(const std::uint8_t* data, std::size_t size, const char* magic, std::size_t n) {
  return size >= n && std::memcmp(data, magic, n) == 0;
}

// Info header sizes of the DIB variants: core (OS/2 1.x), Windows 3.x, the two Adobe bit-field
// extensions, OS/2 2.x, V4 and V5.
bool IsDibHeaderSize(std::uint32_t n) {
  return n == 12 || n == 40 || n == 52 || n == 56 || n == 64 || n == 108 || n == 124;
}

}  // namespace

RgbImage DecodeImageMemory(const std::uint8_t* data, std::size_t size) {
  if (data == nullptr || size == 0) throw ImageError("empty image data");
  if (StartsWith(data, size, "\x89PNG\r\n\x1a\n", 8)) return image_detail::DecodePng(data, size);
  if (StartsWith(data, size, "BM", 2)) return image_detail::DecodeBmp(data, size);
  // Start of image, then the first marker.
  if (StartsWith(data, size, "\xff\xd8\xff", 3)) return image_detail::DecodeJpeg(data, size);
  // Classic TIFF and BigTIFF, in both byte orders.
  if (StartsWith(data, size, "II*\0", 4) || StartsWith(data, size, "MM\0*", 4) ||
      StartsWith(data, size, "II+\0", 4) || StartsWith(data, size, "MM\0+", 4)) {
    return image_detail::DecodeTiff(data, size);
  }
  if (size >= 4) {
    const std::uint32_t n =
        data[0] | (data[1] << 8) | (data[2] << 16) | (static_cast<std::uint32_t>(data[3]) << 24);
    if (IsDibHeaderSize(n)) return image_detail::DecodeHeaderlessDib(data, size);
  }
  throw ImageError("unrecognised image format (neither BMP, DIB, PNG, TIFF nor JPEG)");
}

RgbImage DecodeImageFile(const std::string& path) {
  const std::vector<std::uint8_t> bytes = image_detail::ReadWholeFile(path);
  if (bytes.empty()) throw ImageError("image file '" + path + "' is empty");
  try {
    return DecodeImageMemory(bytes.data(), bytes.size());
  } catch (const ImageError& e) {
    throw ImageError("image file '" + path + "': " + e.what());
  }
}

void EncodeBmpFile(const std::string& path, const RgbImage& image) {
  image_detail::WriteWholeFile(path, image_detail::EncodeBmp(image));
}

void EncodePngFile(const std::string& path, const RgbImage& image) {
  image_detail::WriteWholeFile(path, image_detail::EncodePng(image));
}

void EncodeTiffFile(const std::string& path, const RgbImage& image) {
  image_detail::WriteWholeFile(path, image_detail::EncodeTiff(image));
}

void EncodeImageFile(const std::string& path, const RgbImage& image, const std::string& extUpper) {
  // The comparison is exact; every other extension, DIB included, is written as BMP.
  if (extUpper == "TIF" || extUpper == "TIFF") {
    EncodeTiffFile(path, image);
  } else if (extUpper == "PNG") {
    EncodePngFile(path, image);
  } else {
    EncodeBmpFile(path, image);
  }
}

}  // namespace zolva
