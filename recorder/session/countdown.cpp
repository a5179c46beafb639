#include "recorder/session/countdown.h"

#include <algorithm>
#include <cmath>

namespace orvik {

int CountdownTimeline::DigitAt(double now) const {
  const double left = EndsAt() - now;
  if (left <= kClearBeforeEnd) return 0;
  return std::min(seconds_, static_cast<int>(std::ceil(left)));
}

}  // namespace orvik
