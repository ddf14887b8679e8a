// PNG through libpng. libpng reports errors by longjmp, which skips C++ destructors; so every
// function that calls setjmp is a plain function whose frame holds only trivially destructible
// locals, and the C++ objects (the pixel vector, the output bytes) live in the caller's frame,
// which the jump never leaves.
#include <png.h>

#include <csetjmp>
#include <cstring>
#include <new>

#include "platform/image_codec_internal.h"

namespace zolva::image_detail {
namespace {

// Everything the libpng callbacks share with the code that drives them. Trivially destructible.
struct PngJob {
  const std::uint8_t* input = nullptr;
  std::size_t inputSize = 0;
  std::size_t inputPos = 0;
  std::vector<std::uint8_t>* output = nullptr;
  char message[256] = {};
};

void OnPngError(png_structp png, png_const_charp message) {
  auto* job = static_cast<PngJob*>(png_get_error_ptr(png));
  if (job != nullptr && job->message[0] == '\0') {
    std::strncpy(job->message, message != nullptr ? message : "unknown error",
                 sizeof job->message - 1);
  }
  png_longjmp(png, 1);
}

void OnPngWarning(png_structp, png_const_charp) {}

void ReadFromMemory(png_structp png, png_bytep out, png_size_t length) {
  auto* job = static_cast<PngJob*>(png_get_io_ptr(png));
  if (length > job->inputSize - job->inputPos) png_error(png, "file is truncated");
  std::memcpy(out, job->input + job->inputPos, length);
  job->inputPos += length;
}

void WriteToMemory(png_structp png, png_bytep data, png_size_t length) {
  auto* job = static_cast<PngJob*>(png_get_io_ptr(png));
  bool failed = false;
  try {
    job->output->insert(job->output->end(), data, data + length);
  } catch (const std::bad_alloc&) {
    failed = true;
  }
  // Raised outside the try block so that no exception machinery is live when libpng jumps.
  if (failed) png_error(png, "out of memory");
}

void FlushNothing(png_structp) {}

// Reads the header and sets up the conversion of every colour type and depth to 8-bit RGBA.
// Returns false on a libpng error (the message is in the job).
bool ReadPngHeader(png_structp png, png_infop info, png_uint_32* width, png_uint_32* height) {
  if (setjmp(png_jmpbuf(png))) return false;
  png_read_info(png, info);
  *width = png_get_image_width(png, info);
  *height = png_get_image_height(png, info);
  const int colourType = png_get_color_type(png, info);
  // Palettes and grey below 8 bits become 8-bit samples, and tRNS becomes an alpha channel.
  // 16-bit samples are scaled to 8 bits with rounding (v * 255 / 65535), not cut to their high
  // byte, which would darken every value by up to one step.
  png_set_expand(png);
  png_set_scale_16(png);
  if (colourType == PNG_COLOR_TYPE_GRAY || colourType == PNG_COLOR_TYPE_GRAY_ALPHA) {
    png_set_gray_to_rgb(png);
  }
  png_set_add_alpha(png, 0xFF, PNG_FILLER_AFTER);
  png_set_interlace_handling(png);
  png_read_update_info(png, info);
  return true;
}

// Reads all rows into `rows` (one pointer per row, each to width * 4 bytes).
bool ReadPngRows(png_structp png, png_bytepp rows) {
  if (setjmp(png_jmpbuf(png))) return false;
  png_read_image(png, rows);
  png_read_end(png, nullptr);
  return true;
}

bool WritePng(png_structp png, png_infop info, png_uint_32 width, png_uint_32 height,
              png_bytepp rows) {
  if (setjmp(png_jmpbuf(png))) return false;
  png_set_IHDR(png, info, width, height, 8, PNG_COLOR_TYPE_RGB, PNG_INTERLACE_NONE,
               PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
  png_write_info(png, info);
  png_write_image(png, rows);
  png_write_end(png, nullptr);
  return true;
}

[[noreturn]] void Fail(const PngJob& job, const char* fallback) {
  throw ImageError(std::string("PNG: ") + (job.message[0] != '\0' ? job.message : fallback));
}

// Owns the libpng structures of one read or write and frees them however the work ends.
struct PngHandles {
  png_structp png = nullptr;
  png_infop info = nullptr;
  bool writing = false;
  ~PngHandles() {
    if (writing) {
      png_destroy_write_struct(&png, &info);
    } else {
      png_destroy_read_struct(&png, &info, nullptr);
    }
  }
};

}  // namespace

RgbImage DecodePng(const std::uint8_t* data, std::size_t size) {
  PngJob job;
  job.input = data;
  job.inputSize = size;
  PngHandles h;
  h.png = png_create_read_struct(PNG_LIBPNG_VER_STRING, &job, OnPngError, OnPngWarning);
  if (h.png == nullptr) throw ImageError("PNG: cannot create the decoder");
  h.info = png_create_info_struct(h.png);
  if (h.info == nullptr) throw ImageError("PNG: cannot create the decoder");
  png_set_read_fn(h.png, &job, ReadFromMemory);
  // libpng refuses larger headers itself; the product is checked below before allocation.
  png_set_user_limits(h.png, 1'000'000, 1'000'000);

  png_uint_32 width = 0;
  png_uint_32 height = 0;
  if (!ReadPngHeader(h.png, h.info, &width, &height)) Fail(job, "cannot read the header");
  CheckDecodedSize(width, height, "PNG");
  if (png_get_rowbytes(h.png, h.info) != static_cast<png_size_t>(width) * 4) {
    throw ImageError("PNG: unexpected row layout after conversion");
  }

  RgbImage image;
  image.width = static_cast<int>(width);
  image.height = static_cast<int>(height);
  // The RGBA bytes of each row land directly in the pixel vector, 4 bytes per pixel, and are
  // repacked in place afterwards.
  image.pixels.assign(static_cast<std::size_t>(width) * height, 0u);
  std::vector<png_bytep> rows(height);
  auto* bytes = reinterpret_cast<png_bytep>(image.pixels.data());
  for (png_uint_32 y = 0; y < height; ++y) {
    rows[y] = bytes + static_cast<std::size_t>(y) * width * 4;
  }
  if (!ReadPngRows(h.png, rows.data())) Fail(job, "cannot read the pixel data");

  bool anyTransparent = false;
  for (std::size_t i = 0; i < image.pixels.size(); ++i) {
    const std::uint8_t* p = bytes + 4 * i;
    anyTransparent = anyTransparent || p[3] != 0xFF;
    image.pixels[i] = p[0] | (p[1] << 8) | (p[2] << 16) | (static_cast<std::uint32_t>(p[3]) << 24);
  }
  if (anyTransparent) {
    FlattenOntoWhite(image.pixels, false);
  } else {
    for (std::uint32_t& p : image.pixels) p &= 0xFFFFFFu;
  }
  return image;
}

std::vector<std::uint8_t> EncodePng(const RgbImage& image) {
  CheckEncodable(image);
  const std::size_t w = static_cast<std::size_t>(image.width);
  const std::size_t hgt = static_cast<std::size_t>(image.height);
  std::vector<std::uint8_t> rgb(w * hgt * 3);
  for (std::size_t i = 0; i < w * hgt; ++i) {
    rgb[3 * i] = static_cast<std::uint8_t>(image.pixels[i]);
    rgb[3 * i + 1] = static_cast<std::uint8_t>(image.pixels[i] >> 8);
    rgb[3 * i + 2] = static_cast<std::uint8_t>(image.pixels[i] >> 16);
  }
  std::vector<png_bytep> rows(hgt);
  for (std::size_t y = 0; y < hgt; ++y) rows[y] = rgb.data() + y * w * 3;

  std::vector<std::uint8_t> out;
  PngJob job;
  job.output = &out;
  PngHandles h;
  h.writing = true;
  h.png = png_create_write_struct(PNG_LIBPNG_VER_STRING, &job, OnPngError, OnPngWarning);
  if (h.png == nullptr) throw ImageError("PNG: cannot create the encoder");
  h.info = png_create_info_struct(h.png);
  if (h.info == nullptr) throw ImageError("PNG: cannot create the encoder");
  png_set_write_fn(h.png, &job, WriteToMemory, FlushNothing);
  if (!WritePng(h.png, h.info, static_cast<png_uint_32>(w), static_cast<png_uint_32>(hgt),
                rows.data())) {
    Fail(job, "cannot encode the image");
  }
  return out;
}

}  // namespace zolva::image_detail
