// The image codecs: files made by other programs (scripts/make-fixtures.sh), our own encoders
// read back, hand-built BMP variants, and hostile or damaged input.
#include "platform/image_codec.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <random>
#include <string>
#include <vector>

namespace zolva {
namespace {

using Bytes = std::vector<std::uint8_t>;

// Packed colours R + 256 G + 65536 B.
constexpr std::uint32_t K = 0x000000, W = 0xFFFFFF, R = 0x0000FF, G = 0x00FF00, B = 0xFF0000,
                        Y = 0x00FFFF, C = 0xFFFF00, M = 0xFF00FF;

constexpr std::uint32_t PackRgb(std::uint32_t r, std::uint32_t g, std::uint32_t b) {
  return r | (g << 8) | (b << 16);
}

// The colour picture of every multi-colour fixture, top row first.
RgbImage ColourPicture() {
  return {7, 5, {W, W, R, R, G, B, K,  //
                 W, Y, Y, C, C, M, K,  //
                 R, G, B, K, W, Y, C,  //
                 M, M, M, K, K, W, W,  //
                 K, R, G, B, Y, C, M}};
}

// The two-colour pattern of the 1-bit fixtures.
RgbImage BwPicture() {
  const int bits[3][11] = {{1, 0, 0, 1, 1, 0, 1, 0, 1, 1, 1},
                           {0, 1, 1, 0, 0, 1, 0, 1, 0, 0, 0},
                           {1, 1, 1, 1, 1, 1, 0, 0, 0, 0, 1}};
  RgbImage img{11, 3, {}};
  for (const auto& row : bits) {
    for (int b : row) img.pixels.push_back(b ? K : W);
  }
  return img;
}

// Grey 10 + 36 x with alpha 255, 192, 128, 64, 0 down the rows, composited onto white.
RgbImage GreyAlphaPicture() {
  RgbImage img{7, 5, {}};
  const int alpha[5] = {255, 192, 128, 64, 0};
  for (int a : alpha) {
    for (int x = 0; x < 7; ++x) {
      const std::uint32_t g = ((10 + 36 * x) * a + 255 * (255 - a) + 127) / 255;
      img.pixels.push_back(g * 0x010101u);
    }
  }
  return img;
}

std::string Fixture(const std::string& name) {
  return std::string(ZOLVA_FIXTURES) + "/" + name;
}

Bytes ReadBytes(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return Bytes(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

// Largest difference of any colour channel of any pixel; -1 when the sizes differ.
int MaxChannelDifference(const RgbImage& a, const RgbImage& b) {
  if (a.width != b.width || a.height != b.height || a.pixels.size() != b.pixels.size()) return -1;
  int worst = 0;
  for (std::size_t i = 0; i < a.pixels.size(); ++i) {
    for (int shift = 0; shift < 24; shift += 8) {
      const int d = std::abs(static_cast<int>((a.pixels[i] >> shift) & 0xFF) -
                             static_cast<int>((b.pixels[i] >> shift) & 0xFF));
      worst = std::max(worst, d);
    }
  }
  return worst;
}

std::string TempPath(const std::string& name) {
  return (std::filesystem::path(::testing::TempDir()) / ("zolva-img-" + name)).string();
}

void PutU16(Bytes& b, std::size_t at, std::uint32_t v) {
  if (b.size() < at + 2) b.resize(at + 2);
  b[at] = static_cast<std::uint8_t>(v);
  b[at + 1] = static_cast<std::uint8_t>(v >> 8);
}

void PutU32(Bytes& b, std::size_t at, std::uint32_t v) {
  PutU16(b, at, v & 0xFFFF);
  PutU16(b, at + 2, v >> 16);
}

// A BMP with a Windows 3.x (40-byte) or V5 (124-byte) info header. `palette` holds packed
// colours; `masks` (R, G, B, A) go after a 40-byte header or into a V5 header.
struct BmpSpec {
  std::int32_t width = 1;
  std::int32_t height = 1;
  std::uint16_t bpp = 24;
  std::uint32_t compression = 0;
  std::uint32_t headerSize = 40;
  std::vector<std::uint32_t> masks;
  std::vector<std::uint32_t> palette;
  std::uint32_t coloursUsed = 0;
  Bytes pixels;
};

Bytes MakeBmp(const BmpSpec& s, bool withFileHeader = true) {
  Bytes b;
  const std::size_t info = withFileHeader ? 14 : 0;
  PutU32(b, info, s.headerSize);
  PutU32(b, info + 4, static_cast<std::uint32_t>(s.width));
  PutU32(b, info + 8, static_cast<std::uint32_t>(s.height));
  PutU16(b, info + 12, 1);
  PutU16(b, info + 14, s.bpp);
  PutU32(b, info + 16, s.compression);
  PutU32(b, info + 32, s.coloursUsed);
  b.resize(info + s.headerSize, 0);
  if (s.headerSize >= 56) {
    for (std::size_t i = 0; i < s.masks.size(); ++i) PutU32(b, info + 40 + 4 * i, s.masks[i]);
  } else {
    for (std::uint32_t m : s.masks) PutU32(b, b.size(), m);
  }
  for (std::uint32_t c : s.palette) {
    b.push_back(static_cast<std::uint8_t>(c >> 16));
    b.push_back(static_cast<std::uint8_t>(c >> 8));
    b.push_back(static_cast<std::uint8_t>(c));
    b.push_back(0);
  }
  const std::size_t offset = b.size();
  b.insert(b.end(), s.pixels.begin(), s.pixels.end());
  if (withFileHeader) {
    b[0] = 'B';
    b[1] = 'M';
    PutU32(b, 2, static_cast<std::uint32_t>(b.size()));
    PutU32(b, 10, static_cast<std::uint32_t>(offset));
  }
  return b;
}

RgbImage Decode(const Bytes& b) {
  return DecodeImageMemory(b.data(), b.size());
}

// True when decoding throws ImageError; any other exception fails the test.
bool Refused(const Bytes& b) {
  try {
    DecodeImageMemory(b.data(), b.size());
  } catch (const ImageError&) {
    return true;
  }
  return false;
}

// Palette entry i of the hand-built palette pictures: distinct and never black.
std::uint32_t Pal(int i) {
  return (3 * i + 1) | ((2 * i) << 8) | (i << 16);
}

std::vector<std::uint32_t> Palette(int n) {
  std::vector<std::uint32_t> p;
  for (int i = 0; i < n; ++i) p.push_back(Pal(i));
  return p;
}

TEST(ImageCodecFixtures, FilesFromOtherProgramsDecodeToTheSamePixels) {
  struct Case {
    const char* file;
    RgbImage expected;
    int tolerance;
  };
  const Case cases[] = {
      {"pal8.bmp", ColourPicture(), 0},
      {"pal4.bmp", ColourPicture(), 0},
      {"rgb24.bmp", ColourPicture(), 0},
      {"os2-pal8.bmp", ColourPicture(), 0},
      {"rle8.bmp", ColourPicture(), 0},
      {"bf555.bmp", ColourPicture(), 0},
      {"bf565.bmp", ColourPicture(), 0},
      {"bf32.bmp", ColourPicture(), 0},
      {"bw1.bmp", BwPicture(), 0},
      {"rgb16.png", ColourPicture(), 0},
      {"interlaced.png", ColourPicture(), 0},
      {"pal8.png", ColourPicture(), 0},
      {"pal4-interlaced.png", ColourPicture(), 0},
      {"bw1.png", BwPicture(), 0},
      {"grey-alpha.png", GreyAlphaPicture(), 0},
      {"lzw.tif", ColourPicture(), 0},
      // libtiff premultiplies with its own rounding before we composite.
      {"grey-alpha.tif", GreyAlphaPicture(), 1},
      {"rgb-alpha.tif", GreyAlphaPicture(), 1},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.file);
    const RgbImage fromFile = DecodeImageFile(Fixture(c.file));
    EXPECT_LE(MaxChannelDifference(fromFile, c.expected), c.tolerance);
    EXPECT_GE(MaxChannelDifference(fromFile, c.expected), 0);
    const Bytes bytes = ReadBytes(Fixture(c.file));
    EXPECT_EQ(Decode(bytes).pixels, fromFile.pixels);
  }

  // A DIB without its file header: the same bytes from the info header on.
  const Bytes bmp = ReadBytes(Fixture("pal8.bmp"));
  EXPECT_EQ(Decode(Bytes(bmp.begin() + 14, bmp.end())).pixels, ColourPicture().pixels);
}

// JPEG keeps colours only nearly; at full quality without chroma subsampling the eight colours
// of the picture come back within a few steps, from baseline, progressive and Adobe CMYK files,
// and the picture says its colours are not exact. A greyscale file decodes to grey pixels.
TEST(ImageCodecFixtures, JpegFilesDecodeNearTheDrawnColours) {
  for (const char* file : {"rgb.jpg", "progressive.jpg", "cmyk.jpg"}) {
    SCOPED_TRACE(file);
    const RgbImage image = DecodeImageFile(Fixture(file));
    EXPECT_FALSE(image.exactColours);
    const int difference = MaxChannelDifference(image, ColourPicture());
    EXPECT_GE(difference, 0);
    EXPECT_LE(difference, 12);
  }
  const RgbImage grey = DecodeImageFile(Fixture("grey.jpg"));
  ASSERT_EQ(grey.pixels.size(), 35u);
  for (std::uint32_t p : grey.pixels) {
    EXPECT_EQ(p & 0xFF, (p >> 8) & 0xFF);
    EXPECT_EQ(p & 0xFF, (p >> 16) & 0xFF);
  }
  EXPECT_TRUE(DecodeImageFile(Fixture("rgb24.bmp")).exactColours);
}

// A JPEG header claiming a picture above the pixel limit is refused before the decoder
// allocates it; so is a stream of start-of-image alone.
TEST(ImageCodecLimits, JpegRefusesHugeHeadersAndBareMarkers) {
  Bytes jpeg = ReadBytes(Fixture("rgb.jpg"));
  // The baseline frame header (FF C0): length, precision, then height and width.
  std::size_t sof = 0;
  for (std::size_t i = 2; i + 9 < jpeg.size(); ++i) {
    if (jpeg[i] == 0xFF && jpeg[i + 1] == 0xC0) {
      sof = i;
      break;
    }
  }
  ASSERT_NE(sof, 0u);
  for (std::size_t at : {sof + 5, sof + 7}) {  // height, width: 65000 x 65000
    jpeg[at] = 0xFD;
    jpeg[at + 1] = 0xE8;
  }
  try {
    DecodeImageMemory(jpeg.data(), jpeg.size());
    ADD_FAILURE() << "a 65000 x 65000 JPEG was decoded";
  } catch (const ImageError& e) {
    EXPECT_NE(std::string(e.what()).find("exceeds the limit"), std::string::npos) << e.what();
  }
  EXPECT_TRUE(Refused(Bytes{0xFF, 0xD8, 0xFF}));
  EXPECT_TRUE(Refused(Bytes{0xFF, 0xD8, 0xFF, 0xD9}));
}

TEST(ImageCodecRoundTrip, EncodersReadBackIdenticalPixels) {
  // Odd sizes so that BMP rows carry padding, and colours that cover every byte value.
  RgbImage img{13, 7, {}};
  std::mt19937 rng(7);
  for (int i = 0; i < 13 * 7; ++i) img.pixels.push_back(rng() & 0xFFFFFFu);
  const RgbImage single{1, 1, {0x123456}};

  struct Format {
    const char* ext;
    void (*encode)(const std::string&, const RgbImage&);
    const char* magic;
  };
  const Format formats[] = {{"BMP", EncodeBmpFile, "BM"},
                            {"PNG", EncodePngFile, "\x89PNG"},
                            {"TIFF", EncodeTiffFile, nullptr}};
  for (const Format& f : formats) {
    SCOPED_TRACE(f.ext);
    for (const RgbImage* source : std::vector<const RgbImage*>{&img, &single}) {
      const std::string path = TempPath(std::string("roundtrip.") + f.ext);
      f.encode(path, *source);
      const RgbImage back = DecodeImageFile(path);
      EXPECT_EQ(back.width, source->width);
      EXPECT_EQ(back.height, source->height);
      EXPECT_EQ(back.pixels, source->pixels);
      std::filesystem::remove(path);
    }
  }

  // The format follows the extension in capitals; anything unknown is written as BMP.
  const struct {
    const char* ext;
    const char* magic;
  } choices[] = {{"TIF", "II*"}, {"TIFF", "II*"}, {"PNG", "\x89PNG"}, {"BMP", "BM"},
                 {"DIB", "BM"},  {"png", "BM"},   {"JPG", "BM"}};
  for (const auto& c : choices) {
    SCOPED_TRACE(c.ext);
    const std::string path = TempPath("choice.out");
    EncodeImageFile(path, img, c.ext);
    const Bytes b = ReadBytes(path);
    ASSERT_GE(b.size(), std::strlen(c.magic));
    EXPECT_EQ(std::string(b.begin(), b.begin() + std::strlen(c.magic)), c.magic);
    EXPECT_EQ(Decode(b).pixels, img.pixels);
    std::filesystem::remove(path);
  }

  // Failures are ImageError, and a rejected image leaves no file behind.
  const std::string missingDir = TempPath("no-such-dir") + "/x.bmp";
  EXPECT_THROW(EncodeBmpFile(missingDir, img), ImageError);
  EXPECT_THROW(EncodePngFile(missingDir, img), ImageError);
  EXPECT_THROW(EncodeTiffFile(missingDir, img), ImageError);
  RgbImage broken = img;
  broken.pixels.pop_back();
  const std::string brokenPath = TempPath("broken.png");
  EXPECT_THROW(EncodeImageFile(brokenPath, broken, "PNG"), ImageError);
  EXPECT_THROW(EncodeImageFile(brokenPath, RgbImage{}, "TIF"), ImageError);
  EXPECT_FALSE(std::filesystem::exists(brokenPath));
}

TEST(ImageCodecBmp, HandBuiltVariants) {
  {
    // RLE4, 6 x 3, bottom-up: an absolute run of 5 (3 bytes and a pad byte), a run of 1,
    // end of line, a delta that skips the rest of row 1 and two pixels of row 2, a run that
    // alternates two nibbles, end of bitmap. Skipped pixels are black.
    BmpSpec s;
    s.width = 6;
    s.height = 3;
    s.bpp = 4;
    s.compression = 2;
    s.palette = Palette(16);
    s.pixels = {0x00, 0x05, 0x12, 0x34, 0x50, 0x00, 0x01, 0x60, 0x00,
                0x00, 0x00, 0x02, 0x02, 0x01, 0x03, 0x78, 0x00, 0x01};
    const RgbImage img = Decode(MakeBmp(s));
    const std::vector<std::uint32_t> expected = {
        K,      K,      Pal(7), Pal(8), Pal(7), K,        // top: file row 2
        K,      K,      K,      K,      K,      K,        // skipped by the delta
        Pal(1), Pal(2), Pal(3), Pal(4), Pal(5), Pal(6)};  // bottom: file row 0
    EXPECT_EQ(img.pixels, expected);
  }
  {
    // RLE8, 4 x 2: an odd absolute run with its pad byte, a run past the right edge (clipped),
    // and data that ends with the end of the last line instead of an end-of-bitmap code.
    BmpSpec s;
    s.width = 4;
    s.height = 2;
    s.bpp = 8;
    s.compression = 1;
    s.palette = Palette(256);
    s.pixels = {0x00, 0x03, 5, 6, 7, 0x00, 0x03, 9, 0x00, 0x00, 0x02, 10, 0x00, 0x00};
    EXPECT_EQ(Decode(MakeBmp(s)).pixels,
              (std::vector<std::uint32_t>{Pal(10), Pal(10), K, K, Pal(5), Pal(6), Pal(7), Pal(9)}));
    // Without that last end of line the picture is incomplete.
    s.pixels.resize(s.pixels.size() - 2);
    EXPECT_TRUE(Refused(MakeBmp(s)));
  }
  {
    // 24 bits, 3 x 2, top-down and bottom-up storage of the same picture (rows padded to 12).
    BmpSpec s;
    s.width = 3;
    s.height = -2;
    const Bytes top = {0, 0, 255, 0, 255, 0, 255, 0, 0, 0, 0, 0};         // B G R: red, green, blue
    const Bytes bottom = {255, 255, 255, 0, 0, 0, 0, 255, 255, 0, 0, 0};  // white, black, yellow
    s.pixels = top;
    s.pixels.insert(s.pixels.end(), bottom.begin(), bottom.end());
    const std::vector<std::uint32_t> expected = {R, G, B, W, K, Y};
    EXPECT_EQ(Decode(MakeBmp(s)).pixels, expected);
    s.height = 2;
    s.pixels = bottom;
    s.pixels.insert(s.pixels.end(), top.begin(), top.end());
    EXPECT_EQ(Decode(MakeBmp(s)).pixels, expected);
  }
  {
    // 16 bits: bit fields of widths 6, 4 and 6 scale to 0..255 with rounding (32 of 63 is
    // 129.52, so 130); plain BI_RGB means 5-5-5.
    BmpSpec s;
    s.width = 3;
    s.height = 1;
    s.bpp = 16;
    s.compression = 3;
    s.masks = {0xFC00, 0x03C0, 0x003F};
    s.pixels = {0xFF, 0xFF, 0x00, 0xFC, 0x00, 0x80, 0, 0};  // white, red, R = 32 of 63
    EXPECT_EQ(Decode(MakeBmp(s)).pixels, (std::vector<std::uint32_t>{W, R, 130}));
    s.masks = {0xF0F0, 0x0F00, 0x000F};  // not contiguous
    EXPECT_TRUE(Refused(MakeBmp(s)));
    s.masks = {0x1F0000, 0x03E0, 0x001F};  // beyond 16 bits
    EXPECT_TRUE(Refused(MakeBmp(s)));
    s.compression = 0;
    s.masks.clear();
    s.pixels = {0xFF, 0x7F, 0x1F, 0x00, 0x00, 0x7C, 0, 0};
    EXPECT_EQ(Decode(MakeBmp(s)).pixels, (std::vector<std::uint32_t>{W, B, R}));
  }
  {
    // 32 bits with an alpha mask in a V5 header: transparent becomes white and half
    // transparent half-way to white; an alpha channel that is zero everywhere means opaque.
    BmpSpec s;
    s.width = 3;
    s.height = 1;
    s.bpp = 32;
    s.compression = 3;
    s.headerSize = 124;
    s.masks = {0x00FF0000, 0x0000FF00, 0x000000FF, 0xFF000000};
    s.pixels = {0, 0, 255, 255, 0, 0, 255, 0, 0, 0, 0, 128};  // red, clear red, half black
    EXPECT_EQ(Decode(MakeBmp(s)).pixels, (std::vector<std::uint32_t>{R, W, 127 * 0x010101u}));
    s.pixels = {0, 0, 255, 0, 0, 255, 0, 0, 255, 0, 0, 0};
    EXPECT_EQ(Decode(MakeBmp(s)).pixels, (std::vector<std::uint32_t>{R, G, B}));
    // Without bit fields the fourth byte is padding, whatever it holds.
    s.compression = 0;
    s.pixels = {0, 0, 255, 7, 0, 255, 0, 0, 255, 0, 0, 99};
    EXPECT_EQ(Decode(MakeBmp(s)).pixels, (std::vector<std::uint32_t>{R, G, B}));
  }
  {
    // An 8-bit palette of two entries: indices beyond it are black; a DIB without a file header
    // finds its pixels after the two entries that clrUsed announces.
    BmpSpec s;
    s.width = 3;
    s.height = 1;
    s.bpp = 8;
    s.coloursUsed = 2;
    s.palette = {R, G};
    s.pixels = {1, 0, 5, 0};
    const std::vector<std::uint32_t> expected = {G, R, K};
    EXPECT_EQ(Decode(MakeBmp(s)).pixels, expected);
    EXPECT_EQ(Decode(MakeBmp(s, false)).pixels, expected);
  }
}

TEST(ImageCodecBmp, RefusesHostileHeaders) {
  BmpSpec huge;
  huge.width = 60000;
  huge.height = 60000;
  EXPECT_TRUE(Refused(MakeBmp(huge)));
  huge.bpp = 8;
  huge.compression = 1;  // RLE could claim any size with a few bytes
  huge.palette = Palette(256);
  huge.pixels = {0, 1};
  EXPECT_TRUE(Refused(MakeBmp(huge)));
  // Exactly at the pixel limit, but the data for it is missing.
  BmpSpec atLimit;
  atLimit.width = 10000;
  atLimit.height = -10000;
  atLimit.pixels = Bytes(100, 0);
  EXPECT_TRUE(Refused(MakeBmp(atLimit)));

  BmpSpec ok;
  ok.width = 2;
  ok.height = 2;
  ok.pixels = Bytes(16, 0x40);
  ASSERT_FALSE(Refused(MakeBmp(ok)));
  const auto refusedWith = [&](auto change) {
    BmpSpec s = ok;
    change(s);
    return Refused(MakeBmp(s));
  };
  EXPECT_TRUE(refusedWith([](BmpSpec& s) { s.width = 0; }));
  EXPECT_TRUE(refusedWith([](BmpSpec& s) { s.width = -2; }));
  EXPECT_TRUE(refusedWith([](BmpSpec& s) { s.height = 0; }));
  EXPECT_TRUE(refusedWith([](BmpSpec& s) { s.height = INT32_MIN; }));
  EXPECT_TRUE(refusedWith([](BmpSpec& s) { s.bpp = 7; }));
  EXPECT_TRUE(refusedWith([](BmpSpec& s) { s.compression = 1; }));  // RLE8 needs 8 bits
  EXPECT_TRUE(refusedWith([](BmpSpec& s) { s.compression = 4; }));  // embedded JPEG
  EXPECT_TRUE(refusedWith([](BmpSpec& s) { s.compression = 99; }));
  EXPECT_TRUE(refusedWith([](BmpSpec& s) { s.headerSize = 41; }));
  EXPECT_TRUE(refusedWith([](BmpSpec& s) { s.pixels.resize(13); }));  // short of the last row

  Bytes b = MakeBmp(ok);
  PutU32(b, 10, static_cast<std::uint32_t>(b.size()));  // pixel data beyond the file
  EXPECT_TRUE(Refused(b));
  PutU32(b, 10, 20);  // pixel data inside the info header
  EXPECT_TRUE(Refused(b));
  // A headerless DIB whose colour count puts the pixels far beyond the file.
  BmpSpec manyColours = ok;
  manyColours.coloursUsed = 0xFFFFFFFF;
  EXPECT_TRUE(Refused(MakeBmp(manyColours, false)));

  // Unknown, empty and unreadable input.
  EXPECT_TRUE(Refused(Bytes{'G', 'I', 'F', '8', '9', 'a', 0, 0}));
  EXPECT_TRUE(Refused(Bytes{}));
  EXPECT_THROW(DecodeImageFile(TempPath("does-not-exist.bmp")), ImageError);
  EXPECT_THROW(DecodeImageFile(::testing::TempDir()), ImageError);
}

TEST(ImageCodecBmp, AnRleFileClaimingAHugePictureIsJudgedBeforeItIsAllocated) {
  // A few hundred bytes of RLE8 data claiming 7 x 11862021 pixels (a fuzzer's find, kept in
  // tests/fuzz/corpus/fuzz_image): the codes end before the end-of-bitmap code, which the decoder
  // now finds before it allocates and fills the 83 million pixels.
  const Bytes b = ReadBytes(std::string(ZOLVA_FIXTURES) +
                            "/../fuzz/corpus/fuzz_image/rle8-claims-83M-pixels.bmp");
  ASSERT_GT(b.size(), 54u);
  try {
    Decode(b);
    ADD_FAILURE() << "decoded";
  } catch (const ImageError& e) {
    EXPECT_NE(std::string(e.what()).find("RLE data ends"), std::string::npos) << e.what();
  }
  // A whole RLE8 stream of the same claimed size still decodes: the size is within the limit.
  BmpSpec s;
  s.width = 7;
  s.height = 3;
  s.bpp = 8;
  s.compression = 1;
  s.palette = Palette(2);
  s.pixels = {7, 1, 0, 0, 0, 1};  // one row of colour 1, then the end of the bitmap
  const RgbImage img = Decode(MakeBmp(s));
  ASSERT_EQ(img.pixels.size(), 21u);
  EXPECT_EQ(img.pixels[14], Pal(1));  // the bottom row, first in the file
  EXPECT_EQ(img.pixels[0], 0u);       // skipped by the end code: black
}

std::uint32_t Crc32(const Bytes& b, std::size_t from, std::size_t to) {
  std::uint32_t crc = 0xFFFFFFFFu;
  for (std::size_t i = from; i < to; ++i) {
    crc ^= b[i];
    for (int k = 0; k < 8; ++k) crc = (crc >> 1) ^ (0xEDB88320u & (0u - (crc & 1u)));
  }
  return ~crc;
}

void PutBe32(Bytes& b, std::uint32_t v) {
  for (int shift = 24; shift >= 0; shift -= 8) b.push_back(static_cast<std::uint8_t>(v >> shift));
}

TEST(ImageCodecLimits, PngAndTiffRefuseHugeHeadersBeforeAllocating) {
  // A PNG signature and a well-formed IHDR claiming width x height RGB pixels, nothing else.
  const auto pngHeader = [](std::uint32_t width, std::uint32_t height) {
    Bytes b = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
    PutBe32(b, 13);
    const std::size_t type = b.size();
    b.insert(b.end(), {'I', 'H', 'D', 'R'});
    PutBe32(b, width);
    PutBe32(b, height);
    b.insert(b.end(), {8, 2, 0, 0, 0});
    PutBe32(b, Crc32(b, type, b.size()));
    // The start of an empty IDAT, where the header reading stops and the size is judged.
    b.insert(b.end(), {0, 0, 0, 0, 'I', 'D', 'A', 'T'});
    return b;
  };
  EXPECT_TRUE(Refused(pngHeader(20000, 20000)));  // above our pixel limit
  EXPECT_TRUE(Refused(pngHeader(2000000, 1)));    // above the per-side limit
  EXPECT_TRUE(Refused(pngHeader(7, 5)));          // plausible, but the data is missing

  // A TIFF directory claiming 60000 x 60000 grey pixels in one uncompressed strip.
  Bytes t = {'I', 'I', 42, 0};
  PutU32(t, 4, 8);
  const std::uint32_t entries[][4] = {
      {256, 4, 1, 60000}, {257, 4, 1, 60000}, {258, 3, 1, 8},
      {259, 3, 1, 1},     {262, 3, 1, 1},     {273, 4, 1, 8},
      {277, 3, 1, 1},     {278, 4, 1, 60000}, {279, 4, 1, 3600000000u}};
  PutU16(t, 8, std::size(entries));
  for (const auto& e : entries) {
    const std::size_t at = t.size();
    PutU16(t, at, e[0]);
    PutU16(t, at + 2, e[1]);
    PutU32(t, at + 4, e[2]);
    PutU32(t, at + 8, e[3]);
  }
  PutU32(t, t.size(), 0);
  EXPECT_TRUE(Refused(t));
}

// A PNG of the given colour type and bit depth from raw scanlines (each with its filter byte),
// the data in one stored (uncompressed) deflate block.
Bytes MakePng(std::uint32_t width, std::uint32_t height, int depth, int colourType,
              const Bytes& scanlines) {
  Bytes b = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
  const auto chunk = [&b](const char* type, const Bytes& data) {
    PutBe32(b, static_cast<std::uint32_t>(data.size()));
    const std::size_t start = b.size();
    b.insert(b.end(), type, type + 4);
    b.insert(b.end(), data.begin(), data.end());
    PutBe32(b, Crc32(b, start, b.size()));
  };
  Bytes header;
  PutBe32(header, width);
  PutBe32(header, height);
  header.insert(header.end(),
                {static_cast<std::uint8_t>(depth), static_cast<std::uint8_t>(colourType), 0, 0, 0});
  chunk("IHDR", header);
  Bytes z = {0x78, 0x01, 0x01};  // zlib header; a final stored block
  const auto n = static_cast<std::uint16_t>(scanlines.size());
  z.insert(z.end(), {static_cast<std::uint8_t>(n), static_cast<std::uint8_t>(n >> 8),
                     static_cast<std::uint8_t>(~n), static_cast<std::uint8_t>(~n >> 8)});
  z.insert(z.end(), scanlines.begin(), scanlines.end());
  std::uint32_t a = 1, c = 0;
  for (std::uint8_t v : scanlines) {
    a = (a + v) % 65521;
    c = (c + a) % 65521;
  }
  PutBe32(z, (c << 16) | a);
  chunk("IDAT", z);
  chunk("IEND", {});
  return b;
}

TEST(ImageCodecPng, SixteenBitSamplesAreScaledWithRounding) {
  // v * 255 / 65535 rounded: 0x01FF gives 2 (its high byte 1), 0xFE00 gives 253 (high byte 254).
  Bytes rgb = {0, 0x01, 0xFF, 0xFE, 0x00, 0x80, 0x80, 0xFF, 0xFF, 0x00, 0x00, 0x00, 0x7F};
  const RgbImage colour = Decode(MakePng(2, 1, 16, 2, rgb));
  ASSERT_EQ(colour.pixels.size(), 2u);
  EXPECT_EQ(colour.pixels[0], PackRgb(2, 253, 128));
  EXPECT_EQ(colour.pixels[1], PackRgb(255, 0, 0));

  // Grey with alpha: the grey is scaled before it is composited onto white.
  Bytes grey = {0, 0x01, 0xFF, 0xFF, 0xFF, 0xFE, 0x00, 0x00, 0x00};
  const RgbImage ga = Decode(MakePng(2, 1, 16, 4, grey));
  ASSERT_EQ(ga.pixels.size(), 2u);
  EXPECT_EQ(ga.pixels[0], 2 * 0x010101u);
  EXPECT_EQ(ga.pixels[1], 0xFFFFFFu);  // fully transparent
}

// An uncompressed 8-bit grey TIFF, little-endian: the pixel data from offset 8, then the
// directory. Each entry is (tag, type, values); values of more than 4 bytes go after it.
struct TiffEntry {
  std::uint16_t tag, type;
  std::vector<std::uint32_t> values;
};

Bytes MakeTiff(const Bytes& pixels, std::vector<TiffEntry> entries) {
  Bytes b = {'I', 'I', 42, 0, 0, 0, 0, 0};
  b.insert(b.end(), pixels.begin(), pixels.end());
  if (b.size() % 2) b.push_back(0);
  const std::size_t ifd = b.size();
  PutU32(b, 4, static_cast<std::uint32_t>(ifd));
  PutU16(b, ifd, static_cast<std::uint32_t>(entries.size()));
  std::size_t extra = ifd + 2 + 12 * entries.size() + 4;
  b.resize(extra, 0);
  for (std::size_t i = 0; i < entries.size(); ++i) {
    const TiffEntry& e = entries[i];
    const std::size_t at = ifd + 2 + 12 * i;
    const std::size_t size = e.type == 3 ? 2 : e.type == 2 ? 1 : 4;
    PutU16(b, at, e.tag);
    PutU16(b, at + 2, e.type);
    PutU32(b, at + 4, static_cast<std::uint32_t>(e.values.size()));
    std::size_t place = at + 8;
    if (size * e.values.size() > 4) {
      place = b.size();
      PutU32(b, at + 8, static_cast<std::uint32_t>(place));
    }
    for (std::uint32_t v : e.values) {
      if (size == 1) {
        if (b.size() < place + 1) b.resize(place + 1);
        b[place] = static_cast<std::uint8_t>(v);
      } else if (size == 2) {
        PutU16(b, place, v);
      } else {
        PutU32(b, place, v);
      }
      place += size;
    }
  }
  return b;
}

TEST(ImageCodecTiff, TagsThatDisagreeWithTheDataAreRefused) {
  // 40 x 30 grey pixels in three strips of ten rows.
  Bytes grey(40 * 30);
  for (std::size_t i = 0; i < grey.size(); ++i) grey[i] = static_cast<std::uint8_t>(i * 13);
  const auto tiff = [&](std::uint32_t length, std::uint32_t rowsPerStrip,
                        std::vector<std::uint32_t> offsets, std::vector<std::uint32_t> counts,
                        std::vector<TiffEntry> more = {}) {
    std::vector<TiffEntry> e = {
        {256, 3, {40}},  {257, 3, {length}}, {258, 3, {8}}, {259, 3, {1}},
        {262, 3, {1}},   {273, 4, offsets},  {277, 3, {1}}, {278, 3, {rowsPerStrip}},
        {279, 4, counts}};
    e.insert(e.end(), more.begin(), more.end());
    std::sort(e.begin(), e.end(), [](const auto& a, const auto& b) { return a.tag < b.tag; });
    return MakeTiff(grey, e);
  };
  const auto refusal = [](const Bytes& b) {
    try {
      DecodeImageMemory(b.data(), b.size());
    } catch (const ImageError& e) {
      return std::string(e.what());
    }
    return std::string();
  };

  const RgbImage good = Decode(tiff(30, 10, {8, 408, 808}, {400, 400, 400}));
  ASSERT_EQ(good.width, 40);
  ASSERT_EQ(good.height, 30);
  for (std::size_t i = 0; i < grey.size(); ++i) ASSERT_EQ(good.pixels[i], grey[i] * 0x010101u);

  // A private tag of another program changes nothing: libtiff's warning about it does not count.
  EXPECT_EQ(Decode(tiff(30, 10, {8, 408, 808}, {400, 400, 400}, {{65000, 4, {7}}})).pixels,
            good.pixels);

  // ImageLength patched to 65535: the strip table no longer matches, libtiff warns and would
  // guess; the guess is not the picture.
  std::string why = refusal(tiff(65535, 10, {8, 408, 808}, {400, 400, 400}));
  EXPECT_NE(why.find("StripOffsets"), std::string::npos) << why;
  // The same lie with a single strip agrees with the strip table but not with its byte count.
  why = refusal(tiff(65535, 65535, {8}, {1200}));
  EXPECT_NE(why.find("StripByteCounts"), std::string::npos) << why;
  // A strip one byte short, a strip beyond the end of the file, a strip without data.
  why = refusal(tiff(30, 10, {8, 408, 808}, {400, 400, 399}));
  EXPECT_NE(why.find("strip 2 holds 399 bytes"), std::string::npos) << why;
  why = refusal(tiff(30, 10, {8, 408, 100000}, {400, 400, 400}));
  EXPECT_NE(why.find("strip 2 lies beyond the end of the file"), std::string::npos) << why;
  why = refusal(tiff(30, 10, {8, 408, 808}, {400, 0, 400}));
  EXPECT_NE(why.find("strip 1 has no data"), std::string::npos) << why;
}

// Every truncation and a few hundred bit flips of each fixture decode or throw ImageError;
// nothing crashes, hangs or reads outside the data (run under the sanitizers to see the last).
TEST(ImageCodecRobustness, TruncationsAndBitFlipsDecodeOrThrowImageError) {
  std::vector<std::string> files;
  for (const auto& entry : std::filesystem::directory_iterator(ZOLVA_FIXTURES)) {
    const std::string ext = entry.path().extension().string();
    if (ext == ".bmp" || ext == ".png" || ext == ".tif" || ext == ".jpg")
      files.push_back(entry.path().string());
  }
  ASSERT_GE(files.size(), 22u);
  std::sort(files.begin(), files.end());
  std::mt19937 rng(20240611);  // fixed seed: the same flips on every run
  for (const std::string& path : files) {
    SCOPED_TRACE(path);
    const Bytes original = ReadBytes(path);
    ASSERT_FALSE(original.empty());
    // PNG and JPEG files end in a marker; our JPEG decoding treats a missing one as damage.
    const bool png = original[0] == 0x89 || original[0] == 0xFF;
    for (std::size_t len = 0; len < original.size(); ++len) {
      // A heap copy of exactly `len` bytes, so that the sanitizers see any read past its end.
      const Bytes cut(original.begin(), original.begin() + len);
      const bool refused = Refused(cut);
      // A PNG is complete only with its end chunk, so every cut must be noticed.
      if (png) {
        EXPECT_TRUE(refused) << "length " << len;
      }
    }
    for (int trial = 0; trial < 300; ++trial) {
      Bytes damaged = original;
      const int flips = 1 + static_cast<int>(rng() % 3);
      for (int f = 0; f < flips; ++f) {
        const std::uint32_t bit = rng() % (damaged.size() * 8);
        damaged[bit / 8] ^= static_cast<std::uint8_t>(1u << (bit % 8));
      }
      Refused(damaged);
    }
  }
}

}  // namespace
}  // namespace zolva
