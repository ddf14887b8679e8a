// Register-tile kernels of the blocked elimination: C -= L U for a tile of mr equations by nr
// unknowns over b pivots, where each pivot's product is subtracted from C in turn (C is never
// summed into a temporary), so that every coefficient sees exactly the sequence of row operations
// of the plain elimination.
#pragma once

namespace zolva {

// lre, lim: the tile's multipliers packed pivot by pivot, mr per pivot (lre[i mr + lane]).
// ure[c], uim[c]: the coefficients of unknown c of the tile in the b pivot equations.
// cre[c], cim[c]: the mr coefficients of unknown c in the tile's equations, updated in place.
using TileKernelFn = void (*)(int b, const double* lre, const double* lim, const double* const* ure,
                              const double* const* uim, double* const* cre, double* const* cim);

struct TileKernel {
  int mr = 4;
  int nr = 4;
  TileKernelFn fn = nullptr;
  const char* name = "generic";
  // Computes each product-and-subtract with fused multiply-adds: the results agree with the plain
  // row operations to rounding error instead of to the last bit.
  bool fused = false;
};

TileKernel GenericTileKernel();
// The kernels for AVX2 (four equations by four unknowns) and AVX-512 (twelve by four); fn is null
// when the processor (or the compiler) lacks them.
TileKernel Avx2TileKernel();
TileKernel Avx512TileKernel();
// Four by four with fused multiply-adds, where the processor has AVX2 and FMA.
TileKernel Avx2FusedTileKernel();
// Twelve by four with fused multiply-adds, where the processor has AVX-512 and FMA.
TileKernel Avx512FusedTileKernel();

}  // namespace zolva
