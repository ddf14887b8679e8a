// BMP and DIB: the device-independent bitmap in all the variants that drawing programs still
// write. Every field of the headers is checked against the bytes actually present before it is
// used, so that a damaged or hostile file ends in ImageError, never in a read outside the data.
#include <bit>
#include <cstring>
#include <optional>

#include "platform/image_codec_internal.h"

namespace zolva::image_detail {
namespace {

constexpr std::uint32_t kBiRgb = 0;
constexpr std::uint32_t kBiRle8 = 1;
constexpr std::uint32_t kBiRle4 = 2;
constexpr std::uint32_t kBiBitfields = 3;
constexpr std::uint32_t kBiJpeg = 4;
constexpr std::uint32_t kBiPng = 5;
constexpr std::uint32_t kBiAlphaBitfields = 6;

constexpr std::size_t kFileHeaderSize = 14;
constexpr std::uint32_t kCoreHeaderSize = 12;
constexpr std::uint32_t kInfoHeaderSize = 40;

std::uint16_t U16(const std::uint8_t* p) {
  return static_cast<std::uint16_t>(p[0] | (p[1] << 8));
}

std::uint32_t U32(const std::uint8_t* p) {
  return p[0] | (p[1] << 8) | (p[2] << 16) | (static_cast<std::uint32_t>(p[3]) << 24);
}

std::int32_t I32(const std::uint8_t* p) {
  return static_cast<std::int32_t>(U32(p));
}

void PutU16(std::vector<std::uint8_t>& out, std::size_t at, std::uint32_t v) {
  out[at] = static_cast<std::uint8_t>(v);
  out[at + 1] = static_cast<std::uint8_t>(v >> 8);
}

void PutU32(std::vector<std::uint8_t>& out, std::size_t at, std::uint32_t v) {
  PutU16(out, at, v & 0xFFFFu);
  PutU16(out, at + 2, v >> 16);
}

[[noreturn]] void Fail(const std::string& what) {
  throw ImageError("BMP: " + what);
}

// One colour channel of a bit-field pixel. Masks of any contiguous width are scaled to 0..255
// with rounding, so that a 5-bit 31 becomes 255 and not 248.
struct Channel {
  std::uint32_t mask = 0;
  int shift = 0;
  std::uint64_t max = 0;

