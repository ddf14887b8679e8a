// BiCGStab with the multigrid cycle as right preconditioner, the superposition that places the
// floating conductors and the offset of a balanced line at the relaxation's fixed point, and
// the stage around them (see field_solve.h).
#include "csolver/field_solve.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstddef>
#include <stdexcept>
#include <string>
#include <vector>

#include "core/materials.h"
#include "csolver/capacitance_job.h"
#include "csolver/flush_denormals.h"
#include "csolver/multigrid.h"
#include "csolver/prediction.h"
#include "csolver/relaxation.h"
#include "csolver/solver_grid.h"
#include "csolver/summation.h"

namespace zolva {

namespace {

using Index = std::int64_t;
constexpr std::uint8_t kFreeBits = NodeFree | NodeFreeMixed;
// The offset of a balanced line is held inside this bound, as the relaxation holds it.
constexpr double kOffsetLimit = 0.999;

using SolveEnd = FieldSolveEnd;

// The pool for the length of a solve.
struct PoolScope {
  WorkerPool& pool;
  PoolScope(WorkerPool& p, TaskRunner& runner, int n) : pool(p) {
    runner.pool = &p;
    runner.participants = 1;
    if (n < 2) return;
    try {
      pool.StartWorkers(n, [&runner](int k) {
        DenormalsOff off;
        runner.Participate(k);
      });
      runner.participants = n;
    } catch (const std::runtime_error&) {
      runner.participants = 1;  // a thread that cannot be made: the main thread alone
    }
  }
  ~PoolScope() { pool.StopWorkers(); }
  PoolScope(const PoolScope&) = delete;
  PoolScope& operator=(const PoolScope&) = delete;
};

struct Krylov {
  std::vector<double> r, rhat, p, v, z, t;
  void Size(std::size_t n) {
    for (auto* w : {&r, &rhat, &p, &v, &z, &t}) w->assign(n, 0.0);
  }
  std::size_t Bytes() const { return 6 * r.size() * sizeof(double); }
};

// One linear solve: the free nodes of x (held nodes fixed) until the relative residual is below
// the tolerance. onIteration(relative residual) is called after every iteration and returns
// whether the solve may end there (the capacitance has settled, or is not watched); stop()
// says whether the user asked to stop.
template <typename OnIteration, typename Stop>
SolveEnd Bicgstab(Multigrid& mg, Krylov& k, Multigrid::Span x, int limit, bool unending,
                  OnIteration onIteration, Stop stop, int& iterations, double& relres) {
  auto dot = [&](const std::vector<double>& a, const std::vector<double>& b) {
    return mg.SumOverBands([&](const MgBand& band) {
      double s0 = 0.0, s1 = 0.0;
      Index i = band.begin;
      for (; i + 1 < band.end; i += 2) {
        s0 += a[static_cast<std::size_t>(i)] * b[static_cast<std::size_t>(i)];
        s1 += a[static_cast<std::size_t>(i + 1)] * b[static_cast<std::size_t>(i + 1)];
      }
      if (i < band.end) s0 += a[static_cast<std::size_t>(i)] * b[static_cast<std::size_t>(i)];
      return s0 + s1;
    });
  };
  // Norm of the right-hand side: the held voltages alone, seen through the equations.
  {
    Multigrid::Span t = mg.SpanOf(k.t);
    for (int L = 0; L < mg.lattices; ++L) {
      const Index size = static_cast<Index>(mg.width[L]) * mg.height[L];
      for (Index i = 0; i < size; ++i)
        t.p[L][i] = mg.isFree[static_cast<std::size_t>(mg.offset[L] + i)] ? 0.0 : x.p[L][i];
    }
    std::fill(k.r.begin(), k.r.end(), 0.0);
    mg.Residual(nullptr, t, mg.SpanOf(k.r));
    std::fill(k.t.begin(), k.t.end(), 0.0);
  }
  const double bnorm = std::sqrt(dot(k.r, k.r));
  if (!(bnorm > 0.0) || !std::isfinite(bnorm)) {
    // No held voltage drives a field: every free node is 0.
    for (int L = 0; L < mg.lattices; ++L) {
      const Index size = static_cast<Index>(mg.width[L]) * mg.height[L];
      for (Index i = 0; i < size; ++i)
        if (mg.isFree[static_cast<std::size_t>(mg.offset[L] + i)]) x.p[L][i] = 0.0;
    }
    relres = 0.0;
    onIteration(0.0);
    return SolveEnd::Converged;
  }
  auto axpy = [&](double a, const std::vector<double>& from, std::vector<double>& to) {
    mg.ForBands([&](const MgBand& band) {
      for (Index i = band.begin; i < band.end; ++i)
        to[static_cast<std::size_t>(i)] += a * from[static_cast<std::size_t>(i)];
    });
  };
  auto addToX = [&](double a, const std::vector<double>& from) {
    mg.ForBands([&](const MgBand& band) {
      double* xl = x.p[band.lattice] - mg.offset[band.lattice];
      for (Index i = band.begin; i < band.end; ++i) xl[i] += a * from[static_cast<std::size_t>(i)];
    });
  };
  bool reached = false;
  // (Re)start: true residual, shadow residual, directions cleared.
  double rho = 1.0, alpha = 1.0, omega = 1.0;
  auto restart = [&] {
    mg.Residual(nullptr, x, mg.SpanOf(k.r));
    k.rhat = k.r;
    std::fill(k.p.begin(), k.p.end(), 0.0);
    std::fill(k.v.begin(), k.v.end(), 0.0);
    rho = alpha = omega = 1.0;
  };
  restart();
  relres = std::sqrt(dot(k.r, k.r)) / bnorm;
  if (relres < kFieldSolveTolerance) {
    // Already solved (a resumed solve, or the sum of solved fields): nothing to iterate.
    onIteration(relres);
    if (!unending) return SolveEnd::Converged;
    reached = true;
  }
  for (;;) {
    if (stop()) return reached ? SolveEnd::Converged : SolveEnd::Stopped;
    if (iterations >= limit && !unending) return SolveEnd::Failed;
    ++iterations;
    const double rhoNew = dot(k.rhat, k.r);
    if (!(std::fabs(rhoNew) > 0.0) || !std::isfinite(rhoNew)) {
      // Breakdown (the residual is orthogonal to the shadow, or has vanished): start again
      // from the true residual.
      restart();
      relres = std::sqrt(dot(k.r, k.r)) / bnorm;
      if (!(relres > 0.0)) {
        if (onIteration(relres)) reached = true;
        if (!unending) return SolveEnd::Converged;
      }
      continue;
    }
    const double beta = (rhoNew / rho) * (alpha / omega);
    rho = rhoNew;
    // p := r + beta (p - omega v)
    mg.ForBands([&](const MgBand& band) {
      for (Index i = band.begin; i < band.end; ++i) {
        const std::size_t j = static_cast<std::size_t>(i);
        k.p[j] = k.r[j] + beta * (k.p[j] - omega * k.v[j]);
      }
    });
    mg.Precondition(k.p, k.z);
    mg.Apply(mg.SpanOf(k.z), mg.SpanOf(k.v));
    const double rv = dot(k.rhat, k.v);
    alpha = rho / rv;
    if (!std::isfinite(alpha)) {
      restart();
      continue;
    }
    addToX(alpha, k.z);
    axpy(-alpha, k.v, k.r);  // r is s from here on
    const double snorm = std::sqrt(dot(k.r, k.r)) / bnorm;
    if (snorm < kFieldSolveTolerance) {
      // Confirm with the true residual before believing the recurrence.
      restart();
      relres = std::sqrt(dot(k.r, k.r)) / bnorm;
      if (relres < kFieldSolveTolerance && onIteration(relres)) {
        reached = true;
        if (!unending) return SolveEnd::Converged;
      }
      continue;
    }
    mg.Precondition(k.r, k.z);
    mg.Apply(mg.SpanOf(k.z), mg.SpanOf(k.t));
    const double tt = dot(k.t, k.t);
    omega = tt > 0.0 ? dot(k.t, k.r) / tt : 0.0;
    if (!(omega != 0.0) || !std::isfinite(omega)) {
      restart();
      continue;
    }
    addToX(omega, k.z);
    axpy(-omega, k.t, k.r);
    relres = std::sqrt(dot(k.r, k.r)) / bnorm;
    if (relres < kFieldSolveTolerance) {
      restart();
      relres = std::sqrt(dot(k.r, k.r)) / bnorm;
    }
    if (onIteration(relres) && relres < kFieldSolveTolerance) {
      reached = true;
      if (!unending) return SolveEnd::Converged;
    }
  }
}

std::size_t CoreIndex(const SolverGrid& g, int cX, int cY) {
  if (cX < 0 || cY < 0 || cX >= g.Cwid || cY >= g.Chei)
    throw std::out_of_range("field solve: node " + std::to_string(cX) + "," + std::to_string(cY) +
                            " outside the core");
  return static_cast<std::size_t>(cY) * static_cast<std::size_t>(g.Cwid) +
         static_cast<std::size_t>(cX);
}

// A voltage the relaxation's per-round updates set: a floating conductor (colour >= 0) or the
// offset of a balanced line (colour -1). `nodes` are the held nodes it moves, as indices of the
// layout; `links` the free core nodes whose mean it takes (floating conductors).
struct Superposed {
  int colour = -1;
  std::vector<Index> nodes;
  std::vector<Index> links;
  std::vector<double> unit;  // the field of 1 volt on its nodes, every other held node at 0
};

// Gaussian elimination with partial pivoting of a small dense system; false when singular.
bool SolveSmall(std::vector<double> a, std::vector<double>& b, std::size_t n) {
  for (std::size_t c = 0; c < n; ++c) {
    std::size_t p = c;
    for (std::size_t i = c + 1; i < n; ++i)
      if (std::fabs(a[i * n + c]) > std::fabs(a[p * n + c])) p = i;
    if (!(std::fabs(a[p * n + c]) > 1e-300)) return false;
    if (p != c) {
      for (std::size_t j = 0; j < n; ++j) std::swap(a[c * n + j], a[p * n + j]);
      std::swap(b[c], b[p]);
    }
    for (std::size_t i = c + 1; i < n; ++i) {
      const double f = a[i * n + c] / a[c * n + c];
      for (std::size_t j = c; j < n; ++j) a[i * n + j] -= f * a[c * n + j];
      b[i] -= f * b[c];
    }
  }
  for (std::size_t i = n; i-- > 0;) {
    for (std::size_t j = i + 1; j < n; ++j) b[i] -= a[i * n + j] * b[j];
    b[i] /= a[i * n + i];
  }
  return true;
}

std::string ResidualText(double r) {
  char text[32];
  // to_chars writes the C locale's digits whatever the user's locale.
  const auto end = std::to_chars(text, text + sizeof text, r, std::chars_format::scientific, 2);
  return std::string(text, end.ptr);
}

}  // namespace

struct FieldSolver::State {
  TaskRunner runner;
  PoolScope poolScope;
  Multigrid mg;
  Krylov k;
  // The fields of the floating conductors at 1 volt, every other held node at 0, by colour: they
  // do not depend on the drive, so the solves of several drives share them.
  std::vector<std::pair<int, std::vector<double>>> floatUnits;
  State(const CapacitanceJob& job)
      : poolScope(job.pool, runner, std::clamp(job.options.threadCount, 1, kMaxRelaxParticipants)) {
  }
};

FieldSolver::FieldSolver(const CapacitanceJob& job) {
  if (!PlanMatchesGrid(job.grid)) BuildRelaxPlan(job);
  DenormalsOff denormalsOff;
  state_ = std::make_unique<State>(job);
  BuildMultigrid(state_->mg, job.grid, state_->runner);
  state_->k.Size(static_cast<std::size_t>(state_->mg.n));
}

FieldSolver::~FieldSolver() = default;

FieldSolveEnd SolveField(const CapacitanceJob& job) {
  FieldSolver solver(job);
  return solver.Solve(job, false);
}

FieldSolveEnd FieldSolver::Solve(const CapacitanceJob& job, bool fixedDrive) {
  SolverGrid& g = job.grid;
  SolveState& s = job.state;
  if (!PlanMatchesGrid(g)) BuildRelaxPlan(job);
  DenormalsOff denormalsOff;
  FieldSolveStats& stats = g.solveStats;
  stats = FieldSolveStats{};
  s.relaxationSettled = false;
  Multigrid& mg = state_->mg;
  Krylov& k = state_->k;
  stats.levels = 1 + static_cast<int>(mg.levels.size());
  // The voltages the per-round updates set, and the held nodes each one moves.
  std::vector<Superposed> sup;
  const UsermapPalette& palette = job.materials.palette;
  const int surfaces = std::min(g.surfaceCount, static_cast<int>(g.surfaceList.size()));
  std::vector<int> floatOf(g.Cvolts.size(), -1);
  for (int colour = std::min(palette.count, kPaletteCapacity) - 1; colour >= 0; --colour) {
    if (palette.entries[static_cast<std::size_t>(colour)].kind != KindFloat) continue;
    Superposed f;
    f.colour = colour;
    for (int j = 0; j < surfaces; ++j) {
      const SurfaceRecord& r = g.surfaceList[static_cast<std::size_t>(j)];
      if (r.sM == colour) f.links.push_back(static_cast<Index>(CoreIndex(g, r.insX, r.insY)));
    }
    // The nodes of a floating conductor hold its voltage; where two floating colours meet, the
    // one updated last (the lower palette index) wins, as in the relaxation.
    SetConductorNodes(job, colour, job.results.floatVolts.at(static_cast<std::size_t>(colour)));
    const ConductorIndex& ci = job.cindex;
    const std::size_t count = std::min(ci.x.size(), ci.y.size());
    for (std::size_t e = 0; e < count; ++e) {
      const int x = ci.x[e], y = ci.y[e];
      if (job.map.Uindex.at(static_cast<std::size_t>(y) * static_cast<std::size_t>(job.map.Uwid) +
                            static_cast<std::size_t>(x)) != colour)
        continue;
      for (int dy = 0; dy < 2; ++dy)
        for (int dx = 0; dx < 2; ++dx)
          floatOf[CoreIndex(g, x + g.UtoCX + dx, y + g.UtoCY + dy)] = colour;
    }
    // Without a surface link the relaxation leaves the conductor where it is.
    if (!f.links.empty()) sup.push_back(std::move(f));
  }
  for (Superposed& f : sup)
    for (std::size_t i = 0; i < floatOf.size(); ++i)
      if (floatOf[i] == f.colour) f.nodes.push_back(static_cast<Index>(i));
  const PredictionState& pred = job.prediction;
  // A fixed drive holds every conductor at its voltage: no offset is searched.
  const bool offsetMoves = !fixedDrive && g.openBoundary && g.apronActive &&
                           pred.plusSurfaces > 0 && pred.minusSurfaces > 0 && pred.balanceVo &&
                           !s.switches[Switch::NoBorderBalance];
  if (offsetMoves) {
    // The offset moves every conductor node that is not at 0 volt (the ground stays).
    Superposed o;
    for (std::size_t i = 0; i < g.Cvolts.size(); ++i)
      if ((g.Ccode[i] & NodeConductor) && floatOf[i] < 0 && g.Cvolts[i] != 0.0)
        o.nodes.push_back(static_cast<Index>(i));
    for (std::size_t i = 0; i < g.Avolts.size(); ++i)
      if ((g.Acode[i] & NodeConductor) && g.Avolts[i] != 0.0)
        o.nodes.push_back(mg.ncore + static_cast<Index>(i));
    sup.push_back(std::move(o));
  }
  stats.memoryBytes =
      mg.MemoryBytes() + k.Bytes() + sup.size() * static_cast<std::size_t>(mg.n) * 8;

  const int limit = std::max(1, job.options.iterationLimit);
  const bool unending = job.options.unending;
  auto stopRequested = [&] {
    job.report.ProcessPendingEvents();
    return s.abortRequested || job.report.StopRequested();
  };
  double lastC = 0.0;
  // The main solve and the last one show C and the residual on the monitor after every
  // iteration and end only when C has settled as well.
  auto watchC = [&](double relres) {
    EstimateCapacitance(job);
    const double C = job.results.C;
    const bool settled = std::fabs(C - lastC) <= kFieldSolveSettled * std::fabs(C);
    lastC = C;
    const bool wasAborted = s.abortRequested;
    job.report.ShowConvergence(C);
    // The monitor's own settling rule belongs to the relaxation; this solve ends on its
    // residual.
    if (!wasAborted && s.abortRequested && s.relaxationSettled && !job.report.StopRequested()) {
      s.abortRequested = false;
      s.relaxationSettled = false;
    }
    job.report.ShowResidual(relres);
    job.report.RefreshStatusLine();
    return settled;
  };
  Multigrid::Span grid{{g.Cvolts.data(), g.apronActive ? g.Avolts.data() : g.Cvolts.data()}};

  // 1. The field with the held voltages as they stand.
  SolveEnd end =
      Bicgstab(mg, k, grid, limit, false, watchC, stopRequested, stats.iterations, stats.residual);
  ++stats.solves;
  if (end == SolveEnd::Converged && !sup.empty()) {
    // 2. The field of each superposed voltage alone.
    for (std::size_t q = 0; q < sup.size() && end == SolveEnd::Converged; ++q) {
      Superposed& u = sup[q];
      if (fixedDrive && u.colour >= 0) {
        auto known = std::find_if(state_->floatUnits.begin(), state_->floatUnits.end(),
                                  [&](const auto& f) { return f.first == u.colour; });
        if (known != state_->floatUnits.end()) {
          u.unit = known->second;
          continue;
        }
      }
      u.unit.assign(static_cast<std::size_t>(mg.n), 0.0);
      for (Index i : u.nodes) u.unit[static_cast<std::size_t>(i)] = 1.0;
      job.report.ShowProgress("superposing " + std::to_string(q + 1) + " of " +
                              std::to_string(sup.size()));
      int its = 0;
      double rr = 0.0;
      end = Bicgstab(
          mg, k, mg.SpanOf(u.unit), limit, false,
          [&](double rel) {
            job.report.ShowResidual(rel);
            return true;
          },
          stopRequested, its, rr);
      stats.iterations += its;
      ++stats.solves;
      if (fixedDrive && u.colour >= 0 && end == SolveEnd::Converged)
        state_->floatUnits.emplace_back(u.colour, u.unit);
    }
    if (end == SolveEnd::Converged) {
      // 3. The fixed point: a floating conductor at the mean of its links, the border's mean
      // at 0. With d the changes of the superposed voltages, the field is V + sum d_q U_q.
      const std::size_t m = sup.size();
      auto valueOf = [&](const Superposed& u, Index i) {
        return u.unit[static_cast<std::size_t>(i)];
      };
      auto mean = [&](const std::vector<Index>& links, auto value) {
        double sum = 0.0;
        for (Index i : links) sum += value(i);
        return sum / static_cast<double>(links.size());
      };
      // The border's mean is sum of the free border nodes' voltages over their count; only
      // its sign matters, so the sum stands for it.
      auto borderSum = [&](auto value) {
        double sum = 0.0;
        const int W = g.Awid, H = g.Ahei;
        auto side = [&](int x, int y) {
          const std::size_t i = static_cast<std::size_t>(y) * static_cast<std::size_t>(W) +
                                static_cast<std::size_t>(x);
          if (g.Acode[i] & kFreeBits) sum += value(mg.ncore + static_cast<Index>(i));
        };
        for (int r = 0; r < H; ++r) {
          side(0, r);
          side(W - 1, r);
        }
        for (int c = 0; c < W; ++c) {
          side(c, 0);
          side(c, H - 1);
        }
        return sum;
      };
      auto gridValue = [&](Index i) {
        return i < mg.ncore ? g.Cvolts[static_cast<std::size_t>(i)]
                            : g.Avolts[static_cast<std::size_t>(i - mg.ncore)];
      };
      std::vector<double> a(m * m, 0.0), rhs(m, 0.0);
      bool offsetFixed = false;
      double offsetChange = 0.0;
      for (int attempt = 0; attempt < 2; ++attempt) {
        for (std::size_t row = 0; row < m; ++row) {
          const Superposed& e = sup[row];
          for (std::size_t c = 0; c < m; ++c) {
            const Superposed& u = sup[c];
            auto uv = [&](Index i) { return valueOf(u, i); };
            if (e.colour >= 0 && fixedDrive && floatCharge) {
              a[row * m + c] = floatCharge(e.colour, u.unit.data());
            } else if (e.colour >= 0) {
              a[row * m + c] = (row == c ? 1.0 : 0.0) - mean(e.links, uv);
            } else {
              a[row * m + c] = offsetFixed ? (row == c ? 1.0 : 0.0) : borderSum(uv);
            }
          }
          if (e.colour >= 0 && fixedDrive && floatCharge) {
            rhs[row] = -floatCharge(e.colour, g.Cvolts.data());
          } else if (e.colour >= 0) {
            rhs[row] = mean(e.links, gridValue) -
                       job.results.floatVolts.at(static_cast<std::size_t>(e.colour));
          } else {
            rhs[row] = offsetFixed ? offsetChange : -borderSum(gridValue);
          }
        }
        if (!SolveSmall(a, rhs, m)) {
          end = SolveEnd::Failed;
          break;
        }
        if (offsetFixed || !offsetMoves) break;
        const double voc = job.results.VoC + rhs[m - 1];
        if (std::fabs(voc) <= kOffsetLimit) break;
        // Beyond its bound the offset stays at the bound, as the relaxation keeps it there.
        offsetFixed = true;
        offsetChange = std::clamp(voc, -kOffsetLimit, kOffsetLimit) - job.results.VoC;
      }
      if (end == SolveEnd::Converged) {
        for (std::size_t q = 0; q < m; ++q) {
          const double d = rhs[q];
          if (d == 0.0) continue;
          const std::vector<double>& u = sup[q].unit;
          for (int L = 0; L < mg.lattices; ++L) {
            double* v = grid.p[L];
            const double* from = u.data() + mg.offset[L];
            const Index size = static_cast<Index>(mg.width[L]) * mg.height[L];
            for (Index i = 0; i < size; ++i) v[i] += d * from[i];
          }
          if (sup[q].colour >= 0)
            job.results.floatVolts.at(static_cast<std::size_t>(sup[q].colour)) += d;
          else
            job.results.VoC += d;
        }
        // 4. The last solve from the combination: the residual of the sum, driven down again.
        std::vector<Superposed>().swap(sup);
        job.report.ShowProgress(" ");
        end = Bicgstab(mg, k, grid, limit, false, watchC, stopRequested, stats.iterations,
                       stats.residual);
        ++stats.solves;
      }
    }
  }
  // "Unending run": past the tolerance, iterate on until the user stops.
  if (end == SolveEnd::Converged && unending) {
    // The tolerance was reached before: a stop here ends a converged solve.
    Bicgstab(mg, k, grid, limit, true, watchC, stopRequested, stats.iterations, stats.residual);
  }
  EstimateCapacitance(job);
  job.report.RefreshDisplay();
  stats.converged = end == SolveEnd::Converged;
  if (end == SolveEnd::Converged) s.relaxationSettled = true;
  return end;
}

namespace {

// The solve did not reach its tolerance: its figures mean nothing, the previous ones stay.
void ReportFailure(const CapacitanceJob& job, const Results& before) {
  job.results = before;
  job.state.operationFailed = true;
  job.state.abortRequested = true;
  Fail(job.failure, FailureKind::NoConvergence,
       "The field solve did not reach its tolerance in " +
           std::to_string(job.options.iterationLimit) + " iterations (relative residual " +
           ResidualText(job.grid.solveStats.residual) + "). The previous results are kept.",
       "Solving for C and Gp");
  job.report.ShowStatus("");
}

}  // namespace

void PrepareFieldSolve(const CapacitanceJob& job, const Results& before) {
  SolverGrid& g = job.grid;
  ReduceNodeCodes(g);
  BuildRelaxPlan(job);
  SolveState& s = job.state;
  if (s.switches[Switch::SkipRelaxation]) {
    // Switch::SkipRelaxation asks for the field as distributed and predicted: that is the finished
    // result.
    s.relaxationSettled = true;
    FinishCapacitance(job);
    return;
  }
  if (SolveField(job) == FieldSolveEnd::Failed) {
    ReportFailure(job, before);
    return;
  }
  FinishCapacitance(job);
}

void ResumeCapacitance(const CapacitanceJob& job) {
  if (job.options.classicRelaxation) {
    Relax(job);
    FinishCapacitance(job);
    return;
  }
  const Results before = job.results;
  if (SolveField(job) == FieldSolveEnd::Failed) {
    ReportFailure(job, before);
    return;
  }
  FinishCapacitance(job);
}

}  // namespace zolva
