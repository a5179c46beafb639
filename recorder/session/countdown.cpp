#include "recorder/session/countdown.h"

#include <algorithm>
#include <cmath>

namespace orvik {

int CountdownFromStored(std::optional<uint32_t> stored) {
  if (!stored) return 0;
  const auto offered =
      std::find(kCountdownChoices.begin(), kCountdownChoices.end(), static_cast<int64_t>(*stored));
  return offered == kCountdownChoices.end() ? 0 : *offered;
}

std::wstring CountdownCaption(int seconds) {
  return seconds <= 0 ? L"无" : std::to_wstring(seconds) + L" 秒";
}

int CountdownTimeline::DigitAt(double now) const {
  const double left = EndsAt() - now;
  if (left <= kClearBeforeEnd) return 0;
  return std::min(seconds_, static_cast<int>(std::ceil(left)));
}

}  // namespace orvik
