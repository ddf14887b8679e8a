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

// A frequency sweep of a generated cross-section draws all its frequencies at one pixel width.
// With "Restrict to skin depth" the pixel total is spread over a layer that thins as the frequency
// rises, so a width per frequency would change the pixel model from step to step, and L(f) would
// jump with it. The width is measured by trial builds: the one the panel's total gives at the
// highest frequency, made coarser where needed so that the lowest frequency (the thickest layer)
// holds at most about twice the panel's total. It is named on the status line. Ends with the
// object; a Usermap keeps its own width and is left alone.
class SweepResolution {
 public:
  SweepResolution(Context& ctx, double lowestMHz, double highestMHz);
  ~SweepResolution();
  SweepResolution(const SweepResolution&) = delete;
  SweepResolution& operator=(const SweepResolution&) = delete;
  double PixelWidth() const { return width_; }

 private:
  Context& ctx_;
  double width_ = 0.0;
};

// The table's points from the L and Rs solves of a frequency sweep and one C and Gp solve.
std::vector<RlgcPoint> CombineRlgc(std::vector<RlgcPoint> lAndRs, const CapacitanceSolve& c);

}  // namespace zolva
