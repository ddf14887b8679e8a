// The charge iteration of the field prediction: the charges of one drive are spread over the
// surface links of its two poles in proportion to the field each link sees from all the others,
// a fixed-point iteration that approaches the charge distribution of equipotential conductors.
#include <algorithm>
#include <cmath>
#include <cstring>
#include <string>
#include <vector>

#include "csolver/capacitance_job.h"
#include "csolver/four_lanes.h"
#include "csolver/no_contraction.h"
#include "csolver/prediction_islands.h"

namespace zolva {

namespace {

constexpr int kChargeRounds = 20;
constexpr double kFarAway = 1.0e9;

// The pole charges in blocks of four, padded with charges of zero far away.
struct alignas(32) PoleBlock {
  double x[4], y[4], q[4];
};

}  // namespace

namespace detail {

// The field at (x, y) of every pole charge at a distance above 0: sum of q (r_q - r) / d^2.
ZOLVA_LANE_CLONES
void SumPoleField(const void* data, std::size_t n, double x, double y, double* out) {
  const PoleBlock* blocks = static_cast<const PoleBlock*>(data);
  const Lanes4 X = {x, x, x, x}, Y = {y, y, y, y};
  const Lanes4 zero = {0.0, 0.0, 0.0, 0.0}, one = {1.0, 1.0, 1.0, 1.0};
  Lanes4 ex = zero, ey = zero;
  for (std::size_t k = 0; k < n; ++k) {
    Lanes4 cx, cy, q;
    std::memcpy(&cx, blocks[k].x, sizeof cx);
    std::memcpy(&cy, blocks[k].y, sizeof cy);
    std::memcpy(&q, blocks[k].q, sizeof q);
    const Lanes4 dx = cx - X, dy = cy - Y;
    const Lanes4 d2 = dx * dx + dy * dy;
    const Lanes4 t = (d2 > zero ? q : zero) / (d2 > zero ? d2 : one);
    ex += t * dx;
    ey += t * dy;
  }
  out[0] = AddLanes(ex);
  out[1] = AddLanes(ey);
}

}  // namespace detail

int FirstIslandOfKind(const PredictionState& p, int kind) {
  const int n = std::min(p.islandCount, static_cast<int>(p.islands.size()));
  for (int k = 0; k < n; ++k)
    if (p.islands[static_cast<std::size_t>(k)].iType == kind) return k;
  return -1;
}

void IterateCharges(const CapacitanceJob& job, PredictionWork& w, int a, int b) {
  SolverGrid& g = job.grid;
  PredictionState& p = job.prediction;
  std::vector<SurfaceRecord>& list = g.surfaceList;
  const int n = std::min(g.surfaceCount, static_cast<int>(list.size()));

  std::vector<int> pole;  // records of kind a or b, in list order
  for (int j = 0; j < n; ++j) {
    SurfaceRecord& r = list[static_cast<std::size_t>(j)];
    r.sCharge = r.sType == b ? -0.5 : (r.sType == a ? 0.5 : 0.0);
    if (r.sType == a || r.sType == b) pole.push_back(j);
  }
  std::vector<PoleBlock> blocks((pole.size() + 3) / 4);
  for (std::size_t k = 0; k < blocks.size() * 4; ++k) {
    PoleBlock& blk = blocks[k / 4];
    const int l = static_cast<int>(k % 4);
    if (k < pole.size()) {
      const SurfaceRecord& r = list[static_cast<std::size_t>(pole[k])];
      blk.x[l] = r.conX;
      blk.y[l] = r.conY;
    } else {
      blk.x[l] = blk.y[l] = kFarAway;
      blk.q[l] = 0.0;
    }
  }
  auto loadPoleCharges = [&]() {
    for (std::size_t k = 0; k < pole.size(); ++k)
      blocks[k / 4].q[k % 4] = list[static_cast<std::size_t>(pole[k])].sCharge;
  };
  loadPoleCharges();

  for (int round = 1; round <= kChargeRounds; ++round) {
    job.report.ProcessPendingEvents();
    if (job.state.abortRequested) return;
    job.report.ShowProgress(ProgressText('B', round));
    // Every pole link sees the field of all the others as they stand after the last round.
    for (int j = 0; j < n; ++j) {
      SurfaceRecord& r = list[static_cast<std::size_t>(j)];
      r.EfieldX = r.EfieldY = 0.0;
    }
    for (int j : pole) {
      SurfaceRecord& r = list[static_cast<std::size_t>(j)];
      double e[2];
      detail::SumPoleField(blocks.data(), blocks.size(), r.conX, r.conY, e);
      r.EfieldX = e[0];
      r.EfieldY = e[1];
    }
    // The charge of a link follows the field component across it.
    double Sa = 0.0, Sb = 0.0;
    for (int j : pole) {
      SurfaceRecord& r = list[static_cast<std::size_t>(j)];
      const double e = r.conX == r.insX ? std::abs(r.EfieldY) : std::abs(r.EfieldX);
      r.LastCharge1 = r.sCharge;
      if (r.sType == a) {
        r.sCharge = e;
        Sa += e;
      } else {
        r.sCharge = -e;
        Sb += e;
      }
    }
    // Each pole carries +-0.5 in all.
    for (int j : pole) {
      SurfaceRecord& r = list[static_cast<std::size_t>(j)];
      if (r.sType == a) {
        if (Sa > 0.0) r.sCharge = r.sCharge * 0.5 / Sa;
      } else if (Sb > 0.0) {
        r.sCharge = r.sCharge * 0.5 / Sb;
      }
    }
    loadPoleCharges();
  }

  // The potential of the a island relative to the b island under these charges gives the scale
  // that puts the two poles 1 volt apart.
  job.report.ShowProgress("B");
  const int ia = FirstIslandOfKind(p, a), ib = FirstIslandOfKind(p, b);
  p.chargeScale = 1.0;
  if (ia >= 0 && ib >= 0) {
    p.islands[static_cast<std::size_t>(ib)].iV = b;
    p.islands[static_cast<std::size_t>(ia)].iV = a;
    LoadCharges(g, w.charges);
    WalkIslands(job, w, ib, 0.0);
    const double va = p.islands[static_cast<std::size_t>(ia)].iV;
    const double vb = p.islands[static_cast<std::size_t>(ib)].iV;
    p.chargeScale = va != 0.0 ? 1.0 / va : 1.0 / (1.0 - vb);
  }
  for (int j = 0; j < n; ++j) list[static_cast<std::size_t>(j)].sCharge *= p.chargeScale;
  LoadCharges(g, w.charges);
}

}  // namespace zolva
