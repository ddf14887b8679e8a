// The solves behind an RLGC table of the current cross-section: one C and Gp solve, and one L and
// Rs solve per frequency, as the scripted solves make them.
#pragma once

#include <string>
#include <vector>

#include "program/rlgc_model.h"

namespace zolva {

struct Context;

// G at frequency f from a C and Gp solve at frequency f0: the loss of the dielectrics grows in
// proportion to the frequency (Gp = w e0 sum(e tan d |E|^2) / 2), so G(f) = Gp f / f0.
struct CapacitanceSolve {
  double C = 0.0;           // F/m
  double GpPerHertz = 0.0;  // Gp / f0, S/(m Hz); 0 when the solve ran at 0 Hz
};

// Sets the frequency field to each frequency (MHz) in turn and solves: first C and Gp at the
// first frequency, then L and Rs at every one. The points carry R, L, G and C. False, with the
// reason (which names the solve), when a solve did not complete; the points reached stay.
bool SolveRlgcSweep(Context& ctx, const std::vector<double>& frequenciesMHz,
                    std::vector<RlgcPoint>& points, std::string& failure);

// The table's points from the L and Rs solves of a frequency sweep and one C and Gp solve.
std::vector<RlgcPoint> CombineRlgc(std::vector<RlgcPoint> lAndRs, const CapacitanceSolve& c);

}  // namespace zolva
