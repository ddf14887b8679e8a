// The line that the constants per metre describe: its propagation at one frequency, the
// scattering parameters of a length of it, and the W-element model fitted to a frequency sweep.
#pragma once

#include <complex>
#include <vector>

namespace zolva {

// The constants of the line per metre at one frequency.
struct RlgcPoint {
  double frequency = 0.0;  // Hz
  double R = 0.0;          // ohm/m, the skin-effect resistance
  double L = 0.0;          // H/m
  double G = 0.0;          // S/m, the dielectric loss
  double C = 0.0;          // F/m
};

struct Propagation {
  std::complex<double> Zo;      // characteristic impedance sqrt((R + jwL) / (G + jwC)), ohms
  std::complex<double> gamma;   // propagation constant alpha + j beta, per metre, both >= 0
  double attenuationDb = 0.0;   // 20 log10(e) alpha, dB/m
  double phaseConstant = 0.0;   // beta, rad/m
  double velocityFactor = 0.0;  // w / (beta c0)
};

// The point must have a positive frequency, L and C, and no negative R or G.
Propagation LinePropagation(const RlgcPoint& p);

// S11, S21, S12, S22 of a line `length` metres long between ports of reference impedance z0.
struct SParameters {
  std::complex<double> s11, s21, s12, s22;
};
SParameters LineSParameters(const RlgcPoint& p, double length, double z0);

// The W-element's frequency-dependent line: Z = R0 + Rs (1 + j) sqrt(f) + jw L0 and
// Y = G0 + Gd f + jw C0. Rs carries the internal inductance of the skin effect with it, so the
// model's L is L0 + Rs / (2 pi sqrt(f)).
struct WElementModel {
  double R0 = 0.0, L0 = 0.0, C0 = 0.0, G0 = 0.0, Rs = 0.0, Gd = 0.0;
  // The largest relative difference of the model's R, L and G from the points (0 where the
  // points' values are all 0).
  double worstR = 0.0, worstL = 0.0, worstG = 0.0;
};
// Fits R = R0 + Rs sqrt(f) and G = G0 + Gd f by least squares of the relative differences,
// keeping every coefficient at or above 0; L0 is the mean of L - Rs / (2 pi sqrt(f)) and C0 the
// mean C. One frequency alone, or a coefficient that would come out negative, leaves the
// constant term (or the frequency term) at 0. Needs at least one point.
WElementModel FitWElement(const std::vector<RlgcPoint>& points);

}  // namespace zolva
