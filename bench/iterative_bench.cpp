// The L and Rs solve of the generated coaxial line (centre 0.2 in, shield 0.4 in inside,
// copper, air) by elimination and by iteration, on two threads.
//
//   SideBySide/P/F: both methods on the same map of about P conductor pixels at F MHz; the
//     counters give each one's wall-clock seconds and peak resident memory, their ratio, the
//     iterations (over the voltage unknowns) and the relative differences of L and Rs.
//   IterativeAlone/P/F/R: the iteration alone, "Restrict to skin depth" R (0 or 1).
//   Preconditioner/P/F/R/K: the diagonal (K 0) against the circulant inverse (K 1).
//   DrawnCoax/S: a coax drawn S x S pixels, restricted to the skin depth, at 100 MHz, solved as
//     the program chooses.
//   SkinDepths/D: the iteration on the coax of 8000 pixels without the restriction, at D skin
//     depths across the centre conductor (1 to 100).
//   Resolution/P: L and Rs of the coax of P pixels at 1 MHz against the closed forms, by the
//     method the program chooses.
//
//   zolva_bench --benchmark_filter=Iterative
//
// Memory is the rise of the process's peak resident set over the solve (the peak is reset
// before each solve through /proc/self/clear_refs).
#include <benchmark/benchmark.h>

#include <chrono>
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <memory>
#include <string>
#include <vector>

#include "lsolver/lsolver.h"
#include "lsolver/lsolver_job.h"
#include "platform/headless_platform.h"
#include "platform/image_codec.h"
#include "program/context.h"
#include "program/control_panel.h"
#include "program/jobs.h"
#include "program/map_commands.h"
#include "program/reporting.h"
#include "program/solve_control.h"

namespace zolva {
namespace {

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;
using Method = LSolverOptions::Method;

// Resident set in bytes: the current one, or the peak since the last reset.
double ResidentBytes(const char* field) {
  std::ifstream in("/proc/self/status");
  std::string line;
  const std::string key = std::string(field) + ":";
  while (std::getline(in, line))
    if (line.rfind(key, 0) == 0) return 1024.0 * std::stod(line.substr(key.size()));
  return 0.0;
}
void ResetPeak() {
  std::ofstream("/proc/self/clear_refs") << "5";
}

struct Program {
  HeadlessPlatform platform;
  std::unique_ptr<Context> owned = std::make_unique<Context>(platform);
  Context& ctx = *owned;
  fs::path folder;

  Program() {
    platform.echoMessages = false;
    folder = fs::temp_directory_path() / "zolva-iterative-bench";
    fs::create_directories(folder);
    platform.programFileOverride = (folder / "zolva").string();
    StartMainWindow(ctx);
    CreatePanel(ctx);
    ctx.panel.threadMax = std::max(ctx.panel.threadMax, 2);
    ctx.panel.threadCount = 2;
  }

  // Builds the coax of about `pixels` conductor pixels and indexes it, by one automatic solve at
  // a low frequency where it is quick.
  bool Build(int pixels, double mhz, bool restrict) {
    ctx.state.geometryKind = GeomCoaxial;
    SetField(ctx, EditBoxTotalConductorPixels, std::to_string(pixels));
    SetField(ctx, EditBoxFrequency, std::to_string(mhz));
    SetCheckBox(ctx, CheckBoxRestrict, restrict);
    ctx.state.setupChanged = true;
    return RebuildCrossSection(ctx) == 0 && IndexConductors(ctx);
  }

