#include "recorder/output/frame_queue.h"

#include <chrono>
#include <cstring>

namespace orvik {

FrameQueue::FrameQueue(std::vector<uint8_t*> buffers, size_t frameBytes)
    : frameBytes_(frameBytes), buffers_(std::move(buffers)), states_(buffers_.size(), State::Free) {
  for (size_t i = buffers_.size(); i-- > 0;) free_.push_back(i);
}

bool FrameQueue::Move(size_t buffer, State from, State to) {
  if (buffer >= states_.size() || states_[buffer] != from) return false;
  states_[buffer] = to;
  return true;
}

QueuedFrame FrameQueue::Lend(Slot slot) {
  const size_t buffer = free_.back();
  free_.pop_back();
  Move(buffer, State::Free, State::Filling);
  return QueuedFrame{slot, buffer, buffers_[buffer]};
}

std::optional<QueuedFrame> FrameQueue::Acquire(Slot slot) {
  std::lock_guard<std::mutex> lock(mutex_);
  if (closed_) return std::nullopt;
  if (free_.empty()) {
    ++dropped_;
    return std::nullopt;
  }
  return Lend(slot);
}

std::optional<QueuedFrame> FrameQueue::AcquireWithin(Slot slot, int timeoutMs) {
  std::unique_lock<std::mutex> lock(mutex_);
  room_.wait_for(lock, std::chrono::milliseconds(timeoutMs),
                 [this] { return !free_.empty() || closed_; });
  if (closed_ || free_.empty()) return std::nullopt;
  return Lend(slot);
}

bool FrameQueue::Submit(const QueuedFrame& frame) {
  {
    std::lock_guard<std::mutex> lock(mutex_);
    if (frame.buffer >= buffers_.size() || frame.bits != buffers_[frame.buffer]) return false;
    if (closed_) {
      // Closed while the frame was taken: the buffer goes back, the frame nowhere.
      if (Move(frame.buffer, State::Filling, State::Free)) free_.push_back(frame.buffer);
      return false;
    }
    if (!Move(frame.buffer, State::Filling, State::Queued)) return false;
    queued_.push_back(frame);
  }
  ready_.notify_one();
  return true;
}

bool FrameQueue::Push(Slot slot, const uint8_t* bits) {
  const std::optional<QueuedFrame> frame = Acquire(slot);
  if (!frame) return false;
  // The copy runs outside the lock: the worker keeps writing meanwhile.
  std::memcpy(frame->bits, bits, frameBytes_);
  return Submit(*frame);
}

FrameQueue::Taken FrameQueue::Take(QueuedFrame* frame, int timeoutMs) {
  std::unique_lock<std::mutex> lock(mutex_);
  if (!ready_.wait_for(lock, std::chrono::milliseconds(timeoutMs),
                       [this] { return !queued_.empty() || closed_; }))
    return Taken::Timeout;
  if (queued_.empty()) return Taken::Closed;
  *frame = queued_.front();
  queued_.pop_front();
  Move(frame->buffer, State::Queued, State::Taken);
  return Taken::Frame;
}

bool FrameQueue::Recycle(const QueuedFrame& frame) {
  {
    std::lock_guard<std::mutex> lock(mutex_);
    if (frame.buffer >= buffers_.size() || frame.bits != buffers_[frame.buffer] ||
        !Move(frame.buffer, State::Taken, State::Free))
      return false;
    free_.push_back(frame.buffer);
  }
  room_.notify_one();
  return true;
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
    for (const QueuedFrame& f : queued_) {
      Move(f.buffer, State::Queued, State::Free);
      free_.push_back(f.buffer);
    }
    queued_.clear();
  }
  ready_.notify_all();
  room_.notify_all();
}

bool FrameQueue::Closed() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return closed_;
}

uint32_t FrameQueue::Dropped() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return dropped_;
}

}  // namespace orvik
