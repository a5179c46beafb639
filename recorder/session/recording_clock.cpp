#include "recorder/session/recording_clock.h"

#include <cmath>

namespace orvik {

RecordingClock::RecordingClock(int framesPerSecond)
    : framesPerSecond_(framesPerSecond < 1    ? 1
                       : framesPerSecond > 60 ? 60
                                              : framesPerSecond) {}

void RecordingClock::Start(double now) {
  *this = RecordingClock(framesPerSecond_);
  start_ = now;
  started_ = true;
}

void RecordingClock::Pause(double now) {
  if (!Running()) return;
  paused_ = true;
  pauseStart_ = now;
}

void RecordingClock::Resume(double now) {
  if (!paused_) return;
  if (now > pauseStart_) pausedTotal_ += now - pauseStart_;
  paused_ = false;
}

double RecordingClock::Elapsed(double now) const {
  if (!started_) return 0;
  double end = paused_ ? pauseStart_ : now;
  double t = end - start_ - pausedTotal_;
  return t > 0 ? t : 0;
}

int64_t RecordingClock::SlotAt(double now) const {
  // A small epsilon keeps 0.3 s x 10 from landing on 2.9999999.
  return static_cast<int64_t>(std::floor(Elapsed(now) * framesPerSecond_ + 1e-9));
}

std::optional<Slot> RecordingClock::ClaimSlot(double now) {
  if (!Running()) return std::nullopt;
  const int64_t slot = SlotAt(now);
  if (slot <= lastSlot_ || slot >= int64_t{UINT32_MAX}) return std::nullopt;
  lastSlot_ = slot;
  return static_cast<Slot>(slot);
}

void SharedClock::Reset(int framesPerSecond) {
  std::lock_guard<std::mutex> lock(mutex_);
  clock_ = RecordingClock(framesPerSecond);
}

int SharedClock::FrameRate() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return clock_.FrameRate();
}

void SharedClock::Start(double now) {
  std::lock_guard<std::mutex> lock(mutex_);
  clock_.Start(now);
}

void SharedClock::Pause(double now) {
  std::lock_guard<std::mutex> lock(mutex_);
  clock_.Pause(now);
}

void SharedClock::Resume(double now) {
  std::lock_guard<std::mutex> lock(mutex_);
  clock_.Resume(now);
}

bool SharedClock::Paused() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return clock_.Paused();
}

double SharedClock::StartedAt() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return clock_.StartedAt();
}

double SharedClock::Elapsed(double now) const {
  std::lock_guard<std::mutex> lock(mutex_);
  return clock_.Elapsed(now);
}

std::optional<Slot> SharedClock::ClaimSlot(double now) {
  std::lock_guard<std::mutex> lock(mutex_);
  return clock_.ClaimSlot(now);
}

double SharedClock::NextSlotStart() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return clock_.NextSlotStart();
}

std::optional<double> SharedClock::RunningTime(double now) const {
  std::lock_guard<std::mutex> lock(mutex_);
  if (!clock_.Running()) return std::nullopt;
  return clock_.Elapsed(now);
}

}  // namespace orvik
