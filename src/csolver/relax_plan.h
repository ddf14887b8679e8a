// The relaxation's per-solve data: the coefficients of every node that needs more than the plain
// four-neighbour average, the runs of plain nodes along each row, the line costs and start
// offsets of the participants, and the per-cell material slots of the capacitance estimate.
//
// Permittivities do not change while a field relaxes, so everything here is derived once when
// the relaxation is prepared; the round kernels then read only flat arrays. Node references are
// indices, not pointers, so that a plan never outlives the arrays it was made for unnoticed:
// the sizes it was made for are kept and checked before it is used.
#pragma once

#include <array>
#include <cstdint>
#include <vector>

namespace zolva {

inline constexpr int kMaxRelaxParticipants = 64;

// The two lattices, as the weighted node records name them.
enum LatticeId : std::uint8_t { LatticeCore = 0, LatticeApron = 1 };

// Where a weighted node takes one of its four neighbour values from.
enum NeighbourKind : std::uint8_t {
  NeighbourDirect = 0,        // one node of a lattice
  NeighbourInterpolated = 1,  // the apron field between four apron nodes (core edge nodes)
  NeighbourScaled = 2,        // the node's own value times the edge factor (beyond the apron)
};

struct NeighbourRef {
  std::uint8_t kind = NeighbourDirect;
  std::uint8_t lattice = LatticeCore;
  // Direct and scaled: index[0]. Interpolated: apron nodes (aX, aY), (aX+1, aY), (aX, aY+1),
  // (aX+1, aY+1).
  std::array<std::int32_t, 4> index{};
  double fx = 0.0, fy = 0.0;  // interpolation fractions
  double scale = 1.0;         // edge factor of a scaled neighbour
};

// A node relaxed by a weighted average: W = sum of w[j] * value(nb[j]) over up, down, left,
// right, or the plain mean of the four when plainAverage (an edge node that reads the apron or
// looks beyond its border).
struct WeightedNode {
  std::int32_t index = 0;  // the node's own index in its lattice
  bool plainAverage = false;
  std::array<NeighbourRef, 4> nb{};
  std::array<double, 4> w{};
};

// One piece of a row: a run of plain nodes x0..x1, or a single weighted node (x0 == x1).
struct RelaxSegment {
  std::int32_t x0 = 0, x1 = 0;
  std::int32_t weighted = -1;  // -1 for a run of plain nodes, else index into weighted nodes
};

// Cells x0 .. x0 + length - 1 of one row whose top-left nodes start at index `start`, all of
// one material slot.
struct EstimateRun {
  std::int32_t start = 0;
  std::int32_t length = 0;
  std::uint8_t slot = 0;
};

struct LatticePlan {
  int width = 0, height = 0;
  std::vector<std::int32_t> rowFirst;  // segments of row y: rowFirst[y] .. rowFirst[y+1] - 1
  std::vector<RelaxSegment> segments;  // ascending x within each row
  std::vector<WeightedNode> weighted;
};

// The position of one participant in the sequence of sweeps of a round. Each participant writes
// only its own record; the alignment keeps the records of different threads on different lines.
struct alignas(64) ParticipantState {
  int passOffset = 0;    // line position at which the participant starts its pass
  int passPosition = 0;  // lines of the sequence passed so far in this round
  int passDone = 0;      // lines relaxed so far in this round
  int windowFrom = 0, windowTo = 0;
};

struct RelaxPlan {
  bool ready = false;
  // The grid the plan was made for.
  int Cwid = 0, Chei = 0, Awid = 0, Ahei = 0;
  bool apronActive = false;

  LatticePlan core, apron;

  // Line costs: per node 8 for a plain node, 30 for a weighted one, 1 for any other.
  std::vector<std::int32_t> CcolCost, CrowCost, AcolCost, ArowCost;
  int linesPerPass = 0;
  int participants = 1;
  std::array<ParticipantState, kMaxRelaxParticipants + 1> part{};  // 1..64
  std::uint32_t roundCount = 0;
  // The last relaxation was stopped because it could not converge: its voltages mean nothing.
  bool diverged = false;

  // Capacitance estimate: the cells that count, as runs along the rows of cells of one
  // material slot, and per slot the permittivity and permittivity times loss tangent.
  std::vector<EstimateRun> coreRuns, apronRuns;
  std::array<double, 256> slotEps{}, slotEpsTan{};
};

}  // namespace zolva
