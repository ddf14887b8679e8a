// The update of the plain nodes of the relaxation: the nodes whose four neighbours lie in the
// same lattice, at index -1, +1, -width and +width, all four weighted alike.
//
// V := 1.5 W - 0.5 V with W the mean of the four neighbours, that is 0.375 (sum) - 0.5 V. Along
// a row the sweep is a recurrence: every node needs the value its predecessor has just been
// given. Everything else a node reads (the neighbour beyond it, the rows above and below, its
// own old value) is known before the sweep reaches it, so only 0.375 times the predecessor's
// new value lies on the chain from node to node. The run kernel shortens that chain further by
// taking four nodes at a time: with t(j) the part of node j's update that does not depend on
// its predecessor,
//   v0 = k n + t0,  v1 = k^2 n + (k t0 + t1),  v2 = k^3 n + (k (k t0 + t1) + t2),  ...
// (k = 0.375, n the value before the block), all four from n at once, so the chain is one
// multiply and one add per four nodes. This is the same Gauss-Seidel update in exact
// arithmetic; only its rounding differs from summing the four neighbours node by node.
//
// The voltages are shared with the other participants of a round, which may read and write any
// node at the same time; every access is one relaxed 64-bit atomic load or store.
#pragma once

#include <atomic>
#include <cstddef>

namespace zolva {

inline double LoadVolts(double& v) {
  return std::atomic_ref<double>(v).load(std::memory_order_relaxed);
}
inline void StoreVolts(double& v, double x) {
  std::atomic_ref<double>(v).store(x, std::memory_order_relaxed);
}

// 1.5 / 4 and its powers, all exact in binary (3^j / 8^j).
inline constexpr double kPlainWeight = 0.375;
inline constexpr double kPlainWeight2 = kPlainWeight * kPlainWeight;
inline constexpr double kPlainWeight3 = kPlainWeight2 * kPlainWeight;
inline constexpr double kPlainWeight4 = kPlainWeight2 * kPlainWeight2;

// The part of a plain node's update that does not depend on the neighbour updated just before
// it: the neighbour beyond it along the row, the ones above and below, and its old value.
inline double PlainKnownPart(double far, double up, double down, double old) {
  return kPlainWeight * ((far + up) + down) - 0.5 * old;
}

// One plain node on its own, with the neighbour just updated along the row (nearV) added last.
inline double PlainUpdate(double nearV, double far, double up, double down, double old) {
  return kPlainWeight * nearV + PlainKnownPart(far, up, down, old);
}

// Relaxes `count` plain nodes of one row, starting at row[first] and going on in steps of Step
// (+1 towards higher x, -1 towards lower x); `width` is the lattice's row stride. The node
// before the first (row[first - Step]) has its value for this sweep already.
template <int Step>
inline void RelaxPlainRun(double* row, std::ptrdiff_t width, std::ptrdiff_t first,
                          std::ptrdiff_t count) {
  static_assert(Step == 1 || Step == -1);
  constexpr std::ptrdiff_t S = Step;
  const std::ptrdiff_t W = width;
  double* v = row + first;
  double nearV = LoadVolts(v[-S]);
  for (; count >= 4; count -= 4, v += 4 * S) {
    // Each old value serves twice: as the node's own and as its predecessor's far neighbour.
    const double o0 = LoadVolts(v[0]), o1 = LoadVolts(v[S]);
    const double o2 = LoadVolts(v[2 * S]), o3 = LoadVolts(v[3 * S]);
    const double t0 = PlainKnownPart(o1, LoadVolts(v[-W]), LoadVolts(v[W]), o0);
    const double t1 = PlainKnownPart(o2, LoadVolts(v[S - W]), LoadVolts(v[S + W]), o1);
    const double t2 = PlainKnownPart(o3, LoadVolts(v[2 * S - W]), LoadVolts(v[2 * S + W]), o2);
    const double t3 =
        PlainKnownPart(LoadVolts(v[4 * S]), LoadVolts(v[3 * S - W]), LoadVolts(v[3 * S + W]), o3);
    const double u1 = kPlainWeight * t0 + t1;
    const double u2 = kPlainWeight * u1 + t2;
    const double u3 = kPlainWeight * u2 + t3;
    StoreVolts(v[0], kPlainWeight * nearV + t0);
    StoreVolts(v[S], kPlainWeight2 * nearV + u1);
    StoreVolts(v[2 * S], kPlainWeight3 * nearV + u2);
    nearV = kPlainWeight4 * nearV + u3;
    StoreVolts(v[3 * S], nearV);
  }
  for (; count > 0; --count, v += S) {
    nearV = PlainUpdate(nearV, LoadVolts(v[S]), LoadVolts(v[-W]), LoadVolts(v[W]), LoadVolts(v[0]));
    StoreVolts(v[0], nearV);
  }
}

}  // namespace zolva
