#pragma once
// The events a hook's thread hands to the thread that takes them, the newest kMost of them:
// while nobody takes them (no frame is drawn while a followed window is hidden) the oldest
// go, so the queue never grows without bound and the hook never allocates. No <windows.h>.
#include <array>
#include <cstddef>
#include <mutex>
#include <vector>

namespace orvik {

template <class Event, size_t kMost = 256>
class LatestEvents {
 public:
  static constexpr size_t kMostEvents = kMost;

  void Push(const Event& event) {
    std::lock_guard<std::mutex> lock(mutex_);
    ring_[(first_ + count_) % kMost] = event;
    if (count_ < kMost)
      ++count_;
    else
      first_ = (first_ + 1) % kMost;  // the oldest was just written over
  }

  // The events kept since the last call, oldest first.
  std::vector<Event> Take() {
    std::vector<Event> taken;
    std::lock_guard<std::mutex> lock(mutex_);
    taken.reserve(count_);
    for (size_t i = 0; i < count_; ++i) taken.push_back(ring_[(first_ + i) % kMost]);
    first_ = count_ = 0;
    return taken;
  }

 private:
  std::mutex mutex_;
  std::array<Event, kMost> ring_{};
  size_t first_ = 0, count_ = 0;
};

}  // namespace orvik
