// The register-tile kernels. Each keeps its tile of coefficients in registers for the whole block
// of pivots and subtracts one complex product per pivot. The exact kernels compute it as the
// textbook product (ur lr - ui li) + j(ur li + ui lr), rounded as the plain row operations round
// it, so contraction is switched off for this file; only the fused kernel asks for fused
// multiply-adds, explicitly.
#include "lsolver/tile_kernels.h"

#if defined(__GNUC__) && defined(__x86_64__)
#include <immintrin.h>
#define ZOLVA_X86_KERNELS 1
#endif

#include "lsolver/elimination_codegen.h"

namespace zolva {

namespace {

constexpr int kGenericMr = 4;
constexpr int kGenericNr = 4;

void GenericTile(int b, const double* lre, const double* lim, const double* const* ure,
                 const double* const* uim, double* const* cre, double* const* cim) {
  double tr[kGenericNr][kGenericMr];
  double ti[kGenericNr][kGenericMr];
  for (int c = 0; c < kGenericNr; ++c)
    for (int r = 0; r < kGenericMr; ++r) {
      tr[c][r] = cre[c][r];
      ti[c][r] = cim[c][r];
    }
  for (int i = 0; i < b; ++i) {
    const double* lr = lre + i * kGenericMr;
    const double* li = lim + i * kGenericMr;
#pragma GCC unroll 4
    for (int c = 0; c < kGenericNr; ++c) {
      const double ur = ure[c][i];
      const double ui = uim[c][i];
#pragma GCC unroll 4
      for (int r = 0; r < kGenericMr; ++r) {
        tr[c][r] -= ur * lr[r] - ui * li[r];
        ti[c][r] -= ur * li[r] + ui * lr[r];
      }
    }
  }
  for (int c = 0; c < kGenericNr; ++c)
    for (int r = 0; r < kGenericMr; ++r) {
      cre[c][r] = tr[c][r];
      cim[c][r] = ti[c][r];
    }
}

#if defined(ZOLVA_X86_KERNELS)

// Four equations by four unknowns: 8 accumulators, 2 multiplier registers and the broadcasts fit
// the 16 registers of AVX2.
__attribute__((target("avx2"))) void Avx2Tile(int b, const double* lre, const double* lim,
                                              const double* const* ure, const double* const* uim,
                                              double* const* cre, double* const* cim) {
  const double* u0r = ure[0];
  const double* u1r = ure[1];
  const double* u2r = ure[2];
  const double* u3r = ure[3];
  const double* u0i = uim[0];
  const double* u1i = uim[1];
  const double* u2i = uim[2];
  const double* u3i = uim[3];
  __m256d c0r = _mm256_loadu_pd(cre[0]);
  __m256d c1r = _mm256_loadu_pd(cre[1]);
  __m256d c2r = _mm256_loadu_pd(cre[2]);
  __m256d c3r = _mm256_loadu_pd(cre[3]);
  __m256d c0i = _mm256_loadu_pd(cim[0]);
  __m256d c1i = _mm256_loadu_pd(cim[1]);
  __m256d c2i = _mm256_loadu_pd(cim[2]);
  __m256d c3i = _mm256_loadu_pd(cim[3]);
  for (int i = 0; i < b; ++i) {
    const __m256d lr = _mm256_loadu_pd(lre + 4 * i);
    const __m256d li = _mm256_loadu_pd(lim + 4 * i);
    __m256d ur = _mm256_broadcast_sd(u0r + i);
    __m256d ui = _mm256_broadcast_sd(u0i + i);
    c0r = _mm256_sub_pd(c0r, _mm256_sub_pd(_mm256_mul_pd(ur, lr), _mm256_mul_pd(ui, li)));
    c0i = _mm256_sub_pd(c0i, _mm256_add_pd(_mm256_mul_pd(ur, li), _mm256_mul_pd(ui, lr)));
    ur = _mm256_broadcast_sd(u1r + i);
    ui = _mm256_broadcast_sd(u1i + i);
    c1r = _mm256_sub_pd(c1r, _mm256_sub_pd(_mm256_mul_pd(ur, lr), _mm256_mul_pd(ui, li)));
    c1i = _mm256_sub_pd(c1i, _mm256_add_pd(_mm256_mul_pd(ur, li), _mm256_mul_pd(ui, lr)));
    ur = _mm256_broadcast_sd(u2r + i);
    ui = _mm256_broadcast_sd(u2i + i);
    c2r = _mm256_sub_pd(c2r, _mm256_sub_pd(_mm256_mul_pd(ur, lr), _mm256_mul_pd(ui, li)));
    c2i = _mm256_sub_pd(c2i, _mm256_add_pd(_mm256_mul_pd(ur, li), _mm256_mul_pd(ui, lr)));
    ur = _mm256_broadcast_sd(u3r + i);
    ui = _mm256_broadcast_sd(u3i + i);
    c3r = _mm256_sub_pd(c3r, _mm256_sub_pd(_mm256_mul_pd(ur, lr), _mm256_mul_pd(ui, li)));
    c3i = _mm256_sub_pd(c3i, _mm256_add_pd(_mm256_mul_pd(ur, li), _mm256_mul_pd(ui, lr)));
  }
  _mm256_storeu_pd(cre[0], c0r);
  _mm256_storeu_pd(cre[1], c1r);
  _mm256_storeu_pd(cre[2], c2r);
  _mm256_storeu_pd(cre[3], c3r);
  _mm256_storeu_pd(cim[0], c0i);
  _mm256_storeu_pd(cim[1], c1i);
  _mm256_storeu_pd(cim[2], c2i);
  _mm256_storeu_pd(cim[3], c3i);
}

// Four equations by four unknowns with fused multiply-adds (see the AVX-512 kernel below for the
// form): 8 accumulators, 2 multiplier registers and 2 broadcasts in the 16 registers of AVX2.
__attribute__((target("avx2,fma"))) void Avx2FusedTile(int b, const double* lre, const double* lim,
                                                       const double* const* ure,
                                                       const double* const* uim, double* const* cre,
                                                       double* const* cim) {
  constexpr int kNr = 4;
  __m256d cr[kNr];
  __m256d ci[kNr];
#pragma GCC unroll 4
  for (int c = 0; c < kNr; ++c) {
    cr[c] = _mm256_loadu_pd(cre[c]);
    ci[c] = _mm256_loadu_pd(cim[c]);
  }
  for (int i = 0; i < b; ++i) {
    const __m256d lr = _mm256_loadu_pd(lre + 4 * i);
    const __m256d li = _mm256_loadu_pd(lim + 4 * i);
#pragma GCC unroll 4
    for (int c = 0; c < kNr; ++c) {
      const __m256d br = _mm256_broadcast_sd(ure[c] + i);
      const __m256d bi = _mm256_broadcast_sd(uim[c] + i);
      cr[c] = _mm256_fmadd_pd(bi, li, _mm256_fnmadd_pd(br, lr, cr[c]));
      ci[c] = _mm256_fnmadd_pd(bi, lr, _mm256_fnmadd_pd(br, li, ci[c]));
    }
  }
#pragma GCC unroll 4
  for (int c = 0; c < kNr; ++c) {
    _mm256_storeu_pd(cre[c], cr[c]);
    _mm256_storeu_pd(cim[c], ci[c]);
  }
}

// kMv vectors of four equations by kNr unknowns in 256-bit registers, using the 32 registers of
// AVX-512: with twelve equations by four unknowns, 24 accumulators, 6 multiplier registers and the
// two broadcasts fill them, and each broadcast serves three vectors, so that the processor's front
// end keeps up with its arithmetic units. Vectors of 256 bits run at full rate also on processors
// that split 512-bit operations into halves, and lower the clock on none.
//
// kFused: each product is subtracted with two fused multiply-adds per part,
//   c_re = (c_re - ur lr) + ui li,   c_im = (c_im - ur li) - ui lr,
// half the operations of the textbook form and one rounding per product instead of two. The
// coefficients still receive the same products in the same order; the results agree with the
// exact form to rounding error, not to the last bit.
template <int kMv, int kNr, bool kFused>
__attribute__((target("avx512f,avx512vl,fma"))) void Avx512Tile(
    int b, const double* lre, const double* lim, const double* const* ure, const double* const* uim,
    double* const* cre, double* const* cim) {
  constexpr int kMr = 4 * kMv;
  const double* ur[kNr];
  const double* ui[kNr];
  __m256d cr[kMv][kNr];
  __m256d ci[kMv][kNr];
#pragma GCC unroll 8
  for (int c = 0; c < kNr; ++c) {
    ur[c] = ure[c];
    ui[c] = uim[c];
#pragma GCC unroll 4
    for (int v = 0; v < kMv; ++v) {
      cr[v][c] = _mm256_loadu_pd(cre[c] + 4 * v);
      ci[v][c] = _mm256_loadu_pd(cim[c] + 4 * v);
    }
  }
#pragma GCC unroll 2
  for (int i = 0; i < b; ++i) {
    __m256d lr[kMv];
    __m256d li[kMv];
#pragma GCC unroll 4
    for (int v = 0; v < kMv; ++v) {
      lr[v] = _mm256_loadu_pd(lre + kMr * i + 4 * v);
      li[v] = _mm256_loadu_pd(lim + kMr * i + 4 * v);
    }
#pragma GCC unroll 8
    for (int c = 0; c < kNr; ++c) {
      const __m256d br = _mm256_set1_pd(ur[c][i]);
      const __m256d bi = _mm256_set1_pd(ui[c][i]);
#pragma GCC unroll 4
      for (int v = 0; v < kMv; ++v) {
        if constexpr (kFused) {
          cr[v][c] = _mm256_fmadd_pd(bi, li[v], _mm256_fnmadd_pd(br, lr[v], cr[v][c]));
          ci[v][c] = _mm256_fnmadd_pd(bi, lr[v], _mm256_fnmadd_pd(br, li[v], ci[v][c]));
        } else {
          cr[v][c] = _mm256_sub_pd(
              cr[v][c], _mm256_sub_pd(_mm256_mul_pd(br, lr[v]), _mm256_mul_pd(bi, li[v])));
          ci[v][c] = _mm256_sub_pd(
              ci[v][c], _mm256_add_pd(_mm256_mul_pd(br, li[v]), _mm256_mul_pd(bi, lr[v])));
        }
      }
    }
  }
#pragma GCC unroll 8
  for (int c = 0; c < kNr; ++c) {
#pragma GCC unroll 4
    for (int v = 0; v < kMv; ++v) {
      _mm256_storeu_pd(cre[c] + 4 * v, cr[v][c]);
      _mm256_storeu_pd(cim[c] + 4 * v, ci[v][c]);
    }
  }
}

bool HasAvx512Tiles() {
  return __builtin_cpu_supports("avx512f") && __builtin_cpu_supports("avx512vl") &&
         __builtin_cpu_supports("fma");
}

#endif

}  // namespace

TileKernel GenericTileKernel() {
  return {kGenericMr, kGenericNr, &GenericTile, "generic"};
}

TileKernel Avx2TileKernel() {
#if defined(ZOLVA_X86_KERNELS)
  if (__builtin_cpu_supports("avx2")) return {4, 4, &Avx2Tile, "avx2"};
#endif
  return {4, 4, nullptr, "avx2"};
}

TileKernel Avx2FusedTileKernel() {
#if defined(ZOLVA_X86_KERNELS)
  if (__builtin_cpu_supports("avx2") && __builtin_cpu_supports("fma"))
    return {4, 4, &Avx2FusedTile, "avx2 fused", true};
#endif
  return {4, 4, nullptr, "avx2 fused", true};
}

TileKernel Avx512TileKernel() {
#if defined(ZOLVA_X86_KERNELS)
  if (HasAvx512Tiles()) return {12, 4, &Avx512Tile<3, 4, false>, "avx512"};
#endif
  return {12, 4, nullptr, "avx512"};
}

TileKernel Avx512FusedTileKernel() {
#if defined(ZOLVA_X86_KERNELS)
  if (HasAvx512Tiles()) return {12, 4, &Avx512Tile<3, 4, true>, "avx512 fused", true};
#endif
  return {12, 4, nullptr, "avx512 fused", true};
}

}  // namespace zolva
