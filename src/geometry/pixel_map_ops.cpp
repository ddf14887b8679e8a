// The map's size and placement in the display field, and the rescaling of a Usermap from its
// source image.
#include <algorithm>
#include <charconv>
#include <cmath>
#include <stdexcept>
#include <string>
#include <unordered_map>

#include "core/materials.h"
#include "core/text_reader.h"
#include "geometry/map_ops.h"

namespace zolva {
namespace {

// Centre of the map and the offsets that put it on the centre of the 3200 x 3200 field.
void PlaceInField(PixelMap& m) {
  m.mapCentreX = m.Uwid / 2;
  m.mapCentreY = m.Uhei / 2;
  m.mapToFieldX = kDisplayFieldSize / 2 - m.mapCentreX;
  m.mapToFieldY = kDisplayFieldSize / 2 - m.mapCentreY;
  m.fieldToMapX = -m.mapToFieldX;
  m.fieldToMapY = -m.mapToFieldY;
}

std::size_t PixelCount(std::int64_t w, std::int64_t h) {
  return static_cast<std::size_t>(w) * static_cast<std::size_t>(h);
}

// Whether a colour is an insulator by its palette entry. The lookup appends colours it has not
// met, as every palette lookup does; a full palette cannot classify the colour, which then
// counts as no insulator so that the smoothing leaves such pixels alone. Kinds do not change
// during one pass, so the answers are cached.
class InsulatorTest {
 public:
  explicit InsulatorTest(const GeometryJob& job) : job_(job) {}
  bool operator()(std::uint32_t color) {
    if (haveLast_ && color == lastColor_) return lastAnswer_;
    auto found = cache_.find(color);
    bool answer;
    if (found != cache_.end()) {
      answer = found->second;
    } else {
      int i = FindPaletteIndex(job_.materials, color);
      answer = i != kPaletteFull &&
               job_.materials.palette.entries.at(static_cast<std::size_t>(i)).kind == KindInsul;
      cache_.emplace(color, answer);
    }
    haveLast_ = true;
    lastColor_ = color;
    lastAnswer_ = answer;
    return answer;
  }

 private:
  const GeometryJob& job_;
  std::unordered_map<std::uint32_t, bool> cache_;
  bool haveLast_ = false;
  std::uint32_t lastColor_ = 0;
  bool lastAnswer_ = false;
};

// Each source pixel becomes a k x k block.
void Enlarge(const std::vector<std::uint32_t>& src, int w, int h, int k,
             std::vector<std::uint32_t>& out) {
  const std::size_t W = static_cast<std::size_t>(w) * k;
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < w; ++x) {
      std::uint32_t c = src[static_cast<std::size_t>(x) + static_cast<std::size_t>(y) * w];
      for (int dy = 0; dy < k; ++dy) {
        std::size_t row = (static_cast<std::size_t>(y) * k + dy) * W;
        for (int dx = 0; dx < k; ++dx) out[row + static_cast<std::size_t>(x) * k + dx] = c;
      }
    }
}

// An enlarged staircase touches only at block corners; a field solver sees such a line as a
// chain of separate pieces. These passes close the corners. They run from the bottom right to
// the top left and in place: a pixel closed early takes part in the tests of later pixels. Each
// of the two diagonal tests first asks whether the pixel is (still) an insulator, so a pixel
// closed by the first diagonal is not reopened by the second.
//
// At 200 % an insulator pixel between two equal diagonal neighbours takes their colour.
void SmoothDouble(const GeometryJob& job, std::uint32_t* px, std::ptrdiff_t W, std::ptrdiff_t H) {
  InsulatorTest insulator(job);
  for (std::ptrdiff_t y = H - 2; y >= 1; --y)
    for (std::ptrdiff_t x = W - 2; x >= 1; --x) {
      std::uint32_t& p = px[x + y * W];
      std::uint32_t c = px[(x - 1) + (y - 1) * W];
      if (insulator(p) && c == px[(x + 1) + (y + 1) * W]) p = c;
      c = px[(x + 1) + (y - 1) * W];
      if (insulator(p) && c == px[(x - 1) + (y + 1) * W]) p = c;
    }
}

// At 300 % the gap between two diagonal conductor blocks is wider; an insulator pixel between
// two equal conductor diagonal neighbours becomes a plus-shaped patch of that conductor.
void SmoothTriple(const GeometryJob& job, std::uint32_t* px, std::ptrdiff_t W, std::ptrdiff_t H) {
  InsulatorTest insulator(job);
  auto plus = [&](std::ptrdiff_t x, std::ptrdiff_t y, std::uint32_t c) {
    px[x + y * W] = c;
    px[x + (y - 1) * W] = c;
    px[x + (y + 1) * W] = c;
    px[(x - 1) + y * W] = c;
    px[(x + 1) + y * W] = c;
  };
  for (std::ptrdiff_t y = H - 2; y >= 1; --y)
    for (std::ptrdiff_t x = W - 2; x >= 1; --x) {
      std::uint32_t c = px[(x - 1) + (y - 1) * W];
      if (insulator(px[x + y * W]) && c == px[(x + 1) + (y + 1) * W] && !insulator(c))
        plus(x, y, c);
      c = px[(x + 1) + (y - 1) * W];
      if (insulator(px[x + y * W]) && c == px[(x - 1) + (y + 1) * W] && !insulator(c))
        plus(x, y, c);
    }
}

void CheckRescaleIndex(int index) {
  if (index < 0 || index > 3)
    throw std::out_of_range("rescale index must be 0..3; got " + std::to_string(index));
}

}  // namespace

