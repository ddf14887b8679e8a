// The relaxation round written the plain way: the eight sweeps with columns as lines where the
// sweep runs along columns, every node updated on its own from the grid as it stands, a plain
// node as 0.375 (((left + right) + up) + down) - 0.5 V and a weighted one as 1.5 W - 0.5 V
// with W from CoreWeighted or ApronWeighted (permittivity lookups for every node). It is slow
// and kept only as the reference that the round kernel must reproduce.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "csolver/capacitance_job.h"
#include "csolver/relaxation.h"
#include "csolver/solver_grid.h"

namespace zolva::testing {

inline void LiteralNodeUpdate(const CapacitanceJob& job, LatticeId lattice, int x, int y) {
  SolverGrid& g = job.grid;
  const bool core = lattice == LatticeCore;
  std::vector<double>& V = core ? g.Cvolts : g.Avolts;
  const std::size_t W = static_cast<std::size_t>(core ? g.Cwid : g.Awid);
  const std::size_t i = static_cast<std::size_t>(y) * W + static_cast<std::size_t>(x);
  const std::uint8_t code = (core ? g.Ccode : g.Acode).at(i);
  if (code & NodeFree) {
    // A plain node never lies on its lattice's edge; at() would throw if one did.
    V[i] = 0.375 * (((V.at(i - 1) + V.at(i + 1)) + V.at(i - W)) + V.at(i + W)) - 0.5 * V[i];
  } else if (code & NodeFreeMixed) {
    const double w = core ? CoreWeighted(job, x, y) : ApronWeighted(job, x, y);
    V[i] = 1.5 * w - 0.5 * V[i];
  }
}

// Sweep 1 to 8 of a round, in the order of the sweep table.
inline void LiteralSweep(const CapacitanceJob& job, int sweep) {
  const SolverGrid& g = job.grid;
  auto core = [&](int x, int y) { LiteralNodeUpdate(job, LatticeCore, x, y); };
  auto apron = [&](int x, int y) { LiteralNodeUpdate(job, LatticeApron, x, y); };
  const int CW = g.Cwid, CH = g.Chei, AW = g.Awid, AH = g.Ahei;
  switch (sweep) {
    case 1:  // core columns descending, rows descending
      for (int x = CW - 1; x >= 0; --x)
        for (int y = CH - 1; y >= 0; --y) core(x, y);
      break;
    case 2:  // apron columns descending, rows ascending
      for (int x = AW - 1; x >= 0; --x)
        for (int y = 0; y < AH; ++y) apron(x, y);
      break;
    case 3:  // core rows descending, columns descending
      for (int y = CH - 1; y >= 0; --y)
        for (int x = CW - 1; x >= 0; --x) core(x, y);
      break;
    case 4:  // apron rows descending, columns ascending
      for (int y = AH - 1; y >= 0; --y)
        for (int x = 0; x < AW; ++x) apron(x, y);
      break;
    case 5:  // core columns ascending, rows ascending
      for (int x = 0; x < CW; ++x)
        for (int y = 0; y < CH; ++y) core(x, y);
      break;
    case 6:  // apron columns ascending, rows descending
      for (int x = 0; x < AW; ++x)
        for (int y = AH - 1; y >= 0; --y) apron(x, y);
      break;
    case 7:  // core rows ascending, columns ascending
      for (int y = 0; y < CH; ++y)
        for (int x = 0; x < CW; ++x) core(x, y);
      break;
    default:  // apron rows ascending, columns descending
      for (int y = 0; y < AH; ++y)
        for (int x = AW - 1; x >= 0; --x) apron(x, y);
      break;
  }
}

// One participant's round: sweeps 1 to 8, the apron's only while it is active.
inline void LiteralRound(const CapacitanceJob& job) {
  for (int sweep = 1; sweep <= 8; ++sweep)
    if (sweep % 2 == 1 || job.grid.apronActive) LiteralSweep(job, sweep);
}

}  // namespace zolva::testing
