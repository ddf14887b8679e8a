// Records with a few colours and maps drawn by hand or by the generators' disc rule, for the
// capacitance solver's tests. The solver's own tests hold the records directly (SolverFixture);
// a test of the application may hold its Context the same way (BasicSolverFixture<Context>).
#pragma once

#include <cmath>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "core/conductor_index.h"
#include "core/materials.h"
#include "core/pixel_map.h"
#include "csolver/field_regions.h"
#include "geometry/map_ops.h"
#include "platform/headless_platform.h"
#include "support/solver_records.h"

namespace zolva::testing {

inline constexpr std::uint32_t kBlack = PackColor(0, 0, 0);        // vacuum
inline constexpr std::uint32_t kRed = PackColor(255, 0, 0);        // +1 volt
inline constexpr std::uint32_t kGreen = PackColor(0, 255, 0);      // ground
inline constexpr std::uint32_t kBlue = PackColor(0, 0, 255);       // -1 volt
inline constexpr std::uint32_t kCyan = PackColor(0, 255, 255);     // floating
inline constexpr std::uint32_t kMagenta = PackColor(255, 0, 255);  // polyethylene, 2.26
inline constexpr std::uint32_t kGrey = PackColor(128, 128, 128);   // permittivity 4, lossy
inline constexpr std::uint32_t kWhite = PackColor(255, 255, 255);  // permittivity 2
inline constexpr double kEpsilon0 = 8.854187827e-12;
inline constexpr double kLossTangent = 0.01;

template <class Records>
struct BasicSolverFixture {
  HeadlessPlatform platform;
  Records ctx{platform};

  BasicSolverFixture() {
    platform.echoMessages = false;
    RegisterColor(ctx.materials, ctx.reporter, kRed, KindPlus, 1.7241, 1, 0, 1, "copper");
    RegisterColor(ctx.materials, ctx.reporter, kGreen, KindGround, 1.7241, 1, 0, 1, "copper");
    RegisterColor(ctx.materials, ctx.reporter, kBlue, KindMinus, 1.7241, 1, 0, 1, "copper");
    RegisterColor(ctx.materials, ctx.reporter, kCyan, KindFloat, 1.7241, 1, 0, 1, "copper");
    RegisterColor(ctx.materials, ctx.reporter, kBlack, KindInsul, 0, 1, 0, 1, "vacuum");
    RegisterColor(ctx.materials, ctx.reporter, kMagenta, KindInsul, 0, 2.26, 0, 1, "polyethylene");
    RegisterColor(ctx.materials, ctx.reporter, kGrey, KindInsul, 0, 4, kLossTangent, 1, "lossy");
    RegisterColor(ctx.materials, ctx.reporter, kWhite, KindInsul, 0, 2, 0, 1, "two");
    ctx.state.frequencyMHz = 1.0;
  }

  void Size(int w, int h, std::uint32_t background = kBlack) {
    ctx.map.Uwid = w;
    ctx.map.Uhei = h;
    ctx.map.Ucolor.assign(static_cast<std::size_t>(w) * static_cast<std::size_t>(h), background);
    ctx.map.backgroundColor = background;
  }

  // Rows of characters: '+' red, 'g' green, '-' blue, 'f' cyan, 'p' polyethylene, 'l' lossy,
  // 'w' permittivity 2, anything else vacuum.
  void Draw(const std::vector<std::string>& rows) {
    Size(static_cast<int>(rows[0].size()), static_cast<int>(rows.size()));
    for (int y = 0; y < ctx.map.Uhei; ++y)
      for (int x = 0; x < ctx.map.Uwid; ++x) {
        const char c = rows[static_cast<std::size_t>(y)][static_cast<std::size_t>(x)];
        Paint(x, y,
              c == '+'   ? kRed
              : c == 'g' ? kGreen
              : c == '-' ? kBlue
              : c == 'f' ? kCyan
              : c == 'p' ? kMagenta
              : c == 'l' ? kGrey
              : c == 'w' ? kWhite
                         : kBlack);
      }
  }

  void Paint(int x, int y, std::uint32_t colour) {
    ctx.map.Ucolor.at(static_cast<std::size_t>(y) * static_cast<std::size_t>(ctx.map.Uwid) +
                      static_cast<std::size_t>(x)) = colour;
  }

  // The generators' disc: real radius r centred on the corner between columns x-1, x and rows
  // y-1, y; 2 round(r) pixels wide on its middle rows.
  void FillDisc(int x, int y, double r, std::uint32_t colour) {
    const int dMax = static_cast<int>(std::nearbyint(0.8 * r));
    for (int d = 0; d <= dMax; ++d) {
      const int f = static_cast<int>(std::nearbyint(std::sqrt(r * r - d * d)));
      for (int row : {y + d - 1, y - d})
        for (int c = x - f; c <= x + f - 1; ++c) Paint(c, row, colour);
      for (int col : {x + d - 1, x - d})
        for (int rr = y - f; rr <= y + f - 1; ++rr) Paint(col, rr, colour);
    }
  }

  // A coaxial line: centre conductor of radius a pixels at +1 volt inside a grounded shield of
  // inner radius b and outer radius o, filled with the given dielectric.
  void DrawCoax(int a, int b, int o, std::uint32_t dielectric) {
    const int S = 2 * o + 20;
    Size(S, S);
    FillDisc(S / 2, S / 2, o, kGreen);
    FillDisc(S / 2, S / 2, b, dielectric);
    FillDisc(S / 2, S / 2, a, kRed);
  }

  // The default round twinlead: wires of radius 13 pixels, 104 pixels apart, +1 and -1 volt, in
  // a 137 x 33 map of vacuum.
  void DrawTwinlead(std::uint32_t left = kRed, std::uint32_t right = kBlue) {
    Size(137, 33);
    FillDisc(68 - 52, 16, 13, left);
    FillDisc(68 + 52, 16, 13, right);
  }

  // What the solve set-up does before the capacitance stage: conductor index, material
  // records, field regions.
  bool Setup() {
    if (!IndexConductors(ctx)) return false;
    FillPaletteProperties(GeometryJobOf(ctx));
    return FindFieldRegions(CapacitanceJobOf(ctx));
  }

  double Node(int cX, int cY) const {
    return ctx.grid.Cvolts.at(static_cast<std::size_t>(cY) *
                                  static_cast<std::size_t>(ctx.grid.Cwid) +
                              static_cast<std::size_t>(cX));
  }
  std::uint8_t Code(int cX, int cY) const {
    return ctx.grid.Ccode.at(static_cast<std::size_t>(cY) *
                                 static_cast<std::size_t>(ctx.grid.Cwid) +
                             static_cast<std::size_t>(cX));
  }
  std::uint8_t ApronCode(int aX, int aY) const {
    return ctx.grid.Acode.at(static_cast<std::size_t>(aY) *
                                 static_cast<std::size_t>(ctx.grid.Awid) +
                             static_cast<std::size_t>(aX));
  }
};

using SolverFixture = BasicSolverFixture<SolverRecords>;

}  // namespace zolva::testing
