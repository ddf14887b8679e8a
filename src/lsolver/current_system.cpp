// Numbering, assembly and solution of the current equations.
#include "lsolver/current_system.h"

#include <algorithm>
#include <charconv>
#include <chrono>
#include <cmath>
#include <cstdlib>
#include <new>
#include <stdexcept>
#include <string>
#include <vector>

#include "core/conductor_index.h"
#include "core/materials.h"
#include "lsolver/elimination.h"
#include "lsolver/iterative.h"
#include "lsolver/lsolver.h"
#include "lsolver/lsolver_job.h"

#if defined(__linux__)
#include <sys/mman.h>
#endif

namespace zolva {

namespace {

using Clock = std::chrono::steady_clock;

constexpr const char* kCaption = "Solving for L and Rs";
// Offset tables larger than this are not worth their memory; the coefficients are then computed
// pair by pair.
constexpr std::size_t kMaxOffsetTable = std::size_t{1} << 24;

// Calls ProcessPendingEvents when the interval has passed; answers whether to go on.
class EventPump {
 public:
  explicit EventPump(const LSolverJob& job) : job_(job), last_(Clock::now()) {}
  bool Continue() {
    const Clock::time_point now = Clock::now();
    if (now - last_ >= std::chrono::milliseconds(20)) {
      last_ = now;
      job_.report.ProcessPendingEvents();
    }
    return !job_.state.abortRequested;
  }

