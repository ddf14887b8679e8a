// The driver of an L and Rs solve: checks, the current system's life, and what the solved currents
// tell. With the currents of every pixel and the voltages of the conductors, the line's series
// impedance per metre is the voltage between the two terminals over the current that flows out
// through one and back through the other: its real part is Rs, its imaginary part omega L.
#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdint>
#include <stdexcept>
#include <string>

#include "core/conductor_index.h"
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

// Stops the pool, marks the solve as stopped, blanks the status and frees the system; the
// results and currents of the previous solve stay.
void AbortPath(const LSolverJob& job) {
  if (job.pool.workersRunning() > 0) job.pool.StopWorkers();
  job.state.abortRequested = true;
  job.report.ShowStatus("");
  ShrinkCurrentSystem(job.lsolver.system);
}

void Refuse(const LSolverJob& job, const std::string& text, FailureKind kind = FailureKind::Input) {
  Fail(job.failure, kind, text, kCaption);
  job.state.operationFailed = true;
  AbortPath(job);
}

// The phase of a current as the picture measures it: the real part is the first argument.
double PictureAngle(complex z) {
  return std::atan2(z.re, z.im);
}

std::string Fixed(double x, int decimals, std::size_t width) {
  char buffer[64];
  auto [end, ec] =
      std::to_chars(buffer, buffer + sizeof buffer, x, std::chars_format::fixed, decimals);
  std::string text = ec == std::errc() ? std::string(buffer, end) : std::string("nan");
  if (text.size() < width) text.insert(0, width - text.size(), ' ');
  return text;
}

}  // namespace

void SolveLandRs(const LSolverJob& job) {
  SolveState& s = job.state;
  LSolverState& ls = job.lsolver;
  ConductorIndex& index = job.cindex;

  if (job.pool.workersRunning() != 0) job.pool.StopWorkers();
  // A width of 0 (or one that is not a number) would make every coefficient infinite; it is
  // treated like a missing one.
  if (job.options.pixelWidthText.empty() || !(s.pixelWidth > 0) || !std::isfinite(s.pixelWidth)) {
    Refuse(job, "Pixel width not supplied");
    return;
  }
  if (const std::string bad = NonPhysicalMaterialText(job.materials); !bad.empty()) {
    Refuse(job, bad);
    return;
  }
  const int fixedKinds =
      (index.hasPlus ? 1 : 0) + (index.hasMinus ? 1 : 0) + (index.hasGround ? 1 : 0);
  if (fixedKinds < 2 || index.size() < 2) {
    Refuse(job, "Usermap deficient: Insufficient conductors.");
    return;
  }

  PrepareLoopInductance(job);
  ls.numbering = NumberUnknowns(job);
  const int N = ls.numbering.N;
  const int h = ls.numbering.h;
  job.report.ShowStep("Create " + std::to_string(h) + " equations");

  // The method: the elimination where it is the faster (or when asked for), else the iteration
  // over the convolution of the conductors' bounding box. Either must find its memory free.
  const auto [minX, maxX] = std::minmax_element(index.x.begin(), index.x.end());
  const auto [minY, maxY] = std::minmax_element(index.y.begin(), index.y.end());
  const int boxW = *maxX - *minX + 1;
  const int boxH = *maxY - *minY + 1;
  const int groups = h - N;
  const std::int64_t available = job.platform.FreePhysicalMemory();
  const std::int64_t elements = static_cast<std::int64_t>(h) * (static_cast<std::int64_t>(h) + 1);
  const bool eliminationFits = available / 64 >= elements / 4;
  const std::size_t iterativeBytes = IterativeMemoryBytes(N, groups, boxW, boxH);
  const bool iterativeFits =
      available >= 0 && static_cast<std::uint64_t>(available) >= iterativeBytes;
  using Method = LSolverOptions::Method;
  const Method method = job.options.method;
  // All three fixed kinds take one iterative solve per voltage unknown, the others one.
  const int solves = index.hasAllThree ? groups : 1;
  bool iterate = method == Method::Iterative ||
                 (method == Method::Automatic &&
                  ChooseCurrentMethod(h, solves, boxW, boxH) == CurrentMethod::Iterative);
  // Either method may run where the other's memory is not free.
  if (method == Method::Automatic) {
    if (iterate && !iterativeFits && eliminationFits)
      iterate = false;
    else if (!iterate && !eliminationFits && iterativeFits)
      iterate = true;
  }
  ls.lastIterative = iterate;
  ls.lastIterations = 0;
  ls.lastResidual = 0.0;
  // The system needs 16 h (h + 1) bytes; ask for them only when that much is free.
  if (iterate ? !iterativeFits : (!eliminationFits || !AllocateCurrentSystem(ls.system, h))) {
    Refuse(job, "Memory request denied", FailureKind::Memory);
    return;
  }

  job.results.rsWarning = false;
  ClassifySurface(job);
  BuildSurfaceResistanceTable(job);
  std::vector<complex> solution;
  if (iterate) {
    job.report.ShowStep("Solving " + std::to_string(h) + " equations");
    if (!IterateCurrentSystem(job, solution)) {
      AbortPath(job);
      return;
    }
  } else {
    if (!AssembleCurrentSystem(job)) {
      AbortPath(job);
      return;
    }
    job.report.ShowStep("Solving " + std::to_string(h) + " equations");
    if (!SolveCurrentSystem(job)) {
      AbortPath(job);
      return;
    }
    solution.resize(static_cast<std::size_t>(h));
    for (int e = 0; e < h; ++e) solution[static_cast<std::size_t>(e)] = SolutionValue(job, e);
    ShrinkCurrentSystem(ls.system);
  }
  const auto value = [&solution](int e) { return solution.at(static_cast<std::size_t>(e)); };

  // The currents, and the total current of each fixed-voltage conductor.
  std::vector<complex> currents(static_cast<std::size_t>(N));
  complex sPlus, sMinus, sGround;
  for (int j = N - 1; j >= 0; --j) {
    const std::size_t u = static_cast<std::size_t>(j);
    currents[u] = value(j);
    if (index.kind[u] == KindPlus) sPlus = sPlus + currents[u];
    if (index.kind[u] == KindMinus) sMinus = sMinus + currents[u];
    if (index.kind[u] == KindGround) sGround = sGround + currents[u];
  }
  ls.pixelCurrents = std::move(currents);
  ls.currentX = index.x;
  ls.currentY = index.y;
  ls.currentKind = index.kind;
  ls.solvedWidth = job.map.Uwid;
  ls.solvedHeight = job.map.Uhei;

  // The terminals: the +1 volt conductor, or else the ground, against the -1 volt conductor, or
  // else the ground.
  const UnknownNumbering& num = ls.numbering;
  complex Vp, Ip, Vn, In;
  if (index.hasPlus) {
    Vp = value(num.plusIndex);
    Ip = sPlus;
  } else {
    Vp = value(num.groundIndex);
    Ip = sGround;
  }
  if (index.hasMinus) {
    Vn = value(num.minusIndex);
    In = sMinus;
  } else {
    Vn = value(num.groundIndex);
    In = sGround;
  }
  const complex I = (Ip - In) / complex{2.0, 0.0};
  const complex Z = (Vp - Vn) / I;
  job.results.Rs = Z.re;
  job.results.L = Z.im / s.omega;
  if (index.hasPlus) {
    job.results.VoL = Magnitude(value(num.plusIndex)) - 1;
    job.results.Ignd = Magnitude(sGround) / Magnitude(sPlus);
  }

  job.report.ShowStep("Building current density maps");
  RenderCurrentDensity(ls, job.map, job.options.highIntensity);
  job.report.RefreshDisplay();
  job.results.runSecondsL =
      static_cast<int>(std::nearbyint((job.platform.Now() - ls.eliminationStart) * 86400));
  job.report.ShowTab(TabResults);
  job.report.ShowSolvedFigures(SolvedFigures::LandRs);
  job.report.ShowStatus("done");
  s.solveSucceeded = true;
  ShrinkCurrentSystem(ls.system);
}

