// Records with copper conductors of every kind drawn by hand, ready for the L and Rs solver.
#pragma once

#include <cmath>
#include <cstdint>
#include <string>
#include <vector>

#include "core/conductor_index.h"
#include "core/materials.h"
#include "core/pixel_map.h"
#include "geometry/map_ops.h"
#include "lsolver/lsolver.h"
#include "platform/headless_platform.h"
#include "support/solver_records.h"

namespace zolva::testing {

inline constexpr std::uint32_t kVacuum = PackColor(0, 0, 0);
inline constexpr std::uint32_t kPlus = PackColor(255, 0, 0);
inline constexpr std::uint32_t kGround = PackColor(0, 255, 0);
inline constexpr std::uint32_t kMinus = PackColor(0, 0, 255);
inline constexpr std::uint32_t kFloatA = PackColor(0, 255, 255);
inline constexpr std::uint32_t kFloatB = PackColor(255, 128, 0);
inline constexpr double kCopper = 1.7241;  // micro-ohm centimetres
inline constexpr double kInch = 0.0254;

struct LFixture {
  HeadlessPlatform platform;
  testing::SolverRecords ctx{platform};
  // The status lines the solve wrote, oldest first.
  std::vector<std::string>& statuses = ctx.reporter.statuses;

  LFixture() {
    platform.echoMessages = false;
    RegisterColor(ctx.materials, ctx.reporter, kPlus, KindPlus, kCopper, 1, 0, 1, "copper");
    RegisterColor(ctx.materials, ctx.reporter, kGround, KindGround, kCopper, 1, 0, 1, "copper");
    RegisterColor(ctx.materials, ctx.reporter, kMinus, KindMinus, kCopper, 1, 0, 1, "copper");
    RegisterColor(ctx.materials, ctx.reporter, kFloatA, KindFloat, kCopper, 1, 0, 1, "copper");
    RegisterColor(ctx.materials, ctx.reporter, kFloatB, KindFloat, kCopper, 1, 0, 1, "copper");
    RegisterColor(ctx.materials, ctx.reporter, kVacuum, KindInsul, 0, 1, 0, 1, "vacuum");
    ctx.threadCount = 1;
    SetFrequency(1.0);
    SetPixelWidth(0.001 * kInch);
  }

  void SetFrequency(double mhz) {
    ctx.state.frequencyMHz = mhz;
    ctx.state.omega = mhz * kOmegaPerMHz;
  }
  void SetPixelWidth(double metres) {
    ctx.state.pixelWidth = metres;
    ctx.currents.pixelWidthText = "0.001";
  }

  // Rows of characters: '+' +1 volt, '-' -1 volt, 'g' ground, 'f' and 'F' two floating colours,
  // anything else vacuum.
  void Draw(const std::vector<std::string>& rows) {
    const int w = static_cast<int>(rows.at(0).size());
    const int h = static_cast<int>(rows.size());
    ctx.map.Uwid = w;
    ctx.map.Uhei = h;
    ctx.map.Ucolor.assign(static_cast<std::size_t>(w) * h, kVacuum);
    for (int y = 0; y < h; ++y)
      for (int x = 0; x < w; ++x) {
        const char c = rows[static_cast<std::size_t>(y)].at(static_cast<std::size_t>(x));
        Paint(x, y,
              c == '+'   ? kPlus
              : c == '-' ? kMinus
              : c == 'g' ? kGround
              : c == 'f' ? kFloatA
              : c == 'F' ? kFloatB
                         : kVacuum);
      }
  }

  void Blank(int w, int h) {
    ctx.map.Uwid = w;
    ctx.map.Uhei = h;
    ctx.map.Ucolor.assign(static_cast<std::size_t>(w) * h, kVacuum);
  }

  void Paint(int x, int y, std::uint32_t colour) {
    ctx.map.Ucolor.at(static_cast<std::size_t>(y) * static_cast<std::size_t>(ctx.map.Uwid) +
                      static_cast<std::size_t>(x)) = colour;
  }

  // A filled disc of radius r pixels about the pixel corner (cx, cy).
  void Disc(double cx, double cy, double r, std::uint32_t colour) {
    for (int y = 0; y < ctx.map.Uhei; ++y)
      for (int x = 0; x < ctx.map.Uwid; ++x) {
        const double dx = x + 0.5 - cx;
        const double dy = y + 0.5 - cy;
        if (dx * dx + dy * dy < r * r) Paint(x, y, colour);
      }
  }

  // What the solve set-up does before the L and Rs stage.
  bool Setup() {
    if (!IndexConductors(ctx)) return false;
    FillPaletteProperties(GeometryJobOf(ctx));
    if (ctx.map.analysedPixels.size() != ctx.map.Ucolor.size())
      ctx.map.analysedPixels = ctx.map.Ucolor;
    return true;
  }

  // The set-up, then the solve; true when it succeeded.
  bool Solve() {
    if (!Setup()) return false;
    SolveLandRs(LSolverJobOf(ctx));
    return ctx.state.solveSucceeded && !ctx.state.abortRequested;
  }

  // The last status line, or "" before any.
  std::string Status() const { return statuses.empty() ? std::string() : statuses.back(); }

  // Entry of the conductor pixel at (x, y).
  int Entry(int x, int y) const {
    for (std::size_t j = 0; j < ctx.cindex.size(); ++j)
      if (ctx.cindex.x[j] == x && ctx.cindex.y[j] == y) return static_cast<int>(j);
    return -1;
  }
  complex Current(int x, int y) const {
    return ctx.lsolver.pixelCurrents.at(static_cast<std::size_t>(Entry(x, y)));
  }
};

inline double Relative(double a, double b) {
  const double scale = std::max(std::abs(a), std::abs(b));
  return scale == 0 ? 0.0 : std::abs(a - b) / scale;
}

}  // namespace zolva::testing
