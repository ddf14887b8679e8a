// Small maps drawn by hand for the solver set-up tests: copper at each conductor kind on white
// vacuum, drawn from rows of characters or filled rectangles, into any records that hold a map,
// material tables and a reporter.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "core/materials.h"

namespace zolva::sketch {

inline constexpr std::uint32_t kWhite = PackColor(255, 255, 255);
inline constexpr std::uint32_t kRed = PackColor(255, 0, 0);
inline constexpr std::uint32_t kGreen = PackColor(0, 255, 0);
inline constexpr std::uint32_t kBlue = PackColor(0, 0, 255);
inline constexpr std::uint32_t kCyan = PackColor(0, 255, 255);

// '+' red (+1 volt), 'g' green (ground), '-' blue (-1 volt), 'f' cyan (floating), else white.
inline std::uint32_t ColorOf(char c) {
  switch (c) {
    case '+':
      return kRed;
    case 'g':
      return kGreen;
    case '-':
      return kBlue;
    case 'f':
      return kCyan;
    default:
      return kWhite;
  }
}

// Copper under the four conductor colours, and white vacuum.
template <class Records>
void RegisterCopperAndVacuum(Records& ctx) {
  RegisterColor(ctx.materials, ctx.reporter, kRed, KindPlus, 1.7241379, 1, 0, 1, "copper");
  RegisterColor(ctx.materials, ctx.reporter, kGreen, KindGround, 1.7241379, 1, 0, 1, "copper");
  RegisterColor(ctx.materials, ctx.reporter, kBlue, KindMinus, 1.7241379, 1, 0, 1, "copper");
  RegisterColor(ctx.materials, ctx.reporter, kCyan, KindFloat, 1.7241379, 1, 0, 1, "copper");
  RegisterColor(ctx.materials, ctx.reporter, kWhite, KindInsul, 0, 1, 0, 1, "vacuum");
}

template <class Records>
void Canvas(Records& ctx, int w, int h) {
  ctx.map.Uwid = w;
  ctx.map.Uhei = h;
  ctx.map.Ucolor.assign(static_cast<std::size_t>(w) * static_cast<std::size_t>(h), kWhite);
}

template <class Records>
void Fill(Records& ctx, int x0, int y0, int x1, int y1, std::uint32_t color) {
  for (int y = y0; y <= y1; ++y)
    for (int x = x0; x <= x1; ++x)
      ctx.map.Ucolor.at(static_cast<std::size_t>(y) * static_cast<std::size_t>(ctx.map.Uwid) +
                        static_cast<std::size_t>(x)) = color;
}

template <class Records>
void Draw(Records& ctx, const std::vector<std::string>& rows) {
  Canvas(ctx, static_cast<int>(rows.at(0).size()), static_cast<int>(rows.size()));
  std::size_t i = 0;
  for (const std::string& row : rows)
    for (char c : row) ctx.map.Ucolor.at(i++) = ColorOf(c);
}

}  // namespace zolva::sketch
