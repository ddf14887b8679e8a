// The relaxation: the per-solve plan (coefficients of the weighted nodes, runs of plain nodes,
// line costs, start offsets), the round kernel shared by the participants, and the loop of
// rounds with its per-round adjustments, estimate and convergence test.
#include "csolver/relaxation.h"

#include "csolver/capacitance_job.h"

// The bit-for-bit equivalence of the row-wise kernel and a column-by-column sweep of the same
// node updates rests on every update being the same sequence of roundings wherever it is
// inlined; fused multiply-adds formed by the compiler in one place and not in another would
// break it.
#include <algorithm>
#include <atomic>
#include <cmath>
#include <cstddef>
#include <stdexcept>
#include <string>

#include "csolver/flush_denormals.h"
#include "csolver/no_contraction.h"
#include "csolver/prediction.h"
#include "csolver/relax_kernel.h"
#include "csolver/solver_grid.h"
#include "csolver/summation.h"

namespace zolva {

namespace {

constexpr std::uint8_t kFreeBits = NodeFree | NodeFreeMixed;
// The potential of a sound cross-section stays between the lowest and the highest fixed voltage
// (-1 and +1), give or take the overshoot of the over-relaxation; a voltage beyond this bound
// means the iteration is running away.
constexpr double kRunawayVoltage = 1e3;
// Rounds between two scans of the voltages for a runaway; the estimate is checked every round.
constexpr std::uint32_t kRunawayScanRounds = 8;
// cosh(1) as a single-precision number.
constexpr double kCosh1Single = 1.5430806875228882;
// The run kernel's weights are those of the over-relaxation: 1.5 / 4 per neighbour, 1.5 - 1 on
// the old value.
static_assert(kPlainWeight == kOverRelaxation / 4 && kOverRelaxation - 1.0 == 0.5);

std::size_t At(int x, int y, int width) {
  return static_cast<std::size_t>(y) * static_cast<std::size_t>(width) +
         static_cast<std::size_t>(x);
}

inline double NeighbourValue(const NeighbourRef& r, double* const base[2]) {
  double* v = base[r.lattice];
  switch (r.kind) {
    case NeighbourScaled:
      return LoadVolts(v[r.index[0]]) * r.scale;
    case NeighbourInterpolated: {
      double* a = base[LatticeApron];
      const double A = LoadVolts(a[r.index[0]]), B = LoadVolts(a[r.index[1]]);
      const double C = LoadVolts(a[r.index[2]]), D = LoadVolts(a[r.index[3]]);
      const double topV = A + r.fx * (B - A);
      const double bottomV = C + r.fx * (D - C);
      return topV + r.fy * (bottomV - topV);
    }
    default:
      return LoadVolts(v[r.index[0]]);
  }
}

inline double WeightedUpdate(const WeightedNode& n, double* self, double* const base[2]) {
  const double up = NeighbourValue(n.nb[0], base);
  const double down = NeighbourValue(n.nb[1], base);
  const double left = NeighbourValue(n.nb[2], base);
  const double right = NeighbourValue(n.nb[3], base);
  double W;
  if (n.plainAverage) {
    W = (((up + down) + left) + right) / 4.0;
  } else {
    W = ((n.w[0] * up + n.w[1] * down) + n.w[2] * left) + n.w[3] * right;
  }
  return kOverRelaxation * W - 0.5 * LoadVolts(*self);
}

// Relaxes the free nodes x in from..to of row y, towards lower x when descending.
void RelaxRow(const LatticePlan& p, double* V, double* const base[2], int y, int from, int to,
              bool descending) {
  if (from > to) return;
  const RelaxSegment* first = p.segments.data() + p.rowFirst[static_cast<std::size_t>(y)];
  const RelaxSegment* last = p.segments.data() + p.rowFirst[static_cast<std::size_t>(y) + 1];
  // Segments are sorted by x: skip those that end before the window and stop at the first that
  // starts after it.
  first = std::partition_point(first, last, [from](const RelaxSegment& s) { return s.x1 < from; });
  last = std::partition_point(first, last, [to](const RelaxSegment& s) { return s.x0 <= to; });
  const std::ptrdiff_t W = p.width;
  double* row = V + static_cast<std::ptrdiff_t>(y) * W;
  if (descending) {
    for (const RelaxSegment* s = last; s != first;) {
      --s;
      if (s->weighted >= 0) {
        const WeightedNode& n = p.weighted[static_cast<std::size_t>(s->weighted)];
        StoreVolts(V[n.index], WeightedUpdate(n, V + n.index, base));
        continue;
      }
      const int xs = std::min(s->x1, to), xe = std::max(s->x0, from);
      RelaxPlainRun<-1>(row, W, xs, xs - xe + 1);
    }
  } else {
    for (const RelaxSegment* s = first; s != last; ++s) {
      if (s->weighted >= 0) {
        const WeightedNode& n = p.weighted[static_cast<std::size_t>(s->weighted)];
        StoreVolts(V[n.index], WeightedUpdate(n, V + n.index, base));
        continue;
      }
      const int xs = std::max(s->x0, from), xe = std::min(s->x1, to);
      RelaxPlainRun<1>(row, W, xs, xe - xs + 1);
    }
  }
}

// One sweep of the round sequence (1 to 8) over the window from..to of its lines.
void RunSweep(SolverGrid& g, int sweep, int from, int to) {
  RelaxPlan& plan = g.plan;
  double* const base[2] = {g.Cvolts.data(), g.Avolts.data()};
  const LatticePlan& core = plan.core;
  const LatticePlan& apron = plan.apron;
  double* C = base[LatticeCore];
  double* A = base[LatticeApron];
  switch (sweep) {
    case 1:  // core columns descending, rows descending = rows descending over the columns
      for (int y = core.height - 1; y >= 0; --y) RelaxRow(core, C, base, y, from, to, true);
      break;
    case 2:  // apron columns descending, rows ascending
      for (int y = 0; y < apron.height; ++y) RelaxRow(apron, A, base, y, from, to, true);
      break;
    case 3:  // core rows descending, columns descending
      for (int y = to; y >= from; --y) RelaxRow(core, C, base, y, 0, core.width - 1, true);
      break;
    case 4:  // apron rows descending, columns ascending
      for (int y = to; y >= from; --y) RelaxRow(apron, A, base, y, 0, apron.width - 1, false);
      break;
    case 5:  // core columns ascending, rows ascending
      for (int y = 0; y < core.height; ++y) RelaxRow(core, C, base, y, from, to, false);
      break;
    case 6:  // apron columns ascending, rows descending
      for (int y = apron.height - 1; y >= 0; --y) RelaxRow(apron, A, base, y, from, to, false);
      break;
    case 7:  // core rows ascending, columns ascending
      for (int y = from; y <= to; ++y) RelaxRow(core, C, base, y, 0, core.width - 1, false);
      break;
    default:  // 8: apron rows ascending, columns descending
      for (int y = from; y <= to; ++y) RelaxRow(apron, A, base, y, 0, apron.width - 1, true);
      break;
  }
}

// Number of lines of sweep s (1..8): core columns, apron columns, core rows, apron rows.
int SweepLines(const RelaxPlan& plan, int sweep) {
  switch (sweep) {
    case 1:
    case 5:
      return plan.Cwid;
    case 2:
    case 6:
      return plan.Awid;
    case 3:
    case 7:
      return plan.Chei;
    default:
      return plan.Ahei;
  }
}

int NodeCost(std::uint8_t code) {
  if (code & NodeFree) return 8;
  if (code & NodeFreeMixed) return 30;
  return 1;
}

NeighbourRef Direct(LatticeId lattice, std::size_t index) {
  NeighbourRef r;
  r.kind = NeighbourDirect;
  r.lattice = lattice;
  r.index[0] = static_cast<std::int32_t>(index);
  return r;
}

// The apron field at core position (cX, cY), as InterpolateApron reads it.
NeighbourRef Interpolated(const SolverGrid& g, int cX, int cY) {
  int aX = (cX + g.CtoAX) >> 3;
  int aY = (cY + g.CtoAY) >> 3;
  if (aX > g.Awid - 1) aX = g.Awid - 1;
  if (aY > g.Ahei - 1) aY = g.Ahei - 1;
  if (aX < 0 || aY < 0 || aX + 1 >= g.Awid || aY + 1 >= g.Ahei)
    throw std::out_of_range("relaxation: core edge node " + std::to_string(cX) + "," +
                            std::to_string(cY) + " has no apron beyond it");
  NeighbourRef r;
  r.kind = NeighbourInterpolated;
  r.lattice = LatticeApron;
  const std::size_t i = At(aX, aY, g.Awid);
  const std::size_t W = static_cast<std::size_t>(g.Awid);
  r.index = {static_cast<std::int32_t>(i), static_cast<std::int32_t>(i + 1),
             static_cast<std::int32_t>(i + W), static_cast<std::int32_t>(i + W + 1)};
  r.fx = static_cast<double>(cX & 7) / 8.0;
  r.fy = static_cast<double>(cY & 7) / 8.0;
  return r;
}

// Where ApronValue finds the value of apron node (aX, aY), which lies inside the apron.
NeighbourRef ApronSource(const SolverGrid& g, int aX, int aY) {
  const std::size_t i = At(aX, aY, g.Awid);
  if (g.Acode.at(i) & kFreeBits) return Direct(LatticeApron, i);
  const int cX = 8 * aX + g.AtoCX, cY = 8 * aY + g.AtoCY;
  if (cX >= 0 && cY >= 0 && cX < g.Cwid && cY < g.Chei)
    return Direct(LatticeCore, At(cX, cY, g.Cwid));
  return Direct(LatticeApron, i);
}

// Weights of the up, down, left and right neighbours among four cells of permittivity eUL, eUR
// (above) and eLL, eLR (below): each link is weighted by the two cells it borders.
bool SetWeights(WeightedNode& n, double eUL, double eUR, double eLL, double eLR) {
  const double den = 2.0 * (eUL + eUR + eLL + eLR);
  if (!(den != 0.0) || !std::isfinite(den)) return false;
  n.w = {(eUL + eUR) / den, (eLL + eLR) / den, (eUL + eLL) / den, (eUR + eLR) / den};
  return true;
}

WeightedNode CoreWeightedNode(const CapacitanceJob& job, int x, int y) {
  const SolverGrid& g = job.grid;
  WeightedNode n;
  const std::size_t i = At(x, y, g.Cwid);
  n.index = static_cast<std::int32_t>(i);
  const std::size_t W = static_cast<std::size_t>(g.Cwid);
  n.nb[0] = y < 1 ? Interpolated(g, x, y - 1) : Direct(LatticeCore, i - W);
  n.nb[1] = y < g.Chei - 1 ? Direct(LatticeCore, i + W) : Interpolated(g, x, y + 1);
  n.nb[2] = x < 1 ? Interpolated(g, x - 1, y) : Direct(LatticeCore, i - 1);
  n.nb[3] = x < g.Cwid - 1 ? Direct(LatticeCore, i + 1) : Interpolated(g, x + 1, y);
  n.plainAverage = std::any_of(n.nb.begin(), n.nb.end(),
                               [](const NeighbourRef& r) { return r.kind != NeighbourDirect; });
  if (!n.plainAverage) {
    // Cells of zero total permittivity (which no valid material gives) fall back to the mean.
    n.plainAverage =
        !SetWeights(n, CellPermittivity(job, x - 1, y - 1), CellPermittivity(job, x, y - 1),
                    CellPermittivity(job, x - 1, y), CellPermittivity(job, x, y));
  }
  return n;
}

WeightedNode ApronWeightedNode(const CapacitanceJob& job, int x, int y) {
  const SolverGrid& g = job.grid;
  WeightedNode n;
  const std::size_t i = At(x, y, g.Awid);
  n.index = static_cast<std::int32_t>(i);
  NeighbourRef self = Direct(LatticeApron, i);
  self.kind = NeighbourScaled;
  auto scaled = [&](int e) {
    NeighbourRef r = self;
    r.scale = g.edgeFactor.at(static_cast<std::size_t>(e));
    return r;
  };
  n.nb[0] = y < 1 ? scaled(x) : ApronSource(g, x, y - 1);
  n.nb[1] = y < g.Ahei - 1 ? ApronSource(g, x, y + 1) : scaled(x);
  n.nb[2] = x < 1 ? scaled(y) : ApronSource(g, x - 1, y);
  n.nb[3] = x < g.Awid - 1 ? ApronSource(g, x + 1, y) : scaled(y);
  n.plainAverage = std::any_of(n.nb.begin(), n.nb.end(),
                               [](const NeighbourRef& r) { return r.kind != NeighbourDirect; });
  if (!n.plainAverage) {
    n.plainAverage = !SetWeights(
        n, ApronCellPermittivity(job, x - 1, y - 1), ApronCellPermittivity(job, x, y - 1),
        ApronCellPermittivity(job, x - 1, y), ApronCellPermittivity(job, x, y));
  }
  return n;
}

// Runs of plain interior nodes and single weighted nodes, row by row. A plain node on the
// lattice's edge (which the charge distribution never leaves) would read outside the array;
// it takes the weighted update, which handles the edge.
template <typename MakeWeighted>
void BuildLattice(LatticePlan& p, const std::vector<std::uint8_t>& code, int W, int H,
                  MakeWeighted makeWeighted) {
  p = LatticePlan{};
  p.width = W;
  p.height = H;
  p.rowFirst.assign(static_cast<std::size_t>(H) + 1, 0);
  for (int y = 0; y < H; ++y) {
    p.rowFirst[static_cast<std::size_t>(y)] = static_cast<std::int32_t>(p.segments.size());
    bool inRun = false;
    for (int x = 0; x < W; ++x) {
      const std::uint8_t c = code[At(x, y, W)];
      const bool interior = x >= 1 && y >= 1 && x < W - 1 && y < H - 1;
      if ((c & NodeFree) && interior) {
        if (inRun) {
          p.segments.back().x1 = x;
        } else {
          p.segments.push_back(RelaxSegment{x, x, -1});
          inRun = true;
        }
        continue;
      }
      inRun = false;
      if (c & kFreeBits) {
        p.segments.push_back(RelaxSegment{x, x, static_cast<std::int32_t>(p.weighted.size())});
        p.weighted.push_back(makeWeighted(x, y));
      }
    }
  }
  p.rowFirst[static_cast<std::size_t>(H)] = static_cast<std::int32_t>(p.segments.size());
}

void FillCosts(const std::vector<std::uint8_t>& code, int W, int H, std::vector<std::int32_t>& col,
               std::vector<std::int32_t>& row) {
  col.assign(static_cast<std::size_t>(W), 0);
  row.assign(static_cast<std::size_t>(H), 0);
  for (int y = 0; y < H; ++y) {
    for (int x = 0; x < W; ++x) {
      const int c = NodeCost(code[At(x, y, W)]);
      col[static_cast<std::size_t>(x)] += c;
      row[static_cast<std::size_t>(y)] += c;
    }
  }
}

// The cells of the estimate: a cell counts when its Usermap pixel (clamped) lies in a field
// region; an apron cell also needs four free corners. Neighbouring counting cells of one
// material along a row form a run.
void BuildEstimateRuns(const CapacitanceJob& job) {
  SolverGrid& g = job.grid;
  RelaxPlan& plan = g.plan;
  const PixelMap& map = job.map;
  if (map.Uwid < 1 || map.Uhei < 1 ||
      map.Ukind.size() != static_cast<std::size_t>(map.Uwid) * static_cast<std::size_t>(map.Uhei) ||
      map.Uindex.size() != map.Ukind.size())
    throw std::out_of_range("capacitance estimate: the per-pixel maps do not match the map size");
  std::array<std::uint8_t, 256> slotOf{};
  int slots = 0;
  plan.slotEps.fill(0.0);
  plan.slotEpsTan.fill(0.0);
  auto slotFor = [&](int uX, int uY) -> std::uint8_t {
    uX = uX < 0 ? 0 : (uX > map.Uwid - 1 ? map.Uwid - 1 : uX);
    uY = uY < 0 ? 0 : (uY > map.Uhei - 1 ? map.Uhei - 1 : uY);
    const std::size_t p = At(uX, uY, map.Uwid);
    if (map.Ukind[p] != 8) return 0;
    const int m = map.Uindex[p];
    if (slotOf[static_cast<std::size_t>(m)] == 0) {
      // Field-region pixels are insulators, and at least two conductor colours exist, so the
      // insulator colours never need more than 255 slots.
      if (slots >= 255) throw std::out_of_range("capacitance estimate: too many materials");
      ++slots;
      slotOf[static_cast<std::size_t>(m)] = static_cast<std::uint8_t>(slots);
      const double eps = PalettePermittivity(job.materials, m);
      plan.slotEps[static_cast<std::size_t>(slots)] = eps;
      plan.slotEpsTan[static_cast<std::size_t>(slots)] = eps * PaletteTanDelta(job.materials, m);
    }
    return slotOf[static_cast<std::size_t>(m)];
  };
  auto addCell = [](std::vector<EstimateRun>& runs, std::size_t index, std::uint8_t slot,
                    bool continues) {
    if (slot == 0) return;
    if (continues && !runs.empty() && runs.back().slot == slot &&
        static_cast<std::size_t>(runs.back().start) +
                static_cast<std::size_t>(runs.back().length) ==
            index) {
      ++runs.back().length;
    } else {
      runs.push_back(EstimateRun{static_cast<std::int32_t>(index), 1, slot});
    }
  };

  plan.coreRuns.clear();
  for (int y = 0; y < g.Chei - 1; ++y)
    for (int x = 0; x < g.Cwid - 1; ++x)
      addCell(plan.coreRuns, At(x, y, g.Cwid), slotFor(x + g.CtoUX, y + g.CtoUY), x > 0);

  plan.apronRuns.clear();
  if (!g.apronActive) return;
  const std::size_t W = static_cast<std::size_t>(g.Awid);
  for (int y = 0; y < g.Ahei - 1; ++y) {
    for (int x = 0; x < g.Awid - 1; ++x) {
      const std::size_t i = At(x, y, g.Awid);
      if (!(g.Acode[i] & kFreeBits) || !(g.Acode[i + 1] & kFreeBits) ||
          !(g.Acode[i + W] & kFreeBits) || !(g.Acode[i + W + 1] & kFreeBits))
        continue;
      addCell(plan.apronRuns, i, slotFor(8 * x + g.AtoUX, 8 * y + g.AtoUY), x > 0);
    }
  }
}

bool WithinRunawayBound(const std::vector<double>& V) {
  // A NaN anywhere makes the comparison false, as it should.
  bool within = true;
  for (double v : V) within &= std::fabs(v) <= kRunawayVoltage;
  return within;
}

// Why the relaxation cannot reach a solution, judged after a round from its estimate of C (the
// energy of the field, which a sound iteration keeps finite and above zero) and, every few
// rounds, from the voltages; nullptr while it can.
const char* RunawayReason(const SolverGrid& g, double C) {
  if (!std::isfinite(C)) return "the estimate of C is no longer a finite number";
  if (C < 0.0) return "the estimate of C is negative";
  if (C == 0.0) return "the field holds no energy";
  if (g.plan.roundCount % kRunawayScanRounds == 0 &&
      (!WithinRunawayBound(g.Cvolts) || (g.apronActive && !WithinRunawayBound(g.Avolts))))
    return "the voltages run away";
  return nullptr;
}

}  // namespace

void BuildEdgeFactors(SolverGrid& g) {
  // The 400-node apron's profile, stretched over a wider apron.
  const int n = std::max(kEdgeFactorCount, g.Awid);
  const double half = n / 2;
  g.edgeFactor.assign(static_cast<std::size_t>(n), 0.0);
  for (int i = 0; i < n; ++i)
    g.edgeFactor[static_cast<std::size_t>(i)] =
        1.0 - 0.006 * std::cosh((i - half) / half) / kCosh1Single;
}

bool SweepWindow(ParticipantState& p, int linesPerPass, int first, int last) {
  const int h = last - first + 1;
  const int r = linesPerPass - p.passDone;
  bool has = false;
  if (r != 0 && p.passOffset <= p.passPosition + h) {
    p.windowFrom = p.passOffset > p.passPosition ? first + (p.passOffset - p.passPosition) : first;
    p.windowTo = r < h ? last - (h - r) : last;
    p.passDone += p.windowTo - p.windowFrom + 1;
    has = true;
  }
  p.passPosition += h;
  return has;
}

void SplitEvenly(RelaxPlan& plan, int n) {
  const double e = std::nearbyint(static_cast<double>(plan.linesPerPass) / n);
  for (int k = 1; k <= n; ++k)
    plan.part[static_cast<std::size_t>(k)].passOffset = static_cast<int>(e) * (k - 1);
}

void SplitByCost(RelaxPlan& plan, int n) {
  if (!plan.apronActive) return;
  long long total = 0;
  for (const auto* costs : {&plan.CcolCost, &plan.CrowCost, &plan.AcolCost, &plan.ArowCost})
    for (std::int32_t c : *costs) total += c;
  const long long t = std::llrint(2.0 * static_cast<double>(total) / n);
  long long sum = 0;
  int counter = 1, position = 0;
  // The lines in the order of the sixteen sweeps; each participant starts at the line where the
  // running cost passes its share.
  for (int s = 0; s < 16 && counter <= n; ++s) {
    const int sweep = s % 8 + 1;
    const std::vector<std::int32_t>& costs = (sweep == 1 || sweep == 5)   ? plan.CcolCost
                                             : (sweep == 2 || sweep == 6) ? plan.AcolCost
                                             : (sweep == 3 || sweep == 7) ? plan.CrowCost
                                                                          : plan.ArowCost;
    const int m = static_cast<int>(costs.size());
    for (int j = 0; j < m && counter <= n; ++j) {
      const int line = sweep <= 4 ? m - 1 - j : j;
      sum += costs[static_cast<std::size_t>(line)];
      if (sum > t * (counter - 1)) {
        plan.part[static_cast<std::size_t>(counter)].passOffset = position;
        ++counter;
      }
      ++position;
    }
  }
}

double CoreWeighted(const CapacitanceJob& job, int cX, int cY) {
  const SolverGrid& g = job.grid;
  bool fromApron = false;
  auto core = [&](int x, int y, bool inside) {
    if (inside) return CoreValue(g, x, y);
    fromApron = true;
    return InterpolateApron(g, x, y);
  };
  const double up = core(cX, cY - 1, cY >= 1);
  const double down = core(cX, cY + 1, cY < g.Chei - 1);
  const double left = core(cX - 1, cY, cX >= 1);
  const double right = core(cX + 1, cY, cX < g.Cwid - 1);
  if (fromApron) return (up + down + left + right) / 4;
  const double eUL = CellPermittivity(job, cX - 1, cY - 1), eUR = CellPermittivity(job, cX, cY - 1);
  const double eLL = CellPermittivity(job, cX - 1, cY), eLR = CellPermittivity(job, cX, cY);
  return ((eUL + eUR) * up + (eLL + eLR) * down + (eUL + eLL) * left + (eUR + eLR) * right) /
         (2 * (eUL + eUR + eLL + eLR));
}

double ApronWeighted(const CapacitanceJob& job, int aX, int aY) {
  const SolverGrid& g = job.grid;
  const double self = ApronValue(g, aX, aY);
  const double fCol = g.edgeFactor.at(static_cast<std::size_t>(aX));
  const double fRow = g.edgeFactor.at(static_cast<std::size_t>(aY));
  const bool beyond = aY < 1 || aY >= g.Ahei - 1 || aX < 1 || aX >= g.Awid - 1;
  const double up = aY < 1 ? self * fCol : ApronValue(g, aX, aY - 1);
  const double down = aY < g.Ahei - 1 ? ApronValue(g, aX, aY + 1) : self * fCol;
  const double left = aX < 1 ? self * fRow : ApronValue(g, aX - 1, aY);
  const double right = aX < g.Awid - 1 ? ApronValue(g, aX + 1, aY) : self * fRow;
  if (beyond) return (up + down + left + right) / 4;
  const double eUL = ApronCellPermittivity(job, aX - 1, aY - 1);
  const double eUR = ApronCellPermittivity(job, aX, aY - 1);
  const double eLL = ApronCellPermittivity(job, aX - 1, aY);
  const double eLR = ApronCellPermittivity(job, aX, aY);
  return ((eUL + eUR) * up + (eLL + eLR) * down + (eUL + eLL) * left + (eUR + eLR) * right) /
         (2 * (eUL + eUR + eLL + eLR));
}

bool PlanMatchesGrid(const SolverGrid& g) {
  const RelaxPlan& p = g.plan;
  const std::size_t core = static_cast<std::size_t>(g.Cwid) * static_cast<std::size_t>(g.Chei);
  const std::size_t apron = static_cast<std::size_t>(g.Awid) * static_cast<std::size_t>(g.Ahei);
  return p.ready && p.Cwid == g.Cwid && p.Chei == g.Chei && p.Awid == g.Awid && p.Ahei == g.Ahei &&
         p.apronActive == g.apronActive && g.Cvolts.size() == core && g.Ccode.size() == core &&
         g.Avolts.size() == apron && g.Acode.size() == apron;
}

void BuildRelaxPlan(const CapacitanceJob& job) {
  SolverGrid& g = job.grid;
  const std::size_t core = static_cast<std::size_t>(g.Cwid) * static_cast<std::size_t>(g.Chei);
  const std::size_t apron = static_cast<std::size_t>(g.Awid) * static_cast<std::size_t>(g.Ahei);
  if (g.Cwid < 1 || g.Chei < 1 || g.Cvolts.size() != core || g.Ccode.size() != core ||
      g.Cmat.size() != core || g.Avolts.size() != apron || g.Acode.size() != apron ||
      g.Amat.size() != apron)
    throw std::out_of_range("relaxation: the grid arrays do not match its size " +
                            std::to_string(g.Cwid) + " x " + std::to_string(g.Chei));
  // Indices are held in 32 bits; the core is at most 3200 x 3200 nodes.
  if (core > 0x7FFFFFFFu || apron > 0x7FFFFFFFu)
    throw std::out_of_range("relaxation: grid too large");

  RelaxPlan& plan = g.plan;
  plan.ready = false;
  plan.Cwid = g.Cwid;
  plan.Chei = g.Chei;
  plan.Awid = g.Awid;
  plan.Ahei = g.Ahei;
  plan.apronActive = g.apronActive;
  BuildLattice(plan.core, g.Ccode, g.Cwid, g.Chei,
               [&](int x, int y) { return CoreWeightedNode(job, x, y); });
  if (g.apronActive) {
    BuildLattice(plan.apron, g.Acode, g.Awid, g.Ahei,
                 [&](int x, int y) { return ApronWeightedNode(job, x, y); });
  } else {
    plan.apron = LatticePlan{};
    plan.apron.width = g.Awid;
    plan.apron.height = 0;
    plan.apron.rowFirst.assign(1, 0);
  }
  FillCosts(g.Ccode, g.Cwid, g.Chei, plan.CcolCost, plan.CrowCost);
  FillCosts(g.Acode, g.Awid, g.Ahei, plan.AcolCost, plan.ArowCost);
  plan.linesPerPass =
      g.apronActive ? 2 * (g.Cwid + g.Chei + g.Awid + g.Ahei) : 2 * (g.Cwid + g.Chei);
  BuildEstimateRuns(job);
  plan.ready = true;
}

double RelaxedValue(const SolverGrid& g, LatticeId lattice, int x, int y, bool xDescending) {
  const LatticePlan& p = lattice == LatticeCore ? g.plan.core : g.plan.apron;
  if (y < 0 || y >= p.height || x < 0 || x >= p.width)
    throw std::out_of_range("RelaxedValue: node " + std::to_string(x) + "," + std::to_string(y));
  double* const base[2] = {const_cast<double*>(g.Cvolts.data()),
                           const_cast<double*>(g.Avolts.data())};
  double* V = base[lattice];
  const std::ptrdiff_t W = p.width;
  const std::ptrdiff_t i = static_cast<std::ptrdiff_t>(y) * W + x;
  for (std::int32_t s = p.rowFirst[static_cast<std::size_t>(y)];
       s < p.rowFirst[static_cast<std::size_t>(y) + 1]; ++s) {
    const RelaxSegment& seg = p.segments[static_cast<std::size_t>(s)];
    if (x < seg.x0 || x > seg.x1) continue;
    if (seg.weighted >= 0)
      return WeightedUpdate(p.weighted[static_cast<std::size_t>(seg.weighted)], V + i, base);
    if (xDescending)
      return PlainUpdate(LoadVolts(V[i + 1]), LoadVolts(V[i - 1]), LoadVolts(V[i - W]),
                         LoadVolts(V[i + W]), LoadVolts(V[i]));
    return PlainUpdate(LoadVolts(V[i - 1]), LoadVolts(V[i + 1]), LoadVolts(V[i - W]),
                       LoadVolts(V[i + W]), LoadVolts(V[i]));
  }
  return V[i];  // not a free node: held
}

void RelaxPass(SolverGrid& g, int k) {
  RelaxPlan& plan = g.plan;
  ParticipantState& p = plan.part[static_cast<std::size_t>(k)];
  p.passDone = 0;
  p.passPosition = 0;
  for (int s = 1; s <= 16; ++s) {
    const int sweep = (s - 1) % 8 + 1;
    // Apron sweeps do not take part, and do not count, while the apron is inactive.
    if (sweep % 2 == 0 && !plan.apronActive) continue;
    if (!SweepWindow(p, plan.linesPerPass, 0, SweepLines(plan, sweep) - 1)) continue;
    RunSweep(g, sweep, p.windowFrom, p.windowTo);
  }
}

void ReduceNodeCodes(SolverGrid& g) {
  for (std::uint8_t& c : g.Acode) c &= 0xF;
  for (std::uint8_t& c : g.Ccode)
    c = (c & (NodeFree | NodeFreeMixed | NodeConductor)) ? static_cast<std::uint8_t>(c & 0xF)
                                                         : NodeOutside;
}

void PrepareRelaxation(const CapacitanceJob& job) {
  SolverGrid& g = job.grid;
  ReduceNodeCodes(g);
  BuildRelaxPlan(job);
  job.state.abortRequested = job.state.switches[Switch::SkipRelaxation];
  Relax(job);
  // Switch::SkipRelaxation asks for the field as distributed and predicted: that is the finished
  // result.
  if (job.state.switches[Switch::SkipRelaxation] && !g.plan.diverged)
    job.state.relaxationSettled = true;
  FinishCapacitance(job);
}

void Relax(const CapacitanceJob& job) {
  SolverGrid& g = job.grid;
  if (!PlanMatchesGrid(g)) BuildRelaxPlan(job);
  RelaxPlan& plan = g.plan;
  SolveState& s = job.state;
  DenormalsOff denormalsOff;
  plan.diverged = false;
  s.relaxationSettled = false;
  if (s.switches[Switch::KeyboardSwitches]) job.report.ShowProgress("relax");

  int n = std::clamp(job.options.threadCount, 1, kMaxRelaxParticipants);
  auto split = [&](int participants) {
    plan.participants = participants;
    SplitEvenly(plan, participants);
    SplitByCost(plan, participants);
  };
  split(n);
  try {
    job.pool.StartWorkers(n, [&g](int k) {
      DenormalsOff workerDenormalsOff;
      RelaxPass(g, k);
    });
  } catch (const std::runtime_error&) {
    // A thread that cannot be made would never answer its flag: relax on the main thread alone.
    n = 1;
    split(n);
    job.pool.StartWorkers(1, [&g](int k) { RelaxPass(g, k); });
  }

  try {
    while (!s.abortRequested && !job.report.StopRequested()) {
      job.report.ProcessPendingEvents();
      if (++plan.roundCount == 0) s.abortRequested = true;
      job.pool.Dispatch(n);
      job.report.ShowTrace("F");
      UpdateFloatingConductors(job);
      job.report.ShowTrace("");
      EstimateCapacitance(job);
      if (const char* why = RunawayReason(g, job.results.C)) {
        // Nothing this iteration can reach is a solution: stop it and say why, rather than let
        // it run for ever or report what it holds.
        plan.diverged = true;
        s.abortRequested = true;
        s.operationFailed = true;
        Fail(job.failure, FailureKind::NoConvergence,
             std::string("The relaxation cannot converge: ") + why +
                 ". Check the map's conductors and permittivities.",
             "Solve");
        break;
      }
      job.report.ShowConvergence(job.results.C);
      if (g.openBoundary) AdjustOpenBoundary(job);
      if (plan.roundCount % 4 == 0) job.report.RefreshDisplay();
      job.report.RefreshStatusLine();
    }
  } catch (...) {
    job.pool.StopWorkers();
    throw;
  }
  job.pool.StopWorkers();
  job.report.ShowProgress("");
  job.report.RefreshDisplay();
}

}  // namespace zolva
