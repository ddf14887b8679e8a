// The multigrid hierarchy of the capacitance equations and its cycle (see multigrid.h).
#include "csolver/multigrid.h"

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <stdexcept>
#include <string>
#include <utility>

#include "core/worker_pool.h"
#include "csolver/relax_plan.h"
#include "csolver/relaxation.h"
#include "csolver/solver_grid.h"

namespace zolva {

namespace {

// Lattice rows per smoothing band. A band must be at least one row; more rows give a longer
// stretch of true Gauss-Seidel order, fewer give the pool more bands to share.
constexpr int kBandRows = 8;
// A level this small is solved directly.
constexpr std::int32_t kCoarsestUnknowns = 300;
constexpr int kMaxLevels = 24;
// Symmetric sweeps on a coarsest level too large to factor.
constexpr int kCoarsestSweeps = 20;

using Index = std::int64_t;

// The 4-neighbour stencil of a plain node: A = 1 on the node, -1/4 on each neighbour.
constexpr double kPlainOff = 0.25;

// Appends (column, value) to a short row, adding to an entry of the same column.
void AddEntry(std::vector<std::pair<std::int32_t, double>>& row, std::int32_t c, double v) {
  for (auto& e : row) {
    if (e.first == c) {
      e.second += v;
      return;
    }
  }
  row.emplace_back(c, v);
}

// The weighted rows of one lattice of the plan, with the layout's node indices.
void AddWeightedRows(Multigrid& mg, const LatticePlan& lat, int latticeId) {
  std::vector<std::pair<std::int32_t, double>> row;
  for (const WeightedNode& w : lat.weighted) {
    const Index self = mg.offset[latticeId] + w.index;
    row.clear();
    double diag = 1.0;
    for (int j = 0; j < 4; ++j) {
      const NeighbourRef& r = w.nb[static_cast<std::size_t>(j)];
      const double c = w.plainAverage ? 0.25 : w.w[static_cast<std::size_t>(j)];
      const Index base = r.lattice == LatticeApron ? mg.ncore : 0;
      switch (r.kind) {
        case NeighbourScaled: {
          const Index at = base + r.index[0];
          if (at == self)
            diag -= c * r.scale;
          else
            AddEntry(row, static_cast<std::int32_t>(at), -c * r.scale);
          break;
        }
        case NeighbourInterpolated: {
          const double fx = r.fx, fy = r.fy;
          const double wgt[4] = {(1 - fx) * (1 - fy), fx * (1 - fy), (1 - fx) * fy, fx * fy};
          for (int q = 0; q < 4; ++q) {
            if (wgt[q] == 0.0) continue;
            const Index at = mg.ncore + r.index[static_cast<std::size_t>(q)];
            AddEntry(row, static_cast<std::int32_t>(at), -c * wgt[q]);
          }
          break;
        }
        default: {
          const Index at = base + r.index[0];
          if (at == self)
            diag -= c;
          else
            AddEntry(row, static_cast<std::int32_t>(at), -c);
        }
      }
    }
    mg.wDiag.push_back(diag);
    for (const auto& e : row) {
      mg.wCol.push_back(e.first);
      mg.wVal.push_back(e.second);
    }
    mg.wStart.push_back(static_cast<Index>(mg.wCol.size()));
  }
}

const LatticePlan& PlanOf(const Multigrid& mg, int lattice) {
  return lattice == 0 ? mg.grid->plan.core : mg.grid->plan.apron;
}

// Index of the first weighted row of a lattice in the combined list.
std::size_t WeightedBase(const Multigrid& mg, int lattice) {
  return lattice == 0 ? 0 : mg.grid->plan.core.weighted.size();
}

// A value of a node of the layout, through the two lattice pointers.
inline double At(const Multigrid::Span& v, Index ncore, Index i) {
  return i < ncore ? v.p[0][i] : v.p[1][i - ncore];
}

// The off-diagonal part of weighted row k, sum of a_ij x_j.
inline double WeightedOff(const Multigrid& mg, std::size_t k, const Multigrid::Span& x) {
  double s = 0.0;
  for (Index e = mg.wStart[k]; e < mg.wStart[k + 1]; ++e)
    s += mg.wVal[static_cast<std::size_t>(e)] *
         At(x, mg.ncore, mg.wCol[static_cast<std::size_t>(e)]);
  return s;
}

// Calls f(i, weightedRow) for the free nodes of rows y0..y1-1 of a lattice of the finest level,
// in ascending order: weightedRow is -1 for a plain node.
template <typename F>
void ForFreeNodes(const Multigrid& mg, int lattice, int y0, int y1, F f) {
  const LatticePlan& p = PlanOf(mg, lattice);
  const std::size_t wb = WeightedBase(mg, lattice);
  for (int y = y0; y < y1; ++y) {
    const Index rowBase = static_cast<Index>(y) * p.width;
    for (std::int32_t s = p.rowFirst[static_cast<std::size_t>(y)];
         s < p.rowFirst[static_cast<std::size_t>(y) + 1]; ++s) {
      const RelaxSegment& seg = p.segments[static_cast<std::size_t>(s)];
      if (seg.weighted >= 0) {
        f(rowBase + seg.x0, static_cast<std::int64_t>(wb + static_cast<std::size_t>(seg.weighted)));
      } else {
        for (Index x = seg.x0; x <= seg.x1; ++x) f(rowBase + x, std::int64_t{-1});
      }
    }
  }
}

// Gauss-Seidel on one band of the finest level, for A x = b, ascending or descending.
void SmoothFineBand(const Multigrid& mg, const MgBand& band, const double* b, Multigrid::Span x,
                    bool forward) {
  const LatticePlan& p = PlanOf(mg, band.lattice);
  const std::size_t wb = WeightedBase(mg, band.lattice);
  double* v = x.p[band.lattice];
  const double* bl = b + mg.offset[band.lattice];
  const Index W = p.width;
  auto row = [&](int y) {
    const Index rowBase = static_cast<Index>(y) * W;
    const std::int32_t s0 = p.rowFirst[static_cast<std::size_t>(y)];
    const std::int32_t s1 = p.rowFirst[static_cast<std::size_t>(y) + 1];
    auto segment = [&](const RelaxSegment& seg) {
      if (seg.weighted >= 0) {
        const std::size_t k = wb + static_cast<std::size_t>(seg.weighted);
        const Index i = rowBase + seg.x0;
        v[i] = (bl[i] - WeightedOff(mg, k, x)) / mg.wDiag[k];
        return;
      }
      if (forward) {
        for (Index i = rowBase + seg.x0; i <= rowBase + seg.x1; ++i)
          v[i] = bl[i] + kPlainOff * ((v[i - 1] + v[i + 1]) + (v[i - W] + v[i + W]));
      } else {
        for (Index i = rowBase + seg.x1; i >= rowBase + seg.x0; --i)
          v[i] = bl[i] + kPlainOff * ((v[i - 1] + v[i + 1]) + (v[i - W] + v[i + W]));
      }
    };
    if (forward) {
      for (std::int32_t s = s0; s < s1; ++s) segment(p.segments[static_cast<std::size_t>(s)]);
    } else {
      for (std::int32_t s = s1 - 1; s >= s0; --s) segment(p.segments[static_cast<std::size_t>(s)]);
    }
  };
  if (forward) {
    for (int y = band.y0; y < band.y1; ++y) row(y);
  } else {
    for (int y = band.y1 - 1; y >= band.y0; --y) row(y);
  }
}

void SmoothCoarseBand(const MgCoarseLevel& L, const MgBand& band, const double* b, double* x,
                      bool forward) {
  auto one = [&](Index i) {
    double s = b[i];
    for (Index e = L.rowStart[static_cast<std::size_t>(i)];
         e < L.rowStart[static_cast<std::size_t>(i) + 1]; ++e)
      s -= L.val[static_cast<std::size_t>(e)] * x[L.col[static_cast<std::size_t>(e)]];
    x[i] = s * L.invDiag[static_cast<std::size_t>(i)];
  };
  if (forward) {
    for (Index i = band.begin; i < band.end; ++i) one(i);
  } else {
    for (Index i = band.end - 1; i >= band.begin; --i) one(i);
  }
}

// Bands of kBandRows rows of a lattice; turn = lattice * 2 + parity.
void AddBands(std::vector<MgBand>& bands, int lattice, int height,
              const std::function<std::pair<Index, Index>(int, int)>& range) {
  for (int y0 = 0, k = 0; y0 < height; y0 += kBandRows, ++k) {
    MgBand b;
    b.lattice = lattice;
    b.y0 = y0;
    b.y1 = std::min(height, y0 + kBandRows);
    const auto r = range(b.y0, b.y1);
    b.begin = r.first;
    b.end = r.second;
    b.turn = lattice * 2 + (k & 1);
    bands.push_back(b);
  }
}

// Runs f on every band of one turn; bands of one turn never touch each other's unknowns.
void ForTurn(TaskRunner& runner, const std::vector<MgBand>& bands, int turn, Index work,
             const std::function<void(const MgBand&)>& f) {
  std::vector<const MgBand*> list;
  for (const MgBand& b : bands)
    if (b.turn == turn) list.push_back(&b);
  runner.Run(static_cast<int>(list.size()), work,
             [&](int j) { f(*list[static_cast<std::size_t>(j)]); });
}

// Coarse level from the finest: aggregates of 2 x 2 free nodes of one lattice.
// Numbers the coarse node at (X, Y) of lattice L, once some fine node of its 2 x 2 block is free.
void AddCoarseNode(MgCoarseLevel& C, MgLatticeIndex& ix, int L, int X, int Y) {
  ix.at[static_cast<std::size_t>(Y) * static_cast<std::size_t>(ix.width) +
        static_cast<std::size_t>(X)] = C.n;
  C.lattice.push_back(static_cast<std::uint8_t>(L));
  C.x.push_back(X);
  C.y.push_back(Y);
  ++C.n;
}

void CoarsenFinest(Multigrid& mg, MgCoarseLevel& C) {
  C = MgCoarseLevel{};
  for (int L = 0; L < mg.lattices; ++L) {
    MgLatticeIndex& ix = C.index[L];
    ix.width = (mg.width[L] + 1) / 2;
    ix.height = (mg.height[L] + 1) / 2;
    ix.at.assign(static_cast<std::size_t>(ix.width) * static_cast<std::size_t>(ix.height), -1);
  }
  mg.agg.assign(static_cast<std::size_t>(mg.n), -1);
  // Unknowns in lattice, row, column order, so that a band of coarse rows is an index range.
  for (int L = 0; L < mg.lattices; ++L) {
    MgLatticeIndex& ix = C.index[L];
    for (int Y = 0; Y < ix.height; ++Y) {
      for (int X = 0; X < ix.width; ++X) {
        bool any = false;
        for (int dy = 0; dy < 2; ++dy)
          for (int dx = 0; dx < 2; ++dx) {
            const int x = 2 * X + dx, y = 2 * Y + dy;
            if (x >= mg.width[L] || y >= mg.height[L]) continue;
            const Index i = mg.offset[L] + static_cast<Index>(y) * mg.width[L] + x;
            if (mg.isFree[static_cast<std::size_t>(i)]) {
              mg.agg[static_cast<std::size_t>(i)] = C.n;
              any = true;
            }
          }
        if (any) AddCoarseNode(C, ix, L, X, Y);
      }
    }
  }
  // Galerkin product with piecewise-constant P: the coarse row of an aggregate sums the fine
  // rows of its nodes, every column mapped to its aggregate.
  std::vector<std::int32_t> wrow(static_cast<std::size_t>(mg.n), -1);
  for (int L = 0; L < mg.lattices; ++L)
    ForFreeNodes(mg, L, 0, mg.height[L], [&](Index i, std::int64_t k) {
      wrow[static_cast<std::size_t>(mg.offset[L] + i)] = static_cast<std::int32_t>(k);
    });
  C.rowStart.assign(1, 0);
  std::vector<std::pair<std::int32_t, double>> row;
  for (std::int32_t I = 0; I < C.n; ++I) {
    row.clear();
    const int L = C.lattice[static_cast<std::size_t>(I)];
    const int X = C.x[static_cast<std::size_t>(I)], Y = C.y[static_cast<std::size_t>(I)];
    const Index W = mg.width[L];
    for (int dy = 0; dy < 2; ++dy)
      for (int dx = 0; dx < 2; ++dx) {
        const int x = 2 * X + dx, y = 2 * Y + dy;
        if (x >= mg.width[L] || y >= mg.height[L]) continue;
        const Index i = mg.offset[L] + static_cast<Index>(y) * W + x;
        if (mg.agg[static_cast<std::size_t>(i)] != I) continue;
        const std::int32_t k = wrow[static_cast<std::size_t>(i)];
        if (k < 0) {
          AddEntry(row, I, 1.0);
          for (const Index j : {i - 1, i + 1, i - W, i + W}) {
            const std::int32_t J = mg.agg[static_cast<std::size_t>(j)];
            if (J >= 0) AddEntry(row, J, -kPlainOff);
          }
        } else {
          const std::size_t kk = static_cast<std::size_t>(k);
          AddEntry(row, I, mg.wDiag[kk]);
          for (Index e = mg.wStart[kk]; e < mg.wStart[kk + 1]; ++e) {
            const std::int32_t J =
                mg.agg[static_cast<std::size_t>(mg.wCol[static_cast<std::size_t>(e)])];
            if (J >= 0) AddEntry(row, J, mg.wVal[static_cast<std::size_t>(e)]);
          }
        }
      }
    double d = 0.0;
    for (const auto& e : row) {
      if (e.first == I) {
        d += e.second;
      } else if (e.second != 0.0) {
        C.col.push_back(e.first);
        C.val.push_back(e.second);
      }
    }
    C.diag.push_back(d);
    C.rowStart.push_back(static_cast<Index>(C.col.size()));
  }
}

// The next coarse level from a coarse one.
void CoarsenCoarse(MgCoarseLevel& F, MgCoarseLevel& C) {
  C = MgCoarseLevel{};
  F.agg.assign(static_cast<std::size_t>(F.n), -1);
  for (int L = 0; L < 2; ++L) {
    const MgLatticeIndex& fi = F.index[L];
    MgLatticeIndex& ix = C.index[L];
    if (fi.width == 0) continue;
    ix.width = (fi.width + 1) / 2;
    ix.height = (fi.height + 1) / 2;
    ix.at.assign(static_cast<std::size_t>(ix.width) * static_cast<std::size_t>(ix.height), -1);
    for (int Y = 0; Y < ix.height; ++Y) {
      for (int X = 0; X < ix.width; ++X) {
        bool any = false;
        for (int dy = 0; dy < 2; ++dy)
          for (int dx = 0; dx < 2; ++dx) {
            const int x = 2 * X + dx, y = 2 * Y + dy;
            if (x >= fi.width || y >= fi.height) continue;
            const std::int32_t i =
                fi.at[static_cast<std::size_t>(y) * static_cast<std::size_t>(fi.width) +
                      static_cast<std::size_t>(x)];
            if (i < 0) continue;
            F.agg[static_cast<std::size_t>(i)] = C.n;
            any = true;
          }
        if (any) AddCoarseNode(C, ix, L, X, Y);
      }
    }
  }
  // Rows of the fine level grouped by aggregate.
  std::vector<std::int32_t> first(static_cast<std::size_t>(C.n) + 1, 0), members;
  for (std::int32_t i = 0; i < F.n; ++i)
    ++first[static_cast<std::size_t>(F.agg[static_cast<std::size_t>(i)]) + 1];
  for (std::int32_t I = 0; I < C.n; ++I)
    first[static_cast<std::size_t>(I) + 1] += first[static_cast<std::size_t>(I)];
  members.assign(static_cast<std::size_t>(F.n), 0);
  {
    std::vector<std::int32_t> fill(first.begin(), first.end() - 1);
    for (std::int32_t i = 0; i < F.n; ++i)
      members[static_cast<std::size_t>(
          fill[static_cast<std::size_t>(F.agg[static_cast<std::size_t>(i)])]++)] = i;
  }
  C.rowStart.assign(1, 0);
  std::vector<std::pair<std::int32_t, double>> row;
  for (std::int32_t I = 0; I < C.n; ++I) {
    row.clear();
    for (std::int32_t m = first[static_cast<std::size_t>(I)];
         m < first[static_cast<std::size_t>(I) + 1]; ++m) {
      const std::int32_t i = members[static_cast<std::size_t>(m)];
      AddEntry(row, I, F.diag[static_cast<std::size_t>(i)]);
      for (Index e = F.rowStart[static_cast<std::size_t>(i)];
           e < F.rowStart[static_cast<std::size_t>(i) + 1]; ++e)
        AddEntry(row, F.agg[static_cast<std::size_t>(F.col[static_cast<std::size_t>(e)])],
                 F.val[static_cast<std::size_t>(e)]);
    }
    double d = 0.0;
    for (const auto& e : row) {
      if (e.first == I) {
        d += e.second;
      } else if (e.second != 0.0) {
        C.col.push_back(e.first);
        C.val.push_back(e.second);
      }
    }
    C.diag.push_back(d);
    C.rowStart.push_back(static_cast<Index>(C.col.size()));
  }
}

void BandsOfCoarse(MgCoarseLevel& C) {
  C.bands.clear();
  // Unknowns are ordered by lattice, row and column: a band's first unknown is the first one at
  // or after its first row.
  std::vector<Index> rowFirst[2];
  for (int L = 0; L < 2; ++L)
    rowFirst[L].assign(static_cast<std::size_t>(C.index[L].height) + 1, -1);
  for (int L = 0; L < 2; ++L) {
    const MgLatticeIndex& ix = C.index[L];
    if (ix.width == 0) continue;
    AddBands(C.bands, L, ix.height, [&](int y0, int y1) {
      Index b = -1, e = -1;
      for (int y = y0; y < y1 && b < 0; ++y)
        for (int x = 0; x < ix.width; ++x) {
          const std::int32_t i =
              ix.at[static_cast<std::size_t>(y) * static_cast<std::size_t>(ix.width) +
                    static_cast<std::size_t>(x)];
          if (i >= 0) {
            b = i;
            break;
          }
        }
      for (int y = y1 - 1; y >= y0 && e < 0; --y)
        for (int x = ix.width - 1; x >= 0; --x) {
          const std::int32_t i =
              ix.at[static_cast<std::size_t>(y) * static_cast<std::size_t>(ix.width) +
                    static_cast<std::size_t>(x)];
          if (i >= 0) {
            e = i + 1;
            break;
          }
        }
      if (b < 0) return std::pair<Index, Index>{0, 0};
      return std::pair<Index, Index>{b, e};
    });
  }
  // Bands without unknowns do nothing.
  C.bands.erase(std::remove_if(C.bands.begin(), C.bands.end(),
                               [](const MgBand& b) { return b.begin >= b.end; }),
                C.bands.end());
}

// Dense LU with partial pivoting of the coarsest matrix. A zero pivot (a singular coarse matrix,
// which a sound map does not give) is replaced by 1, so that the cycle stays defined.
void FactorCoarsest(Multigrid& mg, const MgCoarseLevel& C) {
  const std::size_t n = static_cast<std::size_t>(C.n);
  mg.lu.assign(n * n, 0.0);
  mg.pivot.assign(n, 0);
  for (std::size_t i = 0; i < n; ++i) {
    mg.lu[i * n + i] = C.diag[i];
    for (Index e = C.rowStart[i]; e < C.rowStart[i + 1]; ++e)
      mg.lu[i * n + static_cast<std::size_t>(C.col[static_cast<std::size_t>(e)])] +=
          C.val[static_cast<std::size_t>(e)];
  }
  double scale = 0.0;
  for (double v : mg.lu) scale = std::max(scale, std::fabs(v));
  for (std::size_t k = 0; k < n; ++k) {
    std::size_t p = k;
    for (std::size_t i = k + 1; i < n; ++i)
      if (std::fabs(mg.lu[i * n + k]) > std::fabs(mg.lu[p * n + k])) p = i;
    mg.pivot[k] = static_cast<std::int32_t>(p);
    if (p != k)
      for (std::size_t j = 0; j < n; ++j) std::swap(mg.lu[k * n + j], mg.lu[p * n + j]);
    if (std::fabs(mg.lu[k * n + k]) <= 1e-14 * scale) mg.lu[k * n + k] = scale > 0 ? scale : 1.0;
    const double inv = 1.0 / mg.lu[k * n + k];
    for (std::size_t i = k + 1; i < n; ++i) {
      const double f = mg.lu[i * n + k] * inv;
      mg.lu[i * n + k] = f;
      if (f == 0.0) continue;
      for (std::size_t j = k + 1; j < n; ++j) mg.lu[i * n + j] -= f * mg.lu[k * n + j];
    }
  }
}

void SolveCoarsest(const Multigrid& mg, const double* b, double* x, std::size_t n) {
  for (std::size_t i = 0; i < n; ++i) x[i] = b[i];
  for (std::size_t k = 0; k < n; ++k) {
    const std::size_t p = static_cast<std::size_t>(mg.pivot[k]);
    if (p != k) std::swap(x[k], x[p]);
  }
  for (std::size_t i = 0; i < n; ++i)
    for (std::size_t j = 0; j < i; ++j) x[i] -= mg.lu[i * n + j] * x[j];
  for (std::size_t i = n; i-- > 0;) {
    for (std::size_t j = i + 1; j < n; ++j) x[i] -= mg.lu[i * n + j] * x[j];
    x[i] /= mg.lu[i * n + i];
  }
}

void CoarseResidual(TaskRunner& runner, const MgCoarseLevel& L, const double* b, const double* x,
                    double* r) {
  runner.Run(static_cast<int>(L.bands.size()), L.n, [&](int j) {
    const MgBand& band = L.bands[static_cast<std::size_t>(j)];
    for (Index i = band.begin; i < band.end; ++i) {
      double s = b[i] - L.diag[static_cast<std::size_t>(i)] * x[i];
      for (Index e = L.rowStart[static_cast<std::size_t>(i)];
           e < L.rowStart[static_cast<std::size_t>(i) + 1]; ++e)
        s -= L.val[static_cast<std::size_t>(e)] * x[L.col[static_cast<std::size_t>(e)]];
      r[i] = s;
    }
  });
}

// One cycle on coarse level l (index into mg.levels) for L.u from L.b, u starting at zero.
void CoarseCycle(Multigrid& mg, std::size_t l) {
  MgCoarseLevel& L = mg.levels[l];
  const std::size_t n = static_cast<std::size_t>(L.n);
  TaskRunner& runner = *mg.runner;
  if (l + 1 == mg.levels.size()) {
    if (mg.lu.size() == n * n) {
      SolveCoarsest(mg, L.b.data(), L.u.data(), n);
      return;
    }
    // Too large to factor: many sweeps stand in for the exact solution.
    std::fill(L.u.begin(), L.u.end(), 0.0);
    for (int s = 0; s < kCoarsestSweeps; ++s) {
      for (int t = 0; t < 4; ++t)
        ForTurn(runner, L.bands, t, L.n,
                [&](const MgBand& b) { SmoothCoarseBand(L, b, L.b.data(), L.u.data(), true); });
      for (int t = 3; t >= 0; --t)
        ForTurn(runner, L.bands, t, L.n,
                [&](const MgBand& b) { SmoothCoarseBand(L, b, L.b.data(), L.u.data(), false); });
    }
    return;
  }
  std::fill(L.u.begin(), L.u.end(), 0.0);
  for (int s = 0; s < mg.preSmooth; ++s)
    for (int t = 0; t < 4; ++t)
      ForTurn(runner, L.bands, t, L.n,
              [&](const MgBand& b) { SmoothCoarseBand(L, b, L.b.data(), L.u.data(), true); });
  MgCoarseLevel& C = mg.levels[l + 1];
  for (int visit = 0; visit < mg.cycleIndex; ++visit) {
    CoarseResidual(runner, L, L.b.data(), L.u.data(), L.r.data());
    std::fill(C.b.begin(), C.b.end(), 0.0);
    for (std::size_t i = 0; i < n; ++i) C.b[static_cast<std::size_t>(L.agg[i])] += L.r[i];
    CoarseCycle(mg, l + 1);
    for (std::size_t i = 0; i < n; ++i)
      L.u[i] += mg.overCorrection * C.u[static_cast<std::size_t>(L.agg[i])];
    if (l + 2 == mg.levels.size()) break;  // the coarsest is solved exactly: once is enough
  }
  for (int s = 0; s < mg.postSmooth; ++s)
    for (int t = 3; t >= 0; --t)
      ForTurn(runner, L.bands, t, L.n,
              [&](const MgBand& b) { SmoothCoarseBand(L, b, L.b.data(), L.u.data(), false); });
}

}  // namespace

void TaskRunner::Run(int tasks, std::int64_t work, const std::function<void(int)>& task) {
  if (participants < 2 || pool == nullptr || tasks < 2 || work < kParallelMinimum) {
    for (int j = 0; j < tasks; ++j) task(j);
    return;
  }
  current_ = &task;
  tasks_ = tasks;
  pool->Dispatch(participants);
  current_ = nullptr;
}

void TaskRunner::Participate(int k) {
  if (current_ == nullptr) return;
  for (int j = k - 1; j < tasks_; j += participants) (*current_)(j);
}

void Multigrid::Apply(Span x, Span y) const {
  ForBands([&](const MgBand& band) {
    const LatticePlan& p = PlanOf(*this, band.lattice);
    const double* v = x.p[band.lattice];
    double* out = y.p[band.lattice];
    const Index W = p.width;
    const std::size_t wb = WeightedBase(*this, band.lattice);
    for (int yy = band.y0; yy < band.y1; ++yy) {
      const Index rowBase = static_cast<Index>(yy) * W;
      for (std::int32_t s = p.rowFirst[static_cast<std::size_t>(yy)];
           s < p.rowFirst[static_cast<std::size_t>(yy) + 1]; ++s) {
        const RelaxSegment& seg = p.segments[static_cast<std::size_t>(s)];
        if (seg.weighted >= 0) {
          const std::size_t k = wb + static_cast<std::size_t>(seg.weighted);
          const Index i = rowBase + seg.x0;
          out[i] = wDiag[k] * v[i] + WeightedOff(*this, k, x);
          continue;
        }
        for (Index i = rowBase + seg.x0; i <= rowBase + seg.x1; ++i)
          out[i] = v[i] - kPlainOff * ((v[i - 1] + v[i + 1]) + (v[i - W] + v[i + W]));
      }
    }
  });
}

void Multigrid::Residual(const double* b, Span x, Span r) const {
  ForBands([&](const MgBand& band) {
    const LatticePlan& p = PlanOf(*this, band.lattice);
    const double* v = x.p[band.lattice];
    double* out = r.p[band.lattice];
    const double* bl = b ? b + offset[band.lattice] : nullptr;
    const Index W = p.width;
    const std::size_t wb = WeightedBase(*this, band.lattice);
    for (int yy = band.y0; yy < band.y1; ++yy) {
      const Index rowBase = static_cast<Index>(yy) * W;
      for (std::int32_t s = p.rowFirst[static_cast<std::size_t>(yy)];
           s < p.rowFirst[static_cast<std::size_t>(yy) + 1]; ++s) {
        const RelaxSegment& seg = p.segments[static_cast<std::size_t>(s)];
        if (seg.weighted >= 0) {
          const std::size_t k = wb + static_cast<std::size_t>(seg.weighted);
          const Index i = rowBase + seg.x0;
          out[i] = (bl ? bl[i] : 0.0) - (wDiag[k] * v[i] + WeightedOff(*this, k, x));
          continue;
        }
        for (Index i = rowBase + seg.x0; i <= rowBase + seg.x1; ++i)
          out[i] = (bl ? bl[i] : 0.0) -
                   (v[i] - kPlainOff * ((v[i - 1] + v[i + 1]) + (v[i - W] + v[i + W])));
      }
    }
  });
}

double Multigrid::SumOverBands(const std::function<double(const MgBand&)>& f) const {
  std::vector<double> part(bands.size(), 0.0);
  runner->Run(static_cast<int>(bands.size()), n, [&](int j) {
    part[static_cast<std::size_t>(j)] = f(bands[static_cast<std::size_t>(j)]);
  });
  double s = 0.0;
  for (double v : part) s += v;
  return s;
}

void Multigrid::ForBands(const std::function<void(const MgBand&)>& f) const {
  runner->Run(static_cast<int>(bands.size()), n,
              [&](int j) { f(bands[static_cast<std::size_t>(j)]); });
}

void Multigrid::Precondition(const std::vector<double>& r, std::vector<double>& z) {
  Span zs = SpanOf(z);
  Span ws = SpanOf(work);
  // z := 0 on the free nodes (the held ones are zero already).
  ForBands([&](const MgBand& b) { std::fill(z.begin() + b.begin, z.begin() + b.end, 0.0); });
  if (levels.empty()) {
    for (int t = 0; t < 4; ++t)
      ForTurn(*runner, bands, t, n,
              [&](const MgBand& b) { SmoothFineBand(*this, b, r.data(), zs, true); });
    return;
  }
  for (int s = 0; s < preSmooth; ++s)
    for (int t = 0; t < 4; ++t)
      ForTurn(*runner, bands, t, n,
              [&](const MgBand& b) { SmoothFineBand(*this, b, r.data(), zs, true); });
  MgCoarseLevel& C = levels[0];
  for (int visit = 0; visit < cycleIndex; ++visit) {
    Residual(r.data(), zs, ws);
    // Restriction: each coarse unknown sums the residuals of its 2 x 2 nodes; held nodes have a
    // zero residual.
    runner->Run(static_cast<int>(C.bands.size()), C.n, [&](int j) {
      const MgBand& band = C.bands[static_cast<std::size_t>(j)];
      for (Index I = band.begin; I < band.end; ++I) {
        const int L = C.lattice[static_cast<std::size_t>(I)];
        const int x = 2 * C.x[static_cast<std::size_t>(I)],
                  y = 2 * C.y[static_cast<std::size_t>(I)];
        const Index W = width[L];
        const Index i = offset[L] + static_cast<Index>(y) * W + x;
        const bool right = x + 1 < width[L], below = y + 1 < height[L];
        double s = work[static_cast<std::size_t>(i)];
        if (right) s += work[static_cast<std::size_t>(i + 1)];
        if (below) s += work[static_cast<std::size_t>(i + W)];
        if (right && below) s += work[static_cast<std::size_t>(i + W + 1)];
        C.b[static_cast<std::size_t>(I)] = s;
      }
    });
    CoarseCycle(*this, 0);
    ForBands([&](const MgBand& b) {
      for (Index i = b.begin; i < b.end; ++i) {
        const std::int32_t I = agg[static_cast<std::size_t>(i)];
        if (I >= 0)
          z[static_cast<std::size_t>(i)] += overCorrection * C.u[static_cast<std::size_t>(I)];
      }
    });
    if (levels.size() == 1) break;
  }
  for (int s = 0; s < postSmooth; ++s)
    for (int t = 3; t >= 0; --t)
      ForTurn(*runner, bands, t, n,
              [&](const MgBand& b) { SmoothFineBand(*this, b, r.data(), zs, false); });
}

std::size_t Multigrid::MemoryBytes() const {
  std::size_t bytes = wStart.size() * 8 + wCol.size() * 4 + wVal.size() * 8 + wDiag.size() * 8 +
                      isFree.size() + agg.size() * 4 + work.size() * 8 + lu.size() * 8;
  for (const MgCoarseLevel& L : levels) {
    bytes += L.rowStart.size() * 8 + L.col.size() * 4 + L.val.size() * 8 + L.diag.size() * 16;
    bytes += L.lattice.size() + L.x.size() * 4 + L.y.size() * 4 + L.agg.size() * 4;
    bytes += (L.b.size() + L.u.size() + L.r.size()) * 8;
    for (const MgLatticeIndex& ix : L.index) bytes += ix.at.size() * 4;
  }
  return bytes;
}

void BuildMultigrid(Multigrid& mg, const SolverGrid& g, TaskRunner& runner) {
  if (!PlanMatchesGrid(g))
    throw std::out_of_range("multigrid: the relaxation plan does not belong to the grid");
  mg.runner = &runner;
  mg.grid = &g;
  mg.ncore = static_cast<Index>(g.Cwid) * g.Chei;
  mg.lattices = g.apronActive ? 2 : 1;
  mg.width[0] = g.Cwid;
  mg.height[0] = g.Chei;
  mg.offset[0] = 0;
  mg.width[1] = g.apronActive ? g.Awid : 0;
  mg.height[1] = g.apronActive ? g.Ahei : 0;
  mg.offset[1] = mg.ncore;
  mg.n = mg.ncore + static_cast<Index>(mg.width[1]) * mg.height[1];
  if (mg.n > 0x7FFFFFFF) throw std::out_of_range("multigrid: grid too large");

  mg.wStart.assign(1, 0);
  mg.wCol.clear();
  mg.wVal.clear();
  mg.wDiag.clear();
  AddWeightedRows(mg, g.plan.core, 0);
  if (g.apronActive) AddWeightedRows(mg, g.plan.apron, 1);

  mg.isFree.assign(static_cast<std::size_t>(mg.n), 0);
  for (int L = 0; L < mg.lattices; ++L)
    ForFreeNodes(mg, L, 0, mg.height[L], [&](Index i, std::int64_t) {
      mg.isFree[static_cast<std::size_t>(mg.offset[L] + i)] = 1;
    });

  mg.bands.clear();
  for (int L = 0; L < mg.lattices; ++L)
    AddBands(mg.bands, L, mg.height[L], [&](int y0, int y1) {
      return std::pair<Index, Index>{mg.offset[L] + static_cast<Index>(y0) * mg.width[L],
                                     mg.offset[L] + static_cast<Index>(y1) * mg.width[L]};
    });
  mg.work.assign(static_cast<std::size_t>(mg.n), 0.0);

  mg.levels.clear();
  mg.lu.clear();
  mg.pivot.clear();
  Index freeCount = 0;
  for (std::uint8_t f : mg.isFree) freeCount += f;
  if (freeCount > kCoarsestUnknowns) {
    mg.levels.emplace_back();
    CoarsenFinest(mg, mg.levels.back());
    while (mg.levels.back().n > kCoarsestUnknowns &&
           static_cast<int>(mg.levels.size()) < kMaxLevels) {
      MgCoarseLevel next;
      CoarsenCoarse(mg.levels.back(), next);
      // A level that hardly shrinks (scattered unknowns) is no use; solve the last one directly
      // when it is small enough, else keep smoothing on it.
      if (next.n * 10 > mg.levels.back().n * 9) break;
      mg.levels.push_back(std::move(next));
    }
    for (MgCoarseLevel& L : mg.levels) {
      BandsOfCoarse(L);
      L.invDiag.resize(L.diag.size());
      for (std::size_t i = 0; i < L.diag.size(); ++i)
        L.invDiag[i] = L.diag[i] != 0.0 ? 1.0 / L.diag[i] : 0.0;
      L.b.assign(static_cast<std::size_t>(L.n), 0.0);
      L.u.assign(static_cast<std::size_t>(L.n), 0.0);
      L.r.assign(static_cast<std::size_t>(L.n), 0.0);
    }
    if (mg.levels.back().n <= 4 * kCoarsestUnknowns) FactorCoarsest(mg, mg.levels.back());
  }
}

}  // namespace zolva
