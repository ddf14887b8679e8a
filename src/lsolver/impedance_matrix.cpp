// The impedance matrix of coupled conductors from one voltage drive per conductor (see
// impedance_matrix.h).
#include "lsolver/impedance_matrix.h"

#include <algorithm>
#include <chrono>
#include <cmath>
#include <complex>
#include <cstddef>
#include <cstdint>
#include <map>
#include <stdexcept>
#include <string>
#include <vector>

#include "core/conductor_index.h"
#include "core/conductor_numbering.h"
#include "core/material_check.h"
#include "lsolver/current_system.h"
#include "lsolver/iterative.h"
#include "lsolver/lsolver.h"
#include "lsolver/lsolver_job.h"
#include "lsolver/pixel_impedance.h"
#include "lsolver/surface_classification.h"

namespace zolva {

namespace {

constexpr const char* kCaption = "Solving for L and Rs";
using Complex = std::complex<double>;

void Refuse(const LSolverJob& job, const std::string& text) {
  if (!text.empty()) {
    Fail(job.failure, FailureKind::Input, text, kCaption);
    job.state.operationFailed = true;
  }
  if (job.pool.workersRunning() > 0) job.pool.StopWorkers();
  job.state.abortRequested = true;
  job.report.ShowStatus("");
  ShrinkCurrentSystem(job.lsolver.system);
}

// Gauss-Jordan inverse with partial pivoting of a small complex matrix; false when singular.
bool Invert(std::vector<Complex>& a, int n) {
  const std::size_t m = static_cast<std::size_t>(n);
  std::vector<Complex> inv(m * m);
  for (std::size_t i = 0; i < m; ++i) inv[i * m + i] = 1.0;
  for (std::size_t c = 0; c < m; ++c) {
    std::size_t p = c;
    for (std::size_t i = c + 1; i < m; ++i)
      if (std::abs(a[i * m + c]) > std::abs(a[p * m + c])) p = i;
    if (!(std::abs(a[p * m + c]) > 0.0)) return false;
    for (std::size_t j = 0; j < m; ++j) {
      std::swap(a[c * m + j], a[p * m + j]);
      std::swap(inv[c * m + j], inv[p * m + j]);
    }
    const Complex d = a[c * m + c];
    for (std::size_t j = 0; j < m; ++j) {
      a[c * m + j] /= d;
      inv[c * m + j] /= d;
    }
    for (std::size_t i = 0; i < m; ++i) {
      if (i == c) continue;
      const Complex f = a[i * m + c];
      if (f == Complex{}) continue;
      for (std::size_t j = 0; j < m; ++j) {
        a[i * m + j] -= f * a[c * m + j];
        inv[i * m + j] -= f * inv[c * m + j];
      }
    }
  }
  a = std::move(inv);
  return true;
}

}  // namespace

bool SolveImpedanceMatrices(const LSolverJob& job, const ConductorNumbering& num,
                            ImpedanceMatrices& out) {
  SolveState& s = job.state;
  LSolverState& ls = job.lsolver;
  const ConductorIndex& index = job.cindex;
  if (job.pool.workersRunning() != 0) job.pool.StopWorkers();
  if (num.width != job.map.Uwid || num.height != job.map.Uhei ||
      num.number.size() != job.map.Ukind.size())
    throw std::out_of_range("impedance matrices: the numbering does not belong to the map");
  if (job.options.pixelWidthText.empty() || !(s.pixelWidth > 0) || !std::isfinite(s.pixelWidth)) {
    Refuse(job, "Pixel width not supplied");
    return false;
  }
  if (const std::string bad = NonPhysicalMaterialText(job.materials); !bad.empty()) {
    Refuse(job, bad);
    return false;
  }
  const int n = num.signalCount();
  if (index.size() < 2 || n < 1) {
    Refuse(job, "Usermap deficient: Insufficient conductors.");
    return false;
  }

  // Voltage unknowns: the numbered conductors 0..count-1, the ground, one per floating colour.
  const int count = num.count();
  const int N = static_cast<int>(index.size());
  std::vector<int> group(static_cast<std::size_t>(N), -1);
  int groundGroup = -1;
  std::map<int, int> floatGroup;
  int G = count;
  for (int e = 0; e < N; ++e) {
    const std::size_t u = static_cast<std::size_t>(e);
    const std::size_t p =
        static_cast<std::size_t>(index.y[u]) * static_cast<std::size_t>(num.width) +
        static_cast<std::size_t>(index.x[u]);
    switch (index.kind[u]) {
      case KindPlus:
      case KindMinus:
        group[u] = num.number.at(p) - 1;
        break;
      case KindGround:
        if (groundGroup < 0) groundGroup = G++;
        group[u] = groundGroup;
        break;
      case KindFloat: {
        const int colour = job.map.Uindex.at(p);
        auto [it, added] = floatGroup.emplace(colour, G);
        if (added) ++G;
        group[u] = it->second;
        break;
      }
      default:
        break;
    }
    if (group[u] < 0)
      throw std::out_of_range("impedance matrices: conductor pixel " + std::to_string(index.x[u]) +
                              "," + std::to_string(index.y[u]) + " has no conductor");
  }
  const int reference = num.reference > 0 ? num.reference - 1 : groundGroup;
  if (reference < 0) {
    Refuse(job, "Usermap deficient: Insufficient conductors.");
    return false;
  }
  const int fixed = groundGroup >= 0 ? count + 1 : count;

  PrepareLoopInductance(job);
  job.results.rsWarning = false;
  ClassifySurface(job);
  BuildSurfaceResistanceTable(job);
  std::vector<double> resistance(static_cast<std::size_t>(N));
  for (int e = 0; e < N; ++e) resistance[static_cast<std::size_t>(e)] = PixelResistance(job, e).re;

  CurrentProblem problem;
  problem.N = N;
  problem.groups = G;
  problem.x = index.x.data();
  problem.y = index.y.data();
  problem.resistance = resistance.data();
  problem.group = group.data();
  problem.loop = &ls.loop;
  problem.omega = s.omega;
  // Every fixed conductor's voltage, less the reference's, is its drive; the currents of the
  // fixed conductors add up to zero (the reference returns them); a floating conductor carries
  // no net current.
  const std::size_t g = static_cast<std::size_t>(G);
  auto blank = [g] {
    ConstraintRow r;
    r.groupWeight.assign(g, 0.0);
    r.voltage.assign(g, 0.0);
    return r;
  };
  for (int c = 0; c < fixed; ++c) {
    if (c == reference) continue;
    ConstraintRow r = blank();
    r.voltage[static_cast<std::size_t>(c)] = 1.0;
    r.voltage[static_cast<std::size_t>(reference)] = -1.0;
    problem.rows.push_back(r);
  }
  ConstraintRow total = blank();
  for (int c = 0; c < fixed; ++c) total.groupWeight[static_cast<std::size_t>(c)] = 1.0;
  problem.rows.push_back(total);
  for (int c = fixed; c < G; ++c) {
    ConstraintRow r = blank();
    r.groupWeight[static_cast<std::size_t>(c)] = 1.0;
    problem.rows.push_back(r);
  }
  // The projected form: the fixed conductors are one part, each floating conductor its own.
  problem.part.assign(g, 0);
  for (int c = fixed; c < G; ++c) problem.part[static_cast<std::size_t>(c)] = c - fixed + 1;
  std::vector<std::vector<double>> drives(static_cast<std::size_t>(n), std::vector<double>(g, 0.0));
  for (int i = 0; i < n; ++i)
    drives[static_cast<std::size_t>(i)][static_cast<std::size_t>(num.ConductorOf(i) - 1)] = 1.0;
  problem.drive = drives[0];

  const int h = N + G;
  // The method as for one line: the elimination where it is the faster (or asked for), else the
  // iteration, each taken only where its memory is free.
  const auto [minX, maxX] = std::minmax_element(index.x.begin(), index.x.end());
  const auto [minY, maxY] = std::minmax_element(index.y.begin(), index.y.end());
  const int boxW = *maxX - *minX + 1, boxH = *maxY - *minY + 1;
  const std::int64_t available = job.platform.FreePhysicalMemory();
  const std::int64_t elements = static_cast<std::int64_t>(h) * (static_cast<std::int64_t>(h) + 1);
  const bool eliminationFits = available / 64 >= elements / 4;
  using Method = LSolverOptions::Method;
  bool iterate = job.options.method == Method::Iterative ||
                 (job.options.method == Method::Automatic &&
                  ChooseCurrentMethod(h, n, boxW, boxH) == CurrentMethod::Iterative);
  if (job.options.method == Method::Automatic && !iterate && !eliminationFits) iterate = true;
  ls.numbering = UnknownNumbering{};
  ls.numbering.N = N;
  ls.numbering.F = G - fixed;
  ls.numbering.h = h;
  ls.eliminationStart = job.platform.Now();
  job.report.ShowStep("Solving " + std::to_string(h) + " equations for " + std::to_string(n) +
                      (n == 1 ? " conductor" : " conductors"));
  std::vector<std::vector<complex>> solutions;
  ImpedanceMatrices result;
  result.iterative = iterate;
  if (iterate) {
    const IterativePoll poll = IterationPoll(job);
    IterativeResult r;
    try {
      r = SolveCurrentDrives(problem, drives, job.pool,
                             std::clamp(job.options.threadCount, 1, kMaxParticipants), poll,
                             solutions, job.options.iterative);
    } catch (const std::bad_alloc&) {
      Refuse(job, "Memory request denied");
      return false;
    }
    result.iterations = r.iterations;
    switch (r.status) {
      case IterativeStatus::Completed:
        break;
      case IterativeStatus::Stopped:
        Refuse(job, "");
        return false;
      case IterativeStatus::NotConverged:
        Refuse(job, "The iteration did not converge.");
        return false;
      case IterativeStatus::Singular:
        Refuse(job, "Equations are singular.");
        return false;
    }
  } else {
    for (int i = 0; i < n; ++i) {
      // The elimination's rows: only the drive's right-hand side changes.
      int row = 0;
      for (int c = 0; c < fixed; ++c) {
        if (c == reference) continue;
        problem.rows[static_cast<std::size_t>(row++)].rhs =
            drives[static_cast<std::size_t>(i)][static_cast<std::size_t>(c)];
      }
      if (!AllocateCurrentSystem(ls.system, h)) {
        Refuse(job, "Memory request denied");
        return false;
      }
      if (!AssembleProblemSystem(job, problem) || !SolveCurrentSystem(job)) {
        Refuse(job, "");
        return false;
      }
      std::vector<complex> x(static_cast<std::size_t>(h));
      for (int e = 0; e < h; ++e) x[static_cast<std::size_t>(e)] = SolutionValue(job, e);
      solutions.push_back(std::move(x));
      ShrinkCurrentSystem(ls.system);
    }
  }

  // Y[k][i]: the current into signal conductor k under drive i.
  const std::size_t m = static_cast<std::size_t>(n);
  std::vector<Complex> Z(m * m);
  for (std::size_t i = 0; i < m; ++i) {
    const std::vector<complex>& x = solutions[i];
    for (int e = 0; e < N; ++e) {
      const int k = num.SignalOf(group[static_cast<std::size_t>(e)] + 1);
      if (group[static_cast<std::size_t>(e)] >= count || k < 0) continue;
      const complex c = x[static_cast<std::size_t>(e)];
      Z[static_cast<std::size_t>(k) * m + i] += Complex(c.re, c.im);
    }
  }
  if (!Invert(Z, n)) {
    Refuse(job, "Equations are singular.");
    return false;
  }
  double diagonal = 0.0, skew = 0.0;
  for (std::size_t i = 0; i < m; ++i) {
    diagonal = std::max(diagonal, std::abs(Z[i * m + i]));
    for (std::size_t j = 0; j < m; ++j)
      skew = std::max(skew, std::abs(Z[i * m + j] - Z[j * m + i]));
  }
  result.asymmetry = diagonal > 0.0 ? skew / diagonal : 0.0;
  result.n = n;
  result.frequencyHz = s.omega / (2 * kPi);
  result.R.resize(m * m);
  result.L.resize(m * m);
  for (std::size_t i = 0; i < m; ++i) {
    for (std::size_t j = 0; j < m; ++j) {
      // The symmetric part: the reciprocity of the line; the asymmetry says how far the solve is
      // from it.
      const Complex z = (Z[i * m + j] + Z[j * m + i]) / 2.0;
      result.R[i * m + j] = z.real();
      result.L[i * m + j] = z.imag() / s.omega;
    }
  }
  job.report.ShowStatus("");
  out = std::move(result);
  return true;
}

}  // namespace zolva
