#include "sound/gap_tracker.h"

#include <algorithm>

namespace orvik::sound {

bool GapTracker::Said(double from, double to, std::optional<GapCause> cause) const {
  return cause ? to >= from : to - from >= kUnsaidSeconds;
}

void GapTracker::Delivered(double from, double to) {
  if (Said(coveredUntil_, from, cause_))
    gaps_.push_back({source_, coveredUntil_, std::max(from, coveredUntil_),
                     cause_.value_or(GapCause::NoPackets)});
  cause_.reset();
  coveredUntil_ = std::max(coveredUntil_, to);
}

void GapTracker::Missing(GapCause cause) { cause_ = cause; }

std::vector<SoundGap> GapTracker::Gaps(double end) const {
  std::vector<SoundGap> gaps = gaps_;
  if (Said(coveredUntil_, end, cause_))
    gaps.push_back({source_, coveredUntil_, std::nullopt, cause_.value_or(GapCause::NoPackets)});
  return gaps;
}

}  // namespace orvik::sound
