// Included first by a file whose results must not depend on where the compiler inlines its
// arithmetic: with contraction off every a * b + c is two roundings wherever it stands, never a
// fused multiply-add formed in one place and not in another. The bit-for-bit equivalences of
// the relaxation kernel and the field sums with their literal versions rest on it. It acts on
// the rest of the including file.
#pragma once

#if defined(__clang__)
#pragma clang fp contract(off)
#elif defined(__GNUC__)
#pragma GCC optimize("fp-contract=off")
#endif