 private:
  const LSolverJob& job_;
  Clock::time_point last_;
};

int PaletteIndexOf(const LSolverJob& job, int x, int y) {
  const std::size_t p = static_cast<std::size_t>(y) * static_cast<std::size_t>(job.map.Uwid) +
                        static_cast<std::size_t>(x);
  return job.map.Uindex.at(p);
}

// The voltage unknown of each pixel's conductor; with floatRow, also the zero-current equation of
// each floating pixel's conductor (-1 for the other pixels).
std::vector<int> VoltageUnknowns(const LSolverJob& job, std::vector<int>* floatRow) {
  const ConductorIndex& index = job.cindex;
  const UnknownNumbering& num = job.lsolver.numbering;
  const int N = num.N;
  const int h = num.h;
  std::vector<int> voltageOf(static_cast<std::size_t>(N));
  const int fixedCount = h - num.F - N;
  for (int e = 0; e < N; ++e) {
    const std::size_t u = static_cast<std::size_t>(e);
    int c = -1;
    switch (index.kind[u]) {
      case KindPlus:
        c = num.plusIndex;
        break;
      case KindMinus:
        c = num.minusIndex;
        break;
      case KindGround:
        c = num.groundIndex;
        break;
      case KindFloat: {
        const int m =
            num.floatNumber[static_cast<std::size_t>(PaletteIndexOf(job, index.x[u], index.y[u]))];
        if (m < 1) break;
        c = h - num.F + m - 1;
        if (floatRow != nullptr) (*floatRow)[u] = N + fixedCount + m - 1;
        break;
      }
      default:
        break;
    }
    if (c < N || c >= h)
      throw std::out_of_range("VoltageUnknowns: pixel " + std::to_string(e) + " of kind " +
                              std::to_string(static_cast<int>(index.kind[u])) +
                              " has no voltage unknown");
    voltageOf[u] = c;
  }
  return voltageOf;
}

}  // namespace

UnknownNumbering NumberUnknowns(const LSolverJob& job) {
  const ConductorIndex& index = job.cindex;
  UnknownNumbering n;
  n.N = static_cast<int>(index.size());
  // Floating colours that some conductor pixel carries.
  std::array<bool, 256> used{};
  for (std::size_t j = 0; j < index.size(); ++j) {
    if (index.kind[j] != KindFloat) continue;
    used[static_cast<std::size_t>(PaletteIndexOf(job, index.x[j], index.y[j]))] = true;
  }
  const UsermapPalette& palette = job.materials.palette;
  const int count = std::clamp(palette.count, 0, kPaletteCapacity);
  for (int o = count - 1; o >= 0; --o) {
    const std::size_t u = static_cast<std::size_t>(o);
    if (palette.entries[u].kind == KindFloat && used[u]) {
      ++n.F;
      n.floatNumber[u] = static_cast<std::uint8_t>(n.F);
    }
  }
  int next = n.N;
  if (index.hasPlus) n.plusIndex = next++;
  if (index.hasMinus) n.minusIndex = next++;
  if (index.hasGround) n.groundIndex = next++;
  n.h = next + n.F;
  return n;
}

void SystemArrayFree::operator()(double* p) const {
  std::free(p);
}

SystemArray AllocateSystemArray(std::size_t count) {
  constexpr std::size_t kHugePage = std::size_t{2} << 20;
  const std::size_t bytes = std::max<std::size_t>(count, 1) * sizeof(double);
  if (bytes / sizeof(double) != std::max<std::size_t>(count, 1)) return nullptr;
  // Large arrays start on a huge-page boundary and fill whole huge pages; small ones a cache line.
  const std::size_t align = bytes >= kHugePage ? kHugePage : 64;
  const std::size_t rounded = (bytes + align - 1) / align * align;
  if (rounded < bytes) return nullptr;
  void* p = std::aligned_alloc(align, rounded);
  if (p == nullptr) return nullptr;
#if defined(__linux__)
  if (align == kHugePage) madvise(p, rounded, MADV_HUGEPAGE);
#endif
  return SystemArray(static_cast<double*>(p));
}

bool AllocateCurrentSystem(CurrentSystem& system, int h) {
  ShrinkCurrentSystem(system);
  if (h < 1) return false;
  const std::size_t size = static_cast<std::size_t>(h) * (static_cast<std::size_t>(h) + 1);
  system.re = AllocateSystemArray(size);
  system.im = AllocateSystemArray(size);
  if (!system.re || !system.im) {
    ShrinkCurrentSystem(system);
    return false;
  }
  system.h = h;
  system.size = size;
  return true;
}

void ShrinkCurrentSystem(CurrentSystem& system) {
  system.re = AllocateSystemArray(1);
  system.im = AllocateSystemArray(1);
  if (!system.re || !system.im) throw std::bad_alloc();
  system.re[0] = 0.0;
  system.im[0] = 0.0;
  system.size = 1;
  system.h = 0;
}

bool AssembleCurrentSystem(const LSolverJob& job) {
  const ConductorIndex& index = job.cindex;
  LSolverState& ls = job.lsolver;
  const UnknownNumbering& num = ls.numbering;
  CurrentSystem& sys = ls.system;
  const int N = num.N;
  const int h = num.h;
  if (N != static_cast<int>(index.size()) || sys.h != h || h < N + 2 ||
      sys.size != static_cast<std::size_t>(h) * (static_cast<std::size_t>(h) + 1))
    throw std::out_of_range("AssembleCurrentSystem: system of " + std::to_string(sys.h) +
                            " unknowns for " + std::to_string(N) + " pixels and " +
                            std::to_string(h) + " unknowns");
  const double omega = job.state.omega;
  EventPump pump(job);

  std::vector<int> floatRow(static_cast<std::size_t>(N), -1);
  const std::vector<int> voltageOf = VoltageUnknowns(job, &floatRow);

  std::vector<double> selfTerm(static_cast<std::size_t>(N));
  for (int e = 0; e < N; ++e) selfTerm[static_cast<std::size_t>(e)] = PixelResistance(job, e).re;

  // The mutual coefficient -omega L / 2 depends only on the offset of the two pixels: tabulate it
  // once over the conductors' bounding box when that is smaller than the number of pairs.
  int minX = 0, maxX = -1, minY = 0, maxY = -1;
  if (N > 0) {
    minX = *std::min_element(index.x.begin(), index.x.end());
    maxX = *std::max_element(index.x.begin(), index.x.end());
    minY = *std::min_element(index.y.begin(), index.y.end());
    maxY = *std::max_element(index.y.begin(), index.y.end());
  }
  const std::size_t spanX = static_cast<std::size_t>(maxX - minX + 1);
  const std::size_t spanY = static_cast<std::size_t>(maxY - minY + 1);
  const std::size_t pairs = static_cast<std::size_t>(N) * static_cast<std::size_t>(N);
  std::vector<double> mutual;
  const bool tabulated = spanX * spanY <= std::min(kMaxOffsetTable, pairs);
  if (tabulated) {
    mutual.resize(spanX * spanY);
    for (std::size_t dv = 0; dv < spanY; ++dv) {
      if (!pump.Continue()) return false;
      for (std::size_t du = 0; du < spanX; ++du)
        mutual[dv * spanX + du] =
            (du == 0 && dv == 0)
                ? 0.0
                : -omega * LoopInductance(ls.loop, static_cast<int>(du), static_cast<int>(dv)) / 2;
    }
  }

  // Current columns: pixel equations, the total current, and the floating conductors' sums.
  for (int k = 0; k < N; ++k) {
    if ((k & 15) == 0 && !pump.Continue()) return false;
    const std::size_t uk = static_cast<std::size_t>(k);
    double* cr = &sys.re[sys.Offset(k, 0)];
    double* ci = &sys.im[sys.Offset(k, 0)];
    const int xk = index.x[uk];
    const int yk = index.y[uk];
    for (int e = 0; e < N; ++e) {
      const std::size_t ue = static_cast<std::size_t>(e);
      cr[e] = 0.0;
      const int du = std::abs(index.x[ue] - xk);
      const int dv = std::abs(index.y[ue] - yk);
      if (tabulated) {
        ci[e] = mutual[static_cast<std::size_t>(dv) * spanX + static_cast<std::size_t>(du)];
      } else {
        ci[e] = (e == k) ? 0.0 : -omega * LoopInductance(ls.loop, du, dv) / 2;
      }
    }
    cr[k] = selfTerm[uk];
    ci[k] = 0.0;
    for (int e = N; e < h; ++e) {
      cr[e] = 0.0;
      ci[e] = 0.0;
    }
    cr[N] = 1.0;
    if (floatRow[uk] >= 0) cr[floatRow[uk]] = 1.0;
  }

  // Voltage columns and right-hand sides.
  for (int k = N; k <= h; ++k) {
    std::fill_n(&sys.re[sys.Offset(k, 0)], h, 0.0);
    std::fill_n(&sys.im[sys.Offset(k, 0)], h, 0.0);
  }
  for (int e = 0; e < N; ++e) sys.Re(voltageOf[static_cast<std::size_t>(e)], e) = -1.0;
  if (index.hasPlus && index.hasMinus) {
    sys.Re(num.plusIndex, N + 1) = 1.0;
    sys.Re(num.minusIndex, N + 1) = -1.0;
    sys.Re(h, N + 1) = 2.0;
  } else if (index.hasPlus && index.hasGround) {
    sys.Re(num.plusIndex, N + 1) = 1.0;
    sys.Re(num.groundIndex, N + 1) = -1.0;
    sys.Re(h, N + 1) = 1.0;
  } else if (index.hasMinus && index.hasGround) {
    sys.Re(num.groundIndex, N + 1) = 1.0;
    sys.Re(num.minusIndex, N + 1) = -1.0;
    sys.Re(h, N + 1) = 1.0;
  }
  if (index.hasAllThree) sys.Re(N + 2, N + 2) = 1.0;

  // Equations 0 and 1 change places when that gives the first pivot the larger magnitude. At
  // high frequencies the mutual reactance of the first two pixels outweighs the first pixel's
  // resistance, and the exchange puts it on the diagonal. At low frequencies the resistance is
  // the larger by far: exchanging would divide by a reactance that shrinks with omega, and the
  // multipliers of order R / (omega L) would drown every reactive term of the equations below
  // (the error of L grew as 1 / omega squared, to nonsense below about 1 Hz). The solution is
  // the same either way; only its rounding differs.
  const double keep = std::hypot(sys.Re(0, 0), sys.Im(0, 0));
  const double exchanged = std::hypot(sys.Re(0, 1), sys.Im(0, 1));
  if (!(exchanged > keep)) return pump.Continue();
  for (int k = h; k >= 0; --k) {
    std::swap(sys.re[sys.Offset(k, 0)], sys.re[sys.Offset(k, 1)]);
    std::swap(sys.im[sys.Offset(k, 0)], sys.im[sys.Offset(k, 1)]);
  }
  return pump.Continue();
}

bool AssembleProblemSystem(const LSolverJob& job, const CurrentProblem& problem) {
  CurrentSystem& sys = job.lsolver.system;
  const int N = problem.N;
  const int G = problem.groups;
  const int h = N + G;
  if (N < 1 || G < 1 || sys.h != h || static_cast<int>(problem.rows.size()) != G ||
      sys.size != static_cast<std::size_t>(h) * (static_cast<std::size_t>(h) + 1))
    throw std::out_of_range("AssembleProblemSystem: system of " + std::to_string(sys.h) +
                            " unknowns for " + std::to_string(N) + " pixels and " +
                            std::to_string(G) + " voltages");
  EventPump pump(job);
  const double omega = problem.omega;
  for (int k = 0; k <= h; ++k) {
    std::fill_n(&sys.re[sys.Offset(k, 0)], h, 0.0);
    std::fill_n(&sys.im[sys.Offset(k, 0)], h, 0.0);
  }
  // Current columns: the pixel block, then the current sums of the constraint rows.
  for (int k = 0; k < N; ++k) {
    if ((k & 15) == 0 && !pump.Continue()) return false;
    const std::size_t uk = static_cast<std::size_t>(k);
    double* ci = &sys.im[sys.Offset(k, 0)];
    for (int e = 0; e < N; ++e) {
      if (e == k) continue;
      const std::size_t ue = static_cast<std::size_t>(e);
      ci[e] = -omega *
              LoopInductance(*problem.loop, std::abs(problem.x[ue] - problem.x[uk]),
                             std::abs(problem.y[ue] - problem.y[uk])) /
              2;
    }
    sys.Re(k, k) = problem.resistance[uk];
    for (int r = 0; r < G; ++r)
      sys.Re(k, N + r) = problem.rows[static_cast<std::size_t>(r)].groupWeight.at(
          static_cast<std::size_t>(problem.group[uk]));
  }
  // Voltage columns: -1 in the equations of their pixels, the rows' coefficients below.
  for (int e = 0; e < N; ++e) sys.Re(N + problem.group[static_cast<std::size_t>(e)], e) = -1.0;
  for (int r = 0; r < G; ++r) {
    const ConstraintRow& row = problem.rows[static_cast<std::size_t>(r)];
    for (int c = 0; c < G; ++c) sys.Re(N + c, N + r) = row.voltage.at(static_cast<std::size_t>(c));
    sys.Re(h, N + r) = row.rhs;
  }
  // As in AssembleCurrentSystem: the larger first pivot.
  const double keep = std::hypot(sys.Re(0, 0), sys.Im(0, 0));
  const double exchanged = std::hypot(sys.Re(0, 1), sys.Im(0, 1));
  if (N > 1 && exchanged > keep) {
    for (int k = h; k >= 0; --k) {
      std::swap(sys.re[sys.Offset(k, 0)], sys.re[sys.Offset(k, 1)]);
      std::swap(sys.im[sys.Offset(k, 0)], sys.im[sys.Offset(k, 1)]);
    }
  }
  return pump.Continue();
}

void ShowSolveProgress(const LSolverJob& job, int i) {
  LSolverState& ls = job.lsolver;
  const int h = ls.system.h;
  const double b = 1 - static_cast<double>(i + 1) / (h - 2);
  const double c = 1 - b * b * b;
  const int percent = static_cast<int>(std::trunc(100 * c));
  int minutes = 0;
  if (c >= 0.0001) {
    const double m = (job.platform.Now() - ls.eliminationStart) * 1440 * (1 - c) / c;
    minutes = std::isfinite(m) ? static_cast<int>(std::clamp(std::nearbyint(m), -1e9, 1e9)) : 0;
  }
  if (percent != ls.lastPercent || minutes != ls.lastMinutes) {
    std::string text = std::to_string(job.state.stepNumber) + ". Solving " + std::to_string(h) +
                       " equations   " + std::to_string(percent) + "%";
    if (minutes > 0) {
      text += "    Time remaining:  " + std::to_string(minutes) + " minute";
      if (minutes != 1) text += "s";
    }
    job.report.ShowStatus(text);
  }
  ls.lastPercent = percent;
  ls.lastMinutes = minutes;
}

bool SolveCurrentSystem(const LSolverJob& job) {
  LSolverState& ls = job.lsolver;
  CurrentSystem& sys = ls.system;
  const int h = sys.h;
  if (h < 1 || sys.size != static_cast<std::size_t>(h) * (static_cast<std::size_t>(h) + 1))
    throw std::out_of_range("SolveCurrentSystem: no system allocated");
  ls.lastPercent = 777;
  ls.lastMinutes = 0;
  ls.eliminationStart = job.platform.Now();

  const EliminationPoll poll = [&job](int pivot) {
    ShowSolveProgress(job, pivot - pivot % 3);
    job.report.ProcessPendingEvents();
    return !job.state.abortRequested;
  };

  std::unique_ptr<CurrentEliminator> eliminator;
  try {
    eliminator = std::make_unique<CurrentEliminator>(sys.re.get(), sys.im.get(), h);
  } catch (const std::bad_alloc&) {
    Fail(job.failure, FailureKind::Memory, "Memory request denied", kCaption);
    job.state.operationFailed = true;
    return false;
  }
  CurrentEliminator* e = eliminator.get();
  struct PoolStopper {
    WorkerPool& pool;
    ~PoolStopper() { pool.StopWorkers(); }
  } stopper{job.pool};
  try {
    job.pool.StartWorkers(std::clamp(job.options.threadCount, 1, kMaxParticipants),
                          [e](int participant) { e->RowUpdateKernel(participant); });
  } catch (const std::runtime_error& error) {
    Fail(job.failure, FailureKind::Memory, error.what(), kCaption);
    job.state.operationFailed = true;
    return false;
  }
  EliminationResult result = e->Forward(job.pool, poll);
  job.pool.StopWorkers();
  if (result.status == EliminationStatus::Completed) result = e->Backward(poll);
  if (result.status == EliminationStatus::Singular) {
    // Without pivoting, a vanishing pivot would divide by zero and fill every current with
    // meaningless numbers; the solve stops instead.
    Fail(job.failure, FailureKind::Singular, "Equations are singular.", kCaption);
    job.state.operationFailed = true;
  }
  return result.status == EliminationStatus::Completed;
}

complex SolutionValue(const LSolverJob& job, int e) {
  CurrentSystem& sys = job.lsolver.system;
  if (e < 0 || e >= sys.h)
    throw std::out_of_range("SolutionValue: unknown " + std::to_string(e) + " of " +
                            std::to_string(sys.h));
  const complex rhs{sys.Re(sys.h, e), sys.Im(sys.h, e)};
  const complex diagonal{sys.Re(e, e), sys.Im(e, e)};
  return rhs / diagonal;
}

}  // namespace zolva

