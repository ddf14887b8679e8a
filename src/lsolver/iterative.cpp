// The iterative solve of the current equations: one projected COCG solve of the pixel block, or
// one solve per voltage unknown and then the small system of the voltages.
#include "lsolver/iterative.h"

#include <algorithm>
#include <cmath>
#include <memory>
#include <new>
#include <stdexcept>
#include <string>

#include "core/worker_pool.h"
#include "lsolver/pixel_convolution.h"

namespace zolva {

namespace {

// Unconjugated product a^T b, summed in order.
complex Dot(const std::vector<complex>& a, const std::vector<complex>& b) {
  double re = 0.0;
  double im = 0.0;
  const std::size_t n = a.size();
  for (std::size_t i = 0; i < n; ++i) {
    re += a[i].re * b[i].re - a[i].im * b[i].im;
    im += a[i].re * b[i].im + a[i].im * b[i].re;
  }
  return {re, im};
}

double Norm(const std::vector<complex>& a) {
  double s = 0.0;
  for (const complex& z : a) s += z.re * z.re + z.im * z.im;
  return std::sqrt(s);
}

// The pixel block with the constant shift, y = R x + j conv(kernel, x); its preconditioner; and,
// for the projected form, the projection onto the currents that add up to zero over every part.
class PixelBlock {
 public:
  PixelBlock(const CurrentProblem& p, const IterativeTuning& tuning, WorkerPool& pool, int threads)
      : p_(p), pool_(pool), threads_(threads) {
    const auto [minX, maxX] = std::minmax_element(p.x, p.x + p.N);
    const auto [minY, maxY] = std::minmax_element(p.y, p.y + p.N);
    const int boxW = *maxX - *minX + 1;
    const int boxH = *maxY - *minY + 1;
    // The loop inductance at the box's diagonal exceeds that of every pair in the box.
    shift_ = tuning.shift ? LoopInductance(*p.loop, boxW, boxH) / 2 : 0.0;
    const double omega = p.omega;
    const double s = shift_;
    const LoopModel& loop = *p.loop;
    const auto kernel = [omega, s, &loop](int du, int dv) {
      return omega * (s - ((du == 0 && dv == 0) ? 0.0 : LoopInductance(loop, du, dv) / 2));
    };
    convolution_ = std::make_unique<PixelConvolution>(p.x, p.y, p.N, kernel);
    active_ = convolution_.get();
    const std::size_t n = static_cast<std::size_t>(p.N);
    product_.resize(n);
    inverseDiagonal_.resize(n);
    for (std::size_t e = 0; e < n; ++e)
      inverseDiagonal_[e] = complex{1.0, 0.0} / complex{p.resistance[e], omega * shift_};
    if (tuning.preconditioner == IterativeTuning::Preconditioner::Circulant) {
      double mean = 0.0;
      for (std::size_t e = 0; e < n; ++e) mean += p.resistance[e];
      mean /= static_cast<double>(n);
      inverse_ = std::make_unique<PixelConvolution>(p.x, p.y, p.N, kernel, mean);
    }
    if (!p.part.empty()) {
      parts_ = 1 + *std::max_element(p.part.begin(), p.part.end());
      partOf_.resize(n);
      partSize_.assign(static_cast<std::size_t>(parts_), 0.0);
      for (std::size_t e = 0; e < n; ++e) {
        partOf_[e] = p.part[static_cast<std::size_t>(p.group[e])];
        partSize_[static_cast<std::size_t>(partOf_[e])] += 1.0;
      }
      partSum_.resize(static_cast<std::size_t>(parts_));
    }
  }

  // out = Z in (projected in the projected form).
  void Apply(const std::vector<complex>& in, std::vector<complex>& out) {
    active_ = convolution_.get();
    convolution_->Apply(in.data(), product_.data(), threads_ > 1 ? &pool_ : nullptr, threads_);
    const std::size_t n = in.size();
    for (std::size_t e = 0; e < n; ++e) {
      // R x + j c, with c the real convolution of the complex vector.
      out[e] = {p_.resistance[e] * in[e].re - product_[e].im,
                p_.resistance[e] * in[e].im + product_[e].re};
    }
    Project(out);
  }