MapSize RescaledSize(int w, int h, int index) {
  CheckRescaleIndex(index);
  if (index == 0) return {std::max(1, w / 2), std::max(1, h / 2)};
  // Index 1, 2, 3 scales by the same whole factor.
  return {static_cast<std::int64_t>(w) * index, static_cast<std::int64_t>(h) * index};
}

bool FitsPixelLimit(const MapSize& size, std::int64_t limit) {
  return size.width > 0 && size.height > 0 && size.width <= limit && size.height <= limit &&
         size.width * size.height <= limit;
}

void SetMapSize(const GeometryJob& job, int w, int h) {
  if (!FitsPixelLimit({w, h}))
    throw std::out_of_range("map size " + std::to_string(w) + " x " + std::to_string(h) +
                            " is empty or above the pixel limit");
  PixelMap& m = job.map;
  job.fieldReady = false;
  ClearStatusLabels(job.report);
  const std::size_t n = PixelCount(w, h);
  if (w != m.Uwid || h != m.Uhei || m.Ucolor.size() != n) {
    m.Uwid = w;
    m.Uhei = h;
    m.analysedPixels.assign(n, 0);
    m.Uindex.assign(n, 0);
    // The source image follows the map so that its size always matches sourceWidth and
    // sourceHeight; it holds no drawing of its own after a generator has sized it.
    m.sourceImage.assign(n, 0);
    m.sourceWidth = w;
    m.sourceHeight = h;
  }
  PlaceInField(m);
  m.backgroundColor = 0;
  m.Ucolor.assign(n, m.backgroundColor);
  // The new map replaces whatever made the previous one unusable.
  job.state.mapUnusable = false;
}

void PublishMap(const GeometryJob& job) {
  job.map.analysedPixels = job.map.Ucolor;
  job.report.RefreshDisplay();
  job.report.ShowTab(TabCurrent);
  job.map.restrictedPixels = 0;
  job.report.SetLabel(Label31, std::to_string(job.map.condCount));
}

void RescaleMap(const GeometryJob& job) {
  PixelMap& m = job.map;
  job.fieldReady = false;
  const int w = m.sourceWidth;
  const int h = m.sourceHeight;
  if (w <= 0 || h <= 0 || m.sourceImage.size() != PixelCount(w, h))
    throw std::out_of_range("source image of " + std::to_string(m.sourceImage.size()) +
                            " pixels does not match its size " + std::to_string(w) + " x " +
                            std::to_string(h));
  const MapSize size = RescaledSize(w, h, m.rescaleIndex);
  if (!FitsPixelLimit(size, MapPixelLimit(job.state)))
    throw std::out_of_range("rescaled map above the pixel limit");
  const std::size_t W = static_cast<std::size_t>(size.width);
  const std::size_t H = static_cast<std::size_t>(size.height);
  const std::vector<std::uint32_t>& src = m.sourceImage;
  std::vector<std::uint32_t> out(W * H);

  switch (m.rescaleIndex) {
    case 0:
      // Every second pixel of every second row; a source one pixel wide keeps its only column.
      for (std::size_t y = 0; y < H; ++y)
        for (std::size_t x = 0; x < W; ++x)
          out[x + y * W] = src[std::min<std::size_t>(2 * x, w - 1) +
                               std::min<std::size_t>(2 * y, h - 1) * static_cast<std::size_t>(w)];
      break;
    case 1:
      out = src;
      break;
    case 2:
      Enlarge(src, w, h, 2, out);
      SmoothDouble(job, out.data(), size.width, size.height);
      break;
    default:
      Enlarge(src, w, h, 3, out);
      SmoothTriple(job, out.data(), size.width, size.height);
      break;
  }

  m.Uwid = static_cast<int>(W);
  m.Uhei = static_cast<int>(H);
  m.Ucolor = std::move(out);
  // Every per-pixel array keeps the map's size; the analysis refills them.
  m.analysedPixels = m.Ucolor;
  m.Uindex.assign(W * H, 0);
  PlaceInField(m);
}

std::string RescalePixelWidthText(const std::string& text, int fromIndex, int toIndex) {
  CheckRescaleIndex(fromIndex);
  CheckRescaleIndex(toIndex);
  std::size_t lastDigit = text.find_last_of("0123456789");
  if (lastDigit == std::string::npos) return text;
  const std::string numberPart = text.substr(0, lastDigit + 1);
  const std::string unitPart = text.substr(lastDigit + 1);

  // The number as the length reader would see it: blanks do not count, and the decimal point is
  // "." whatever the machine's locale.
  std::string digits;
  for (char ch : numberPart)
    if (ch != ' ') digits += ch;
  double value = 0.0;
  if (!ParseReal(digits, value)) return text;

  // One pixel of the new map is factor(from) / factor(to) pixels of the old one wide.
  double product = value * kRescaleFactors[fromIndex] / kRescaleFactors[toIndex];
  if (!std::isfinite(product)) return text;
  auto format = [](double x) {
    char buffer[400];
    auto result = std::to_chars(buffer, buffer + sizeof buffer, x, std::chars_format::fixed, 10);
    return std::string(buffer, result.ptr);
  };
  std::string written = format(product);
  // A third that lands just below a round value is written as the round value.
  if (written.back() == '9') written = format(product + 1e-10);
  while (!written.empty() && written.back() == '0') written.pop_back();
  // A bare point would read as a unit and make the width unreadable: "20." + "mm" is no length.
  if (!written.empty() && written.back() == '.') written.pop_back();
  return written + unitPart;
}

}  // namespace zolva