  std::uint32_t Extract(std::uint32_t pixel) const {
    if (max == 0) return 0;
    const std::uint64_t v = (pixel & mask) >> shift;
    return static_cast<std::uint32_t>((v * 255u + max / 2) / max);
  }
};

Channel MakeChannel(std::uint32_t mask, unsigned bpp, const char* name) {
  Channel c;
  if (mask == 0) return c;
  if (bpp < 32 && (mask >> bpp) != 0) {
    Fail(std::string(name) + " mask reaches beyond the " + std::to_string(bpp) + "-bit pixel");
  }
  c.mask = mask;
  c.shift = std::countr_zero(mask);
  const std::uint32_t bits = mask >> c.shift;
  if ((bits & (bits + 1u)) != 0) Fail(std::string(name) + " mask is not contiguous");
  c.max = bits;
  return c;
}

struct Layout {
  std::int64_t width = 0;
  std::int64_t height = 0;  // always positive; topDown tells the row order
  bool topDown = false;
  unsigned bpp = 0;
  std::uint32_t compression = kBiRgb;
  Channel red, green, blue, alpha;
  std::vector<std::uint32_t> palette;  // 1 << bpp entries for bpp <= 8, missing ones black
  std::size_t pixelOffset = 0;
};

// Reads the info header at `infoStart`, the bit masks and the colour table. `fileOffset` is the
// pixel data offset of the file header, absent for a DIB without one, whose pixels follow the
// colour table directly.
Layout ParseLayout(const std::uint8_t* data, std::size_t size, std::size_t infoStart,
                   std::optional<std::uint32_t> fileOffset) {
  if (size < infoStart + 4) Fail("file ends inside the info header");
  const std::uint8_t* h = data + infoStart;
  const std::uint32_t headerSize = U32(h);
  const bool core = headerSize == kCoreHeaderSize;
  if (!core && headerSize != 40 && headerSize != 52 && headerSize != 56 && headerSize != 64 &&
      headerSize != 108 && headerSize != 124) {
    Fail("unsupported info header size " + std::to_string(headerSize));
  }
  if (headerSize > size - infoStart) Fail("file ends inside the info header");

  Layout L;
  std::int64_t signedHeight = 0;
  std::uint32_t coloursUsed = 0;
  if (core) {
    L.width = U16(h + 4);
    signedHeight = U16(h + 6);
    L.bpp = U16(h + 10);
  } else {
    L.width = I32(h + 4);
    signedHeight = I32(h + 8);
    L.bpp = U16(h + 14);
    L.compression = U32(h + 16);
    coloursUsed = U32(h + 32);
  }
  L.topDown = signedHeight < 0;
  L.height = signedHeight < 0 ? -signedHeight : signedHeight;
  CheckDecodedSize(L.width, L.height, "BMP");

  const auto bppIs = [&](std::initializer_list<unsigned> allowed) {
    for (unsigned b : allowed) {
      if (L.bpp == b) return true;
    }
    return false;
  };
  bool supported = false;
  switch (L.compression) {
    case kBiRgb:
      supported = core ? bppIs({1, 4, 8, 24}) : bppIs({1, 4, 8, 16, 24, 32});
      break;
    case kBiRle8:
      supported = L.bpp == 8;
      break;
    case kBiRle4:
      supported = L.bpp == 4;
      break;
    case kBiBitfields:
    case kBiAlphaBitfields:
      // In the OS/2 2.x header the same code numbers mean Huffman and RLE24 coding.
      supported = headerSize != 64 && bppIs({16, 32});
      break;
    case kBiJpeg:
    case kBiPng:
      Fail("embedded JPEG or PNG data is not supported");
    default:
      Fail("unknown compression " + std::to_string(L.compression));
  }
  if (!supported) {
    Fail("compression " + std::to_string(L.compression) + " with " + std::to_string(L.bpp) +
         " bits per pixel is not supported");
  }

  std::uint64_t pos = infoStart + headerSize;
  std::uint32_t masks[4] = {0, 0, 0, 0};
  if (L.compression == kBiBitfields || L.compression == kBiAlphaBitfields) {
    if (headerSize >= 52) {
      // V4, V5 and the Adobe headers carry the masks inside the header.
      masks[0] = U32(h + 40);
      masks[1] = U32(h + 44);
      masks[2] = U32(h + 48);
      if (headerSize >= 56) masks[3] = U32(h + 52);
    } else {
      // After a Windows 3.x header the masks follow it, before any colour table.
      const unsigned count = L.compression == kBiAlphaBitfields ? 4 : 3;
      if (pos + 4u * count > size) Fail("file ends inside the colour masks");
      for (unsigned i = 0; i < count; ++i) masks[i] = U32(data + pos + 4u * i);
      pos += 4u * count;
    }
  } else if (L.bpp == 16) {
    masks[0] = 0x7C00u;
    masks[1] = 0x03E0u;
    masks[2] = 0x001Fu;
  } else if (L.bpp == 32) {
    // Without bit fields the fourth byte is unused, not alpha.
    masks[0] = 0xFF0000u;
    masks[1] = 0x00FF00u;
    masks[2] = 0x0000FFu;
  }
  if (L.bpp == 16 || L.bpp == 32) {
    L.red = MakeChannel(masks[0], L.bpp, "red");
    L.green = MakeChannel(masks[1], L.bpp, "green");
    L.blue = MakeChannel(masks[2], L.bpp, "blue");
    L.alpha = MakeChannel(masks[3], L.bpp, "alpha");
  }

  // The colour table: core headers hold 3-byte entries, all others 4-byte ones. Pictures of
  // more than 8 bits may carry a table too; it only needs to be skipped.
  const std::uint64_t entrySize = core ? 3 : 4;
  std::uint64_t stored = 0;
  if (L.bpp <= 8) {
    stored = (coloursUsed != 0) ? coloursUsed : (std::uint64_t{1} << L.bpp);
  } else {
    stored = coloursUsed;
  }
  const std::uint64_t tableStart = pos;
  std::uint64_t tableEnd = 0;
  if (fileOffset) {
    const std::uint64_t off = *fileOffset;
    if (off < tableStart) Fail("pixel data offset " + std::to_string(off) + " lies in the header");
    if (off >= size) Fail("pixel data offset " + std::to_string(off) + " lies beyond the file");
    L.pixelOffset = static_cast<std::size_t>(off);
    tableEnd = off;  // a table cut short by the pixel data yields black for its missing entries
  } else {
    const std::uint64_t off = tableStart + stored * entrySize;
    if (off >= size) Fail("file ends before the pixel data");
    L.pixelOffset = static_cast<std::size_t>(off);
    tableEnd = off;
  }
  if (L.bpp <= 8) {
    const std::uint64_t entries = std::uint64_t{1} << L.bpp;
    L.palette.assign(static_cast<std::size_t>(entries), 0u);
    std::uint64_t present = (tableEnd - tableStart) / entrySize;
    if (present > stored) present = stored;
    if (present > entries) present = entries;
    for (std::uint64_t i = 0; i < present; ++i) {
      const std::uint8_t* e = data + tableStart + i * entrySize;
      L.palette[static_cast<std::size_t>(i)] = e[2] | (e[1] << 8) | (e[0] << 16);
    }
  }
  return L;
}

std::uint32_t BitfieldPixel(const Layout& L, std::uint32_t v) {
  return L.red.Extract(v) | (L.green.Extract(v) << 8) | (L.blue.Extract(v) << 16) |
         (L.alpha.Extract(v) << 24);
}

// Uncompressed rows, each padded to a multiple of 4 bytes. Returns colours with alpha in the
// top byte.
std::vector<std::uint32_t> DecodeRows(const Layout& L, const std::uint8_t* px, std::size_t avail) {
  const std::uint64_t rowBits = static_cast<std::uint64_t>(L.width) * L.bpp;
  const std::uint64_t stride = (rowBits + 31) / 32 * 4;
  // The padding of the last row is not needed, and some writers leave it out.
  const std::uint64_t needed =
      stride * static_cast<std::uint64_t>(L.height - 1) + (rowBits + 7) / 8;
  if (needed > avail) {
    Fail("pixel data needs " + std::to_string(needed) + " bytes but the file holds " +
         std::to_string(avail));
  }
  const std::size_t w = static_cast<std::size_t>(L.width);
  const std::size_t hgt = static_cast<std::size_t>(L.height);
  std::vector<std::uint32_t> out(w * hgt);
  for (std::size_t fileRow = 0; fileRow < hgt; ++fileRow) {
    const std::uint8_t* s = px + fileRow * stride;
    std::uint32_t* d = out.data() + (L.topDown ? fileRow : hgt - 1 - fileRow) * w;
    switch (L.bpp) {
      case 1:
        for (std::size_t x = 0; x < w; ++x) d[x] = L.palette[(s[x >> 3] >> (7 - (x & 7))) & 1u];
        break;
      case 4:
        for (std::size_t x = 0; x < w; ++x) {
          d[x] = L.palette[(x & 1) ? (s[x >> 1] & 0x0Fu) : (s[x >> 1] >> 4)];
        }
        break;
      case 8:
        for (std::size_t x = 0; x < w; ++x) d[x] = L.palette[s[x]];
        break;
      case 16:
        for (std::size_t x = 0; x < w; ++x) d[x] = BitfieldPixel(L, U16(s + 2 * x));
        break;
      case 24:
        for (std::size_t x = 0; x < w; ++x) {
          const std::uint8_t* p = s + 3 * x;
          d[x] = p[2] | (p[1] << 8) | (p[0] << 16);
        }
        break;
      case 32:
        for (std::size_t x = 0; x < w; ++x) d[x] = BitfieldPixel(L, U32(s + 4 * x));
        break;
      default:
        Fail("unsupported bit count");
    }
  }
  return out;
}

// RLE8 and RLE4. Pixels that the codes skip (delta, early end of line or bitmap) stay black;
// pixels beyond the right edge are dropped. Every code consumes at least two bytes, so the loop
// ends with the data.
std::vector<std::uint32_t> DecodeRle(const Layout& L, const std::uint8_t* px, std::size_t avail) {
  const bool rle8 = L.compression == kBiRle8;
  const std::int64_t w = L.width;
  const std::int64_t hgt = L.height;
  std::vector<std::uint32_t> out;
  std::int64_t x = 0;
  std::int64_t y = 0;  // in file order, bottom row first unless top-down
  bool paint = false;
  const auto put = [&](unsigned index) {
    if (paint && x < w) {
      const std::int64_t row = L.topDown ? y : hgt - 1 - y;
      out[static_cast<std::size_t>(row * w + x)] = L.palette[index];
    }
    ++x;
  };
  // The codes are walked twice: first only to find that they are whole, before the picture is
  // allocated (a file of a few hundred bytes may claim a hundred million pixels), then to paint.
  for (int pass = 0; pass < 2; ++pass) {
    paint = pass == 1;
    if (paint) out.assign(static_cast<std::size_t>(w * hgt), 0u);
    x = 0;
    y = 0;
    std::size_t i = 0;
    while (y < hgt) {
      if (avail - i < 2) Fail("RLE data ends before the end-of-bitmap code");
      const unsigned count = px[i];
      const unsigned value = px[i + 1];
      i += 2;
      if (count > 0) {
        for (unsigned k = 0; k < count; ++k) {
          put(rle8 ? value : ((k & 1u) ? (value & 0x0Fu) : (value >> 4)));
        }
      } else if (value == 0) {
        x = 0;
        ++y;
      } else if (value == 1) {
        break;
      } else if (value == 2) {
        if (avail - i < 2) Fail("RLE data ends inside a delta code");
        x += px[i];
        y += px[i + 1];
        i += 2;
      } else {
        // An absolute run of `value` pixels, padded to a whole number of 16-bit words.
        const std::size_t bytes = rle8 ? value : (value + 1) / 2;
        if (avail - i < bytes) Fail("RLE data ends inside an absolute run");
        for (unsigned k = 0; k < value; ++k) {
          put(rle8 ? px[i + k] : ((k & 1u) ? (px[i + k / 2] & 0x0Fu) : (px[i + k / 2] >> 4)));
        }
        i += bytes;
        if ((bytes & 1u) && i < avail) ++i;
      }
    }
  }
  return out;
}

RgbImage DecodeDib(const std::uint8_t* data, std::size_t size, std::size_t infoStart,
                   std::optional<std::uint32_t> fileOffset) {
  const Layout L = ParseLayout(data, size, infoStart, fileOffset);
  const std::uint8_t* px = data + L.pixelOffset;
  const std::size_t avail = size - L.pixelOffset;
  RgbImage image;
  image.width = static_cast<int>(L.width);
  image.height = static_cast<int>(L.height);
  if (L.compression == kBiRle8 || L.compression == kBiRle4) {
    image.pixels = DecodeRle(L, px, avail);
    return image;
  }
  image.pixels = DecodeRows(L, px, avail);
  if (L.alpha.max != 0) {
    // Many programs write a 32-bit picture with an alpha mask but never fill the alpha bytes;
    // an alpha channel that is zero everywhere therefore means opaque, not invisible.
    bool anyAlpha = false;
    for (std::uint32_t p : image.pixels) {
      if ((p >> 24) != 0) {
        anyAlpha = true;
        break;
      }
    }
    if (anyAlpha) {
      FlattenOntoWhite(image.pixels, false);
      return image;
    }
    for (std::uint32_t& p : image.pixels) p &= 0xFFFFFFu;
  }
  return image;
}

}  // namespace

RgbImage DecodeBmp(const std::uint8_t* data, std::size_t size) {
  if (size < kFileHeaderSize + 4) Fail("file ends inside the file header");
  return DecodeDib(data, size, kFileHeaderSize, U32(data + 10));
}

RgbImage DecodeHeaderlessDib(const std::uint8_t* data, std::size_t size) {
  return DecodeDib(data, size, 0, std::nullopt);
}

std::vector<std::uint8_t> EncodeBmp(const RgbImage& image) {
  CheckEncodable(image);
  const std::size_t w = static_cast<std::size_t>(image.width);
  const std::size_t hgt = static_cast<std::size_t>(image.height);
  const std::size_t stride = (3 * w + 3) / 4 * 4;
  const std::size_t dataSize = stride * hgt;
  const std::size_t offset = kFileHeaderSize + kInfoHeaderSize;
  std::vector<std::uint8_t> out(offset + dataSize, 0);
  out[0] = 'B';
  out[1] = 'M';
  PutU32(out, 2, static_cast<std::uint32_t>(out.size()));
  PutU32(out, 10, static_cast<std::uint32_t>(offset));
  PutU32(out, 14, kInfoHeaderSize);
  PutU32(out, 18, static_cast<std::uint32_t>(w));
  PutU32(out, 22, static_cast<std::uint32_t>(hgt));  // positive: bottom row first
  PutU16(out, 26, 1);
  PutU16(out, 28, 24);
  PutU32(out, 30, kBiRgb);
  PutU32(out, 34, static_cast<std::uint32_t>(dataSize));
  PutU32(out, 38, 3780);  // 96 pixels per inch
  PutU32(out, 42, 3780);
  for (std::size_t y = 0; y < hgt; ++y) {
    std::uint8_t* d = out.data() + offset + (hgt - 1 - y) * stride;
    const std::uint32_t* s = image.pixels.data() + y * w;
    for (std::size_t x = 0; x < w; ++x) {
      d[3 * x] = static_cast<std::uint8_t>(s[x] >> 16);
      d[3 * x + 1] = static_cast<std::uint8_t>(s[x] >> 8);
      d[3 * x + 2] = static_cast<std::uint8_t>(s[x]);
    }
  }
  return out;
}

}  // namespace zolva::image_detail
