// The search for field regions: connected insulator areas that touch conductors of two different
// fixed voltages. Only these carry field; the capacitance solver leaves every other insulator
// pixel out, and uses the apron around the picture only when a field region reaches its edge.
#include "csolver/field_regions.h"

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <stdexcept>
#include <string>
#include <vector>

#include "core/conductor_index.h"
#include "core/materials.h"
#include "csolver/capacitance_job.h"

namespace zolva {

namespace {

// Debug paints: Switch::PaintRegionSearch shows every pixel a fill passes,
// Switch::PaintFilledRegions the field regions found.
constexpr std::uint32_t kFillPaint = PackColor(213, 160, 77);
constexpr std::uint32_t kFieldPaint = PackColor(100, 200, 255);

void CheckMapSize(const PixelMap& map, const char* who) {
  const std::size_t pixels = static_cast<std::size_t>(map.Uwid < 0 ? 0 : map.Uwid) *
                             static_cast<std::size_t>(map.Uhei < 0 ? 0 : map.Uhei);
  if (map.Ukind.size() != pixels || map.Ucolor.size() != pixels)
    throw std::out_of_range(std::string(who) + ": per-pixel maps do not match the map size " +
                            std::to_string(map.Uwid) + " x " + std::to_string(map.Uhei));
}

// The pixel a move came from.
void StepBack(int& x, int& y, int move) {
  switch (move) {
    case MoveRight:
      --x;
      break;
    case MoveLeft:
      ++x;
      break;
    case MoveDown:
      --y;
      break;
    default:
      ++y;
      break;  // MoveUp
  }
}

}  // namespace

void FloodRegion(const CapacitanceJob& job, int x, int y, bool collect) {
  PixelMap& map = job.map;
  const int W = map.Uwid;
  const int H = map.Uhei;
  if (x < 0 || x >= W || y < 0 || y >= H) return;
  CheckMapSize(map, "FloodRegion");
  FieldRegions& r = job.regions;
  std::int8_t* kind = map.Ukind.data();
  std::uint32_t* color = map.Ucolor.data();
  const bool paint = job.state.switches[Switch::PaintRegionSearch];
  auto at = [W](int px, int py) {
    return static_cast<std::size_t>(py) * static_cast<std::size_t>(W) +
           static_cast<std::size_t>(px);
  };

  // The fill alternates between looking at a pixel (cx, cy), entered by `move`, and trying the
  // remaining directions of a pixel (px, py) on the path, starting at `dir`. A pixel with no
  // direction left is finished and hands control back to the pixel it was entered from, which
  // its stored move names; the path thus lives in the map and needs no stack.
  int cx = x, cy = y;
  int move = RegionFilled;
  int px = x, py = y, dir = MoveRight;
  for (;;) {
    const std::size_t look = at(cx, cy);
    const std::int8_t v = kind[look];
    if (collect && !r.coupledNumbers.empty() &&
        (v == KindPlus || v == KindMinus || v == KindGround)) {
      const int number = v == KindGround ? -1 : r.coupledNumbers[look];
      if (r.metConductor == 0)
        r.metConductor = number;
      else if (number != r.metConductor)
        r.metTwo = true;
    }
    if (collect) {
      if (v == KindPlus)
        r.metPlus = true;
      else if (v == KindMinus)
        r.metMinus = true;
      else if (v == KindGround)
        r.metGround = true;
      else if (v == KindFloat)
        r.metFloat = true;
    }
    if (v == KindInsul) {
      if (collect) {
        if (cx < r.minX) r.minX = cx;
        if (cx > r.maxX) r.maxX = cx;
        if (cy < r.minY) r.minY = cy;
        if (cy > r.maxY) r.maxY = cy;
      }
      if (paint) color[look] = kFillPaint;
      kind[look] = static_cast<std::int8_t>(move);
      px = cx;
      py = cy;
      dir = MoveRight;
    } else {
      if (move == RegionFilled) return;  // the seed itself is no unfilled insulator
      px = cx;
      py = cy;
      StepBack(px, py, move);
      dir = move + 1;
    }

    for (;;) {
      bool stepped = false;
      for (; dir <= MoveUp; ++dir) {
        int nx = px, ny = py;
        switch (dir) {
          case MoveRight:
            ++nx;
            break;
          case MoveLeft:
            --nx;
            break;
          case MoveDown:
            ++ny;
            break;
          default:
            --ny;
            break;
        }
        if (nx < 0 || nx >= W || ny < 0 || ny >= H) continue;
        cx = nx;
        cy = ny;
        move = dir;
        stepped = true;
        break;
      }
      if (stepped) break;

      // (px, py) has tried every direction: it is finished.
      const std::size_t done = at(px, py);
      const std::int8_t stored = kind[done];
      if (stored < RegionFilled || stored > MoveUp) {
        job.report.ReportProgramError(
            2, ProgramErrorCaption(px + job.grid.UtoCX, py + job.grid.UtoCY, job.grid.CtoUX,
                                   job.grid.CtoUY));
        return;
      }
      kind[done] = RegionFilled;
      if (paint) color[done] = kFillPaint;
      if (stored == RegionFilled) return;  // back at the seed
      StepBack(px, py, stored);
      dir = stored + 1;
    }
  }
}

bool TryRegion(const CapacitanceJob& job, int x, int y, bool edge) {
  FieldRegions& r = job.regions;
  r.metPlus = r.metMinus = r.metGround = r.metFloat = false;
  r.metConductor = 0;
  r.metTwo = false;
  r.minX = r.minY = 1000000;
  r.maxX = r.maxY = -1;
  FloodRegion(job, x, y, true);
  // Field needs a difference of fixed voltage; a floating body takes whatever voltage its
  // surroundings give it and so cannot supply one.
  const bool field =
      r.coupledNumbers.empty()
          ? (r.metPlus && r.metMinus) || (r.metPlus && r.metGround) || (r.metMinus && r.metGround)
          : r.maxX >= 0 && (r.metTwo || (edge && r.metConductor != 0));
  if (!field) return true;  // the area stays filled so that no later seed tries it again
  if (r.regionCount >= kMaxFieldRegions) {
    Fail(job.failure, FailureKind::TooLarge,
         "Aborted.  More than " + std::to_string(kMaxFieldRegions) + " field regions.", "zolva");
    job.state.operationFailed = true;
    job.state.abortRequested = true;
    return false;
  }
  RegionRecord& rec = r.table[static_cast<std::size_t>(r.regionCount)];
  rec.seedX = x;
  rec.seedY = y;
  rec.minX = r.minX;
  rec.maxX = r.maxX;
  rec.minY = r.minY;
  rec.maxY = r.maxY;
  ++r.regionCount;
  return true;
}

bool FindFieldRegions(const CapacitanceJob& job) {
  PixelMap& map = job.map;
  CheckMapSize(map, "FindFieldRegions");
  FieldRegions& r = job.regions;
  const int W = map.Uwid;
  const int H = map.Uhei;

  // Fixed conductors start at their own voltage; floating ones at 0 until the solver finds them.
  std::vector<double>& floatVolts = job.results.floatVolts;
  if (floatVolts.size() < static_cast<std::size_t>(kPaletteCapacity))
    floatVolts.resize(static_cast<std::size_t>(kPaletteCapacity), 0.0);
  const UsermapPalette& palette = job.materials.palette;
  for (int n = 0; n < palette.count && n < kPaletteCapacity; ++n) {
    const MaterialKind k = palette.entries[static_cast<std::size_t>(n)].kind;
    floatVolts[static_cast<std::size_t>(n)] = k == KindPlus ? 1.0 : (k == KindMinus ? -1.0 : 0.0);
  }

  if (!r.coupledNumbers.empty() &&
      r.coupledNumbers.size() != static_cast<std::size_t>(W) * static_cast<std::size_t>(H))
    throw std::out_of_range("FindFieldRegions: the conductor numbers do not match the map");
  job.report.ShowStep("Looking for field regions");
  r.regionCount = 0;
  job.grid.openBoundary = false;

  bool ok = true;
  // Areas that reach the picture's edge first: the field there continues beyond the picture.
  for (int x = W - 1; ok && x >= 0; --x)
    ok = TryRegion(job, x, 0, true) && TryRegion(job, x, H - 1, true);
  for (int y = H - 1; ok && y >= 0; --y)
    ok = TryRegion(job, 0, y, true) && TryRegion(job, W - 1, y, true);
  if (ok && r.regionCount > 0) job.grid.openBoundary = true;

  // Then every enclosed area, reached from the conductors that bound it.
  const ConductorIndex& index = job.cindex;
  const std::size_t n = std::min(index.x.size(), index.y.size());
  for (std::size_t j = n; ok && j-- > 0;) {
    const int cx = index.x[j];
    const int cy = index.y[j];
    ok = TryRegion(job, cx + 1, cy) && TryRegion(job, cx - 1, cy) && TryRegion(job, cx, cy + 1) &&
         TryRegion(job, cx, cy - 1);
  }

  // Release every area filled so far, then fill only the field regions again.
  std::int8_t* kind = map.Ukind.data();
  const std::size_t pixels = map.Ukind.size();
  for (std::size_t p = 0; p < pixels; ++p)
    if (kind[p] == RegionFilled) kind[p] = KindInsul;
  if (!ok) {
    // A refused map keeps no half-found regions: no pixel is marked and the table is empty.
    r.regionCount = 0;
    job.grid.openBoundary = false;
    return false;
  }
  for (int i = r.regionCount - 1; i >= 0; --i) {
    const RegionRecord& rec = r.table[static_cast<std::size_t>(i)];
    FloodRegion(job, rec.seedX, rec.seedY, false);
  }

  if (job.state.switches[Switch::PaintFilledRegions]) {
    std::uint32_t* color = map.Ucolor.data();
    for (std::size_t p = 0; p < pixels; ++p)
      if (kind[p] == RegionFilled) color[p] = kFieldPaint;
  }
  return true;
}

}  // namespace zolva
