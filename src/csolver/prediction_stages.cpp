// The line integrations of the field prediction over the window, the rest of the core and the
// apron, the final offset of a balanced line and the floating conductors.
#include "csolver/prediction_stages.h"

#include <algorithm>
#include <cstdint>
#include <string>
#include <vector>

#include "core/materials.h"
#include "csolver/capacitance_job.h"
#include "csolver/summation.h"

namespace zolva {

namespace {

constexpr std::uint8_t kFreeBits = NodeFree | NodeFreeMixed;

bool FreeAt(const SolverGrid& g, int x, int y) {
  return (g.Ccode[CoreIndex(g, x, y)] & kFreeBits) != 0;
}

double& CoreVolts(SolverGrid& g, int x, int y) {
  return g.Cvolts.at(CoreIndex(g, x, y));
}

// One line of the window from its border node at position `lo` to that at `hi` (rows of a
// column, or columns of a row); at(p) names the node at position p.
template <typename At>
void WindowLine(const CapacitanceJob& job, PredictionWork& w, int lo, int hi, At at, int dx,
                int dy) {
  SolverGrid& g = job.grid;
  auto isFree = [&](int p) {
    const auto [x, y] = at(p);
    return FreeAt(g, x, y);
  };
  auto volts = [&](int p) -> double& {
    const auto [x, y] = at(p);
    return CoreVolts(g, x, y);
  };
  // The first and last free nodes take the border's potentials.
  int t = lo;
  for (int p = lo; p <= hi - 1; ++p)
    if (isFree(p)) {
      t = p;
      break;
    }
  volts(t) = volts(lo);
  int u = hi;
  for (int p = hi; p >= lo + 1; --p)
    if (isFree(p)) {
      u = p;
      break;
    }
  volts(u) = volts(hi);
  // Up to the last obstacle from the far end, then down to the first obstacle from the near one.
  int k = t + 1;
  for (int p = u - 1; p >= t + 1; --p)
    if (!isFree(p)) {
      k = p;
      break;
    }
  if (u - k > 1) {
    const auto [x, y] = at(u);
    IntegrateLine(job, w, x, y, -dx, -dy, u - k - 1);
  }
  k = u - 1;
  for (int p = t + 1; p <= u - 1; ++p)
    if (!isFree(p)) {
      k = p;
      break;
    }
  if (k - t > 1) {
    const auto [x, y] = at(t);
    IntegrateLine(job, w, x, y, dx, dy, k - 1 - t);
  }
}

}  // namespace

void IntegrateWindow(const CapacitanceJob& job, PredictionWork& w) {
  const SolverGrid& g = job.grid;
  job.report.ShowProgress("D1");
  for (int x = g.predictLeft + 1; x <= g.predictRight - 1; ++x) {
    if (job.state.abortRequested) break;
    WindowLine(
        job, w, g.predictTop, g.predictBottom,
        [x](int p) {
          return std::pair{x, p};
        },
        0, 1);
  }
  for (int y = g.predictTop + 1; y <= g.predictBottom - 1; ++y) {
    if (job.state.abortRequested) break;
    WindowLine(
        job, w, g.predictLeft, g.predictRight,
        [y](int p) {
          return std::pair{p, y};
        },
        1, 0);
  }
  FloodWindow(job, w);
}

void FloodWindow(const CapacitanceJob& job, PredictionWork& w) {
  SolverGrid& g = job.grid;
  const int L = g.predictLeft, R = g.predictRight, T = g.predictTop, B = g.predictBottom;
  // Right, left, down, up.
  static constexpr int kDx[4] = {1, -1, 0, 0};
  static constexpr int kDy[4] = {0, 0, 1, -1};
  struct Frame {
    int x, y;
    int next;  // the next neighbour to try
    bool hasField;
    FieldVector e;
  };
  std::vector<Frame> stack;
  for (const bool nearSurface : {false, true}) {
    bool setAny = true;
    while (setAny && !job.state.abortRequested) {
      setAny = false;
      for (int x = L; x <= R - 1; ++x) {
        for (int y = T + 1; y <= B - 1; ++y) {
          if (!(g.Ccode[CoreIndex(g, x, y)] & NodeMarked)) continue;
          stack.push_back({x, y, 0, false, {}});
          while (!stack.empty()) {
            Frame& f = stack.back();
            if (f.next == 4) {
              stack.pop_back();
              continue;
            }
            const int d = f.next++;
            const int nx = f.x + kDx[d], ny = f.y + kDy[d];
            if (nx < L || nx > R || ny < T || ny > B || job.state.abortRequested) continue;
            const std::size_t n = CoreIndex(g, nx, ny);
            const std::uint8_t c = g.Ccode[n];
            if (!(c & kFreeBits) || (c & NodeMarked) || ((c & NodeNearSurface) != 0) != nearSurface)
              continue;
            // The source's field is needed only once it passes its potential on.
            if (!f.hasField) {
              f.e = FieldAt(job, w, f.x, f.y);
              f.hasField = true;
            }
            const FieldVector e = FieldAt(job, w, nx, ny);
            const double eps = CoreStepPermittivity(job, nx, ny);
            const double V = CoreVolts(g, f.x, f.y);
            g.Cvolts[n] =
                kDx[d] != 0 ? V - (f.e.x + e.x) * eps * kDx[d] : V - (f.e.y + e.y) * eps * kDy[d];
            g.Ccode[n] |= NodeMarked;
            setAny = true;
            CountStep(job, w);
            // Depth first: the new node's neighbours before the source's next one. (f may
            // dangle after the push.)
            stack.push_back({nx, ny, 0, true, e});
          }
        }
      }
    }
  }
}

void IntegrateCoreOutside(const CapacitanceJob& job, PredictionWork& w) {
  const SolverGrid& g = job.grid;
  const int L = g.predictLeft, R = g.predictRight, T = g.predictTop, B = g.predictBottom;
  const int mx = (L + R) / 2, my = (T + B) / 2;
  std::vector<int> columns, rows;
  for (int x = mx; x >= L; --x) columns.push_back(x);
  for (int x = mx + 1; x <= R; ++x) columns.push_back(x);
  for (int y = my; y >= 0; --y) rows.push_back(y);
  for (int y = my + 1; y <= g.Chei - 1; ++y) rows.push_back(y);

  job.report.ShowProgress("D2");
  for (int x : columns)
    if (!job.state.abortRequested && FreeAt(g, x, T)) IntegrateLine(job, w, x, T, 0, -1, T);
  job.report.RefreshDisplay();
  job.report.ShowProgress("D3");
  for (int x : columns)
    if (!job.state.abortRequested && FreeAt(g, x, B))
      IntegrateLine(job, w, x, B, 0, 1, g.Chei - 1 - B);
  job.report.RefreshDisplay();
  job.report.ShowProgress("D4");
  for (int y : rows)
    if (!job.state.abortRequested && FreeAt(g, L, y)) IntegrateLine(job, w, L, y, -1, 0, L);
  job.report.RefreshDisplay();
  job.report.ShowProgress("D5");
  for (int y : rows)
    if (!job.state.abortRequested && FreeAt(g, R, y))
      IntegrateLine(job, w, R, y, 1, 0, g.Cwid - 1 - R);
  job.report.RefreshDisplay();
}

void IntegrateApron(const CapacitanceJob& job, PredictionWork& w) {
  SolverGrid& g = job.grid;
  const int AW = g.Awid, AH = g.Ahei;
  const int fl = g.CtoAX >> 3, fr = (g.Cwid + g.CtoAX - 1) >> 3;
  const int ft = g.CtoAY >> 3, fb = (g.Chei + g.CtoAY - 1) >> 3;
  const int amx = (fl + fr) / 2, amy = (ft + fb) / 2;
  auto apronFree = [&](int aX, int aY) {
    return (g.Acode[ApronIndex(g, aX, aY)] & kFreeBits) != 0;
  };
  auto apronVolts = [&](int aX, int aY) -> double& { return g.Avolts.at(ApronIndex(g, aX, aY)); };
  std::vector<int> columns;
  for (int a = amx; a >= fl; --a) columns.push_back(a);
  for (int a = amx + 1; a <= fr; ++a) columns.push_back(a);

  // Above and below the footprint: columns from the core's top and bottom rows.
  auto vertical = [&](const char* stage, int edgeRow, int coreRow, int dy, int n) {
    if (job.state.abortRequested) return;
    job.report.ShowProgress(stage);
    CacheApronField(job, w, fl, fr, dy < 0 ? 0 : edgeRow, dy < 0 ? edgeRow : AH - 1);
    for (int a : columns) {
      if (job.state.abortRequested) break;
      if (apronFree(a, edgeRow)) apronVolts(a, edgeRow) = CoreVolts(g, 8 * a + g.AtoCX, coreRow);
      IntegrateApronLine(job, w, a, edgeRow, 0, dy, n);
    }
    job.report.RefreshDisplay();
  };
  vertical("D6", ft, 0, -1, ft);
  vertical("D7", fb, g.Chei - 1, 1, AH - 1 - fb);

  // Left and right of it: rows from the core's first and last columns, or beyond the
  // footprint's top and bottom from what the columns left on its edge column.
  auto horizontal = [&](const char* stage, int edgeCol, int coreCol, int dx, int r0, int r1) {
    if (job.state.abortRequested) return;
    job.report.ShowProgress(stage);
    CacheApronField(job, w, dx < 0 ? 0 : edgeCol, dx < 0 ? edgeCol : AW - 1, r1, r0);
    const int n = dx < 0 ? edgeCol : AW - 1 - edgeCol;
    for (int r = r0; r >= r1; --r) {
      if (job.state.abortRequested) break;
      if (apronFree(edgeCol, r) && r >= ft && r <= fb)
        apronVolts(edgeCol, r) = CoreVolts(g, coreCol, 8 * r + g.AtoCY);
      IntegrateApronLine(job, w, edgeCol, r, dx, 0, n);
    }
    job.report.RefreshDisplay();
  };
  horizontal("D8", fl, 0, -1, AH - 1, amy + 1);
  horizontal("D9", fl, 0, -1, amy, 0);
  horizontal("D10", fr, g.Cwid - 1, 1, AH - 1, amy + 1);
  horizontal("D11", fr, g.Cwid - 1, 1, amy, 0);
}

void ApplyFinalOffset(const CapacitanceJob& job) {
  SolverGrid& g = job.grid;
  double& VoC = job.results.VoC;
  BorderFlux(job);
  const double old = VoC;
  VoC = std::clamp(VoC - g.borderMean, -0.999, 0.999);
  const double d = (VoC - old) / 10;
  // The +1 and -1 volt conductors move with the offset and the ground stays: a conductor node is
  // told by its voltage, since a node's material colour is that of the cell below and right of
  // it, which is the dielectric along a conductor's lower and right edges.
  auto shift = [d](std::vector<double>& volts, const std::vector<std::uint8_t>& code,
                   std::uint8_t freeMark) {
    const std::size_t n = std::min(volts.size(), code.size());
    for (std::size_t i = 0; i < n; ++i) {
      const bool moves = ((code[i] & NodeConductor) && volts[i] != 0.0) || (code[i] & freeMark);
      if (moves) volts[i] += d;
    }
  };
  for (int step = 1; step <= 10; ++step) {
    job.report.ShowProgress(ProgressText('E', step));
    shift(g.Cvolts, g.Ccode, NodeMarked);
    shift(g.Avolts, g.Acode, kFreeBits);
    job.report.RefreshDisplay();
    if (step < 10) job.platform.Sleep(5);
  }
}

void SetFloatingConductors(const CapacitanceJob& job) {
  SolverGrid& g = job.grid;
  const UsermapPalette& palette = job.materials.palette;
  const int surfaces = std::min(g.surfaceCount, static_cast<int>(g.surfaceList.size()));
  for (int colour = std::min(palette.count, kPaletteCapacity) - 1; colour >= 0; --colour) {
    if (palette.entries[static_cast<std::size_t>(colour)].kind != KindFloat) continue;
    double sum = 0.0;
    int count = 0;
    for (int j = 0; j < surfaces; ++j) {
      const SurfaceRecord& r = g.surfaceList[static_cast<std::size_t>(j)];
      if (r.sM != colour || !FreeAt(g, r.insX, r.insY)) continue;
      sum += CoreVolts(g, r.insX, r.insY);
      ++count;
    }
    double& v = job.results.floatVolts.at(static_cast<std::size_t>(colour));
    if (count > 0) v = sum / count;
    SetConductorNodes(job, colour, v);
  }
}

}  // namespace zolva