namespace zolva {

namespace {

// A relative residual as "1.2e-07", whatever the locale.
std::string ResidualText(double r) {
  char buffer[32];
  auto [end, ec] =
      std::to_chars(buffer, buffer + sizeof buffer, r, std::chars_format::scientific, 1);
  return ec == std::errc() ? std::string(buffer, end) : std::string("?");
}

}  // namespace

IterativePoll IterationPoll(const LSolverJob& job) {
  using Clock = std::chrono::steady_clock;
  return [&job, last = Clock::now() -
                       std::chrono::seconds(1)](const IterativeProgress& progress) mutable {
    const Clock::time_point now = Clock::now();
    if (now - last >= std::chrono::milliseconds(100)) {
      last = now;
      ShowIterationProgress(job, progress);
      job.report.ProcessPendingEvents();
    }
    return !job.state.abortRequested;
  };
}

void ShowIterationProgress(const LSolverJob& job, const IterativeProgress& progress) {
  std::string text = std::to_string(job.state.stepNumber) + ". Solving " +
                     std::to_string(job.lsolver.numbering.h) + " equations   ";
  if (progress.solves > 1)
    text += std::to_string(progress.solve) + " of " + std::to_string(progress.solves) + ", ";
  text += "iteration " + std::to_string(progress.iteration) + ", residual " +
          ResidualText(progress.residual);
  job.report.ShowStatus(text);
}

bool IterateCurrentSystem(const LSolverJob& job, std::vector<complex>& solution) {
  const ConductorIndex& index = job.cindex;
  LSolverState& ls = job.lsolver;
  const UnknownNumbering& num = ls.numbering;
  const int N = num.N;
  const int G = num.h - N;
  ls.eliminationStart = job.platform.Now();

  const std::vector<int> voltageOf = VoltageUnknowns(job, nullptr);
  std::vector<int> group(static_cast<std::size_t>(N));
  std::vector<double> resistance(static_cast<std::size_t>(N));
  for (int e = 0; e < N; ++e) {
    group[static_cast<std::size_t>(e)] = voltageOf[static_cast<std::size_t>(e)] - N;
    resistance[static_cast<std::size_t>(e)] = PixelResistance(job, e).re;
  }
  CurrentProblem problem;
  problem.N = N;
  problem.groups = G;
  problem.x = index.x.data();
  problem.y = index.y.data();
  problem.resistance = resistance.data();
  problem.group = group.data();
  problem.loop = &ls.loop;
  problem.omega = job.state.omega;
  // The equations besides the pixel equations, in the order of the dense system.
  const std::size_t g = static_cast<std::size_t>(G);
  auto row = [g] {
    ConstraintRow r;
    r.groupWeight.assign(g, 0.0);
    r.voltage.assign(g, 0.0);
    return r;
  };
  auto at = [N](int unknown) { return static_cast<std::size_t>(unknown - N); };
  ConstraintRow total = row();  // the currents add up to zero
  std::fill(total.groupWeight.begin(), total.groupWeight.end(), 1.0);
  problem.rows.push_back(total);
  ConstraintRow drive = row();
  if (index.hasPlus && index.hasMinus) {
    drive.voltage[at(num.plusIndex)] = 1.0;
    drive.voltage[at(num.minusIndex)] = -1.0;
    drive.rhs = 2.0;
  } else if (index.hasPlus && index.hasGround) {
    drive.voltage[at(num.plusIndex)] = 1.0;
    drive.voltage[at(num.groundIndex)] = -1.0;
    drive.rhs = 1.0;
  } else if (index.hasMinus && index.hasGround) {
    drive.voltage[at(num.groundIndex)] = 1.0;
    drive.voltage[at(num.minusIndex)] = -1.0;
    drive.rhs = 1.0;
  }
  problem.rows.push_back(drive);
  if (index.hasAllThree) {
    ConstraintRow ground = row();  // the ground at 0 V
    ground.voltage[at(num.groundIndex)] = 1.0;
    problem.rows.push_back(ground);
  }
  for (int m = 1; m <= num.F; ++m) {
    ConstraintRow floating = row();  // no net current in floating conductor m
    floating.groupWeight[at(num.h - num.F + m - 1)] = 1.0;
    problem.rows.push_back(floating);
  }

  // Without the all-three case the voltages left free by the drive are one common voltage of the
  // fixed conductors and one per floating conductor, and they pair with the zero sums of the
  // currents over the same pixels: one projected solve gives everything.
  if (!index.hasAllThree) {
    problem.part.assign(g, 0);
    problem.drive.assign(g, 0.0);
    for (int m = 1; m <= num.F; ++m) problem.part[at(num.h - num.F + m - 1)] = m;
    if (index.hasPlus && index.hasMinus) {
      problem.drive[at(num.plusIndex)] = 1.0;
      problem.drive[at(num.minusIndex)] = -1.0;
    } else if (index.hasPlus && index.hasGround) {
      problem.drive[at(num.plusIndex)] = 1.0;
    } else if (index.hasMinus && index.hasGround) {
      problem.drive[at(num.groundIndex)] = 1.0;
    }
  }

  const IterativePoll poll = IterationPoll(job);
  IterativeResult result;
  try {
    result = SolveCurrentsIteratively(problem, job.pool,
                                      std::clamp(job.options.threadCount, 1, kMaxParticipants),
                                      poll, solution, job.options.iterative);
  } catch (const std::bad_alloc&) {
    Fail(job.failure, FailureKind::Memory, "Memory request denied", kCaption);
    job.state.operationFailed = true;
    return false;
  } catch (const std::runtime_error& error) {
    Fail(job.failure, FailureKind::Memory, error.what(), kCaption);
    job.state.operationFailed = true;
    return false;
  }
  ls.lastIterations = result.iterations;
  ls.lastResidual = result.residual;
  ls.lastGridCells = result.gridCells;
  switch (result.status) {
    case IterativeStatus::Completed:
      return true;
    case IterativeStatus::Stopped:
      return false;
    case IterativeStatus::NotConverged:
      Fail(job.failure, FailureKind::NoConvergence,
           "The iteration did not converge (relative residual " + ResidualText(result.residual) +
               ").",
           kCaption);
      job.state.operationFailed = true;
      return false;
    case IterativeStatus::Singular:
      Fail(job.failure, FailureKind::Singular, "Equations are singular.", kCaption);
      job.state.operationFailed = true;
      return false;
  }
  return false;
}

}  // namespace zolva
