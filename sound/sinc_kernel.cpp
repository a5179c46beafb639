#include "sound/sinc_kernel.h"

#include <algorithm>
#include <cmath>

namespace orvik::sound {
namespace {

constexpr int kPhases = 256;
constexpr int kHalfTaps = 8;
constexpr double kBeta = 7.0;
constexpr double kCutoff = 0.9;
constexpr double kPi = 3.14159265358979323846;

// Modified Bessel function of the first kind, order 0, by its power series.
double BesselI0(double x) {
  double sum = 1, term = 1;
  for (int k = 1; k < 50 && term > 1e-12 * sum; ++k) {
    term *= (x / (2 * k)) * (x / (2 * k));
    sum += term;
  }
  return sum;
}

// The kernel at `u` input frames from the output position, stretched by `widen` >= 1.
double KernelAt(double u, double halfWidth, double widen) {
  const double x = u / halfWidth;
  if (std::fabs(x) >= 1) return 0;
  const double window = BesselI0(kBeta * std::sqrt(1 - x * x)) / BesselI0(kBeta);
  const double a = kPi * kCutoff * u / widen;
  return (a == 0 ? 1 : std::sin(a) / a) * window;
}

}  // namespace

SincKernel::SincKernel(double inputPerOutput) {
  const double widen = std::max(1.0, inputPerOutput);
  taps_ = 2 * static_cast<int>(std::ceil(kHalfTaps * widen - 1e-9));
  table_.resize(static_cast<size_t>(kPhases + 1) * taps_);
  const int center = taps_ / 2 - 1;
  for (int p = 0; p <= kPhases; ++p) {
    float* row = &table_[static_cast<size_t>(p) * taps_];
    double sum = 0;
    for (int j = 0; j < taps_; ++j) {
      const double w = KernelAt(j - center - static_cast<double>(p) / kPhases, taps_ / 2.0, widen);
      row[j] = static_cast<float>(w);
      sum += w;
    }
    for (int j = 0; j < taps_; ++j) row[j] = static_cast<float>(row[j] / sum);
  }
}

void SincKernel::Weights(double phase, float* weights) const {
  const double r = phase * kPhases;
  const int p = std::clamp(static_cast<int>(r), 0, kPhases - 1);
  const float f = static_cast<float>(r - p);
  const float* a = &table_[static_cast<size_t>(p) * taps_];
  const float* b = a + taps_;
  for (int j = 0; j < taps_; ++j) weights[j] = a[j] + f * (b[j] - a[j]);
}

}  // namespace orvik::sound
