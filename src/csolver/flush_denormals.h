// Flush-to-zero and denormals-are-zero for the length of a scope. The residuals of a relaxation
// decay towards subnormal numbers, on which the processor slows down by orders of magnitude;
// treating them as zero changes nothing that a solve can resolve.
#pragma once

#if defined(__SSE__) || defined(__x86_64__)
#include <xmmintrin.h>
#endif

namespace zolva {

class DenormalsOff {
 public:
#if defined(__SSE__) || defined(__x86_64__)
  DenormalsOff() : saved_(_mm_getcsr()) {
    _mm_setcsr(saved_ | kFlushToZero | kDenormalsAreZero);
  }
  ~DenormalsOff() {
    _mm_setcsr(saved_);
  }
#else
  DenormalsOff() = default;
#endif
  DenormalsOff(const DenormalsOff&) = delete;
  DenormalsOff& operator=(const DenormalsOff&) = delete;

 private:
#if defined(__SSE__) || defined(__x86_64__)
  static constexpr unsigned kFlushToZero = 0x8000;
  static constexpr unsigned kDenormalsAreZero = 0x0040;
  unsigned saved_;
#endif
};

}  // namespace zolva
