// Code generation for the translation units of the elimination: the pragmas below hold from the
// point of inclusion to the end of the including file, so include it after the standard headers.
//
// No product and sum may be contracted into one fused multiply-add behind the code's back: the
// exact kernels and loops must round as the plain row operations do (the fused kernel asks for
// its fused operations explicitly). And the elimination is the one loop whose speed decides
// whether a debug build (and its tests) can solve a map of realistic size at all, so it is
// optimised in every build.
#pragma once

#if defined(__GNUC__) && !defined(__clang__)
#pragma GCC optimize("fp-contract=off")
#if !defined(__OPTIMIZE__)
#pragma GCC optimize("O2")
#endif
#endif
#if defined(__clang__)
#pragma clang fp contract(off)
#endif
