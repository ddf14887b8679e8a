// The product of the pixel block of the current equations with a vector of pixel currents. The
// mutual coefficient of two pixels depends only on the absolute column and row differences, so the
// product is a two-dimensional convolution over the conductors' bounding box: the currents are
// placed on a grid of the box padded to at least twice its size (so that the circular convolution
// of the transform does not wrap onto the box), transformed, multiplied by the transform of the
// kernel and transformed back. The kernel's transform is computed once, when the convolution is
// made.
//
// The kernel is real and even in both directions, so its transform is real: one complex grid
// carries the real and imaginary parts of the currents through the same pair of transforms.
//
// The transforms are FFTW's, planned without measurement (FFTW_ESTIMATE): the same sizes and the
// same alignment always give the same plan, so the product has the same bits on every run. The
// two-dimensional transform is done as the box's columns (the only ones not 0), then every row,
// with the product by the kernel's transform and the rows' inverse in the same pass (rows are
// contiguous, columns strided, so the strided transforms are the fewer), then the box's columns
// back; each stage is split over the participants of the worker pool in fixed shares, and every
// one-dimensional transform is done the same way whoever does it.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <vector>

#include "lsolver/pixel_impedance.h"

namespace zolva {

class WorkerPool;

// A transform length at least n whose prime factors are 2, 3, 5 and 7 only.
int FftFriendlyLength(int n);

class PixelConvolution {
 public:
  // kernel(du, dv) for du, dv >= 0 is the coefficient of two pixels du columns and dv rows apart
  // (kernel(0, 0) the coefficient of a pixel with itself). The pixels are at (x[j], y[j]),
  // j = 0..n-1. Throws std::bad_alloc when the grids cannot be had.
  PixelConvolution(const std::int32_t* x, const std::int32_t* y, int n,
                   const std::function<double(int du, int dv)>& kernel);
  // The inverse instead: out = the pixels' part of (d + j K)^-1 applied to in, placed on the grid,
  // where K is the circulant convolution of the padded grid with the kernel and d a constant.
  // It is complex symmetric, as the product is.
  PixelConvolution(const std::int32_t* x, const std::int32_t* y, int n,
                   const std::function<double(int du, int dv)>& kernel, double inverseOf);
  ~PixelConvolution();
  PixelConvolution(const PixelConvolution&) = delete;
  PixelConvolution& operator=(const PixelConvolution&) = delete;

  // out[e] = sum over k of kernel(|x_e - x_k|, |y_e - y_k|) in[k]. With a pool that runs the
  // kernel Participate (see below) on `participants` participants, the transforms are shared
  // among them; with null, or one participant, everything runs on the calling thread.
  void Apply(const complex* in, complex* out, WorkerPool* pool, int participants);
  // The work of participant t (1-based) in the current stage of Apply; the pool's kernel must call
  // it. Threading contract: called by all participants of a round at once; each transforms its
  // own fixed rows or columns of the grid.
  void Participate(int participant);

  int BoxWidth() const { return boxW_; }
  int BoxHeight() const { return boxH_; }
  int GridWidth() const { return gridW_; }
  int GridHeight() const { return gridH_; }

  // Bytes the convolution (or the inverse) of a box of the given size holds.
  static std::size_t MemoryBytes(int boxWidth, int boxHeight, bool inverse);

 private:
  struct Plans;
  void Stage(int stage, int participants, WorkerPool* pool);

  int n_ = 0;
  int boxW_ = 0, boxH_ = 0, gridW_ = 0, gridH_ = 0;
  std::vector<std::size_t> place_;  // grid element of each pixel
  double* grid_ = nullptr;          // gridW_ gridH_ complex values, interleaved
  double* kernelHat_ = nullptr;     // gridW_ gridH_ real values: the kernel's transform / size
  double* inverseHat_ = nullptr;    // for the inverse, gridW_ gridH_ imaginary parts beside them
  std::unique_ptr<Plans> plans_;
  int stage_ = 0;
  int shares_ = 1;
};

}  // namespace zolva