  // z = M^-1 r (projected in the projected form).
  void Precondition(const std::vector<complex>& r, std::vector<complex>& z) {
    if (inverse_) {
      active_ = inverse_.get();
      inverse_->Apply(r.data(), z.data(), threads_ > 1 ? &pool_ : nullptr, threads_);
    } else {
      for (std::size_t e = 0; e < r.size(); ++e) z[e] = inverseDiagonal_[e] * r[e];
    }
    Project(z);
  }

  // Removes from v its mean over every part, so that it adds up to zero over each.
  void Project(std::vector<complex>& v) {
    if (parts_ == 0) return;
    std::fill(partSum_.begin(), partSum_.end(), complex{});
    const std::size_t n = v.size();
    for (std::size_t e = 0; e < n; ++e) {
      complex& s = partSum_[static_cast<std::size_t>(partOf_[e])];
      s = s + v[e];
    }
    for (std::size_t k = 0; k < partSum_.size(); ++k)
      partSum_[k] = {partSum_[k].re / partSize_[k], partSum_[k].im / partSize_[k]};
    for (std::size_t e = 0; e < n; ++e)
      v[e] = v[e] - partSum_[static_cast<std::size_t>(partOf_[e])];
  }

  // The mean of v over every part.
  std::vector<complex> PartMeans(const std::vector<complex>& v) const {
    std::vector<complex> mean(static_cast<std::size_t>(parts_));
    for (std::size_t e = 0; e < v.size(); ++e) {
      complex& s = mean[static_cast<std::size_t>(partOf_[e])];
      s = s + v[e];
    }
    for (std::size_t k = 0; k < mean.size(); ++k)
      mean[k] = {mean[k].re / partSize_[k], mean[k].im / partSize_[k]};
    return mean;
  }

  // The unprojected product, for the voltages of the projected form.
  void ApplyUnprojected(const std::vector<complex>& in, std::vector<complex>& out) {
    const int parts = parts_;
    parts_ = 0;
    Apply(in, out);
    parts_ = parts;
  }

  void Participate(int t) { active_->Participate(t); }
  std::size_t GridCells() const {
    return static_cast<std::size_t>(convolution_->GridWidth()) *
           static_cast<std::size_t>(convolution_->GridHeight());
  }

