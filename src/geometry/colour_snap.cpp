#include "geometry/colour_snap.h"

#include <algorithm>
#include <limits>
#include <stdexcept>
#include <string>

namespace zolva {
namespace {

// One entry per 24-bit colour: a colour's answer is worked out once however many pixels have it.
constexpr std::size_t kColourSpace = std::size_t{1} << 24;
constexpr std::uint16_t kUnknown = 0xFFFF;  // not yet worked out
constexpr std::uint16_t kNone = 0xFFFE;     // no colour answers

int DistanceSquared(std::uint32_t a, std::uint32_t b) {
  int sum = 0;
  for (int shift = 0; shift < 24; shift += 8) {
    const int d = static_cast<int>((a >> shift) & 0xFFu) - static_cast<int>((b >> shift) & 0xFFu);
    sum += d * d;
  }
  return sum;
}

// Index of the colour in candidates nearest to c (the first among equals), or kNone when none
// lies within limit (squared distance).
std::uint16_t Nearest(const std::vector<std::uint32_t>& candidates, std::uint32_t c, int limit) {
  std::uint16_t best = kNone;
  int bestDistance = std::numeric_limits<int>::max();
  for (std::size_t i = 0; i < candidates.size(); ++i) {
    const int d = DistanceSquared(candidates[i], c);
    if (d < bestDistance) {
      bestDistance = d;
      best = static_cast<std::uint16_t>(i);
    }
  }
  return bestDistance <= limit ? best : kNone;
}

// Defined colours shown exactly: some pixel has the colour.
std::vector<bool> ShownExactly(const std::vector<std::uint32_t>& pixels,
                               const std::vector<std::uint32_t>& defined,
                               std::vector<std::uint16_t>& lookup) {
  for (std::size_t i = 0; i < defined.size(); ++i)
    lookup[defined[i]] = static_cast<std::uint16_t>(i);
  std::vector<bool> shown(defined.size(), false);
  for (std::uint32_t c : pixels) {
    const std::uint16_t k = lookup[c & 0xFFFFFFu];
    if (k < kNone) shown[k] = true;
  }
  return shown;
}

// Defined colours shown as an area of a lossy picture: a 2 x 2 block of pixels that all lie near
// that colour. A block is small enough for a strip two pixels wide, and a blended edge seldom
// keeps one colour over one. At the right and bottom edges the block reaches back into the
// picture; only a picture one pixel wide or high has narrower blocks.
std::vector<bool> ShownAsAreas(const std::vector<std::uint32_t>& pixels, int width, int height,
                               const std::vector<std::uint32_t>& defined,
                               std::vector<std::uint16_t>& lookup) {
  const int limit = kLossyColourTolerance * kLossyColourTolerance;
  std::vector<std::uint16_t> near(pixels.size());
  for (std::size_t i = 0; i < pixels.size(); ++i) {
    const std::uint32_t c = pixels[i] & 0xFFFFFFu;
    if (lookup[c] == kUnknown) lookup[c] = Nearest(defined, c, limit);
    near[i] = lookup[c];
  }
  std::vector<bool> shown(defined.size(), false);
  const auto at = [width](int x, int y) {
    return static_cast<std::size_t>(y) * static_cast<std::size_t>(width) +
           static_cast<std::size_t>(x);
  };
  for (int y = 0; y < height; ++y) {
    const int y2 = y + 1 < height ? y + 1 : (y > 0 ? y - 1 : y);
    for (int x = 0; x < width; ++x) {
      const std::uint16_t k = near[at(x, y)];
      if (k >= kNone || shown[k]) continue;
      const int x2 = x + 1 < width ? x + 1 : (x > 0 ? x - 1 : x);
      if (near[at(x2, y)] == k && near[at(x, y2)] == k && near[at(x2, y2)] == k) shown[k] = true;
    }
  }
  return shown;
}

}  // namespace

SnapOutcome SnapColours(std::vector<std::uint32_t>& pixels, int width, int height,
                        const ColorTable& table, bool exactColours) {
  if (width < 0 || height < 0 ||
      pixels.size() != static_cast<std::size_t>(width) * static_cast<std::size_t>(height)) {
    throw std::invalid_argument("SnapColours: " + std::to_string(pixels.size()) +
                                " pixels do not fill " + std::to_string(width) + " x " +
                                std::to_string(height));
  }
  std::vector<std::uint32_t> defined;
  for (int i = 0; i < table.count && i < kColorTableCapacity; ++i)
    defined.push_back(table.entries[static_cast<std::size_t>(i)].color & 0xFFFFFFu);

  SnapOutcome outcome;
  std::vector<std::uint16_t> lookup(kColourSpace, kUnknown);
  const std::vector<bool> shown = exactColours
                                      ? ShownExactly(pixels, defined, lookup)
                                      : ShownAsAreas(pixels, width, height, defined, lookup);
  std::vector<std::uint32_t> targets;
  for (std::size_t i = 0; i < defined.size(); ++i)
    if (shown[i]) targets.push_back(defined[i]);
  outcome.materials = static_cast<std::int64_t>(targets.size());
  if (targets.empty()) return outcome;

  std::fill(lookup.begin(), lookup.end(), kUnknown);
  for (std::size_t i = 0; i < targets.size(); ++i)
    lookup[targets[i]] = static_cast<std::uint16_t>(i);
  for (std::uint32_t& p : pixels) {
    const std::uint32_t c = p & 0xFFFFFFu;
    std::uint16_t k = lookup[c];
    if (k == kUnknown) {
      k = Nearest(targets, c, std::numeric_limits<int>::max());
      lookup[c] = k;
      ++outcome.colours;
    }
    if (targets[k] != c) {
      p = targets[k];
      ++outcome.pixels;
    }
  }
  outcome.ok = true;
  return outcome;
}

}  // namespace zolva
