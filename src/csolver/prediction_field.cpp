// The field of the prediction's surface charges: the direct sum over flat blocks of charges, the
// coarse lattice that stands in for it away from the surfaces, and the apron field cache filled
// on the worker pool.
#include "csolver/prediction_field.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <string>

#include "csolver/capacitance_job.h"
#include "csolver/four_lanes.h"

// The sum is formed in the same order of roundings in every clone and at every call, so that a
// field never depends on the thread or the processor that computed it.
#include "csolver/no_contraction.h"

namespace zolva {

namespace {

// Far from every node of the 3200 x 3200 core and its apron: a padding charge of 0 there adds
// exactly 0 to every sum.
constexpr double kFarAway = 1.0e9;

}  // namespace

namespace detail {

// E = sum of q (r - r_q) / |r - r_q|^2 over the blocks: four lanes, each summed in block order,
// then added pairwise. Node coordinates are integers, so d <= 1.1 is d^2 <= 1 and d < 1.9 is
// d^2 <= 3 exactly, and no square root is needed.
ZOLVA_LANE_CLONES
void SumBlocks(const ChargeBlock* blocks, std::size_t n, double x, double y, double* out) {
  const Lanes4 X = {x, x, x, x}, Y = {y, y, y, y};
  const Lanes4 one = {1.0, 1.0, 1.0, 1.0}, three = {3.0, 3.0, 3.0, 3.0};
  Lanes4 ex = {0.0, 0.0, 0.0, 0.0}, ey = {0.0, 0.0, 0.0, 0.0};
  for (std::size_t k = 0; k < n; ++k) {
    const ChargeBlock& b = blocks[k];
    Lanes4 cx, cy, qn, qm, qf;
    std::memcpy(&cx, b.x, sizeof cx);
    std::memcpy(&cy, b.y, sizeof cy);
    std::memcpy(&qn, b.qNear, sizeof qn);
    std::memcpy(&qm, b.qMid, sizeof qm);
    std::memcpy(&qf, b.qFar, sizeof qf);
    const Lanes4 dx = X - cx, dy = Y - cy;
    const Lanes4 d2 = dx * dx + dy * dy;
    const Lanes4 q = d2 <= one ? qn : (d2 <= three ? qm : qf);
    const Lanes4 t = q / d2;
    ex += t * dx;
    ey += t * dy;
  }
  out[0] = AddLanes(ex);
  out[1] = AddLanes(ey);
}

}  // namespace detail

void LoadCharges(const SolverGrid& g, ChargeArrays& charges) {
  const int n = std::max(0, std::min(g.surfaceCount, static_cast<int>(g.surfaceList.size())));
  charges.count = n;
  charges.blocks.assign(static_cast<std::size_t>((n + 3) / 4), ChargeBlock{});
  for (std::size_t k = 0; k < charges.blocks.size(); ++k) {
    ChargeBlock& b = charges.blocks[k];
    for (int l = 0; l < 4; ++l) {
      const std::size_t j = 4 * k + static_cast<std::size_t>(l);
      if (j >= static_cast<std::size_t>(n)) {
        b.x[l] = b.y[l] = kFarAway;
        b.qNear[l] = b.qMid[l] = b.qFar[l] = 0.0;
        continue;
      }
      const SurfaceRecord& r = g.surfaceList[j];
      b.x[l] = r.conX;
      b.y[l] = r.conY;
      const double q = r.sCharge;
      const bool single = r.surfaces == 1;
      b.qNear[l] = single ? q * kSingleLinkNear : q;
      b.qMid[l] = single ? q * kSingleLinkMid : q;
      b.qFar[l] = q;
    }
  }
}

FieldVector DirectField(const ChargeArrays& charges, double x, double y) {
  double out[2];
  detail::SumBlocks(charges.blocks.data(), charges.blocks.size(), x, y, out);
  return FieldVector{out[0], out[1]};
}

FieldVector LiteralField(const SolverGrid& g, int x, int y) {
  FieldVector e;
  const int n = std::min(g.surfaceCount, static_cast<int>(g.surfaceList.size()));
  for (int j = 0; j < n; ++j) {
    const SurfaceRecord& r = g.surfaceList[static_cast<std::size_t>(j)];
    const double dx = x - r.conX, dy = y - r.conY;
    const double d = std::sqrt(dx * dx + dy * dy);
    double q = r.sCharge / d;
    if (d < 1.9 && r.surfaces == 1) q *= d <= 1.1 ? kSingleLinkNear : kSingleLinkMid;
    e.x += q * dx / d;
    e.y += q * dy / d;
  }
  return e;
}

namespace {

// The direct field, or 0 with the hit recorded when (x, y) is a charge's own node. Safe on any
// participant.
FieldVector CheckedDirectField(PredictionWork& w, int x, int y) {
  const FieldVector e = DirectField(w.charges, x, y);
  if (std::isfinite(e.x) && std::isfinite(e.y)) return e;
  bool expected = false;
  if (w.chargeNodeHit.compare_exchange_strong(expected, true, std::memory_order_acq_rel)) {
    w.hitX = x;
    w.hitY = y;
  }
  return FieldVector{};
}

void ReportHit(const CapacitanceJob& job, PredictionWork& w) {
  if (w.hitReported || !w.chargeNodeHit.load(std::memory_order_acquire)) return;
  w.hitReported = true;
  const SolverGrid& g = job.grid;
  job.report.ReportProgramError(3, ProgramErrorCaption(w.hitX, w.hitY, g.CtoUX, g.CtoUY));
}

}  // namespace

FieldVector FieldAt(const CapacitanceJob& job, PredictionWork& w, int x, int y) {
  if (w.fieldOff) return FieldVector{};
  const SolverGrid& g = job.grid;
  const bool inCore = x >= 0 && y >= 0 && x < g.Cwid && y < g.Chei;
  if (w.useCoarse && inCore && !(g.Ccode[CoreIndex(g, x, y)] & NodeNearSurface)) {
    const int i = x / 3, j = y / 3;
    const double fx = (x - 3 * i) / 3.0, fy = (y - 3 * j) / 3.0;
    const std::size_t cw = static_cast<std::size_t>(w.coarseWidth);
    const std::size_t a = static_cast<std::size_t>(j) * cw + static_cast<std::size_t>(i);
    auto mix = [&](const std::vector<double>& v) {
      const double A = v.at(a), B = v.at(a + 1), C = v.at(a + cw), D = v.at(a + cw + 1);
      return (A * (1 - fx) + B * fx) * (1 - fy) + (C * (1 - fx) + D * fx) * fy;
    };
    return FieldVector{mix(w.coarseEx), mix(w.coarseEy)};
  }
  const FieldVector e = CheckedDirectField(w, x, y);
  ReportHit(job, w);
  return e;
}

FieldVector ApronFieldAt(const CapacitanceJob& job, PredictionWork& w, int aX, int aY) {
  const SolverGrid& g = job.grid;
  if (w.useCoarse) {
    const std::size_t i = ApronIndex(g, aX, aY);
    return FieldVector{w.apronEx.at(i), w.apronEy.at(i)};
  }
  if (w.fieldOff) return FieldVector{};
  const FieldVector e = CheckedDirectField(w, 8 * aX + g.AtoCX, 8 * aY + g.AtoCY);
  ReportHit(job, w);
  return e;
}

void BuildCoarseLattice(const CapacitanceJob& job, PredictionWork& w) {
  const SolverGrid& g = job.grid;
  w.useCoarse = false;
  w.coarseWidth = g.Cwid / 3 + 2;
  w.coarseHeight = g.Chei / 3 + 2;
  const std::size_t cw = static_cast<std::size_t>(w.coarseWidth);
  w.coarseEx.assign(cw * static_cast<std::size_t>(w.coarseHeight), 0.0);
  w.coarseEy.assign(w.coarseEx.size(), 0.0);
  FieldVector last;
  for (int i = 0; i < w.coarseWidth; ++i) {
    for (int j = 0; j < w.coarseHeight; ++j) {
      const int x = 3 * i, y = 3 * j;
      const bool inCore = x < g.Cwid && y < g.Chei;
      // A conductor node repeats the field of the entry before it: the interpolation near a
      // surface then does not mix in the field inside the conductor.
      if (!(inCore && (g.Ccode[CoreIndex(g, x, y)] & NodeConductor))) last = FieldAt(job, w, x, y);
      const std::size_t e = static_cast<std::size_t>(j) * cw + static_cast<std::size_t>(i);
      w.coarseEx[e] = last.x;
      w.coarseEy[e] = last.y;
    }
    job.report.ProcessPendingEvents();
  }
  w.useCoarse = !job.state.switches[Switch::NoCoarseLattice];
}

void CacheApronRows(const CapacitanceJob& job, PredictionWork& w, int t, int T) {
  const SolverGrid& g = job.grid;
  if (T < 1) T = 1;
  for (int aY = w.cacheY1 + t - 1; aY <= w.cacheY2; aY += T) {
    if (t == 1) job.report.ProcessPendingEvents();
    for (int aX = w.cacheX1; aX <= w.cacheX2; ++aX) {
      const std::size_t i = ApronIndex(g, aX, aY);
      if (!(g.Acode[i] & (NodeFree | NodeFreeMixed))) continue;
      const FieldVector e = CheckedDirectField(w, 8 * aX + g.AtoCX, 8 * aY + g.AtoCY);
      w.apronEx[i] = e.x;
      w.apronEy[i] = e.y;
    }
  }
}

void CacheApronField(const CapacitanceJob& job, PredictionWork& w, int x1, int x2, int y1, int y2) {
  const SolverGrid& g = job.grid;
  const std::size_t nodes = static_cast<std::size_t>(g.Awid) * static_cast<std::size_t>(g.Ahei);
  if (w.apronEx.size() != nodes) w.apronEx.assign(nodes, 0.0);
  if (w.apronEy.size() != nodes) w.apronEy.assign(nodes, 0.0);
  w.cacheX1 = std::max(x1, 0);
  w.cacheX2 = std::min(x2, g.Awid - 1);
  w.cacheY1 = std::max(y1, 0);
  w.cacheY2 = std::min(y2, g.Ahei - 1);
  job.pool.DispatchRunning();
  ReportHit(job, w);
}

}  // namespace zolva
