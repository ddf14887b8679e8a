// Turns the picture into what the solvers read: the palette index and the material kind of every
// pixel, and the list of conductor pixels with the counts of each conductor kind.
#include "core/conductor_index.h"

#include <array>
#include <stdexcept>
#include <string>
#include <string_view>
#include <unordered_map>
#include <utility>

#include "core/materials.h"
#include "core/pixel_map.h"
#include "core/reporter.h"
#include "core/solve_failure.h"
#include "core/solve_state.h"

namespace zolva {

namespace {

// Slot of a conductor kind in the per-kind counters: -1, 0, 1, 2 map to 0..3; every other code
// (insulator, field-region mark) is no conductor.
constexpr int KindSlot(int kind) {
  return (kind >= -1 && kind <= 2) ? kind + 1 : -1;
}

void Refuse(SolveState& state, FailureSlot& failure, FailureKind kind, std::string text,
            std::string caption) {
  Fail(failure, kind, std::move(text), std::move(caption));
  state.operationFailed = true;
  state.abortRequested = true;
}

// Uindex from Ucolor, adding unseen colours to the palette in row-by-row order of first sight.
// Returns false when a colour finds the palette full.
bool BuildPaletteIndexMap(PixelMap& map, MaterialTables& materials) {
  const std::size_t n = map.Ucolor.size();
  map.Uindex.resize(n);
  // Neighbouring pixels mostly share a colour, and the few colours of a map fit a small table,
  // so the palette's linear search runs once per colour rather than once per pixel.
  std::unordered_map<std::uint32_t, std::uint8_t> known;
  std::uint32_t lastColor = 0;
  std::uint8_t lastIndex = 0;
  bool haveLast = false;
  for (std::size_t p = 0; p < n; ++p) {
    const std::uint32_t color = map.Ucolor[p];
    if (!haveLast || color != lastColor) {
      auto it = known.find(color);
      if (it != known.end()) {
        lastIndex = it->second;
      } else {
        const int i = FindPaletteIndex(materials, color);
        if (i < 0 || i >= kPaletteCapacity) return false;
        lastIndex = static_cast<std::uint8_t>(i);
        known.emplace(color, lastIndex);
      }
      lastColor = color;
      haveLast = true;
    }
    map.Uindex[p] = lastIndex;
  }
  return true;
}

bool IsFixedKind(std::int8_t k) {
  return k == KindPlus || k == KindGround || k == KindMinus;
}

}  // namespace

ShortCircuit FindShortCircuit(const PixelMap& map) {
  const int W = map.Uwid;
  const int H = map.Uhei;
  if (W < 0 || H < 0 ||
      map.Ukind.size() != static_cast<std::size_t>(W) * static_cast<std::size_t>(H))
    throw std::out_of_range("FindShortCircuit: Ukind does not match the map size");
  // Two pixels share a node of the capacitance grid when they are 8-neighbours. Each pair is
  // looked at once, from its upper (or, on one row, its left) pixel.
  constexpr int kOffsets[4][2] = {{1, 0}, {-1, 1}, {0, 1}, {1, 1}};
  const std::int8_t* kind = map.Ukind.data();
  const std::size_t w = static_cast<std::size_t>(W);
  for (int y = 0; y < H; ++y) {
    for (int x = 0; x < W; ++x) {
      const std::int8_t k = kind[static_cast<std::size_t>(y) * w + static_cast<std::size_t>(x)];
      if (!IsFixedKind(k)) continue;
      for (const auto& d : kOffsets) {
        const int nx = x + d[0], ny = y + d[1];
        if (nx < 0 || nx >= W || ny >= H) continue;
        const std::int8_t n = kind[static_cast<std::size_t>(ny) * w + static_cast<std::size_t>(nx)];
        if (IsFixedKind(n) && n != k) return ShortCircuit{true, x, y, nx, ny};
      }
    }
  }

  // A floating body that touches two conductors of different voltages joins them as well. Each
  // body of touching conductor pixels is flooded once; the first fixed voltage met is the
  // body's, and a pixel of another voltage reached from it is the place of the short.
  const std::size_t n = map.Ukind.size();
  std::vector<std::uint8_t> seen(n, 0);
  std::vector<std::size_t> queue;
  for (std::size_t start = 0; start < n; ++start) {
    if (seen[start] || kind[start] != KindFloat) continue;
    seen[start] = 1;
    queue.assign(1, start);
    std::int8_t voltage = KindFloat;
    while (!queue.empty()) {
      const std::size_t p = queue.back();
      queue.pop_back();
      const int x = static_cast<int>(p % w), y = static_cast<int>(p / w);
      for (int dy = -1; dy <= 1; ++dy) {
        for (int dx = -1; dx <= 1; ++dx) {
          const int nx = x + dx, ny = y + dy;
          if ((dx == 0 && dy == 0) || nx < 0 || ny < 0 || nx >= W || ny >= H) continue;
          const std::size_t q = static_cast<std::size_t>(ny) * w + static_cast<std::size_t>(nx);
          const std::int8_t k = kind[q];
          if (IsFixedKind(k)) {
            // Fixed pixels end the flood: behind them lies their own conductor, which the scan
            // above has found free of other voltages.
            if (voltage == KindFloat) voltage = k;
            if (k != voltage) return ShortCircuit{true, nx, ny, x, y};
          } else if (k == KindFloat && !seen[q]) {
            seen[q] = 1;
            queue.push_back(q);
          }
        }
      }
    }
  }
  return {};
}

bool BuildConductorIndex(PixelMap& map, MaterialTables& materials, ConductorIndex& index,
                         SolveState& state, Reporter& report, FailureSlot& failure, bool coupled) {
  const int W = map.Uwid;
  const int H = map.Uhei;
  if (W < 0 || H < 0 ||
      map.Ucolor.size() != static_cast<std::size_t>(W) * static_cast<std::size_t>(H))
    throw std::out_of_range("BuildConductorIndex: Ucolor holds " +
                            std::to_string(map.Ucolor.size()) + " pixels for a map of " +
                            std::to_string(W) + " x " + std::to_string(H));

  // The entries of the previous map must not outlive it, whatever happens below.
  index.x.clear();
  index.y.clear();
  index.kind.clear();
  index.depth.clear();
  index.surfaceKind.clear();
  report.ShowStep("Searching map");

  if (!BuildPaletteIndexMap(map, materials)) {
    // The loader refuses such maps, but a map drawn after the palette filled up can still get
    // here; indexing past the palette would corrupt every later table.
    Refuse(state, failure, FailureKind::TooLarge, "More than 255 colors found", "zolva");
    return false;
  }

  index.hasPlus = index.hasMinus = index.hasGround = index.hasFloat = false;
  report.ShowStep("Counting conductor pixels");

  // Kind of every palette entry, looked up once; the per-pixel pass then reads a flat table.
  std::array<std::int8_t, kPaletteCapacity> paletteKind;
  paletteKind.fill(KindInsul);
  const UsermapPalette& palette = materials.palette;
  for (int i = 0; i < palette.count && i < kPaletteCapacity; ++i)
    paletteKind[static_cast<std::size_t>(i)] = palette.entries[static_cast<std::size_t>(i)].kind;

  const std::size_t pixels = map.Ucolor.size();
  map.Ukind.resize(pixels);
  std::array<int, 4> counts{};
  // Conductor pixels per column, for placing the entries without a column-wise scan below.
  std::vector<int> columnCount(static_cast<std::size_t>(W), 0);
  for (int y = 0; y < H; ++y) {
    const std::size_t row = static_cast<std::size_t>(y) * static_cast<std::size_t>(W);
    for (int x = 0; x < W; ++x) {
      const std::int8_t k = paletteKind[map.Uindex[row + static_cast<std::size_t>(x)]];
      map.Ukind[row + static_cast<std::size_t>(x)] = k;
      const int slot = KindSlot(k);
      if (slot >= 0) {
        ++counts[static_cast<std::size_t>(slot)];
        ++columnCount[static_cast<std::size_t>(x)];
      }
    }
  }
  index.minusPixels = counts[0];
  index.groundPixels = counts[1];
  index.plusPixels = counts[2];
  index.floatPixels = counts[3];
  index.hasPlus = index.plusPixels > 0;
  index.hasMinus = index.minusPixels > 0;
  index.hasGround = index.groundPixels > 0;
  index.hasFloat = index.floatPixels > 0;
  index.hasAllThree = index.hasPlus && index.hasMinus && index.hasGround;
  const int N = index.plusPixels + index.minusPixels + index.groundPixels + index.floatPixels;
  map.condCount = N;

  // A line needs two conductors at different fixed voltages. A single ground pixel is not taken
  // as a second conductor, and a floating body never is: its voltage follows the others.
  const int conductors = (index.plusPixels > 0 ? 1 : 0) + (index.minusPixels > 0 ? 1 : 0) +
                         (index.groundPixels > 1 ? 1 : 0);
  // Coupled lines count their conductors by region and refuse touching colours themselves
  // (conductor_numbering.h).
  if (conductors < 2 && !coupled) {
    Refuse(state, failure, FailureKind::Input, "Usermap deficient: Insufficient conductors.",
           "Solve");
    return false;
  }

  // Touching conductors at different voltages are a short circuit: the capacitance grid would
  // give their shared node one voltage, and the currents would have no defined path. Either way
  // the figures would look plausible and mean nothing.
  const ShortCircuit shorted = coupled ? ShortCircuit{} : FindShortCircuit(map);
  if (shorted.found) {
    const std::string where = std::to_string(shorted.x) + "," + std::to_string(shorted.y) +
                              " and " + std::to_string(shorted.nx) + "," +
                              std::to_string(shorted.ny);
    Refuse(state, failure, FailureKind::Input,
           "Usermap deficient: Conductors at different voltages touch at Usermap " + where + ".",
           "Solve");
    return false;
  }

  report.SetLabel(Label31, std::to_string(N));
  report.ShowStep("Building map index for " + std::to_string(N) + " conductor pixels");

  const std::size_t n = static_cast<std::size_t>(N);
  index.x.assign(n, 0);
  index.y.assign(n, 0);
  index.kind.assign(n, 0);
  index.depth.assign(n, 0);
  index.surfaceKind.assign(n, 0);

  // The entries run up each column from the bottom, columns from the right. Each column's block
  // starts after all columns to its right; walking rows from the bottom up then fills every
  // block in order while reading the map row by row.
  std::vector<int> cursor(static_cast<std::size_t>(W), 0);
  int start = 0;
  for (int x = W - 1; x >= 0; --x) {
    cursor[static_cast<std::size_t>(x)] = start;
    start += columnCount[static_cast<std::size_t>(x)];
  }
  for (int y = H - 1; y >= 0; --y) {
    const std::size_t row = static_cast<std::size_t>(y) * static_cast<std::size_t>(W);
    for (int x = 0; x < W; ++x) {
      const std::int8_t k = map.Ukind[row + static_cast<std::size_t>(x)];
      if (KindSlot(k) < 0) continue;
      const std::size_t j = static_cast<std::size_t>(cursor[static_cast<std::size_t>(x)]++);
      index.x[j] = x;
      index.y[j] = y;
      index.kind[j] = k;
    }
  }
  return true;
}

}  // namespace zolva
