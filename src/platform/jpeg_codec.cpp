// JPEG through libjpeg (libjpeg-turbo). libjpeg reports errors through a callback that must not
// return, so it jumps back with longjmp, which skips C++ destructors: as in the PNG codec, every
// function that calls setjmp holds only trivially destructible locals, and the C++ objects (the
// pixel vector, the row buffer, the guard that frees the decoder) live in the caller's frame,
// which the jump never leaves.
//
// A JPEG is decoded strictly: a warning (corrupt or missing data that libjpeg would paper over
// with grey) refuses the file, so that a damaged picture never becomes a wrong cross-section.
// jpeglib.h needs FILE and size_t declared before it.
// clang-format off
#include <cstddef>
#include <cstdio>
#include <jpeglib.h>
// clang-format on

#include <csetjmp>
#include <cstring>
#include <vector>

#include "platform/image_codec_internal.h"

namespace zolva::image_detail {
namespace {

// A progressive file may hold any number of scans, each of which costs a pass over the whole
// picture; real files have at most a few dozen.
constexpr int kMaxScans = 500;
// The decoder's own working memory (a progressive file keeps every coefficient of the picture).
constexpr long kMaxDecoderMemory = 512L * 1024 * 1024;

// Everything libjpeg's callbacks share with the code that drives them. Trivially destructible.
struct JpegState {
  jpeg_decompress_struct info;
  jpeg_error_mgr errors;
  jpeg_progress_mgr progress;
  std::jmp_buf jump;
  char message[JMSG_LENGTH_MAX + 32];
  bool created;
};

JpegState* StateOf(j_common_ptr info) {
  return static_cast<JpegState*>(info->client_data);
}

[[noreturn]] void Stop(j_common_ptr info) {
  JpegState* state = StateOf(info);
  if (state->message[0] == '\0') (*info->err->format_message)(info, state->message);
  std::longjmp(state->jump, 1);
}

void OnJpegError(j_common_ptr info) {
  Stop(info);
}

// Level -1 is a warning about corrupt data; trace messages (0 and above) are ignored.
void OnJpegMessage(j_common_ptr info, int level) {
  if (level < 0) Stop(info);
}

void OnJpegProgress(j_common_ptr info) {
  if (!info->is_decompressor) return;
  auto* d = reinterpret_cast<j_decompress_ptr>(info);
  if (d->input_scan_number > kMaxScans) {
    JpegState* state = StateOf(info);
    std::snprintf(state->message, sizeof state->message, "more than %d scans", kMaxScans);
    std::longjmp(state->jump, 1);
  }
}

// Creates the decoder over the bytes and reads the header; the output is 8-bit RGB, or CMYK for
// the files that libjpeg cannot turn into RGB itself.
bool StartJpeg(JpegState* state, const std::uint8_t* data, std::size_t size) {
  if (setjmp(state->jump)) return false;
  jpeg_create_decompress(&state->info);
  state->created = true;
  state->info.client_data = state;
  state->info.mem->max_memory_to_use = kMaxDecoderMemory;
  state->progress.progress_monitor = OnJpegProgress;
  state->info.progress = &state->progress;
  jpeg_mem_src(&state->info, data, static_cast<unsigned long>(size));
  jpeg_read_header(&state->info, TRUE);
  const J_COLOR_SPACE space = state->info.jpeg_color_space;
  state->info.out_color_space = (space == JCS_CMYK || space == JCS_YCCK) ? JCS_CMYK : JCS_RGB;
  return true;
}

// Decodes every row into `pixels` (width * height packed colours) through `row`, which holds
// one output row.
bool ReadJpegRows(JpegState* state, std::uint8_t* row, std::uint32_t* pixels) {
  if (setjmp(state->jump)) return false;
  jpeg_decompress_struct& info = state->info;
  jpeg_start_decompress(&info);
  const int components = info.out_color_space == JCS_CMYK ? 4 : 3;
  if (info.output_width != info.image_width || info.output_height != info.image_height ||
      info.output_components != components) {
    std::snprintf(state->message, sizeof state->message, "unexpected output layout");
    return false;
  }
  // Adobe's CMYK files store the inks inverted (255 is no ink); others store them plainly.
  const bool inverted = info.saw_Adobe_marker;
  const std::size_t width = info.output_width;
  while (info.output_scanline < info.output_height) {
    const std::size_t y = info.output_scanline;
    JSAMPROW rows[1] = {row};
    if (jpeg_read_scanlines(&info, rows, 1) != 1) {
      std::snprintf(state->message, sizeof state->message, "the data ends early");
      return false;
    }
    std::uint32_t* out = pixels + y * width;
    for (std::size_t x = 0; x < width; ++x) {
      const std::uint8_t* p = row + x * static_cast<std::size_t>(components);
      if (components == 3) {
        out[x] = p[0] | (p[1] << 8) | (static_cast<std::uint32_t>(p[2]) << 16);
      } else {
        // What is left of white under the inks: (1 - c)(1 - k) per channel.
        std::uint32_t colour = 0;
        const unsigned k = inverted ? p[3] : 255u - p[3];
        for (int c = 0; c < 3; ++c) {
          const unsigned ink = inverted ? p[c] : 255u - p[c];
          colour |= ((ink * k + 127u) / 255u) << (8 * c);
        }
        out[x] = colour;
      }
    }
  }
  jpeg_finish_decompress(&info);
  return true;
}

// Frees the decoder however the decoding ends.
struct JpegGuard {
  JpegState* state;
  ~JpegGuard() {
    if (state->created) jpeg_destroy_decompress(&state->info);
  }
};

[[noreturn]] void Fail(const JpegState& state, const char* fallback) {
  throw ImageError(std::string("JPEG: ") + (state.message[0] != '\0' ? state.message : fallback));
}

}  // namespace

RgbImage DecodeJpeg(const std::uint8_t* data, std::size_t size) {
  JpegState state;
  std::memset(&state, 0, sizeof state);
  state.info.err = jpeg_std_error(&state.errors);
  state.errors.error_exit = OnJpegError;
  state.errors.emit_message = OnJpegMessage;
  JpegGuard guard{&state};
  if (!StartJpeg(&state, data, size)) Fail(state, "cannot read the header");
  CheckDecodedSize(state.info.image_width, state.info.image_height, "JPEG");

  RgbImage image;
  image.width = static_cast<int>(state.info.image_width);
  image.height = static_cast<int>(state.info.image_height);
  image.exactColours = false;
  image.pixels.assign(static_cast<std::size_t>(image.width) * image.height, 0u);
  std::vector<std::uint8_t> row(static_cast<std::size_t>(image.width) * 4);
  if (!ReadJpegRows(&state, row.data(), image.pixels.data())) Fail(state, "cannot decode the data");
  return image;
}

}  // namespace zolva::image_detail
