// Real-to-complex transforms of one length through FFTW.
#pragma once

#include <complex>
#include <cstddef>

struct fftw_plan_s;

// FFTW's planner is not thread-safe while running a plan is: plans are made
// and destroyed under one process-wide lock, and Forward and Inverse may run
// in any thread on transforms of their own.
class RealFft {
 public:
  explicit RealFft(size_t length);
  ~RealFft();
  RealFft(const RealFft&) = delete;
  RealFft& operator=(const RealFft&) = delete;

  size_t length() const { return length_; }
  size_t bins() const { return length_ / 2 + 1; }  // 0 Hz to the Nyquist frequency

  // The series to transform, length() values, filled by the caller.
  double* series() { return series_; }
  // The transform, bins() values, unnormalised.
  std::complex<double>* transform() { return bins_; }

  // series() into transform().
  void Forward();
  // transform() back into series(), times length(); transform() is lost.
  void Inverse();

 private:
  size_t length_;
  double* series_ = nullptr;
  std::complex<double>* bins_ = nullptr;
  fftw_plan_s* forward_ = nullptr;
  fftw_plan_s* inverse_ = nullptr;  // made when first asked for
};