 private:
  const CurrentProblem& p_;
  WorkerPool& pool_;
  int threads_;
  double shift_ = 0.0;
  std::unique_ptr<PixelConvolution> convolution_;
  std::unique_ptr<PixelConvolution> inverse_;
  PixelConvolution* active_ = nullptr;
  std::vector<complex> product_;
  std::vector<complex> inverseDiagonal_;
  int parts_ = 0;
  std::vector<int> partOf_;
  std::vector<double> partSize_;
  std::vector<complex> partSum_;
};

struct SolveOutcome {
  IterativeStatus status = IterativeStatus::Completed;
  int iterations = 0;
  double residual = 0.0;
};

// Z x = b by preconditioned COCG from x = 0 (in the projected form, on the currents that add up
// to zero over every part, with b projected first). The recursive residual drifts from the true
// one as the iteration goes on; the true residual is recomputed when the recursive one has
// reached the tolerance, and the iteration restarted from the current x when that is not met.
SolveOutcome Cocg(PixelBlock& block, std::vector<complex> b, std::vector<complex>& x,
                  const IterativeTuning& tuning, int solve, int solves, const IterativePoll& poll) {
  const std::size_t n = b.size();
  block.Project(b);
  std::vector<complex> r = b, z(n), p(n), q(n);
  std::fill(x.begin(), x.end(), complex{});
  const double bNorm = Norm(b);
  SolveOutcome out;
  if (bNorm == 0) return out;
  double best = 1.0;  // true relative residual at the last restart
  int restarts = 0;
  for (;;) {
    block.Precondition(r, z);
    p = z;
    complex rho = Dot(r, z);
    double residual = Norm(r) / bNorm;
    while (residual > tuning.tolerance) {
      if (out.iterations >= tuning.maxIterations) {
        out.status = IterativeStatus::NotConverged;
        out.residual = residual;
        return out;
      }
      block.Apply(p, q);
      const complex pq = Dot(p, q);
      if (!(Magnitude(pq) > 0) || !(Magnitude(rho) > 0)) break;  // breakdown: restart
      const complex alpha = rho / pq;
      for (std::size_t e = 0; e < n; ++e) {
        x[e] = x[e] + alpha * p[e];
        r[e] = r[e] - alpha * q[e];
      }
      ++out.iterations;
      residual = Norm(r) / bNorm;
      if (!std::isfinite(residual)) {
        out.status = IterativeStatus::Singular;
        return out;
      }
      if (poll && !poll({solve, solves, out.iterations, residual})) {
        out.status = IterativeStatus::Stopped;
        out.residual = residual;
        return out;
      }
      block.Precondition(r, z);
      const complex rhoNext = Dot(r, z);
      const complex beta = rhoNext / rho;
      rho = rhoNext;
      for (std::size_t e = 0; e < n; ++e) p[e] = z[e] + beta * p[e];
    }
    // The true residual b - Z x.
    block.Apply(x, q);
    for (std::size_t e = 0; e < n; ++e) r[e] = b[e] - q[e];
    const double trueResidual = Norm(r) / bNorm;
    out.residual = trueResidual;
    if (trueResidual <= tuning.tolerance) return out;
    // Rounding sets a floor to the residual; once restarts stop lowering it, x is as good as the
    // arithmetic allows.
    if (restarts >= 1 && trueResidual > 0.5 * best) {
      if (trueResidual > 1e3 * tuning.tolerance) out.status = IterativeStatus::NotConverged;
      return out;
    }
    best = trueResidual;
    ++restarts;
  }
}

// Gaussian elimination with partial pivoting of a small dense complex system a v = rhs (a row by
// row, n x n). False when singular.
bool SolveSmall(std::vector<complex> a, std::vector<complex> rhs, std::vector<complex>& v) {
  const std::size_t n = rhs.size();
  for (std::size_t i = 0; i < n; ++i) {
    std::size_t best = i;
    for (std::size_t r = i + 1; r < n; ++r)
      if (Magnitude(a[r * n + i]) > Magnitude(a[best * n + i])) best = r;
    if (!(Magnitude(a[best * n + i]) > 0)) return false;
    if (best != i) {
      for (std::size_t k = 0; k < n; ++k) std::swap(a[i * n + k], a[best * n + k]);
      std::swap(rhs[i], rhs[best]);
    }
    for (std::size_t r = i + 1; r < n; ++r) {
      const complex f = a[r * n + i] / a[i * n + i];
      for (std::size_t k = i; k < n; ++k) a[r * n + k] = a[r * n + k] - f * a[i * n + k];
      rhs[r] = rhs[r] - f * rhs[i];
    }
  }
  v.assign(n, complex{});
  for (std::size_t i = n; i-- > 0;) {
    complex s = rhs[i];
    for (std::size_t k = i + 1; k < n; ++k) s = s - a[i * n + k] * v[k];
    v[i] = s / a[i * n + i];
    if (!std::isfinite(v[i].re) || !std::isfinite(v[i].im)) return false;
  }
  return true;
}

}  // namespace

namespace {

void CheckProblem(const CurrentProblem& problem) {
  const int N = problem.N;
  const int G = problem.groups;
  if (N < 1 || G < 1 || static_cast<int>(problem.rows.size()) != G)
    throw std::invalid_argument("SolveCurrentsIteratively: " + std::to_string(N) + " pixels, " +
                                std::to_string(G) + " voltages, " +
                                std::to_string(problem.rows.size()) + " constraints");
  for (std::size_t e = 0; e < static_cast<std::size_t>(N); ++e)
    if (problem.group[e] < 0 || problem.group[e] >= G)
      throw std::out_of_range("SolveCurrentsIteratively: pixel " + std::to_string(e) +
                              " has no voltage");
}

// One solve of the projected form for the drive given per voltage unknown.
IterativeStatus SolveProjected(const CurrentProblem& problem, const std::vector<double>& drive,
                               PixelBlock& block, const IterativeTuning& tuning, int solve,
                               int solves, const IterativePoll& poll, IterativeResult& result,
                               std::vector<complex>& solution) {
  const std::size_t n = static_cast<std::size_t>(problem.N);
  const std::size_t g = static_cast<std::size_t>(problem.groups);
  // Z I = d + (a common voltage per part), the currents adding up to zero over every part.
  std::vector<complex> d(n), I(n), ZI(n);
  for (std::size_t e = 0; e < n; ++e)
    d[e] = {drive.at(static_cast<std::size_t>(problem.group[e])), 0.0};
  const SolveOutcome o = Cocg(block, d, I, tuning, solve, solves, poll);
  result.iterations += o.iterations;
  result.mostIterations = std::max(result.mostIterations, o.iterations);
  result.residual = std::max(result.residual, o.residual);
  if (o.status != IterativeStatus::Completed) return o.status;
  // The common voltages: Z I - d is constant over each part, up to the residual.
  block.ApplyUnprojected(I, ZI);
  for (std::size_t e = 0; e < n; ++e) ZI[e] = ZI[e] - d[e];
  const std::vector<complex> common = block.PartMeans(ZI);
  solution.assign(n + g, complex{});
  std::copy(I.begin(), I.end(), solution.begin());
  for (std::size_t c = 0; c < g; ++c)
    solution[n + c] = complex{drive[c], 0.0} + common[static_cast<std::size_t>(problem.part[c])];
  return IterativeStatus::Completed;
}

}  // namespace

IterativeResult SolveCurrentDrives(const CurrentProblem& problem,
                                   const std::vector<std::vector<double>>& drives, WorkerPool& pool,
                                   int threads, const IterativePoll& poll,
                                   std::vector<std::vector<complex>>& solutions,
                                   const IterativeTuning& tuning) {
  CheckProblem(problem);
  if (problem.part.size() != static_cast<std::size_t>(problem.groups))
    throw std::invalid_argument("SolveCurrentDrives: the problem has no projected form");
  threads = std::clamp(threads, 1, kMaxParticipants);
  IterativeResult result;
  PixelBlock block(problem, tuning, pool, threads);
  result.gridCells = block.GridCells();
  struct PoolStopper {
    WorkerPool& pool;
    ~PoolStopper() { pool.StopWorkers(); }
  } stopper{pool};
  if (threads > 1) pool.StartWorkers(threads, [&block](int t) { block.Participate(t); });
  solutions.assign(drives.size(), {});
  const int solves = static_cast<int>(drives.size());
  for (int k = 0; k < solves; ++k) {
    result.status =
        SolveProjected(problem, drives[static_cast<std::size_t>(k)], block, tuning, k + 1, solves,
                       poll, result, solutions[static_cast<std::size_t>(k)]);
    if (result.status != IterativeStatus::Completed) return result;
  }
  return result;
}

IterativeResult SolveCurrentsIteratively(const CurrentProblem& problem, WorkerPool& pool,
                                         int threads, const IterativePoll& poll,
                                         std::vector<complex>& solution,
                                         const IterativeTuning& tuning) {
  CheckProblem(problem);
  const int G = problem.groups;
  const std::size_t n = static_cast<std::size_t>(problem.N);
  const std::size_t g = static_cast<std::size_t>(G);

  threads = std::clamp(threads, 1, kMaxParticipants);
  IterativeResult result;
  PixelBlock block(problem, tuning, pool, threads);
  result.gridCells = block.GridCells();
  struct PoolStopper {
    WorkerPool& pool;
    ~PoolStopper() { pool.StopWorkers(); }
  } stopper{pool};
  if (threads > 1) pool.StartWorkers(threads, [&block](int t) { block.Participate(t); });

  if (!problem.part.empty()) {
    result.status =
        SolveProjected(problem, problem.drive, block, tuning, 1, 1, poll, result, solution);
    return result;
  }

  // x_c for every voltage unknown c, and the sums S[m][c] of x_c over the pixels of group m.
  std::vector<std::vector<complex>> xs(g, std::vector<complex>(n));
  std::vector<complex> S(g * g);
  std::vector<complex> b(n);
  for (std::size_t c = 0; c < g; ++c) {
    for (std::size_t e = 0; e < n; ++e)
      b[e] = {problem.group[e] == static_cast<int>(c) ? 1.0 : 0.0, 0.0};
    const SolveOutcome o = Cocg(block, b, xs[c], tuning, static_cast<int>(c) + 1, G, poll);
    result.iterations += o.iterations;
    result.mostIterations = std::max(result.mostIterations, o.iterations);
    result.residual = std::max(result.residual, o.residual);
    if (o.status != IterativeStatus::Completed) {
      result.status = o.status;
      return result;
    }
    for (std::size_t e = 0; e < n; ++e) {
      complex& s = S[static_cast<std::size_t>(problem.group[e]) * g + c];
      s = s + xs[c][e];
    }
  }

  // The small system: row i, sum over m of groupWeight[m] S[m][c], plus voltage[c].
  std::vector<complex> a(g * g), rhs(g), V;
  for (std::size_t i = 0; i < g; ++i) {
    const ConstraintRow& row = problem.rows[i];
    for (std::size_t c = 0; c < g; ++c) {
      complex s{row.voltage[c], 0.0};
      for (std::size_t m = 0; m < g; ++m)
        if (row.groupWeight[m] != 0) s = s + complex{row.groupWeight[m], 0.0} * S[m * g + c];
      a[i * g + c] = s;
    }
    rhs[i] = {row.rhs, 0.0};
  }
  if (!SolveSmall(a, rhs, V)) {
    result.status = IterativeStatus::Singular;
    return result;
  }
  solution.assign(n + g, complex{});
  for (std::size_t e = 0; e < n; ++e) {
    complex s{};
    for (std::size_t c = 0; c < g; ++c) s = s + V[c] * xs[c][e];
    solution[e] = s;
  }
  for (std::size_t c = 0; c < g; ++c) solution[n + c] = V[c];
  return result;
}

std::size_t IterativeMemoryBytes(int N, int groups, int boxWidth, int boxHeight) {
  const std::size_t n = static_cast<std::size_t>(std::max(N, 0));
  const std::size_t g = static_cast<std::size_t>(std::max(groups, 0));
  // The grids of the product and of the preconditioner, the solutions x_c, and the iteration's
  // vectors.
  return PixelConvolution::MemoryBytes(boxWidth, boxHeight, false) +
         PixelConvolution::MemoryBytes(boxWidth, boxHeight, true) + sizeof(complex) * n * (g + 10);
}

CurrentMethod ChooseCurrentMethod(int h, int solves, int boxWidth, int boxHeight) {
  // Measured side by side on the generated coax on two threads (bench/iterative_bench.cpp): the
  // elimination takes about h^3 / 8.4e9 seconds (h^3 / 3 complex updates at 2.8e9 a second), and
  // one product or preconditioning step of the iteration about 2e-9 M log2 M seconds over the M
  // cells of the padded box. A solve takes two of them per iteration and some 50 to 250
  // iterations (more the more skin depths the conductors span, and for thin layers); 150 is
  // assumed. Only the ratio of the two matters, so a slower or busier machine moves both alike.
  const double hh = static_cast<double>(h);
  const double elimination = hh * hh * hh / 8.4e9;
  const double cells = static_cast<double>(FftFriendlyLength(2 * boxWidth - 1)) *
                       static_cast<double>(FftFriendlyLength(2 * boxHeight - 1));
  const double iterative =
      150.0 * std::max(solves, 1) * 2 * 2e-9 * cells * std::log2(std::max(cells, 2.0));
  return elimination <= iterative ? CurrentMethod::Elimination : CurrentMethod::Iterative;
}

}  // namespace zolva
