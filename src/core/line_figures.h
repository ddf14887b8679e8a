// The two figures of a line that follow from its constants per metre: the characteristic
// impedance of the lossless line and its velocity factor.
#pragma once

#include <cmath>

namespace zolva {

// Speed of light in vacuum, metres per second.
inline constexpr double kSpeedOfLight = 299792458.0;

// Zo = sqrt(L / C), ohms, for L in H/m and C in F/m.
inline double CharacteristicImpedance(double L, double C) {
  return std::sqrt(L / C);
}

// vf = 1 / (c0 sqrt(L C)): the wave's speed as a fraction of the speed of light.
inline double VelocityFactor(double L, double C) {
  return 1.0 / (std::sqrt(L * C) * kSpeedOfLight);
}

// The impedance a line of inductance L (or capacitance C) per metre has when its velocity factor
// is vf: Zo = L c0 vf = 1 / (C c0 vf). The results show these while only one solve has run.
inline double ImpedanceFromInductance(double L, double vf) {
  return L * kSpeedOfLight * vf;
}
inline double ImpedanceFromCapacitance(double C, double vf) {
  return 1.0 / (C * kSpeedOfLight * vf);
}

}  // namespace zolva
