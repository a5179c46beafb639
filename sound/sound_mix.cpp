#include <cmath>

#include "sound/sound_timeline.h"

namespace orvik::sound {
namespace {

constexpr double kKnee = 0.89125093813374556;  // -1 dBFS

// Above the knee the excess is bent by u / (1 + u): the slope is still one at the knee, so
// nothing audible happens there, and full scale is approached but never reached however many
// loud sources add up (two at full scale come out at -0.08 dBFS).
double Bend(double x) {
  const double a = std::fabs(x);
  if (a <= kKnee) return x;
  const double u = (a - kKnee) / (1 - kKnee);
  return std::copysign(kKnee + (1 - kKnee) * (1 - 1 / (1 + u)), x);
}

int16_t ToPcm16(double x) {
  if (std::isnan(x)) return 0;
  // Rounded half away from zero, as std::round does, by truncation: no library call. Bend keeps
  // |v| within full scale, so the conversion cannot overflow.
  const double v = Bend(x) * 32768;
  const long r = v >= 0 ? static_cast<long>(v + 0.5) : -static_cast<long>(0.5 - v);
  return static_cast<int16_t>(r > 32767 ? 32767 : r < -32768 ? -32768 : r);
}

}  // namespace

void MixToPcm16(const std::vector<const float*>& sources, size_t frames, int16_t* out) {
  for (size_t i = 0; i < frames * kOutputChannels; ++i) {
    double sum = 0;
    for (const float* source : sources) sum += source[i];
    out[i] = ToPcm16(sum);
  }
}

}  // namespace orvik::sound