  struct Run {
    double seconds = 0, bytes = 0, L = 0, Rs = 0;
    int iterations = 0;
    double cells = 0;
    double VoL = 0, Ignd = 0;
    std::vector<complex> currents;
    bool ok = false;
  };
  Run Solve(Method method,
            IterativeTuning::Preconditioner pre = IterativeTuning::Preconditioner::Circulant) {
    ctx.state.abortRequested = false;
    ctx.state.solveSucceeded = false;
    LSolverJob job = LSolverJobOf(ctx);
    job.options.method = method;
    job.options.iterative.preconditioner = pre;
    ResetPeak();
    const double before = ResidentBytes("VmRSS");
    const Clock::time_point t0 = Clock::now();
    SolveLandRs(job);
    Run r;
    r.seconds = std::chrono::duration<double>(Clock::now() - t0).count();
    r.bytes = ResidentBytes("VmHWM") - before;
    r.L = ctx.results.L;
    r.Rs = ctx.results.Rs;
    r.iterations = ctx.lsolver.lastIterations;
    r.cells = static_cast<double>(ctx.lsolver.lastGridCells);
    r.VoL = ctx.results.VoL;
    r.Ignd = ctx.results.Ignd;
    r.currents = ctx.lsolver.pixelCurrents;
    r.ok = ctx.state.solveSucceeded;
    return r;
  }
};

double Relative(double a, double b) {
  return std::abs(a - b) / std::max(std::abs(a), std::abs(b));
}

void BM_IterativeSideBySide(benchmark::State& state) {
  const int pixels = static_cast<int>(state.range(0));
  const double mhz = static_cast<double>(state.range(1));
  Program p;
  if (!p.Build(pixels, mhz, true)) {
    state.SkipWithError("the coax was not built");
    return;
  }
  for (auto _ : state) {
    const Program::Run e = p.Solve(Method::Elimination);
    const Program::Run i = p.Solve(Method::Iterative);
    if (!e.ok || !i.ok) {
      state.SkipWithError("a solve failed");
      return;
    }
    state.SetIterationTime(i.seconds);
    state.counters["pixels"] = static_cast<double>(p.ctx.cindex.size());
    state.counters["elim_s"] = e.seconds;
    state.counters["iter_s"] = i.seconds;
    state.counters["ratio"] = e.seconds / i.seconds;
    state.counters["elim_MB"] = e.bytes / 1e6;
    state.counters["iter_MB"] = i.bytes / 1e6;
    state.counters["iterations"] = i.iterations;
    state.counters["grid"] = i.cells;
    state.counters["dL"] = Relative(e.L, i.L);
    state.counters["dRs"] = Relative(e.Rs, i.Rs);
    state.counters["dIgnd"] = std::abs(e.Ignd - i.Ignd);
    double diff = 0, norm = 0;
    for (std::size_t j = 0; j < e.currents.size() && j < i.currents.size(); ++j) {
      const complex d = e.currents[j] - i.currents[j];
      diff += d.re * d.re + d.im * d.im;
      norm += e.currents[j].re * e.currents[j].re + e.currents[j].im * e.currents[j].im;
    }
    state.counters["dI"] = std::sqrt(diff / norm);
  }
}
BENCHMARK(BM_IterativeSideBySide)
    ->ArgsProduct({{1000, 4000, 8000}, {1, 1000}})
    ->Iterations(1)
    ->UseManualTime()
    ->Unit(benchmark::kSecond);

void BM_IterativeAlone(benchmark::State& state) {
  const int pixels = static_cast<int>(state.range(0));
  const double mhz = static_cast<double>(state.range(1));
  Program p;
  if (!p.Build(pixels, mhz, state.range(2) != 0)) {
    state.SkipWithError("the coax was not built");
    return;
  }
  for (auto _ : state) {
    const Program::Run i = p.Solve(Method::Iterative);
    if (!i.ok) {
      state.SkipWithError("the solve failed");
      return;
    }
    state.SetIterationTime(i.seconds);
    state.counters["pixels"] = static_cast<double>(p.ctx.cindex.size());
    state.counters["iter_MB"] = i.bytes / 1e6;
    state.counters["iterations"] = i.iterations;
    state.counters["L_uH"] = i.L * 1e6;
    state.counters["Rs"] = i.Rs;
  }
}
BENCHMARK(BM_IterativeAlone)
    ->Args({30000, 1, 0})
    ->Args({100000, 1, 0})
    ->Iterations(1)
    ->UseManualTime()
    ->Unit(benchmark::kSecond);

// Both preconditioners on the same map: P pixels at F MHz, restricted (R 1) or not, with the
// diagonal (K 0) or the circulant inverse (K 1).
void BM_IterativePreconditioner(benchmark::State& state) {
  Program p;
  if (!p.Build(static_cast<int>(state.range(0)), static_cast<double>(state.range(1)),
               state.range(2) != 0)) {
    state.SkipWithError("the coax was not built");
    return;
  }
  const auto pre = state.range(3) != 0 ? IterativeTuning::Preconditioner::Circulant
                                       : IterativeTuning::Preconditioner::Diagonal;
  for (auto _ : state) {
    const Program::Run i = p.Solve(Method::Iterative, pre);
    if (!i.ok) {
      state.SkipWithError("the solve failed");
      return;
    }
    state.SetIterationTime(i.seconds);
    state.counters["pixels"] = static_cast<double>(p.ctx.cindex.size());
    state.counters["iterations"] = i.iterations;
    state.counters["grid"] = i.cells;
  }
}
BENCHMARK(BM_IterativePreconditioner)
    ->ArgsProduct({{8000}, {1, 1000}, {1}, {0, 1}})
    ->Args({30000, 1, 0, 0})
    ->Args({30000, 1, 0, 1})
    ->Iterations(1)
    ->UseManualTime()
    ->Unit(benchmark::kSecond);

// The coax of 8000 pixels without the restriction, at the frequencies that put 1 to 100 skin
// depths across the centre conductor (0.2 in of copper): delta = sqrt(rho / (pi f mu0)).
void BM_IterativeSkinDepths(benchmark::State& state) {
  const double depths = static_cast<double>(state.range(0));
  const double delta = 0.2 * 0.0254 / depths;
  const double mhz = 1.7241e-8 / (kPi * kMu0 * delta * delta) / 1e6;
  Program p;
  if (!p.Build(8000, mhz, false)) {
    state.SkipWithError("the coax was not built");
    return;
  }
  for (auto _ : state) {
    const Program::Run i = p.Solve(Method::Iterative);
    if (!i.ok) {
      state.SkipWithError("the solve failed");
      return;
    }
    state.SetIterationTime(i.seconds);
    state.counters["MHz"] = mhz;
    state.counters["pixel_per_delta"] = p.ctx.state.pixelWidth / delta;
    state.counters["iterations"] = i.iterations;
  }
}
BENCHMARK(BM_IterativeSkinDepths)
    ->Arg(1)
    ->Arg(3)
    ->Arg(10)
    ->Arg(30)
    ->Arg(100)
    ->Iterations(1)
    ->UseManualTime()
    ->Unit(benchmark::kSecond);

// L and Rs of the coax at 1 MHz (restricted to the skin depth) against the closed forms: the
// external inductance mu0 / 2 pi ln(b / a) plus the internal one of the skin layers, whose
// reactance equals their resistance, and Rs = Rsurf / 2 pi (1 / a + 1 / b).
void BM_IterativeResolution(benchmark::State& state) {
  const int pixels = static_cast<int>(state.range(0));
  const double mhz = 1.0;
  Program p;
  if (!p.Build(pixels, mhz, true)) {
    state.SkipWithError("the coax was not built");
    return;
  }
  const double a = 0.1 * 0.0254, b = 0.2 * 0.0254, omega = 2 * kPi * mhz * 1e6;
  const double surface = std::sqrt(kPi * mhz * 1e6 * kMu0 * 1.7241e-8);
  const double Rs = surface / (2 * kPi) * (1 / a + 1 / b);
  const double L = kMu0 / (2 * kPi) * std::log(b / a) + Rs / omega;
  for (auto _ : state) {
    const Program::Run i = p.Solve(Method::Automatic);
    if (!i.ok) {
      state.SkipWithError("the solve failed");
      return;
    }
    state.SetIterationTime(i.seconds);
    state.counters["pixels"] = static_cast<double>(p.ctx.cindex.size());
    state.counters["iterations"] = i.iterations;
    state.counters["L_err"] = i.L / L - 1;
    state.counters["Rs_err"] = i.Rs / Rs - 1;
  }
}
BENCHMARK(BM_IterativeResolution)
    ->Arg(2000)
    ->Arg(8000)
    ->Arg(32000)
    ->Arg(128000)
    ->Iterations(1)
    ->UseManualTime()
    ->Unit(benchmark::kSecond);

// A coax drawn as a Usermap S x S pixels (centre 0.2 in across, shield 0.4 in inside and 0.44 in
// outside, copper in air), loaded with "Restrict to skin depth" and solved for L and Rs at
// 100 MHz by the method the program chooses.
void BM_IterativeDrawnCoax(benchmark::State& state) {
  const int size = static_cast<int>(state.range(0));
  Program p;
  RgbImage image;
  image.width = image.height = size;
  const double c = size / 2.0;
  const double outer = size * 0.5 * 400 / 410;
  const double inner = outer * 0.4 / 0.44;
  const double centre = outer * 0.2 / 0.44;
  for (int y = 0; y < size; ++y)
    for (int x = 0; x < size; ++x) {
      const double r = std::hypot(x + 0.5 - c, y + 0.5 - c);
      // Packed colours: red (+1 volt) is 0x0000FF, green (ground) 0x00FF00.
      image.pixels.push_back(r < centre                ? 0x0000FFu
                             : r >= inner && r < outer ? 0x00FF00u
                                                       : 0xFFFFFFu);
    }
  const double width = 0.2 * 0.0254 / (2 * centre);
  char name[96];
  std::snprintf(name, sizeof name, "Usermap drawn coax (%.6fmm).bmp", width * 1e3);
  const std::string path = (p.folder / name).string();
  EncodeBmpFile(path, image);
  SetCheckBox(p.ctx, CheckBoxRestrict, true);
  SetField(p.ctx, EditBoxFrequency, "100");
  if (!LoadUsermap(p.ctx, path)) {
    state.SkipWithError("the map was not loaded");
    return;
  }
  for (auto _ : state) {
    const Clock::time_point t0 = Clock::now();
    SolveLAndRs(p.ctx);
    const double seconds = std::chrono::duration<double>(Clock::now() - t0).count();
    if (!p.ctx.state.solveSucceeded) {
      state.SkipWithError("the solve failed");
      return;
    }
    state.SetIterationTime(seconds);
    state.counters["pixels"] = static_cast<double>(p.ctx.cindex.size());
    state.counters["iterative"] = p.ctx.lsolver.lastIterative ? 1 : 0;
    state.counters["iterations"] = p.ctx.lsolver.lastIterations;
    state.counters["grid"] = static_cast<double>(p.ctx.lsolver.lastGridCells);
    state.counters["L_uH"] = p.ctx.results.L * 1e6;
    state.counters["Rs"] = p.ctx.results.Rs;
  }
}
BENCHMARK(BM_IterativeDrawnCoax)
    ->Arg(410)
    ->Arg(820)
    ->Iterations(1)
    ->UseManualTime()
    ->Unit(benchmark::kSecond);

}  // namespace
}  // namespace zolva
