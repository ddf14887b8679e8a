// The current equations: one complex current per conductor pixel and one voltage per conductor,
// in one dense system. Pixel e's equation says that its voltage drop along the line, its own
// resistive drop plus the drops induced by every other pixel's current, equals the voltage of
// its conductor; further equations make the currents sum to zero, fix the difference of the
// driven conductors' voltages, hold the ground at 0 volt and let no net current flow in a
// floating conductor.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "lsolver/iterative.h"
#include "lsolver/pixel_impedance.h"

namespace zolva {

struct LSolverJob;

// The numbering of the unknowns: currents 0..N-1 in the order of the conductor index, then the
// voltages of the +1, -1 and ground conductors that are present, then one voltage per floating
// colour.
struct UnknownNumbering {
  int N = 0;  // current unknowns
  int F = 0;  // floating colours
  int h = 0;  // unknownCount
  int plusIndex = -1;
  int minusIndex = -1;
  int groundIndex = -1;
  // Per palette entry: 1..F for the floating colours, numbered from the last palette entry
  // backwards; 0 for every other entry.
  std::array<std::uint8_t, 256> floatNumber{};
};

// The augmented matrix, column by column: the coefficient of unknown k in equation e is element
// k h + e of each array; column h holds the right-hand sides.
struct SystemArrayFree {
  void operator()(double* p) const;
};
// An array of the system: page-aligned, and on Linux backed by huge pages where the system
// allows, since the elimination sweeps the whole matrix once per block of pivots.
using SystemArray = std::unique_ptr<double[], SystemArrayFree>;
// Allocates count doubles (contents unset); null when the memory cannot be had.
SystemArray AllocateSystemArray(std::size_t count);

struct CurrentSystem {
  int h = 0;
  std::size_t size = 0;  // elements of each array
  SystemArray re;
  SystemArray im;

  double& Re(int k, int e) { return re[Offset(k, e)]; }
  double& Im(int k, int e) { return im[Offset(k, e)]; }
  std::size_t Offset(int k, int e) const {
    return static_cast<std::size_t>(k) * static_cast<std::size_t>(h) + static_cast<std::size_t>(e);
  }
};

// Numbers the unknowns of the current conductor index and palette. A floating colour that no
// conductor pixel carries gets no number: its voltage would appear in no equation, and its
// zero-current equation would be empty, which would make the system singular.
UnknownNumbering NumberUnknowns(const LSolverJob& job);

// Allocates both arrays with h (h + 1) elements (contents unset; the assembly writes every
// element). Returns false when the memory cannot be had.
bool AllocateCurrentSystem(CurrentSystem& system, int h);
// Frees the arrays, leaving one element in each.
void ShrinkCurrentSystem(CurrentSystem& system);

// Fills every coefficient and right-hand side of job.lsolver.system from the conductor index,
// the numbering, the pixel resistances and the loop inductances, then exchanges equations 0
// and 1 when that makes the first pivot larger in magnitude (at high frequencies, where the
// reactance outweighs the resistance). Processes pending events while it works; returns false
// when a stop was requested.
bool AssembleCurrentSystem(const LSolverJob& job);

// Eliminates the system on the worker pool (thread count of the control panel) with a progress
// text and the time remaining. Returns false when the elimination was stopped or met a pivot that
// is zero or not finite; the latter is reported ("Equations are singular.") and sets
// operationFailed.
bool SolveCurrentSystem(const LSolverJob& job);
// Unknown e after SolveCurrentSystem: right-hand side over the diagonal coefficient.
complex SolutionValue(const LSolverJob& job, int e);

// Solves the current equations by iteration (iterative.h) on the worker pool, with the iteration
// and the residual in the status line: solution receives every unknown in the order of the
// numbering. Returns false when stopped, or after a message when the memory cannot be had or the
// iteration fails (operationFailed is then set).
bool IterateCurrentSystem(const LSolverJob& job, std::vector<complex>& solution);

void ShowIterationProgress(const LSolverJob& job, const IterativeProgress& progress);
// The poll of an iterative solve: the status and pending events at most every 100 ms, the stop
// request after every iteration.
IterativePoll IterationPoll(const LSolverJob& job);

// The status text of the elimination at pivot i: the percentage of the work done and, once the
// estimate reaches a minute, the time remaining. Shown only when either changed.
void ShowSolveProgress(const LSolverJob& job, int i);

// Fills job.lsolver.system, allocated for problem.N + problem.groups unknowns, with the problem's
// equations in their general form: the pixel equations (the pixel block, minus the voltage of the
// pixel's group), then the constraint rows. Returns false when a stop was requested.
struct CurrentProblem;
bool AssembleProblemSystem(const LSolverJob& job, const CurrentProblem& problem);

}  // namespace zolva
