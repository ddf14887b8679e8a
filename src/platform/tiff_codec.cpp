// TIFF through libtiff, reading and writing over memory buffers. libtiff's RGBA reader turns
// every photometric interpretation, bit depth, compression, strip or tile layout into 8-bit
// RGBA with the rows in the order we ask for.
#include <tiffio.h>

#include <algorithm>
#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <memory>
#include <mutex>
#include <new>
#include <string>

#include "platform/image_codec_internal.h"

namespace zolva::image_detail {
namespace {

// libtiff refuses any single allocation above this; no sound file of our size limit needs more
// for one strip or tile.
constexpr tmsize_t kMaxTiffAllocation = tmsize_t{512} << 20;

// libtiff prints errors and warnings to stderr by default, through process-wide handlers. They
// are switched off once; the messages of our own handles reach the per-handle handlers below.
void SilenceLibtiff() {
  static std::once_flag once;
  std::call_once(once, [] {
    TIFFSetErrorHandler(nullptr);
    TIFFSetWarningHandler(nullptr);
    TIFFSetErrorHandlerExt(nullptr);
    TIFFSetWarningHandlerExt(nullptr);
  });
}

// A file in memory: the input bytes when reading, a growing vector when writing.
struct TiffStream {
  const std::uint8_t* input = nullptr;
  std::size_t inputSize = 0;
  std::vector<std::uint8_t>* output = nullptr;
  std::uint64_t pos = 0;
  char message[256] = {};  // libtiff's first error
  char warning[256] = {};  // its first warning that says the file contradicts itself

