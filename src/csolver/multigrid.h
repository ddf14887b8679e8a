// The multigrid preconditioner of the capacitance solve: a hierarchy of ever coarser systems
// built from the relaxation's own difference equations, and one cycle over it.
//
// The equations are those the relaxation's fixed point satisfies: V = W(V) at every free node of
// the core and the apron, W the node's four-neighbour (weighted, interpolated or edge-scaled)
// mean. As a matrix, A = I - W on the free nodes; the conductor, outside and other held nodes
// are not unknowns, and their values enter the right-hand side. A is not symmetric: the core's
// edge reads the apron by interpolation, the apron's footprint reads the core by injection, and
// the apron's border scales its own value.
//
// Finest level: matrix-free on the flat arrays. A vector is laid out like the grid (the core's
// nodes, then the apron's), held nodes are zero in every correction, and a row is either the
// plain 5-point mean (a run of plain nodes of the relaxation plan) or one of the few weighted
// rows, kept as a short list of coefficients.
//
// Coarse levels: each lattice is coarsened by itself, 2 x 2 nodes into one, and the coarse
// matrix is the Galerkin product R A P with P the piecewise-constant prolongation and R = P^T:
// every coarse coefficient is a sum of fine ones, so a permittivity jump or a conductor's edge is
// carried down as the fine equations see it, which averaging the geometry would not do. Such a
// coarse operator is about half as strong as a rediscretisation on the coarse spacing, so the
// coarse correction is scaled up (over-correction). The coarsest level is solved directly.
//
// Smoothing: Gauss-Seidel in bands of a few lattice rows. A band couples only to the bands just
// above and below in its lattice and to the other lattice, so the bands take four turns (the
// even and the odd bands of the core, then of the apron), all bands of one turn at the same time.
// What each band computes therefore does not depend on the number of threads or their timing:
// one thread or many, every run gives the same bits. Sums (dot products) are formed per band and
// added in band order for the same reason.
#pragma once

#include <cstdint>
#include <functional>
#include <vector>

namespace zolva {

class WorkerPool;
struct CapacitanceJob;
struct SolverGrid;

// Runs numbered tasks on the worker pool, each task on one participant, in any order. The
// callers split work into tasks whose results do not depend on which participant runs them.
struct TaskRunner {
  WorkerPool* pool = nullptr;
  int participants = 1;
  // Works smaller than this many unknowns run on the main thread alone: a round of the pool
  // costs more than they do.
  static constexpr std::int64_t kParallelMinimum = 20000;

  void Run(int tasks, std::int64_t work, const std::function<void(int)>& task);
  // The pool's kernel: participant k takes tasks k-1, k-1+n, ...
  void Participate(int k);

 private:
  const std::function<void(int)>* current_ = nullptr;
  int tasks_ = 0;
};

// A set of rows that one task smooths or multiplies: on the finest level rows y0..y1-1 of one
// lattice, on a coarse level the unknowns begin..end-1. Turn 0..3: lattice * 2 + band parity.
struct MgBand {
  std::int32_t lattice = 0;
  std::int32_t y0 = 0, y1 = 0;
  std::int64_t begin = 0, end = 0;  // index range of the band's unknowns (finest: nodes)
  std::int32_t turn = 0;
};

// One lattice of a coarse level: its size and, per position, the unknown there or -1.
struct MgLatticeIndex {
  int width = 0, height = 0;
  std::vector<std::int32_t> at;
};

struct MgCoarseLevel {
  std::int32_t n = 0;
  std::vector<std::int64_t> rowStart;  // CSR, the diagonal kept apart
  std::vector<std::int32_t> col;
  std::vector<double> val;
  std::vector<double> diag;
  std::vector<double> invDiag;  // the smoother multiplies: a division would lengthen its chain
  std::vector<std::uint8_t> lattice;
  std::vector<std::int32_t> x, y;
  MgLatticeIndex index[2];
  std::vector<MgBand> bands;
  std::vector<std::int32_t> agg;  // unknown of the next level, -1 when there is none
  std::vector<double> b, u, r;    // right-hand side, solution, residual of a cycle
};

struct Multigrid {
  // Finest level.
  std::int64_t ncore = 0, n = 0;  // nodes of the core; of core and apron
  int lattices = 1;
  int width[2] = {0, 0}, height[2] = {0, 0};
  std::int64_t offset[2] = {0, 0};
  const SolverGrid* grid = nullptr;  // its relaxation plan gives the runs of plain nodes
  // The weighted rows of the plan (core's, then apron's): diagonal and off-diagonal entries,
  // columns as node indices of the layout above.
  std::vector<std::int64_t> wStart;
  std::vector<std::int32_t> wCol;
  std::vector<double> wVal;
  std::vector<double> wDiag;
  std::vector<std::uint8_t> isFree;  // per node of the layout
  std::vector<std::int32_t> agg;     // per node: unknown of level 1, or -1
  std::vector<MgBand> bands;
  std::vector<double> work;  // residual of the finest level inside a cycle

  std::vector<MgCoarseLevel> levels;  // level 1 upwards
  // Coarsest level: LU factors with partial pivoting.
  std::vector<double> lu;
  std::vector<std::int32_t> pivot;

  int preSmooth = 1, postSmooth = 1;
  int cycleIndex = 1;  // 1: V-cycle, 2: W-cycle
  double overCorrection = 1.8;
  TaskRunner* runner = nullptr;

  // Views of a vector of the finest layout: the core's nodes at p[0], the apron's at p[1].
  struct Span {
    double* p[2];
  };
  Span SpanOf(std::vector<double>& v) const { return {{v.data(), v.data() + ncore}}; }

  // y := A x on the free nodes (held nodes of y untouched).
  void Apply(Span x, Span y) const;
  // r := b - A x on the free nodes, with the values of the held nodes of x taking part; b may be
  // null (zero). Returns nothing; r's held nodes untouched.
  void Residual(const double* b, Span x, Span r) const;
  // z := M^-1 r: one cycle from z = 0. z's held nodes stay zero.
  void Precondition(const std::vector<double>& r, std::vector<double>& z);
  // Sum over the bands, in band order, of f(band), for the deterministic dot products.
  double SumOverBands(const std::function<double(const MgBand&)>& f) const;
  // f(band) for every band, on the pool when the level is large.
  void ForBands(const std::function<void(const MgBand&)>& f) const;

  std::size_t MemoryBytes() const;
};

// Builds the hierarchy for the grid as its relaxation plan stands (the plan must match the
// grid). Throws std::out_of_range when the plan does not belong to the grid.
void BuildMultigrid(Multigrid& mg, const SolverGrid& g, TaskRunner& runner);

}  // namespace zolva
