// The default capacitance field solve: the difference equations of the relaxation solved to
// their fixed point by BiCGStab, preconditioned with the multigrid cycle of multigrid.h.
//
// The fixed point of the relaxation is the solution of a linear system once the held voltages
// are known. Two kinds of held voltage are themselves set by the relaxation's per-round updates:
// a floating conductor takes the mean potential of its surface links, and the common offset VoC
// of a balanced open line moves until the apron's border averages zero. Both are affine in the
// field, so the solver finds them exactly by superposition: one solve with the held voltages as
// they stand, one solve per floating conductor (its nodes at 1 volt, every other held node at 0)
// and one for the offset (the nodes the offset moves at 1 volt), a small dense system for the
// voltages that satisfy the updates' fixed point, the combination, and a last solve from it.
#pragma once

#include <functional>
#include <memory>

#include "core/results.h"

namespace zolva {

struct CapacitanceJob;

// Relative residual (2-norm) at which a solve ends; the capacitance must also have settled.
inline constexpr double kFieldSolveTolerance = 1e-10;
inline constexpr double kFieldSolveSettled = 1e-9;

// After the charge distribution (and the prediction): reduces the node codes, plans, solves and
// sums the results (FinishCapacitance). Switch::SkipRelaxation skips the solve. A solve that does
// not reach its tolerance within the iteration limit says so, restores `before` into the results
// record and reports nothing.
void PrepareFieldSolve(const CapacitanceJob& job, const Results& before);
// Continues a stopped solve on the grid as it stands, by the solver the job selects, and sums
// the results: the Resume button.
void ResumeCapacitance(const CapacitanceJob& job);
enum class FieldSolveEnd {
  Converged,  // the tolerance was reached (with "Unending run": and the user stopped later)
  Stopped,    // the user stopped before; the figures reached can be resumed
  Failed,     // the iteration limit came first
};

// The solve itself, on the planned grid, from the voltages it holds.
FieldSolveEnd SolveField(const CapacitanceJob& job);

// The multigrid hierarchy of one planned grid with its worker pool, kept for several solves of
// the same node codes with different held voltages (one drive per conductor of a coupled line).
// The pool runs for the solver's life.
class FieldSolver {
 public:
  explicit FieldSolver(const CapacitanceJob& job);
  ~FieldSolver();
  FieldSolver(const FieldSolver&) = delete;
  FieldSolver& operator=(const FieldSolver&) = delete;
  // Solves from the voltages the grid holds. fixedDrive: every fixed conductor keeps the voltage
  // it was given (no offset of a balanced line is searched), and the fields of the floating
  // conductors are solved once and reused by the later drives.
  FieldSolveEnd Solve(const CapacitanceJob& job, bool fixedDrive);

  // With a fixed drive: the charge of floating colour `colour` in a field laid out as the grid
  // (core first). When set, a floating conductor is placed where its charge vanishes, Gauss's
  // law of the difference equations, instead of at the mean of its surface links (the
  // relaxation's rule, which a neighbour one pixel away or a dielectric next to it makes differ
  // from it, and with it the reciprocity of the capacitance matrix).
  std::function<double(int colour, const double* field)> floatCharge;

 private:
  struct State;
  std::unique_ptr<State> state_;
};

}  // namespace zolva
