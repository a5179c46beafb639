#pragma once
// The small bounded queue between the capture (GUI thread) and the writer's worker thread. It
// lends out a fixed set of frame buffers that its owner allocated (on Windows, DIB sections the
// screen is copied straight into) and passes them back and forth; when all of them are waiting
// to be written the capture drops its frame instead of waiting, so a slow disk or codec never
// delays the next capture. No <windows.h>: built natively too.
#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <mutex>
#include <optional>
#include <vector>

#include "recorder/file/slot.h"

namespace orvik {

// A frame on its way to the file: which slot it fills, and the buffer holding it.
struct QueuedFrame {
  Slot slot = 0;
  size_t buffer = 0;  // which of the queue's buffers
  uint8_t* bits = nullptr;
};

class FrameQueue {
 public:
  // `buffers`: the owner's buffers of `frameBytes` each; they must outlive the queue.
  FrameQueue(std::vector<uint8_t*> buffers, size_t frameBytes);

  // A free buffer for the next frame. When none is free the frame is dropped and counted. None
  // once the queue is closed.
  std::optional<QueuedFrame> Acquire(Slot slot);
  // The same, waiting up to `timeoutMs` for a buffer to come free; nothing is counted.
  std::optional<QueuedFrame> AcquireWithin(Slot slot, int timeoutMs);
  // Queues a buffer filled since Acquire. False (nothing queued) for a buffer not acquired.
  bool Submit(const QueuedFrame& frame);
  // Copies a frame of frameBytes into a free buffer and queues it (Acquire + copy + Submit).
  bool Push(Slot slot, const uint8_t* bits);

  enum class Taken { Frame, Timeout, Closed };
  // Waits up to `timeoutMs` for the oldest frame. Closed: the queue was closed and is empty.
  Taken Take(QueuedFrame* frame, int timeoutMs);
  // Gives a taken buffer back for reuse. False for a buffer that was not taken.
  bool Recycle(const QueuedFrame& frame);

  // No more frames; frames already queued can still be taken.
  void Close();
  // Closes and forgets the frames still queued (after a write failure nothing more can go out).
  void Discard();
  bool Closed() const;
  uint32_t Dropped() const;
  size_t FrameBytes() const { return frameBytes_; }

 private:
  enum class State { Free, Filling, Queued, Taken };
  bool Move(size_t buffer, State from, State to);  // under the lock
  QueuedFrame Lend(Slot slot);                     // under the lock, with a buffer free

  const size_t frameBytes_;
  const std::vector<uint8_t*> buffers_;
  mutable std::mutex mutex_;
  std::condition_variable ready_;  // a frame was queued, or the queue closed
  std::condition_variable room_;   // a buffer came back, or the queue closed
  std::vector<State> states_;
  std::vector<size_t> free_;
  std::deque<QueuedFrame> queued_;
  bool closed_ = false;
  uint32_t dropped_ = 0;
};

}  // namespace orvik
