// The two coefficients of the current equations, per metre of line: the resistance of one pixel
// under the skin effect (its self term) and the loop inductance of a pair of pixels (their mutual
// term), which depends only on their offset.
#pragma once

#include <array>

namespace zolva {

struct LSolverJob;

// A complex number as the current equations hold it; products and quotients use the textbook
// formulas, so that every implementation of the elimination rounds alike.
struct complex {
  double re = 0.0;
  double im = 0.0;
};

inline complex operator+(complex a, complex b) {
  return {a.re + b.re, a.im + b.im};
}
inline complex operator-(complex a, complex b) {
  return {a.re - b.re, a.im - b.im};
}
inline complex operator*(complex a, complex b) {
  return {a.re * b.re - a.im * b.im, a.re * b.im + a.im * b.re};
}
// (a + jb) / (c + jd) = ((ac + bd) + j(bc - ad)) / (c^2 + d^2), with no test for a zero divisor.
inline complex operator/(complex a, complex b) {
  const double den = b.re * b.re + b.im * b.im;
  return {(a.re * b.re + a.im * b.im) / den, (a.im * b.re - a.re * b.im) / den};
}
double Magnitude(complex z);

// The loop inductance model of one solve: tabulated values for offsets below 7 pixels in both
// directions, and the constants of the closed form for farther pairs, which follows the
// inductance of two thin parallel wires, arccosh(a d + b) mu0 / pi, fitted to pass through the
// tabulated value at distance 900.
struct LoopModel {
  std::array<std::array<double, 7>, 7> nearLoop{};  // henries per metre
  double loopSlope = 0.0;                           // a
  double loopOffset = 0.0;                          // b
};

inline constexpr double kPi = 3.141592653589793;

// Fills nearLoop and the fit constants from the tables.
void PrepareLoopInductance(LoopModel& model);
void PrepareLoopInductance(const LSolverJob& job);
// Loop inductance in henries per metre of two distinct pixels du columns and dv rows apart
// (du, dv >= 0, not both 0).
double LoopInductance(const LoopModel& model, int du, int dv);
double LoopInductance(const LSolverJob& job, int du, int dv);

// The resistance table of every conductor colour of the palette: row 1 of every letter, or with
// Switch::LayeredResistance all 32 depth rows by the layered rule. Needs the surface
// classification, the pixel width and omega.
void BuildSurfaceResistanceTable(const LSolverJob& job);
// Self term of conductor pixel j of the conductor index, ohms per metre (imaginary part 0).
complex PixelResistance(const LSolverJob& job, int j);

// The pieces of the resistance table, exposed for tests: the skin correction of a letter (0..5)
// at the ratio pixel width / skin depth, and the conducting fraction of a pixel in which the
// current falls off as exp(-k s / delta) with the depth s, for x = k w / delta.
double SkinCorrection(int letter, double widthOverDepth);
double ConductingFraction(double x);

// The tabulated values the calibration of a letter (0..5) starts from: its decay factor, and its
// skin correction at column 0..28 of the table (columns are eight per decade of w / delta).
double DecayFactor(int letter);
double SkinCorrectionColumn(int letter, int column);
inline constexpr int kSkinCorrectionColumns = 29;

}  // namespace zolva