void RenderCurrentDensity(const LSolverState& ls, PixelMap& map, bool highIntensity) {
  const std::vector<complex>& I = ls.pixelCurrents;
  const std::size_t n = I.size();
  if (n == 0 || ls.currentX.size() != n || ls.currentY.size() != n) return;
  if (map.Uwid != ls.solvedWidth || map.Uhei != ls.solvedHeight) return;
  const std::size_t pixels = static_cast<std::size_t>(std::max(map.Uwid, 0)) *
                             static_cast<std::size_t>(std::max(map.Uhei, 0));
  if (map.analysedPixels.size() != pixels) {
    if (map.Ucolor.size() != pixels) return;
    map.analysedPixels = map.Ucolor;
  }

  double jMax = 0.0;
  double best = -1.0;
  double reference = 0.0;
  for (std::size_t j = n; j-- > 0;) {
    const double m = Magnitude(I[j]);
    jMax = std::max(jMax, m);
    if (I[j].re > 0 && m > best) {
      best = m;
      reference = PictureAngle(I[j]);
    }
  }
  constexpr double kThird = 2.0943951023931953;
  constexpr double kTwoThirds = 4.1887902047863905;
  const bool bright = highIntensity;
  for (std::size_t j = 0; j < n; ++j) {
    const double theta = PictureAngle(I[j]) - reference;
    double m = jMax > 0 ? Magnitude(I[j]) / jMax : 0.0;
    if (bright) m = std::sqrt(m);
    auto level = [m](double phase) {
      return static_cast<std::uint32_t>(
          std::clamp(std::nearbyint(255 * m * (0.5 + 0.5 * std::cos(phase))), 0.0, 255.0));
    };
    const std::uint32_t color =
        level(theta) + 256 * level(theta + kThird) + 65536 * level(theta + kTwoThirds);
    const std::int32_t x = ls.currentX[j];
    const std::int32_t y = ls.currentY[j];
    if (x < 0 || y < 0 || x >= map.Uwid || y >= map.Uhei) continue;
    map.analysedPixels[static_cast<std::size_t>(y) * static_cast<std::size_t>(map.Uwid) +
                       static_cast<std::size_t>(x)] = color;
  }
}

std::string CurrentsTable(const LSolverState& ls) {
  const std::vector<complex>& I = ls.pixelCurrents;
  double a = 0.0;
  for (const complex& z : I) a = std::max(a, Magnitude(z));
  if (!(a > 0) || ls.currentX.size() != I.size() || ls.currentY.size() != I.size() ||
      ls.currentKind.size() != I.size())
    return {};

  std::string text = "X\tY\ttype\tJ magnitude\tJ angle (degrees)\r\n\r\n";
  for (std::size_t j = I.size(); j-- > 0;) {
    const double angle = std::atan2(I[j].im, I[j].re) * 180 / kPi;
    text += std::to_string(ls.currentX[j]) + "\t" + std::to_string(ls.currentY[j]) + "\t" +
            std::to_string(static_cast<int>(ls.currentKind[j])) + "\t" +
            Fixed(Magnitude(I[j]) / a, 9, 12) + "\t" + Fixed(angle, 7, 12) + "\r\n";
  }
  return text;
}

}  // namespace zolva
