// The per-round companions of the relaxation: floating conductors take the potential of their
// surroundings, and a balanced line in open space floats against the far field.
#include <algorithm>
#include <cstddef>
#include <stdexcept>
#include <string>

#include "core/materials.h"
#include "csolver/capacitance_job.h"
#include "csolver/prediction.h"
#include "csolver/solver_grid.h"
#include "csolver/summation.h"

namespace zolva {

namespace {

constexpr std::uint8_t kFreeBits = NodeFree | NodeFreeMixed;

double& CoreNode(SolverGrid& g, int cX, int cY) {
  if (cX < 0 || cY < 0 || cX >= g.Cwid || cY >= g.Chei)
    throw std::out_of_range("core node " + std::to_string(cX) + "," + std::to_string(cY) +
                            " outside the core");
  return g.Cvolts.at(static_cast<std::size_t>(cY) * static_cast<std::size_t>(g.Cwid) +
                     static_cast<std::size_t>(cX));
}

}  // namespace

void CountSurfaces(const CapacitanceJob& job) {
  PredictionState& p = job.prediction;
  p.plusSurfaces = p.minusSurfaces = p.groundSurfaces = p.floatSurfaces = 0;
  const SolverGrid& g = job.grid;
  const int n = std::min(g.surfaceCount, static_cast<int>(g.surfaceList.size()));
  for (int j = 0; j < n; ++j) {
    switch (g.surfaceList[static_cast<std::size_t>(j)].sType) {
      case KindPlus:
        ++p.plusSurfaces;
        break;
      case KindMinus:
        ++p.minusSurfaces;
        break;
      case KindGround:
        ++p.groundSurfaces;
        break;
      case KindFloat:
        ++p.floatSurfaces;
        break;
      default:
        break;
    }
  }
  p.balanceVo = p.plusSurfaces > 0 && p.minusSurfaces > 0 && !job.options.voZero;
}

void UpdateFloatingConductors(const CapacitanceJob& job) {
  SolverGrid& g = job.grid;
  const UsermapPalette& palette = job.materials.palette;
  std::vector<double>& floatVolts = job.results.floatVolts;
  const int surfaces = std::min(g.surfaceCount, static_cast<int>(g.surfaceList.size()));
  for (int colour = std::min(palette.count, kPaletteCapacity) - 1; colour >= 0; --colour) {
    if (palette.entries[static_cast<std::size_t>(colour)].kind != KindFloat) continue;
    double sum = 0.0;
    int count = 0;
    for (int j = 0; j < surfaces; ++j) {
      const SurfaceRecord& r = g.surfaceList[static_cast<std::size_t>(j)];
      if (r.sM != colour) continue;
      sum += CoreNode(g, r.insX, r.insY);
      ++count;
    }
    double& v = floatVolts.at(static_cast<std::size_t>(colour));
    // Over-relaxed like the free nodes, so that the conductor keeps pace with its surroundings.
    if (count > 0) v = 1.5 * (sum / count) - 0.5 * v;
    SetConductorNodes(job, colour, v);
  }
}

void SetConductorNodes(const CapacitanceJob& job, int colour, double v) {
  SolverGrid& g = job.grid;
  const ConductorIndex& ci = job.cindex;
  const PixelMap& map = job.map;
  const std::size_t n = std::min(ci.x.size(), ci.y.size());
  for (std::size_t e = 0; e < n; ++e) {
    const int x = ci.x[e], y = ci.y[e];
    if (map.Uindex.at(static_cast<std::size_t>(y) * static_cast<std::size_t>(map.Uwid) +
                      static_cast<std::size_t>(x)) != colour)
      continue;
    const int cX = x + g.UtoCX, cY = y + g.UtoCY;
    CoreNode(g, cX, cY) = v;
    CoreNode(g, cX + 1, cY) = v;
    CoreNode(g, cX, cY + 1) = v;
    CoreNode(g, cX + 1, cY + 1) = v;
  }
}

void AdjustOpenBoundary(const CapacitanceJob& job) {
  const PredictionState& p = job.prediction;
  if (!(p.plusSurfaces > 0 && p.minusSurfaces > 0 && p.balanceVo)) return;
  job.report.ShowTrace("-");
  SolverGrid& g = job.grid;
  double& VoC = job.results.VoC;
  const double old = VoC;
  BorderFlux(job);
  if (!job.state.switches[Switch::NoBorderBalance]) VoC -= 1.9 * g.borderMean;
  VoC = std::clamp(VoC, -0.999, 0.999);
  const double d = VoC - old;
  if (d != 0.0) {
    // The whole field moves with the offset; the ground stays at 0 volt.
    auto shift = [d](std::vector<double>& volts, const std::vector<std::uint8_t>& code) {
      const std::size_t n = std::min(volts.size(), code.size());
      double* v = volts.data();
      const std::uint8_t* c = code.data();
      for (std::size_t i = 0; i < n; ++i) {
        const bool moves = (c[i] & kFreeBits) || ((c[i] & NodeConductor) && v[i] != 0.0);
        v[i] = moves ? v[i] + d : v[i];
      }
    };
    shift(g.Cvolts, g.Ccode);
    shift(g.Avolts, g.Acode);
  }
  job.report.ShowTrace("");
}

}  // namespace zolva
