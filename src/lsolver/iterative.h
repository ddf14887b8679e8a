// The iterative solve of the current equations, beside their dense elimination.
//
// The pixel block Z (the pixel resistances on the diagonal, -j omega L(|dx|, |dy|) / 2 off it) is
// complex symmetric, and its product with a vector is a convolution (pixel_convolution.h). The
// voltages enter the pixel equations only as the voltage of each pixel's conductor, so the
// currents are I = sum over the voltage unknowns c of V_c x_c, where Z x_c = 1_c (1_c marks the
// pixels of conductor c). The remaining equations (the currents add up to zero, the drive, the
// ground at 0 V, no net current in a floating conductor) are linear in the sums of x_c over the
// conductors' pixels, which leaves a small system for the voltages.
//
// Because the currents of the solution add up to zero, a constant added to every mutual
// coefficient changes nothing: Z I and (Z + s 1 1^T) I agree. The solve adds the constant that
// makes every coefficient of the inductive part non-negative, -L(d) / 2 + L(D) / 2 with D the
// diagonal of the box. Without it, currents of one sign over the whole box would see a large
// negative inductance, and the preconditioner (below) would be built on a kernel whose
// transform changes sign.
//
// When the voltages left free by the drive pair with the currents held to zero (every case but
// the one with all three fixed kinds), one solve suffices: on the currents that add up to zero
// over the fixed conductors and over each floating one, Z I = d (the drive) up to one common
// voltage per such part. Otherwise each Z x_c = 1_c is solved.
//
// The solves use the conjugate orthogonal conjugate gradient method (COCG, the conjugate gradient
// method for complex symmetric matrices with the unconjugated product). Its preconditioner is the
// inverse of the same system over the whole padded box with the mean pixel resistance: a
// circulant matrix, inverted by the same transforms. The inductive part is an operator that
// smooths (like the inverse of a Laplacian), so its eigenvalues spread as the square of the
// conductor's size in pixels; the circulant inverse undoes most of that spread. All sums run in a
// fixed order on the calling thread, so one input gives the same bits on every run.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <vector>

#include "lsolver/pixel_impedance.h"

namespace zolva {

class WorkerPool;

// One equation besides the pixel equations: sum over the pixels of groupWeight[group of pixel]
// times its current, plus sum over c of voltage[c] V_c, equals rhs.
struct ConstraintRow {
  std::vector<double> groupWeight;  // one per voltage unknown
  std::vector<double> voltage;      // one per voltage unknown
  double rhs = 0.0;
};

// The current equations as the iterative solve takes them.
struct CurrentProblem {
  int N = 0;       // pixels
  int groups = 0;  // voltage unknowns
  const std::int32_t* x = nullptr;
  const std::int32_t* y = nullptr;
  const double* resistance = nullptr;  // self term of every pixel, ohms per metre
  const int* group = nullptr;          // voltage unknown 0..groups-1 of every pixel
  const LoopModel* loop = nullptr;
  double omega = 0.0;
  std::vector<ConstraintRow> rows;  // `groups` rows
  // The projected form, for the equations in which the voltages left free pair with the currents
  // held to zero: when both the current sum over the pixels of every part is zero and the
  // voltages of a part differ only by a common voltage, the currents solve Z I = d + sum over
  // the parts of their common voltage on their pixels, with d = sum of drive[c] on the pixels of
  // c. Empty: the general form above.
  std::vector<int> part;      // per voltage unknown: its part 0, 1, ...
  std::vector<double> drive;  // per voltage unknown: its voltage when every common voltage is 0
};

struct IterativeTuning {
  double tolerance = 1e-11;  // relative residual of each pixel-block solve
  int maxIterations = 20000;
  bool shift = true;  // add the constant that makes the inductive part positive (see above)
  // Diagonal: the diagonal. Circulant: the inverse of the system over the whole padded box with
  // the mean pixel resistance, a convolution too (see pixel_convolution.h).
  enum class Preconditioner { Diagonal, Circulant };
  Preconditioner preconditioner = Preconditioner::Circulant;
};

struct IterativeProgress {
  int solve = 0;  // 1..solves
  int solves = 0;
  int iteration = 0;
  double residual = 1.0;  // relative
};

// Called after every iteration; returning false stops the solve.
using IterativePoll = std::function<bool(const IterativeProgress&)>;

enum class IterativeStatus { Completed, Stopped, NotConverged, Singular };

struct IterativeResult {
  IterativeStatus status = IterativeStatus::Completed;
  int iterations = 0;         // over all solves
  int mostIterations = 0;     // of one solve
  double residual = 0.0;      // the largest final relative residual, recomputed from the currents
  std::size_t gridCells = 0;  // cells of the padded box the transforms run over
};

// Solves the problem: solution receives N currents, then the groups voltages. The convolution's
// transforms are shared over `threads` participants of the pool (started and stopped here). Throws
// std::bad_alloc when the memory cannot be had.
IterativeResult SolveCurrentsIteratively(const CurrentProblem& problem, WorkerPool& pool,
                                         int threads, const IterativePoll& poll,
                                         std::vector<complex>& solution,
                                         const IterativeTuning& tuning = {});

// Several solves of a problem in its projected form, one per drive (each a voltage per voltage
// unknown, as CurrentProblem::drive), sharing the transforms and the preconditioner: solutions[k]
// receives the currents and voltages of drives[k]. The problem's own drive is not used.
IterativeResult SolveCurrentDrives(const CurrentProblem& problem,
                                   const std::vector<std::vector<double>>& drives, WorkerPool& pool,
                                   int threads, const IterativePoll& poll,
                                   std::vector<std::vector<complex>>& solutions,
                                   const IterativeTuning& tuning = {});

// Bytes the iterative solve of N pixels and `groups` voltage unknowns in a bounding box of the
// given size holds at most.
std::size_t IterativeMemoryBytes(int N, int groups, int boxWidth, int boxHeight);

// Which method solves the current equations of h unknowns whose iterative solve takes `solves`
// solves of the pixel block in a bounding box of the given size. The elimination's work grows as
// h^3 and its memory as h^2; the iterative solve's as the area of the padded bounding box (times
// the iteration count, which grows with the conductors' size in skin depths). The choice is made
// from both, by the costs measured on this kind of processor.
enum class CurrentMethod { Elimination, Iterative };
CurrentMethod ChooseCurrentMethod(int h, int solves, int boxWidth, int boxHeight);

}  // namespace zolva
