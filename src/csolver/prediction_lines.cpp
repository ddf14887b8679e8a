// Potentials from the predicted field: integration along straight lines of core and apron nodes,
// and the mean potential of the apron's outer ring that the offset search of a balanced line
// drives to zero.
#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>

#include "csolver/capacitance_job.h"
#include "csolver/prediction_field.h"

namespace zolva {

namespace {

constexpr std::uint8_t kFreeBits = NodeFree | NodeFreeMixed;

}  // namespace

double CoreStepPermittivity(const CapacitanceJob& job, int x, int y) {
  if (!job.state.switches[Switch::PermittivityInLines]) return 1.0;
  return PalettePermittivity(job.materials, job.grid.Cmat.at(CoreIndex(job.grid, x, y)));
}

double ApronStepPermittivity(const CapacitanceJob& job, int aX, int aY) {
  if (!job.state.switches[Switch::PermittivityInLines]) return 1.0;
  return PalettePermittivity(job.materials, job.grid.Amat.at(ApronIndex(job.grid, aX, aY)));
}

std::string ProgressText(char letter, int n) {
  char text[16];
  std::snprintf(text, sizeof text, "%c%d", letter, n);
  return text;
}

void CountStep(const CapacitanceJob& job, PredictionWork& w) {
  if (++w.stepsSinceEvents < w.progressInterval) return;
  w.stepsSinceEvents = 0;
  job.report.ProcessPendingEvents();
}

void IntegrateLine(const CapacitanceJob& job, PredictionWork& w, int x, int y, int dx, int dy,
                   int n) {
  SolverGrid& g = job.grid;
  if (x < 0 || y < 0 || x >= g.Cwid || y >= g.Chei) return;
  double V = g.Cvolts[CoreIndex(g, x, y)];
  FieldVector e0 = FieldAt(job, w, x, y);
  for (int s = 0; s < n; ++s) {
    x += dx;
    y += dy;
    if (x < 0 || y < 0 || x >= g.Cwid || y >= g.Chei) return;
    const std::size_t i = CoreIndex(g, x, y);
    if (!(g.Ccode[i] & kFreeBits)) return;
    const double eps = CoreStepPermittivity(job, x, y);
    const FieldVector e1 = FieldAt(job, w, x, y);
    V = dx != 0 ? V - (e1.x + e0.x) * eps * dx : V - (e1.y + e0.y) * eps * dy;
    g.Cvolts[i] = V;
    g.Ccode[i] |= NodeMarked;
    e0 = e1;
    CountStep(job, w);
  }
}

void IntegrateApronLine(const CapacitanceJob& job, PredictionWork& w, int aX, int aY, int dx,
                        int dy, int n) {
  SolverGrid& g = job.grid;
  if (aX < 0 || aY < 0 || aX >= g.Awid || aY >= g.Ahei) return;
  double V = g.Avolts[ApronIndex(g, aX, aY)];
  FieldVector e0 = ApronFieldAt(job, w, aX, aY);
  for (int s = 0; s < n; ++s) {
    aX += dx;
    aY += dy;
    if (aX < 0 || aY < 0 || aX >= g.Awid || aY >= g.Ahei) return;
    const std::size_t i = ApronIndex(g, aX, aY);
    if (!(g.Acode[i] & kFreeBits)) return;
    // An apron step spans 8 core nodes.
    const double eps = 8.0 * ApronStepPermittivity(job, aX, aY);
    const FieldVector e1 = ApronFieldAt(job, w, aX, aY);
    V = dx != 0 ? V - (e1.x + e0.x) * eps * dx : V - (e1.y + e0.y) * eps * dy;
    g.Avolts[i] = V;
    g.Acode[i] |= NodeMarked;
    e0 = e1;
    CountStep(job, w);
  }
}

double MeanBorderPotential(const CapacitanceJob& job, PredictionWork& w) {
  SolverGrid& g = job.grid;
  for (std::uint8_t& c : g.Acode) c = static_cast<std::uint8_t>(c & ~NodeMarked);
  const int AW = g.Awid, AH = g.Ahei;
  auto marked = [&](int aX, int aY) { return (g.Acode[ApronIndex(g, aX, aY)] & NodeMarked) != 0; };

  // From a walkway node on the core's outermost ring straight out to the apron's outer ring
  // (direction dx, dy), then along that ring both ways to its corners.
  auto carryOut = [&](int cX, int cY, int dx, int dy) {
    const std::size_t ci = CoreIndex(g, cX, cY);
    if (!(g.Ccode[ci] & NodeWalkway)) return;
    const int aX = (cX + g.CtoAX) >> 3, aY = (cY + g.CtoAY) >> 3;
    if (aX < 0 || aY < 0 || aX >= AW || aY >= AH) return;
    const std::size_t ai = ApronIndex(g, aX, aY);
    g.Avolts[ai] = g.Cvolts[ci];
    g.Acode[ai] |= NodeMarked;
    const int n = dx < 0 ? aX : dx > 0 ? AW - 1 - aX : dy < 0 ? aY : AH - 1 - aY;
    IntegrateApronLine(job, w, aX, aY, dx, dy, n);
    const int rX = aX + dx * n, rY = aY + dy * n;
    if (!marked(rX, rY)) return;
    if (dx == 0) {
      IntegrateApronLine(job, w, rX, rY, -1, 0, rX);
      IntegrateApronLine(job, w, rX, rY, 1, 0, AW - 1 - rX);
    } else {
      IntegrateApronLine(job, w, rX, rY, 0, -1, rY);
      IntegrateApronLine(job, w, rX, rY, 0, 1, AH - 1 - rY);
    }
  };
  for (int cX = 0; cX < g.Cwid; ++cX) carryOut(cX, 0, 0, -1);
  for (int cY = 0; cY < g.Chei; ++cY) carryOut(g.Cwid - 1, cY, 1, 0);
  for (int cX = 0; cX < g.Cwid; ++cX) carryOut(cX, g.Chei - 1, 0, 1);
  for (int cY = 0; cY < g.Chei; ++cY) carryOut(0, cY, -1, 0);

  double sum = 0.0;
  int count = 0;
  // A side from corner (x0, y0) to corner (x1, y1): integrated from each marked end towards the
  // other, then its free nodes from (x0, y0) up to but not including (x1, y1) are summed.
  auto side = [&](int x0, int y0, int x1, int y1) {
    const int dx = x1 > x0 ? 1 : (x1 < x0 ? -1 : 0), dy = y1 > y0 ? 1 : (y1 < y0 ? -1 : 0);
    const int n = std::max(std::abs(x1 - x0), std::abs(y1 - y0));
    if (marked(x0, y0)) IntegrateApronLine(job, w, x0, y0, dx, dy, n);
    if (marked(x1, y1)) IntegrateApronLine(job, w, x1, y1, -dx, -dy, n);
    for (int s = 0; s < n; ++s) {
      const std::size_t i = ApronIndex(g, x0 + s * dx, y0 + s * dy);
      if (!(g.Acode[i] & kFreeBits)) continue;
      sum += g.Avolts[i];
      ++count;
    }
  };
  for (int pass = 0; pass < 2; ++pass) {
    sum = 0.0;
    count = 0;
    side(0, 0, AW - 1, 0);            // top, rightwards
    side(0, 0, 0, AH - 1);            // left, downwards
    side(AW - 1, AH - 1, AW - 1, 0);  // right, upwards
    side(AW - 1, AH - 1, 0, AH - 1);  // bottom, leftwards
  }
  return count > 0 ? sum / count : 0.0;
}

}  // namespace zolva