  std::uint64_t Size() const { return output != nullptr ? output->size() : inputSize; }
};

TiffStream& StreamOf(thandle_t h) {
  return *static_cast<TiffStream*>(h);
}

tmsize_t ReadProc(thandle_t h, void* buf, tmsize_t n) {
  TiffStream& s = StreamOf(h);
  if (n <= 0 || s.output != nullptr || s.pos >= s.inputSize) return 0;
  const std::uint64_t left = s.inputSize - s.pos;
  const std::uint64_t count = static_cast<std::uint64_t>(n) < left ? n : left;
  std::memcpy(buf, s.input + s.pos, static_cast<std::size_t>(count));
  s.pos += count;
  return static_cast<tmsize_t>(count);
}

tmsize_t WriteProc(thandle_t h, void* buf, tmsize_t n) {
  TiffStream& s = StreamOf(h);
  if (s.output == nullptr || n < 0) return -1;
  const std::uint64_t end = s.pos + static_cast<std::uint64_t>(n);
  if (end > kMaxImageFileBytes * 2) return -1;
  try {
    if (end > s.output->size()) s.output->resize(static_cast<std::size_t>(end), 0);
  } catch (const std::bad_alloc&) {
    return -1;
  }
  std::memcpy(s.output->data() + s.pos, buf, static_cast<std::size_t>(n));
  s.pos = end;
  return n;
}

toff_t SeekProc(thandle_t h, toff_t offset, int whence) {
  TiffStream& s = StreamOf(h);
  std::uint64_t base = 0;
  switch (whence) {
    case SEEK_SET:
      base = 0;
      break;
    case SEEK_CUR:
      base = s.pos;
      break;
    case SEEK_END:
      base = s.Size();
      break;
    default:
      return static_cast<toff_t>(-1);
  }
  // Offsets are unsigned; a relative move backwards arrives as its two's complement and wraps.
  const std::uint64_t target = base + offset;
  if (target > kMaxImageFileBytes * 2) return static_cast<toff_t>(-1);
  s.pos = target;
  return target;
}

int CloseProc(thandle_t) {
  return 0;
}

toff_t SizeProc(thandle_t h) {
  return StreamOf(h).Size();
}

int MapProc(thandle_t, void**, toff_t*) {
  return 0;
}

void UnmapProc(thandle_t, void*, toff_t) {}

int OnTiffError(TIFF*, void* user, const char* module, const char* fmt, va_list ap) {
  auto* s = static_cast<TiffStream*>(user);
  if (s != nullptr && s->message[0] == '\0') {
    char text[200];
    std::vsnprintf(text, sizeof text, fmt, ap);
    std::snprintf(s->message, sizeof s->message, "%s%s%s", module != nullptr ? module : "",
                  module != nullptr ? ": " : "", text);
  }
  return 1;  // handled: the process-wide handlers are not called
}

// Warnings about tags that do not touch the picture: private tags of other programs, unsorted
// directories, text values without their terminating zero, tile sizes libtiff merely dislikes.
bool HarmlessWarning(const char* text) {
  static const char* const harmless[] = {"Unknown field with tag", "ASCII value for tag",
                                         "Invalid TIFF directory; tags are not sorted",
                                         "Nonstandard tile"};
  for (const char* h : harmless)
    if (std::strncmp(text, h, std::strlen(h)) == 0) return true;
  return false;
}

// Every other warning means that libtiff found tags that disagree with each other or with the
// data, and guessed (a strip table of the wrong length ignored, byte counts estimated): a picture
// built on such a guess is not the one the file meant, so the first such warning is kept and the
// file refused.
int OnTiffWarning(TIFF*, void* user, const char* module, const char* fmt, va_list ap) {
  auto* s = static_cast<TiffStream*>(user);
  char text[200];
  std::vsnprintf(text, sizeof text, fmt, ap);
  if (s != nullptr && s->warning[0] == '\0' && !HarmlessWarning(text)) {
    std::snprintf(s->warning, sizeof s->warning, "%s%s%s", module != nullptr ? module : "",
                  module != nullptr ? ": " : "", text);
  }
  return 1;
}

struct OptionsFree {
  void operator()(TIFFOpenOptions* o) const { TIFFOpenOptionsFree(o); }
};
struct TiffClose {
  void operator()(TIFF* t) const { TIFFClose(t); }
};
using TiffPtr = std::unique_ptr<TIFF, TiffClose>;

TiffPtr OpenStream(TiffStream& stream, const char* mode) {
  SilenceLibtiff();
  std::unique_ptr<TIFFOpenOptions, OptionsFree> options(TIFFOpenOptionsAlloc());
  if (!options) throw ImageError("TIFF: out of memory");
  TIFFOpenOptionsSetMaxSingleMemAlloc(options.get(), kMaxTiffAllocation);
  TIFFOpenOptionsSetErrorHandlerExtR(options.get(), OnTiffError, &stream);
  TIFFOpenOptionsSetWarningHandlerExtR(options.get(), OnTiffWarning, &stream);
  return TiffPtr(TIFFClientOpenExt("memory", mode, &stream, ReadProc, WriteProc, SeekProc,
                                   CloseProc, SizeProc, MapProc, UnmapProc, options.get()));
}

[[noreturn]] void Fail(const TiffStream& stream, const std::string& what) {
  std::string text = "TIFF: " + what;
  if (stream.message[0] != '\0') text += std::string(" (") + stream.message + ")";
  throw ImageError(text);
}

// Every strip or tile must lie inside the file, and an uncompressed one must hold all the rows
// it stands for: libtiff would otherwise hand out whatever lies there, or nothing, as pixels.
void CheckStrips(TIFF* tif, const TiffStream& stream) {
  std::uint16_t compression = COMPRESSION_NONE;
  TIFFGetFieldDefaulted(tif, TIFFTAG_COMPRESSION, &compression);
  const bool raw = compression == COMPRESSION_NONE;
  const bool tiled = TIFFIsTiled(tif) != 0;
  const std::uint32_t count = tiled ? TIFFNumberOfTiles(tif) : TIFFNumberOfStrips(tif);
  std::uint32_t height = 0, rowsPerStrip = 0;
  TIFFGetField(tif, TIFFTAG_IMAGELENGTH, &height);
  TIFFGetFieldDefaulted(tif, TIFFTAG_ROWSPERSTRIP, &rowsPerStrip);
  if (rowsPerStrip == 0 || rowsPerStrip > height) rowsPerStrip = height;
  const std::uint32_t stripsPerPlane = height == 0 ? 1 : (height - 1) / rowsPerStrip + 1;
  for (std::uint32_t i = 0; i < count; ++i) {
    const std::uint64_t offset = TIFFGetStrileOffset(tif, i);
    const std::uint64_t bytes = TIFFGetStrileByteCount(tif, i);
    const std::string which = std::string(tiled ? "tile " : "strip ") + std::to_string(i);
    if (bytes == 0) Fail(stream, which + " has no data");
    if (offset > stream.inputSize || bytes > stream.inputSize - offset)
      Fail(stream, which + " lies beyond the end of the file (truncated data)");
    if (!raw) continue;
    std::uint64_t needed = 0;
    if (tiled) {
      needed = static_cast<std::uint64_t>(TIFFTileSize64(tif));
    } else {
      const std::uint32_t first = (i % stripsPerPlane) * rowsPerStrip;
      const std::uint32_t rows = std::min(rowsPerStrip, height - std::min(first, height));
      needed = static_cast<std::uint64_t>(TIFFVStripSize64(tif, rows));
    }
    if (bytes < needed) {
      Fail(stream, which + " holds " + std::to_string(bytes) + " bytes where its rows need " +
                       std::to_string(needed) + " (the tags disagree with the data)");
    }
  }
}

struct RgbaImageEnd {
  TIFFRGBAImage* img = nullptr;
  ~RgbaImageEnd() {
    if (img != nullptr) TIFFRGBAImageEnd(img);
  }
};

}  // namespace

RgbImage DecodeTiff(const std::uint8_t* data, std::size_t size) {
  TiffStream stream;
  stream.input = data;
  stream.inputSize = size;
  // "m": no memory mapping; the data is in memory already.
  TiffPtr tif = OpenStream(stream, "rm");
  if (!tif) Fail(stream, "cannot read the header");

  char why[1024] = {};
  TIFFRGBAImage img{};
  if (!TIFFRGBAImageBegin(&img, tif.get(), 1, why)) {
    Fail(stream, std::string("unsupported layout: ") + why);
  }
  RgbaImageEnd end{&img};
  CheckDecodedSize(img.width, img.height, "TIFF");
  if (stream.warning[0] != '\0') Fail(stream, std::string("inconsistent tags: ") + stream.warning);
  CheckStrips(tif.get(), stream);
  img.req_orientation = ORIENTATION_TOPLEFT;

  RgbImage image;
  image.width = static_cast<int>(img.width);
  image.height = static_cast<int>(img.height);
  // The raster holds R + 256 G + 65536 B + 16777216 A, which is our packing plus alpha.
  image.pixels.assign(static_cast<std::size_t>(img.width) * img.height, 0u);
  // An error that libtiff reports and then reads past still spoils the picture.
  if (!TIFFRGBAImageGet(&img, image.pixels.data(), img.width, img.height) ||
      stream.message[0] != '\0') {
    Fail(stream, "cannot read the pixel data");
  }
  if (stream.warning[0] != '\0') Fail(stream, std::string("inconsistent data: ") + stream.warning);
  if (img.alpha != 0) {
    // libtiff hands RGB pixels out premultiplied whichever kind of alpha the file stores; grey
    // pixels keep the file's own kind.
    const bool grey =
        img.photometric == PHOTOMETRIC_MINISBLACK || img.photometric == PHOTOMETRIC_MINISWHITE;
    const bool premultiplied = !grey || img.alpha == EXTRASAMPLE_ASSOCALPHA;
    FlattenOntoWhite(image.pixels, premultiplied);
  } else {
    for (std::uint32_t& p : image.pixels) p &= 0xFFFFFFu;
  }
  return image;
}

std::vector<std::uint8_t> EncodeTiff(const RgbImage& image) {
  CheckEncodable(image);
  const std::uint32_t w = static_cast<std::uint32_t>(image.width);
  const std::uint32_t hgt = static_cast<std::uint32_t>(image.height);
  std::vector<std::uint8_t> out;
  TiffStream stream;
  stream.output = &out;
  TiffPtr tif = OpenStream(stream, "w");
  if (!tif) Fail(stream, "cannot create the encoder");
  TIFF* t = tif.get();
  bool ok =
      TIFFSetField(t, TIFFTAG_IMAGEWIDTH, w) && TIFFSetField(t, TIFFTAG_IMAGELENGTH, hgt) &&
      TIFFSetField(t, TIFFTAG_BITSPERSAMPLE, 8) && TIFFSetField(t, TIFFTAG_SAMPLESPERPIXEL, 3) &&
      TIFFSetField(t, TIFFTAG_PHOTOMETRIC, PHOTOMETRIC_RGB) &&
      TIFFSetField(t, TIFFTAG_PLANARCONFIG, PLANARCONFIG_CONTIG) &&
      TIFFSetField(t, TIFFTAG_ORIENTATION, ORIENTATION_TOPLEFT) &&
      TIFFSetField(t, TIFFTAG_COMPRESSION, COMPRESSION_LZW) &&
      TIFFSetField(t, TIFFTAG_PREDICTOR, PREDICTOR_HORIZONTAL) &&
      TIFFSetField(t, TIFFTAG_XRESOLUTION, 96.0) && TIFFSetField(t, TIFFTAG_YRESOLUTION, 96.0) &&
      TIFFSetField(t, TIFFTAG_RESOLUTIONUNIT, RESUNIT_INCH);
  ok = ok && TIFFSetField(t, TIFFTAG_ROWSPERSTRIP, TIFFDefaultStripSize(t, 0));
  if (!ok) Fail(stream, "cannot set the image tags");
  std::vector<std::uint8_t> row(static_cast<std::size_t>(w) * 3);
  for (std::uint32_t y = 0; y < hgt; ++y) {
    const std::uint32_t* s = image.pixels.data() + static_cast<std::size_t>(y) * w;
    for (std::uint32_t x = 0; x < w; ++x) {
      row[3 * x] = static_cast<std::uint8_t>(s[x]);
      row[3 * x + 1] = static_cast<std::uint8_t>(s[x] >> 8);
      row[3 * x + 2] = static_cast<std::uint8_t>(s[x] >> 16);
    }
    if (TIFFWriteScanline(t, row.data(), y, 0) < 0) Fail(stream, "cannot write the pixel data");
  }
  if (!TIFFFlush(t)) Fail(stream, "cannot finish the file");
  tif.reset();
  return out;
}

}  // namespace zolva::image_detail
