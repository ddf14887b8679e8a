// The pixel block's product as a convolution by FFT over the padded bounding box.
#include "lsolver/pixel_convolution.h"

#include <fftw3.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <limits>
#include <new>
#include <stdexcept>

#include "core/worker_pool.h"

namespace zolva {

namespace {

enum Stage { kColumnsForward = 1, kRows = 2, kColumnsInverse = 3 };

// A share [begin, end) of `count` items for participant t of `shares`.
int ShareBegin(int count, int t, int shares) {
  return static_cast<int>(static_cast<long long>(count) * (t - 1) / shares);
}

double* AllocateDoubles(std::size_t count) {
  if (count > std::numeric_limits<std::size_t>::max() / sizeof(double)) throw std::bad_alloc();
  void* p = fftw_malloc(count * sizeof(double));
  if (p == nullptr) throw std::bad_alloc();
  return static_cast<double*>(p);
}

}  // namespace

int FftFriendlyLength(int n) {
  if (n <= 1) return 1;
  for (int m = n;; ++m) {
    int r = m;
    for (int p : {2, 3, 5, 7})
      while (r % p == 0) r /= p;
    if (r == 1) return m;
  }
}

// One set of plans for a given number of shares: per participant its rows (forward and inverse)
// and its columns (forward and inverse), each planned on the very elements it transforms.
struct PixelConvolution::Plans {
  int shares = 0;
  std::vector<fftw_plan> rowsForward, rowsInverse, columnsForward, columnsInverse;
  std::vector<int> rowBegin, rowEnd;
  ~Plans() {
    for (auto* v : {&rowsForward, &rowsInverse, &columnsForward, &columnsInverse})
      for (fftw_plan p : *v)
        if (p != nullptr) fftw_destroy_plan(p);
  }
};

PixelConvolution::PixelConvolution(const std::int32_t* x, const std::int32_t* y, int n,
                                   const std::function<double(int du, int dv)>& kernel)
    : PixelConvolution(x, y, n, kernel, std::numeric_limits<double>::quiet_NaN()) {}

PixelConvolution::PixelConvolution(const std::int32_t* x, const std::int32_t* y, int n,
                                   const std::function<double(int du, int dv)>& kernel,
                                   double inverseOf)
    : n_(n) {
  if (n < 1) throw std::invalid_argument("PixelConvolution: no pixels");
  const auto [minX, maxX] = std::minmax_element(x, x + n);
  const auto [minY, maxY] = std::minmax_element(y, y + n);
  boxW_ = *maxX - *minX + 1;
  boxH_ = *maxY - *minY + 1;
  gridW_ = FftFriendlyLength(2 * boxW_ - 1);
  gridH_ = FftFriendlyLength(2 * boxH_ - 1);
  const std::size_t cells = static_cast<std::size_t>(gridW_) * static_cast<std::size_t>(gridH_);
  place_.resize(static_cast<std::size_t>(n));
  for (int j = 0; j < n; ++j)
    place_[static_cast<std::size_t>(j)] =
        static_cast<std::size_t>(y[j] - *minY) * static_cast<std::size_t>(gridW_) +
        static_cast<std::size_t>(x[j] - *minX);
  grid_ = AllocateDoubles(2 * cells);
  try {
    kernelHat_ = AllocateDoubles(cells);
  } catch (...) {
    fftw_free(grid_);
    throw;
  }

  // The kernel on the grid: offset (du, dv) at column du mod gridW, row dv mod gridH, for offsets
  // within the box; the rest of the grid never meets a pixel of the box and stays 0.
  std::memset(grid_, 0, 2 * cells * sizeof(double));
  for (int dv = 0; dv < boxH_; ++dv)
    for (int du = 0; du < boxW_; ++du) {
      const double k = kernel(du, dv);
      for (int sv : {1, -1}) {
        if (sv < 0 && dv == 0) continue;
        for (int su : {1, -1}) {
          if (su < 0 && du == 0) continue;
          const int gx = (su * du + gridW_) % gridW_;
          const int gy = (sv * dv + gridH_) % gridH_;
          grid_[2 * (static_cast<std::size_t>(gy) * static_cast<std::size_t>(gridW_) +
                     static_cast<std::size_t>(gx))] = k;
        }
      }
    }
  fftw_complex* g = reinterpret_cast<fftw_complex*>(grid_);
  fftw_plan plan = fftw_plan_dft_2d(gridH_, gridW_, g, g, FFTW_FORWARD, FFTW_ESTIMATE);
  if (plan == nullptr) {
    fftw_free(grid_);
    fftw_free(kernelHat_);
    throw std::bad_alloc();
  }
  fftw_execute(plan);
  fftw_destroy_plan(plan);
  // An even real kernel has a real transform; the imaginary parts are rounding. The scale of the
  // unnormalised inverse transform is folded in here.
  const double scale = 1.0 / static_cast<double>(cells);
  for (std::size_t c = 0; c < cells; ++c) kernelHat_[c] = grid_[2 * c] * scale;
  if (std::isnan(inverseOf)) return;
  // 1 / (d + j k) = (d - j k) / (d^2 + k^2), with the scale of the inverse transform.
  try {
    inverseHat_ = AllocateDoubles(cells);
  } catch (...) {
    fftw_free(grid_);
    fftw_free(kernelHat_);
    throw;
  }
  for (std::size_t c = 0; c < cells; ++c) {
    const double k = grid_[2 * c];
    const double den = inverseOf * inverseOf + k * k;
    kernelHat_[c] = inverseOf / den * scale;
    inverseHat_[c] = -k / den * scale;
  }
}

PixelConvolution::~PixelConvolution() {
  plans_.reset();
  fftw_free(grid_);
  fftw_free(kernelHat_);
  fftw_free(inverseHat_);
}

std::size_t PixelConvolution::MemoryBytes(int boxWidth, int boxHeight, bool inverse) {
  const std::size_t cells = static_cast<std::size_t>(FftFriendlyLength(2 * boxWidth - 1)) *
                            static_cast<std::size_t>(FftFriendlyLength(2 * boxHeight - 1));
  // The complex grid and the real transform of the kernel, and for the inverse its imaginary part.
  return (inverse ? 4 : 3) * sizeof(double) * cells;
}

void PixelConvolution::Apply(const complex* in, complex* out, WorkerPool* pool, int participants) {
  const int shares = std::clamp(pool == nullptr ? 1 : participants, 1, kMaxParticipants);
  if (!plans_ || plans_->shares != shares) {
    // FFTW's planner is not thread-safe: every plan is made here, on the calling thread.
    plans_.reset();
    auto plans = std::make_unique<Plans>();
    plans->shares = shares;
    fftw_complex* g = reinterpret_cast<fftw_complex*>(grid_);
    for (int t = 1; t <= shares; ++t) {
      // Columns of the box only (the others are 0 before the rows' transforms, and not read
      // after their inverses); every row of the grid.
      const int c0 = ShareBegin(boxW_, t, shares);
      const int c1 = ShareBegin(boxW_, t + 1, shares);
      const int r0 = ShareBegin(gridH_, t, shares);
      const int r1 = ShareBegin(gridH_, t + 1, shares);
      plans->rowBegin.push_back(r0);
      plans->rowEnd.push_back(r1);
      fftw_complex* rows = g + static_cast<std::size_t>(r0) * static_cast<std::size_t>(gridW_);
      fftw_complex* columns = g + c0;
      const int w = gridW_;
      const int hgt = gridH_;
      auto plan = [](int length, int howmany, fftw_complex* data, int stride, int dist, int sign) {
        if (howmany < 1) return fftw_plan(nullptr);
        fftw_plan p = fftw_plan_many_dft(1, &length, howmany, data, nullptr, stride, dist, data,
                                         nullptr, stride, dist, sign, FFTW_ESTIMATE);
        if (p == nullptr) throw std::bad_alloc();
        return p;
      };
      plans->rowsForward.push_back(plan(w, r1 - r0, rows, 1, w, FFTW_FORWARD));
      plans->rowsInverse.push_back(plan(w, r1 - r0, rows, 1, w, FFTW_BACKWARD));
      plans->columnsForward.push_back(plan(hgt, c1 - c0, columns, w, 1, FFTW_FORWARD));
      plans->columnsInverse.push_back(plan(hgt, c1 - c0, columns, w, 1, FFTW_BACKWARD));
    }
    plans_ = std::move(plans);
  }
  shares_ = shares;

  // The grid outside the box holds the previous product's rows: the whole grid starts at 0.
  const std::size_t cells = static_cast<std::size_t>(gridW_) * static_cast<std::size_t>(gridH_);
  std::memset(grid_, 0, 2 * cells * sizeof(double));
  for (int j = 0; j < n_; ++j) {
    const std::size_t p = 2 * place_[static_cast<std::size_t>(j)];
    grid_[p] = in[j].re;
    grid_[p + 1] = in[j].im;
  }
  Stage(kColumnsForward, shares, pool);
  Stage(kRows, shares, pool);
  Stage(kColumnsInverse, shares, pool);
  for (int j = 0; j < n_; ++j) {
    const std::size_t p = 2 * place_[static_cast<std::size_t>(j)];
    out[j] = {grid_[p], grid_[p + 1]};
  }
}

void PixelConvolution::Stage(int stage, int participants, WorkerPool* pool) {
  stage_ = stage;
  if (pool != nullptr && participants > 1)
    pool->Dispatch(participants);
  else
    for (int t = 1; t <= participants; ++t) Participate(t);
}

void PixelConvolution::Participate(int participant) {
  if (!plans_ || participant < 1 || participant > shares_) return;
  const std::size_t t = static_cast<std::size_t>(participant - 1);
  switch (stage_) {
    case kColumnsForward:
      if (plans_->columnsForward[t] != nullptr) fftw_execute(plans_->columnsForward[t]);
      break;
    case kColumnsInverse:
      if (plans_->columnsInverse[t] != nullptr) fftw_execute(plans_->columnsInverse[t]);
      break;
    case kRows: {
      if (plans_->rowsForward[t] == nullptr) break;
      fftw_execute(plans_->rowsForward[t]);
      // The product with the kernel's transform, on this participant's rows only.
      const std::size_t w = static_cast<std::size_t>(gridW_);
      const std::size_t begin = static_cast<std::size_t>(plans_->rowBegin[t]) * w;
      const std::size_t end = static_cast<std::size_t>(plans_->rowEnd[t]) * w;
      double* g = grid_;
      const double* k = kernelHat_;
      if (inverseHat_ == nullptr) {
        for (std::size_t c = begin; c < end; ++c) {
          g[2 * c] *= k[c];
          g[2 * c + 1] *= k[c];
        }
      } else {
        const double* ki = inverseHat_;
        for (std::size_t c = begin; c < end; ++c) {
          const double a = g[2 * c];
          const double b = g[2 * c + 1];
          g[2 * c] = a * k[c] - b * ki[c];
          g[2 * c + 1] = a * ki[c] + b * k[c];
        }
      }
      fftw_execute(plans_->rowsInverse[t]);
      break;
    }
    default:
      break;
  }
}

}  // namespace zolva
