#include "recorder/frame_queue.h"

#include <chrono>
#include <cstring>
#include <utility>

namespace orvik {

namespace {
void CopyOpaque(uint8_t* dst, const uint8_t* src, size_t bytes) {
  size_t i = 0;
  for (; i + 4 <= bytes; i += 4) {
    uint32_t pixel;
    std::memcpy(&pixel, src + i, 4);
    pixel |= 0xFF000000u;  // little-endian B, G, R, A
    std::memcpy(dst + i, &pixel, 4);
  }
  std::memcpy(dst + i, src + i, bytes - i);
}
}  // namespace

FrameQueue::FrameQueue(size_t capacity, size_t frameBytes) : frameBytes_(frameBytes) {
  free_.resize(capacity, std::vector<uint8_t>(frameBytes));
}

bool FrameQueue::Push(uint32_t index, const uint8_t* bits, bool opaque32, bool waitForRoom) {
  std::vector<uint8_t> buffer;
  {
    std::unique_lock<std::mutex> lock(mutex_);
    if (waitForRoom) room_.wait(lock, [this] { return !free_.empty() || closed_; });
    if (closed_) return false;
    if (free_.empty()) {
      ++dropped_;
      return false;
    }
    buffer = std::move(free_.back());
    free_.pop_back();
  }
  // The copy runs outside the lock: the worker keeps writing meanwhile.
  if (opaque32)
    CopyOpaque(buffer.data(), bits, frameBytes_);
  else
    std::memcpy(buffer.data(), bits, frameBytes_);
  {
    std::lock_guard<std::mutex> lock(mutex_);
    queued_.push_back(QueuedFrame{index, std::move(buffer)});
  }
  ready_.notify_one();
  return true;
}

FrameQueue::Taken FrameQueue::Take(QueuedFrame* frame, int timeoutMs) {
  std::unique_lock<std::mutex> lock(mutex_);
  if (!ready_.wait_for(lock, std::chrono::milliseconds(timeoutMs),
                       [this] { return !queued_.empty() || closed_; }))
    return Taken::Timeout;
  if (queued_.empty()) return Taken::Closed;
  *frame = std::move(queued_.front());
  queued_.pop_front();
  return Taken::Frame;
}

void FrameQueue::Recycle(QueuedFrame&& frame) {
  {
    std::lock_guard<std::mutex> lock(mutex_);
    free_.push_back(std::move(frame.bits));
  }
  room_.notify_one();
}

void FrameQueue::Close() {
  {
    std::lock_guard<std::mutex> lock(mutex_);
    closed_ = true;
  }
  ready_.notify_all();
  room_.notify_all();
}

void FrameQueue::Discard() {
  {
    std::lock_guard<std::mutex> lock(mutex_);
    closed_ = true;
    while (!queued_.empty()) {
      free_.push_back(std::move(queued_.front().bits));
      queued_.pop_front();
    }
  }
  ready_.notify_all();
  room_.notify_all();
}

uint32_t FrameQueue::Dropped() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return dropped_;
}

}  // namespace orvik
