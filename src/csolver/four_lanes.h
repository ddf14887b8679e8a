// Four-lane double arithmetic shared by the direct field sums of the prediction: a vector type
// of four doubles, the clone attribute that gives each sum an AVX2 version beside the default
// one, and the pairwise reduction of the lanes. Every clone forms the same roundings in the
// same order (contraction is off from here on), so a sum never
// depends on the processor that computed it.
#pragma once

#include "csolver/no_contraction.h"

// ThreadSanitizer's runtime is not yet set up when the loader runs the clones' resolvers, so a
// build under it keeps the plain versions.
#if defined(__GNUC__) && !defined(__clang__) && defined(__x86_64__) && !defined(__SANITIZE_THREAD__)
#define ZOLVA_LANE_CLONES __attribute__((target_clones("avx2", "default")))
#else
#define ZOLVA_LANE_CLONES
#endif

#if !defined(__GNUC__)
#error "the field sums need the vector extensions of GCC or Clang"
#endif

namespace zolva::detail {

typedef double Lanes4 __attribute__((vector_size(32)));

// (l0 + l1) + (l2 + l3): the order every version of a sum adds its lanes in.
template <class FourDoubles>
inline double AddLanes(const FourDoubles& l) {
  return (l[0] + l[1]) + (l[2] + l[3]);
}

}  // namespace zolva::detail
