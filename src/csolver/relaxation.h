// Successive over-relaxation of the potential on the core and the apron, in rounds shared by the
// main thread and the worker pool.
//
// A round gives every participant one pass: each line of both lattices once for each of eight
// sweep directions. The participants enter the sequence of sixteen sweeps (1 to 8, then 1 to 8
// again) at different offsets and relax the shared voltages at the same time without locks;
// every voltage is read and written as one relaxed 64-bit atomic access.
//
// Sweeps (line order; node order within a line):
//   1 core columns descending; rows descending      2 apron columns descending; rows ascending
//   3 core rows descending; columns descending      4 apron rows descending; columns ascending
//   5 core columns ascending; rows ascending        6 apron columns ascending; rows descending
//   7 core rows ascending; columns ascending        8 apron rows ascending; columns descending
// In a Gauss-Seidel sweep only the order in which two neighbouring nodes are updated matters. A
// column sweep with columns and rows descending orders every neighbouring pair as a row sweep
// with rows and columns descending does (likewise ascending, and for the apron's mixed orders),
// so a participant relaxes its window of columns row by row, along the memory, with the same
// result. Along a row the runs of plain nodes take the block update of relax_kernel.h, the same
// Gauss-Seidel update with its sums reassociated; the weighted nodes keep their arithmetic.
#pragma once

#include <cstdint>

#include "csolver/relax_plan.h"

namespace zolva {

struct CapacitanceJob;
struct SolverGrid;

// Over-relaxation factor of every free node.
inline constexpr double kOverRelaxation = 1.5;

// edgeFactor[i] = 1 - 0.006 cosh((i - 200) / 200) / cosh(1), the decay of the potential beyond
// the apron's border (cosh(1) taken in single precision); over a wider apron of A nodes, 200 is
// A / 2 (rounded down).
void BuildEdgeFactors(SolverGrid& g);

// Before any solve: every apron code keeps its low four bits; every core code too when it has
// one of the bits free, free-mixed or conductor, else it becomes outside.
void ReduceNodeCodes(SolverGrid& g);
// Reduces the node codes, builds the plan (coefficients, runs, line costs, estimate slots),
// relaxes until abortRequested, then sums the results. Switch::SkipRelaxation skips the relaxation.
void PrepareRelaxation(const CapacitanceJob& job);
// Runs rounds until abortRequested; returns after the workers are stopped.
void Relax(const CapacitanceJob& job);
// The work of participant k (1-based) in one round. Thread-safe for distinct k while the plan
// and the node codes stay unchanged.
void RelaxPass(SolverGrid& g, int k);

// For the sweep whose lines are first..last: sets the participant's window of lines and says
// whether it has any. Every participant relaxes exactly linesPerPass lines per round, starting
// at its offset and finishing in sweeps 9 to 16 what it skipped at the start.
bool SweepWindow(ParticipantState& p, int linesPerPass, int first, int last);
// Start offsets: equal shares of the lines of a pass, or, with the apron, of their cost.
void SplitEvenly(RelaxPlan& plan, int n);
void SplitByCost(RelaxPlan& plan, int n);

// The weighted four-neighbour value W of a free node, straight from the grid: the
// permittivity-weighted mean, or the plain mean where a neighbour comes from the apron (core
// edge) or from beyond the apron's border.
double CoreWeighted(const CapacitanceJob& job, int cX, int cY);
double ApronWeighted(const CapacitanceJob& job, int aX, int aY);

// Builds the coefficients, runs, line costs and estimate slots for the grid as it stands.
void BuildRelaxPlan(const CapacitanceJob& job);
// True when the plan belongs to the grid's current arrays.
bool PlanMatchesGrid(const SolverGrid& g);

// The new value of one free node on its own from the current voltages, V := 1.5 W - 0.5 V: a
// weighted node exactly as the sweeps compute it; a plain node by PlainUpdate (relax_kernel.h),
// the neighbour just updated along the row (right when the sweep runs through the row towards
// lower x, left otherwise) added last, which is how the sweeps compute the first node of each
// block of four along a run (the other three take the same update reassociated). For the tests.
double RelaxedValue(const SolverGrid& g, LatticeId lattice, int x, int y, bool xDescending);

}  // namespace zolva
