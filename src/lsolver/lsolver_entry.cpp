// The driver of an L and Rs solve: checks, the current system's life, and what the solved currents
// tell. With the currents of every pixel and the voltages of the conductors, the line's series
// impedance per metre is the voltage between the two terminals over the current that flows out
// through one and back through the other: its real part is Rs, its imaginary part omega L.
#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdint>
#include <fstream>
#include <stdexcept>
#include <string>

#include "lsolver/conductor_index.h"
#include "lsolver/current_system.h"
#include "lsolver/lsolver.h"
#include "lsolver/pixel_impedance.h"
#include "setup/control_panel.h"
#include "setup/results.h"
#include "shell/context.h"
#include "shell/reporting.h"

namespace zolva {

namespace {

constexpr const char* kCaption = "Solving for L and Rs";

// Stops the pool, marks the solve as stopped, blanks the status and frees the system; the
// results and currents of the previous solve stay.
void AbortPath(Context& ctx) {
  if (ctx.pool.workersRunning() > 0) ctx.pool.StopWorkers();
  ctx.state.abortRequested = true;
  ShowStatus(ctx, "");
  ShrinkCurrentSystem(ctx.lsolver.system);
}

void Refuse(Context& ctx, const char* text) {
  MessageBox(ctx, text, kCaption, ButtonsOk);
  ctx.state.operationFailed = true;
  AbortPath(ctx);
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

void SolveLandRs(Context& ctx) {
  ProgramState& s = ctx.state;
  LSolverState& ls = ctx.lsolver;
  ConductorIndex& index = ctx.cindex;

  if (ctx.pool.workersRunning() != 0) ctx.pool.StopWorkers();
  // A width of 0 (or one that is not a number) would make every coefficient infinite; it is
  // treated like a missing one.
  if (ctx.panel.edits[EditBoxPixelWidth].text.empty() || !(s.pixelWidth > 0) ||
      !std::isfinite(s.pixelWidth)) {
    Refuse(ctx, "Pixel width not supplied");
    return;
  }
  const int fixedKinds =
      (index.hasPlus ? 1 : 0) + (index.hasMinus ? 1 : 0) + (index.hasGround ? 1 : 0);
  if (fixedKinds < 2 || index.size() < 2) {
    Refuse(ctx, "Usermap deficient: Insufficient conductors.");
    return;
  }

  PrepareLoopInductance(ctx);
  ls.numbering = NumberUnknowns(ctx);
  const int N = ls.numbering.N;
  const int h = ls.numbering.h;
  ShowStep(ctx, "Create " + std::to_string(h) + " equations");

  // The system needs 16 h (h + 1) bytes; ask for them only when that much is free.
  const std::int64_t available = ctx.platform->FreePhysicalMemory();
  const std::int64_t elements = static_cast<std::int64_t>(h) * (static_cast<std::int64_t>(h) + 1);
  if (available / 64 < elements / 4 || !AllocateCurrentSystem(ls.system, h)) {
    Refuse(ctx, "Memory request denied");
    return;
  }

  ctx.results.rsWarning = false;
  ClassifySurface(ctx);
  BuildSurfaceResistanceTable(ctx);
  if (!AssembleCurrentSystem(ctx)) {
    AbortPath(ctx);
    return;
  }
  ShowStep(ctx, "Solving " + std::to_string(h) + " equations");
  if (!SolveCurrentSystem(ctx)) {
    AbortPath(ctx);
    return;
  }

  // The currents, and the total current of each fixed-voltage conductor.
  std::vector<complex> currents(static_cast<std::size_t>(N));
  complex sPlus, sMinus, sGround;
  for (int j = N - 1; j >= 0; --j) {
    const std::size_t u = static_cast<std::size_t>(j);
    currents[u] = SolutionValue(ctx, j);
    if (index.kind[u] == KindPlus) sPlus = sPlus + currents[u];
    if (index.kind[u] == KindMinus) sMinus = sMinus + currents[u];
    if (index.kind[u] == KindGround) sGround = sGround + currents[u];
  }
  ls.pixelCurrents = std::move(currents);
  ls.currentX = index.x;
  ls.currentY = index.y;
  ls.currentKind = index.kind;
  ls.solvedWidth = ctx.map.Uwid;
  ls.solvedHeight = ctx.map.Uhei;

  // The terminals: the +1 volt conductor, or else the ground, against the -1 volt conductor, or
  // else the ground.
  const UnknownNumbering& num = ls.numbering;
  complex Vp, Ip, Vn, In;
  if (index.hasPlus) {
    Vp = SolutionValue(ctx, num.plusIndex);
    Ip = sPlus;
  } else {
    Vp = SolutionValue(ctx, num.groundIndex);
    Ip = sGround;
  }
  if (index.hasMinus) {
    Vn = SolutionValue(ctx, num.minusIndex);
    In = sMinus;
  } else {
    Vn = SolutionValue(ctx, num.groundIndex);
    In = sGround;
  }
  const complex I = (Ip - In) / complex{2.0, 0.0};
  const complex Z = (Vp - Vn) / I;
  ctx.results.Rs = Z.re;
  ctx.results.L = Z.im / s.omega;
  if (index.hasPlus) {
    ctx.results.VoL = Magnitude(SolutionValue(ctx, num.plusIndex)) - 1;
    ctx.results.Ignd = Magnitude(sGround) / Magnitude(sPlus);
  }

  ShowStep(ctx, "Building current density maps");
  RenderCurrentDensity(ctx);
  RefreshDisplay(ctx);
  ctx.results.runSecondsL =
      static_cast<int>(std::nearbyint((ctx.platform->Now() - ls.eliminationStart) * 86400));
  ShowPanel(ctx, TabResults);
  DrawResults(ctx);
  SummarizeL(ctx);
  ShowStatus(ctx, "done");
  s.solveSucceeded = true;
  ShrinkCurrentSystem(ls.system);
}

void RenderCurrentDensity(Context& ctx) {
  LSolverState& ls = ctx.lsolver;
  PixelMap& map = ctx.map;
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
  const bool bright = ctx.display.highIntensity;
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

bool WriteCurrentsFile(Context& ctx) {
  const LSolverState& ls = ctx.lsolver;
  const std::vector<complex>& I = ls.pixelCurrents;
  double a = 0.0;
  for (const complex& z : I) a = std::max(a, Magnitude(z));
  if (!(a > 0) || ls.currentX.size() != I.size() || ls.currentY.size() != I.size() ||
      ls.currentKind.size() != I.size())
    return true;

  const std::string path =
      ctx.state.programFolder + ctx.panel.edits[EditBoxName].text + " currents.txt";
  std::string text = "X\tY\ttype\tJ magnitude\tJ angle (degrees)\r\n\r\n";
  for (std::size_t j = I.size(); j-- > 0;) {
    const double angle = std::atan2(I[j].im, I[j].re) * 180 / kPi;
    text += std::to_string(ls.currentX[j]) + "\t" + std::to_string(ls.currentY[j]) + "\t" +
            std::to_string(static_cast<int>(ls.currentKind[j])) + "\t" +
            Fixed(Magnitude(I[j]) / a, 9, 12) + "\t" + Fixed(angle, 7, 12) + "\r\n";
  }
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  if (out) out.write(text.data(), static_cast<std::streamsize>(text.size()));
  if (out) out.close();
  if (!out) {
    MessageBox(ctx, "Cannot write " + path, "zolva", ButtonsOk);
    ctx.state.operationFailed = true;
    return false;
  }
  return true;
}

}  // namespace zolva
