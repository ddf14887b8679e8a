#include "csolver/peak_field.h"

#include <cmath>
#include <cstddef>

#include "csolver/capacitance_job.h"
#include "csolver/solver_grid.h"

namespace zolva {

namespace {

constexpr double kVoltsPerMegavolt = 1e6;

}  // namespace

void FindPeakField(const CapacitanceJob& job) {
  PeakField& peak = job.results.peak;
  peak = PeakField{};
  const SolverGrid& g = job.grid;
  const PixelMap& map = job.map;
  const double pixelWidth = job.state.pixelWidth;
  const std::size_t pixels = static_cast<std::size_t>(std::max(map.Uwid, 0)) *
                             static_cast<std::size_t>(std::max(map.Uhei, 0));
  if (!(pixelWidth > 0.0) || map.Ukind.size() != pixels || map.Uindex.size() != pixels ||
      g.Cvolts.size() != static_cast<std::size_t>(g.Cwid) * static_cast<std::size_t>(g.Chei))
    return;

  // Between +1 and -1 volt conductors the drive is 2 volts, else 1.
  const double drive = job.cindex.hasPlus && job.cindex.hasMinus ? 2.0 : 1.0;
  double best = 0.0;
  int bestX = 0, bestY = 0;
  const std::size_t W = static_cast<std::size_t>(g.Cwid);
  for (int y = 0; y < map.Uhei; ++y) {
    const int cY = y + g.UtoCY;
    if (cY < 0 || cY >= g.Chei - 2) continue;
    for (int x = 0; x < map.Uwid; ++x) {
      const int cX = x + g.UtoCX;
      if (cX < 0 || cX >= g.Cwid - 2) continue;
      const std::size_t p = static_cast<std::size_t>(y) * static_cast<std::size_t>(map.Uwid) +
                            static_cast<std::size_t>(x);
      if (map.Ukind[p] != KindInsulInField) continue;
      const std::size_t n = static_cast<std::size_t>(cY) * W + static_cast<std::size_t>(cX);
      const double v00 = g.Cvolts[n], v10 = g.Cvolts[n + 1];
      const double v01 = g.Cvolts[n + W], v11 = g.Cvolts[n + W + 1];
      // The cell's gradient from its two diagonals, volts per pixel.
      const double gx = ((v11 - v00) + (v10 - v01)) / 2;
      const double gy = ((v11 - v00) + (v01 - v10)) / 2;
      const double m = gx * gx + gy * gy;
      if (m > best) {
        best = m;
        bestX = x;
        bestY = y;
      }
    }
  }
  if (!(best > 0.0)) return;

  peak.valid = true;
  peak.voltsPerMetre = std::sqrt(best) / pixelWidth / drive;
  peak.x = bestX;
  peak.y = bestY;
  const std::size_t p = static_cast<std::size_t>(bestY) * static_cast<std::size_t>(map.Uwid) +
                        static_cast<std::size_t>(bestX);
  const int paletteIndex = map.Uindex[p];
  const MaterialTables& m = job.materials;
  double strength = kAirDielectricStrength;
  std::string name = "unnamed " + std::to_string(paletteIndex);
  if (paletteIndex < m.palette.count) {
    const std::uint16_t t = m.palette.entries[static_cast<std::size_t>(paletteIndex)].tableIndex;
    if (t != kNoTableEntry && t < m.table.count) {
      strength = m.table.entries[t].DielectricStrength;
      name = m.table.entries[t].name;
    }
  }
  peak.material = name;
  peak.strength = strength * kVoltsPerMegavolt;
  peak.breakdownVolts = peak.strength / peak.voltsPerMetre;
}

}  // namespace zolva
