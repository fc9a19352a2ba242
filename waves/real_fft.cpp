#include "waves/real_fft.h"

#include <fftw3.h>

#include <mutex>
#include <new>

namespace {

std::mutex gPlannerMutex;

// Estimated plans: made at once, and the same on every run (a measured plan
// would time the machine and could differ from run to run).
constexpr unsigned kPlanFlags = FFTW_ESTIMATE;

fftw_complex* AsFftw(std::complex<double>* values) {
  return reinterpret_cast<fftw_complex*>(values);
}

}  // namespace

RealFft::RealFft(size_t length) : length_(length) {
  series_ = fftw_alloc_real(length_);
  bins_ = reinterpret_cast<std::complex<double>*>(fftw_alloc_complex(bins()));
  if (series_ == nullptr || bins_ == nullptr) {
    fftw_free(series_);
    fftw_free(bins_);
    throw std::bad_alloc();
  }
  std::lock_guard<std::mutex> lock(gPlannerMutex);
  forward_ = fftw_plan_dft_r2c_1d(static_cast<int>(length_), series_, AsFftw(bins_), kPlanFlags);
}

RealFft::~RealFft() {
  {
    std::lock_guard<std::mutex> lock(gPlannerMutex);
    fftw_destroy_plan(forward_);
    if (inverse_ != nullptr)
      fftw_destroy_plan(inverse_);
  }
  fftw_free(series_);
  fftw_free(bins_);
}

void RealFft::Forward() {
  fftw_execute(forward_);
}

void RealFft::Inverse() {
  if (inverse_ == nullptr) {
    std::lock_guard<std::mutex> lock(gPlannerMutex);
    inverse_ = fftw_plan_dft_c2r_1d(static_cast<int>(length_), AsFftw(bins_), series_, kPlanFlags);
  }
  fftw_execute(inverse_);
}
