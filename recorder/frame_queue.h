#pragma once
// The small bounded queue between the capture (GUI thread) and the writer's worker thread.
// Buffers are allocated once and passed back and forth; when all of them are waiting to be
// written the capture drops its frame instead of waiting, so a slow disk or codec never
// delays the next capture. No <windows.h>: built natively too.
#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <mutex>
#include <vector>

namespace orvik {

struct QueuedFrame {
  uint32_t index = 0;
  std::vector<uint8_t> bits;
};

class FrameQueue {
 public:
  FrameQueue(size_t capacity, size_t frameBytes);

  // Copies a frame of frameBytes into a free buffer and queues it. With `opaque32` every 32-bit
  // pixel's fourth byte is set to 255 on the way (GDI leaves it 0, which decoders read as
  // transparent). When no buffer is free the frame is dropped and counted, or, with
  // `waitForRoom`, the call waits for one. False when the frame was not queued.
  bool Push(uint32_t index, const uint8_t* bits, bool opaque32, bool waitForRoom = false);

  enum class Taken { Frame, Timeout, Closed };
  // Waits up to `timeoutMs` for the oldest frame. Closed: the queue was closed and is empty.
  Taken Take(QueuedFrame* frame, int timeoutMs);
  // Gives a taken frame's buffer back for reuse.
  void Recycle(QueuedFrame&& frame);

  // No more pushes; frames already queued can still be taken.
  void Close();
  // Closes and forgets the frames still queued (after a write failure nothing more can go out).
  void Discard();
  uint32_t Dropped() const;
  size_t FrameBytes() const { return frameBytes_; }

 private:
  const size_t frameBytes_;
  mutable std::mutex mutex_;
  std::condition_variable ready_;  // a frame was queued, or the queue closed
  std::condition_variable room_;   // a buffer came back, or the queue closed
  std::deque<QueuedFrame> queued_;
  std::vector<std::vector<uint8_t>> free_;
  bool closed_ = false;
  uint32_t dropped_ = 0;
};

}  // namespace orvik
