#include "csolver/flux.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <stdexcept>
#include <string>

#include "csolver/field_painting.h"
#include "csolver/solver_grid.h"

namespace zolva {

namespace {

constexpr double kTwoPi = 6.283185307179586;

bool Free(std::uint8_t code) {
  return (code & (NodeFree | NodeFreeMixed)) != 0;
}

bool Set(double psi) {
  return psi != kFluxUnset;
}

// Permittivity of every cell of a lattice, looked up once per painting from its palette index.
std::vector<double> CellPermittivities(const MaterialTables& materials,
                                       const std::vector<std::uint8_t>& mat, std::size_t n) {
  std::array<double, kPaletteCapacity> byIndex{};
  for (int i = 0; i < kPaletteCapacity; ++i)
    byIndex[static_cast<std::size_t>(i)] = PalettePermittivity(materials, i);
  std::vector<double> eps(n, 1.0);
  const std::size_t m = std::min(n, mat.size());
  for (std::size_t i = 0; i < m; ++i) eps[i] = byIndex[mat[i]];
  return eps;
}

// The seed: the first free core node on rings of growing radius around the map's centre. The
// rings stay inside the core.
bool FindSeed(const SolverGrid& g, int x, int y, int& sx, int& sy) {
  const int maxR = std::max(g.Cwid, g.Chei) + std::max(std::abs(x), std::abs(y));
  auto test = [&](int cx, int cy) {
    if (cx < 0 || cy < 0 || cx >= g.Cwid || cy >= g.Chei) return false;
    if (!Free(g.Ccode[static_cast<std::size_t>(cy) * static_cast<std::size_t>(g.Cwid) +
                      static_cast<std::size_t>(cx)]))
      return false;
    sx = cx;
    sy = cy;
    return true;
  };
  for (int r = 0; r < std::min(2000, maxR + 1); ++r) {
    for (int e = -r; e <= r; ++e) {
      if (test(x + e, y + r) || test(x + e, y - r) || test(x + r, y + e) || test(x - r, y + e))
        return true;
    }
  }
  return false;
}

// The running estimate of the flux period from the jumps met across the cut. A jump joins the
// estimate when it is near the mean; one far larger means the earlier ones were not the cut.
struct PeriodEstimate {
  double sum = 0.0;
  int count = 0;
  void Offer(double jump) {
    if (count == 0) {
      sum = jump;
      count = 1;
      return;
    }
    const double r = jump * count / sum;
    if (r > 1.44) {
      sum = jump;
      count = 1;
    } else if (r > 0.75) {
      sum += jump;
      ++count;
    }
  }
};

// Probes one line of the core for the cut: where two neighbouring free nodes differ by more than
// 1, the second is integrated again from the first and the difference offered as a jump.
void ProbeLine(const FluxLattice& L, int fixed, bool alongRow, int from, int to,
               PeriodEstimate& period, bool& found) {
  const int W = L.width;
  auto node = [&](int t) {
    return alongRow ? static_cast<std::size_t>(fixed) * W + t
                    : static_cast<std::size_t>(t) * W + fixed;
  };
  for (int t = from; t < to; ++t) {
    const std::size_t i = node(t), j = node(t + 1);
    if (!Free(L.code[i]) || !Free(L.code[j])) continue;
    const double old = L.psi[j];
    if (!Set(L.psi[i]) || !Set(old) || std::abs(L.psi[i] - old) <= 1.0) continue;
    L.psi[j] = kFluxUnset;
    IntegrateFluxRun(L, t, t + 1, fixed, alongRow);
    if (!Set(L.psi[j])) {
      L.psi[j] = old;
      continue;
    }
    period.Offer(std::abs(L.psi[j] - old));
    found = true;
  }
}

// Corner nodes carry on the slope of their row; a corner that is not free holds 0.
void ExtrapolateCorners(const FluxLattice& L) {
  const int W = L.width, H = L.height;
  if (W < 3 || H < 1) return;
  auto at = [&](int x, int y) -> double& { return L.psi[static_cast<std::size_t>(y) * W + x]; };
  auto corner = [&](int x, int y, int step) {
    const std::size_t i = static_cast<std::size_t>(y) * W + x;
    at(x, y) = Free(L.code[i]) ? 2.0 * at(x + step, y) - at(x + 2 * step, y) : 0.0;
  };
  corner(0, 0, 1);
  corner(W - 1, 0, -1);
  corner(0, H - 1, 1);
  corner(W - 1, H - 1, -1);
}

// A run with the side rule: when it ends beside a conductor on the given side (a wall the later
// runs of the other direction cannot cross), every node of the run also sends a run towards the
// apron's border on that side.
void RunWithSide(const FluxLattice& L, int start, int end, int fixed, bool alongRow, int side) {
  const int written = IntegrateFluxRun(L, start, end, fixed, alongRow);
  if (written == 0) return;
  const int dir = end > start ? 1 : -1;
  const int last = start + dir * written;
  const int W = L.width, H = L.height;
  int lx = alongRow ? last : fixed, ly = alongRow ? fixed : last;
  int nx = alongRow ? lx : lx + side, ny = alongRow ? ly + side : ly;
  if (nx < 0 || ny < 0 || nx >= W || ny >= H) return;
  const std::size_t li = static_cast<std::size_t>(ly) * W + lx;
  const std::size_t ni = static_cast<std::size_t>(ny) * W + nx;
  if ((L.code[li] & NodeConductor) || !(L.code[ni] & NodeConductor)) return;
  for (int t = start; t != last; t += dir) {
    if (alongRow) {
      IntegrateFluxRun(L, fixed, side < 0 ? 0 : H - 1, t, false);
    } else {
      IntegrateFluxRun(L, fixed, side < 0 ? 0 : W - 1, t, true);
    }
  }
}

void PaintFluxBlock(DisplayField& field, int fx, int fy, int size, std::uint32_t colour) {
  for (int y = fy; y < fy + size; ++y) {
    if (y < 0 || y >= kFieldSize) continue;
    for (int x = fx; x < fx + size; ++x) {
      if (x < 0 || x >= kFieldSize) continue;
      field.pixels[static_cast<std::size_t>(y) * kFieldSize + x] = colour;
    }
  }
}

}  // namespace

int IntegrateFluxRun(const FluxLattice& L, int start, int end, int fixed, bool alongRow) {
  const int W = L.width, H = L.height;
  const int len = alongRow ? W : H, other = alongRow ? H : W;
  if (start < 0 || start >= len || end < 0 || end >= len || fixed < 0 || fixed >= other)
    throw std::out_of_range("IntegrateFluxRun: run " + std::to_string(start) + " to " +
                            std::to_string(end) + " on line " + std::to_string(fixed) +
                            " outside a lattice of " + std::to_string(W) + " x " +
                            std::to_string(H));
  auto node = [&](int t) -> long long {
    return alongRow ? static_cast<long long>(fixed) * W + t : static_cast<long long>(t) * W + fixed;
  };
  if (!Set(L.psi[node(start)]) || start == end) return 0;
  const int dir = end > start ? 1 : -1;
  const long long a = alongRow ? dir : static_cast<long long>(dir) * W;
  const long long b = alongRow ? static_cast<long long>(dir) * W : -dir;
  // The perpendicular line on the +b and the -b side; a side beyond the lattice carries no flux.
  const int plusLine = alongRow ? fixed + dir : fixed - dir;
  const int minusLine = alongRow ? fixed - dir : fixed + dir;
  const bool hasPlus = plusLine >= 0 && plusLine < other;
  const bool hasMinus = minusLine >= 0 && minusLine < other;
  const double* V = L.V;
  const double* eps = L.eps;
  const double k = L.k;
  // The cell on one side of a link is named by the least of its four nodes, its top-left one.
  auto cell = [&](long long p, long long q, long long s) {
    return std::min(std::min(p, q), std::min(p + s, q + s));
  };
  const int steps = std::abs(end - start);
  int t = start;
  int written = 0;
  for (int s = 0; s < steps; ++s) {
    const long long P = node(t);
    t += dir;
    const long long N = node(t);
    if (Set(L.psi[N])) break;
    const double ep = hasPlus ? eps[cell(P, N, b)] : 0.0;
    const double em = hasMinus ? eps[cell(P, N, -b)] : 0.0;
    double flux = 0.0;
    if (hasPlus) flux += ep * ((V[P + b] - V[P]) + (V[N + b] - V[N]));
    if (hasMinus) flux += em * ((V[P] - V[P - b]) + (V[N] - V[N - b]));
    const double candidate = L.psi[P] + k * flux;
    double value = candidate;
    // A second estimate through a neighbouring line that already holds psi keeps neighbouring
    // runs consistent; they are averaged when they agree, as they do away from the cut.
    const int beyond = t + dir;
    if (beyond >= 0 && beyond < len) {
      const long long Na = N + a;
      const double twice =
          ((L.code[Na] & NodeConductor) || (L.code[P] & NodeConductor)) ? 2.0 : 1.0;
      bool haveEstimate = false;
      double e = 0.0;
      if (hasPlus && Set(L.psi[N + b])) {
        const double er = eps[cell(N, Na, b)];
        const double d = twice * k *
                         (ep * ((V[P + b] - V[N + b]) + (V[P] - V[N])) +
                          er * ((V[N + b] - V[Na + b]) + (V[N] - V[Na])));
        e = L.psi[N + b] - d;
        haveEstimate = true;
      } else if (hasMinus && Set(L.psi[N - b])) {
        const double es = eps[cell(N, Na, -b)];
        const double d = twice * k *
                         (em * ((V[P] - V[N]) + (V[P - b] - V[N - b])) +
                          es * ((V[N] - V[Na]) + (V[N - b] - V[Na - b])));
        e = L.psi[N - b] + d;
        haveEstimate = true;
      }
      if (haveEstimate && std::abs(candidate - e) < 0.25) value = (candidate + e) / 2.0;
    }
    L.psi[N] = value;
    ++written;
    if (!Free(L.code[N])) break;
    if (L.fluxNodes) ++*L.fluxNodes;
  }
  return written;
}

void BuildFluxWheel(DisplayField& field) {
  for (int i = 0; i < 256; ++i) {
    const double th = kTwoPi * i / 256.0;
    auto level = [](double c) {
      return static_cast<std::uint32_t>(std::nearbyint(255.0 * (c / 2.0 + 0.5)));
    };
    field.fluxWheel[static_cast<std::size_t>(i)] = level(std::cos(th)) +
                                                   256 * level(std::cos(th + kTwoPi / 3)) +
                                                   65536 * level(std::cos(th + 2 * kTwoPi / 3));
  }
}

std::uint32_t FluxColor(const DisplayField& field, double psi, bool wheel) {
  const double b = std::clamp(std::nearbyint((psi + 1.0) * 255.0 / 2.0), 0.0, 255.0);
  const auto level = static_cast<std::uint32_t>(b);
  if (wheel) return field.fluxWheel[level];
  return level * 0x010101u;
}

void ComputeFlux(const FieldPaintJob& job, DisplayField& field) {
  const SolverGrid& g = job.grid;
  const auto& sw = job.switches;
  const int W = g.Cwid, H = g.Chei;
  const std::size_t cn = static_cast<std::size_t>(W) * static_cast<std::size_t>(H);
  if (g.Cvolts.size() != cn || g.Ccode.size() != cn || g.Cmat.size() != cn) return;
  if (field.Cflux.size() != cn) field.Cflux.assign(cn, kFluxUnset);
  if (sw[Switch::FluxColourWheel]) BuildFluxWheel(field);

  field.fluxNodes = 5;
  std::fill(field.Cflux.begin(), field.Cflux.end(), kFluxUnset);
  field.freeNodes = 0;
  for (std::size_t i = 0; i < cn; ++i) field.freeNodes += Free(g.Ccode[i]) ? 1 : 0;
  field.periodFound = false;

  const std::vector<double> ceps = CellPermittivities(job.materials, g.Cmat, cn);
  FluxLattice core{g.Cvolts.data(), g.Ccode.data(), ceps.data(), field.Cflux.data(), W, H, 0.25,
                   &field.fluxNodes};

  int sx = 0, sy = 0;
  field.seedFound = FindSeed(g, job.map.mapCentreX + g.UtoCX, job.map.mapCentreY + g.UtoCY, sx, sy);
  field.seedX = sx;
  field.seedY = sy;
  if (!field.seedFound) return;  // no free node: no E lines
  field.Cflux[static_cast<std::size_t>(sy) * W + sx] = 0.0;

  // Runs through the seed, then every row and column from the seed's column and row.
  IntegrateFluxRun(core, sy, 0, sx, false);
  IntegrateFluxRun(core, sy, H - 1, sx, false);
  IntegrateFluxRun(core, sx, 0, sy, true);
  IntegrateFluxRun(core, sx, W - 1, sy, true);
  auto rowRuns = [&](int y) {
    IntegrateFluxRun(core, sx, 0, y, true);
    IntegrateFluxRun(core, sx, W - 1, y, true);
  };
  auto columnRuns = [&](int x) {
    IntegrateFluxRun(core, sy, 0, x, false);
    IntegrateFluxRun(core, sy, H - 1, x, false);
  };
  for (int y = 1; y < sy; ++y) rowRuns(y);
  for (int y = H - 2; y > sy; --y) rowRuns(y);
  for (int x = 1; x < sx; ++x) columnRuns(x);
  for (int x = W - 2; x > sx; --x) columnRuns(x);

  // Fill passes reach the nodes the straight runs could not: behind conductors, in pockets.
  double* psi = field.Cflux.data();
  const std::uint8_t* code = g.Ccode.data();
  while (field.fluxNodes < field.freeNodes) {
    const int before = field.fluxNodes;
    for (int y = 1; y <= H - 2; ++y) {
      const std::size_t row = static_cast<std::size_t>(y) * W;
      for (int x = 1; x <= W - 2; ++x) {
        const std::size_t i = row + x;
        if (Free(code[i]) && Set(psi[i]) && !Set(psi[i + 1]))
          IntegrateFluxRun(core, x, W - 1, y, true);
      }
      for (int x = W - 2; x >= 1; --x) {
        const std::size_t i = row + x;
        if (Free(code[i]) && Set(psi[i]) && !Set(psi[i - 1])) IntegrateFluxRun(core, x, 0, y, true);
      }
    }
    for (int x = 1; x <= W - 2; ++x) {
      for (int y = 1; y <= H - 2; ++y) {
        const std::size_t i = static_cast<std::size_t>(y) * W + x;
        if (Free(code[i]) && Set(psi[i]) && !Set(psi[i + W]))
          IntegrateFluxRun(core, y, H - 1, x, false);
      }
      for (int y = H - 2; y >= 1; --y) {
        const std::size_t i = static_cast<std::size_t>(y) * W + x;
        if (Free(code[i]) && Set(psi[i]) && !Set(psi[i - W]))
          IntegrateFluxRun(core, y, 0, x, false);
      }
    }
    if (field.fluxNodes == before) break;
  }
  ExtrapolateCorners(core);

  // The period: the flux around the charged conductor, met as a jump across the cut.
  PeriodEstimate period;
  bool found = false;
  auto probeFrame = [&](int m) {
    if (W - 1 - m <= m || H - 1 - m <= m) return;
    ProbeLine(core, m, false, m, H - 1 - m, period, found);
    ProbeLine(core, W - 1 - m, false, m, H - 1 - m, period, found);
    ProbeLine(core, m, true, m, W - 1 - m, period, found);
    ProbeLine(core, H - 1 - m, true, m, W - 1 - m, period, found);
  };
  probeFrame(3);
  if (W > 35 && H > 35) probeFrame(33);
  if (W > 75 && H > 75) probeFrame(73);
  if (!found) {
    for (int x = 2; x <= W - 3; ++x) ProbeLine(core, x, false, 2, H - 3, period, found);
    for (int y = 2; y <= H - 3; ++y) ProbeLine(core, y, true, 2, W - 3, period, found);
  }
  if (period.count == 0 || period.sum == 0.0) return;  // no net charge: unscaled, unwrapped
  const double mean = period.sum / period.count;
  field.periodFound = true;
  field.periodScale = 0.5 / mean;
  for (double& v : field.Cflux) {
    v = (Set(v) ? v : 0.0) * 2.0 / mean;
    if (v > 1.0) v -= 2.0;
    if (v < -1.0) v += 2.0;
  }

  const bool paintColours =
      sw[Switch::ShowFluxValues] &&
      field.pixels.size() == static_cast<std::size_t>(kFieldSize) * kFieldSize;
  const int toFieldX = g.CtoUX + job.map.mapToFieldX, toFieldY = g.CtoUY + job.map.mapToFieldY;
  if (paintColours) {
    for (int y = 0; y + 1 < H; ++y)
      for (int x = 0; x + 1 < W; ++x) {
        const std::size_t i = static_cast<std::size_t>(y) * W + x;
        if (!(Free(code[i]) || Free(code[i + 1]) || Free(code[i + W]) || Free(code[i + W + 1])))
          continue;
        PaintFluxBlock(field, x + toFieldX, y + toFieldY, 1,
                       FluxColor(field, psi[i], sw[Switch::FluxColourWheel]));
      }
  }

  if (!g.apronActive) return;
  const int AW = g.Awid, AH = g.Ahei;
  const std::size_t an = static_cast<std::size_t>(AW) * static_cast<std::size_t>(AH);
  if (g.Avolts.size() != an || g.Acode.size() != an || g.Amat.size() != an || AW < 4 || AH < 4)
    return;
  if (field.Aflux.size() != an) field.Aflux.assign(an, kFluxUnset);
  std::fill(field.Aflux.begin(), field.Aflux.end(), kFluxUnset);
  const std::vector<double> aeps = CellPermittivities(job.materials, g.Amat, an);
  FluxLattice apron{g.Avolts.data(),   g.Acode.data(),  aeps.data(), field.Aflux.data(), AW, AH,
                    field.periodScale, &field.fluxNodes};
  double* apsi = field.Aflux.data();
  auto copyEdge = [&](int x, int y) {
    const std::size_t i = static_cast<std::size_t>(y) * W + x;
    if (!Free(code[i])) return;
    const int ax = (x + g.CtoAX) >> 3, ay = (y + g.CtoAY) >> 3;
    if (ax < 0 || ay < 0 || ax >= AW || ay >= AH) return;
    apsi[static_cast<std::size_t>(ay) * AW + ax] = psi[i];
  };
  for (int y = H - 1; y >= 0; --y) {
    if (y == 0 || y == H - 1) {
      for (int x = W - 1; x >= 0; --x) copyEdge(x, y);
    } else {
      copyEdge(W - 1, y);
      copyEdge(0, y);
    }
  }
  const int midX = AW / 2, midY = AH / 2;
  const int fl = std::clamp(g.footLeft, 1, AW - 2), fr = std::clamp(g.footRight, 1, AW - 2);
  const int ft = std::clamp(g.footTop, 1, AH - 2), fb = std::clamp(g.footBottom, 1, AH - 2);
  auto footColumn = [&](int c, int side) {
    RunWithSide(apron, ft, 1, c, false, side);
    RunWithSide(apron, fb, AH - 2, c, false, side);
  };
  for (int c = midX - 1; c >= fl; --c) footColumn(c, -1);
  for (int c = midX; c <= fr; ++c) footColumn(c, 1);
  auto sideRows = [&](int r, int side) {
    RunWithSide(apron, fl, 0, r, true, side);
    RunWithSide(apron, fr, AW - 1, r, true, side);
  };
  for (int r = midY - 1; r >= 1; --r) sideRows(r, -1);
  for (int r = midY; r <= AH - 2; ++r) sideRows(r, 1);
  for (int c = 1; c <= AW - 2; ++c) {
    IntegrateFluxRun(apron, AH - 2, AH - 1, c, false);
    IntegrateFluxRun(apron, 1, 0, c, false);
  }
  ExtrapolateCorners(apron);
  for (double& v : field.Aflux) {
    if (!Set(v)) {
      v = 0.0;
      continue;
    }
    if (v > 1.0) v -= 2.0;
    if (v < -1.0) v += 2.0;
  }
  if (paintColours) {
    const int toFX = g.AtoUX + job.map.mapToFieldX, toFY = g.AtoUY + job.map.mapToFieldY;
    for (int ay = 0; ay < AH; ++ay)
      for (int ax = 0; ax < AW; ++ax) {
        if (ax >= g.footLeft && ax < g.footRight && ay >= g.footTop && ay < g.footBottom) continue;
        PaintFluxBlock(field, 8 * ax + toFX, 8 * ay + toFY, 8,
                       FluxColor(field, apsi[static_cast<std::size_t>(ay) * AW + ax],
                                 sw[Switch::FluxColourWheel]));
      }
  }
}

}  // namespace zolva
