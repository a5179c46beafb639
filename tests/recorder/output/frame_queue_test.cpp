#include "recorder/output/frame_queue.h"
#include "recorder/encode/uncompressed_encoder.h"

#include <gtest/gtest.h>

#include <thread>
#include <vector>

using orvik::FrameQueue;
using orvik::QueuedFrame;

namespace {
// Buffers the queue lends out, as the recording owns them.
struct Buffers {
  Buffers(size_t count, size_t bytes) : storage(count, std::vector<uint8_t>(bytes)) {
    for (auto& b : storage) pointers.push_back(b.data());
  }
  std::vector<std::vector<uint8_t>> storage;
  std::vector<uint8_t*> pointers;
};
}  // namespace

TEST(FrameQueue, AFullQueueDropsAndCountsAndAClosedOneStillHandsOutWhatItHeld) {
  Buffers b(2, 8);
  FrameQueue q(b.pointers, 8);
  const uint8_t a[8] = {1, 2, 3, 0, 5, 6, 7, 0};
  // A frame captured straight into a lent buffer, and one copied in.
  std::optional<QueuedFrame> captured = q.Acquire(0);
  ASSERT_TRUE(captured);
  std::copy(a, a + 8, captured->bits);
  orvik::MakeOpaque(captured->bits, 8);
  EXPECT_TRUE(q.Submit(*captured));
  EXPECT_FALSE(q.Submit(*captured));  // already queued
  EXPECT_TRUE(q.Push(1, a));
  EXPECT_FALSE(q.Push(2, a));  // no free buffer: the slot is dropped, not waited for
  EXPECT_FALSE(q.Acquire(2));
  EXPECT_EQ(q.Dropped(), 2u);

  QueuedFrame f;
  ASSERT_EQ(q.Take(&f, 0), FrameQueue::Taken::Frame);
  EXPECT_EQ(f.slot, 0u);
  EXPECT_EQ(std::vector<uint8_t>(f.bits, f.bits + 8),
            (std::vector<uint8_t>{1, 2, 3, 255, 5, 6, 7, 255}));
  // Only a taken buffer of this queue comes back, and only once.
  QueuedFrame foreign = f;
  foreign.bits = const_cast<uint8_t*>(a);
  EXPECT_FALSE(q.Recycle(foreign));
  foreign = f;
  foreign.buffer = 7;
  EXPECT_FALSE(q.Recycle(foreign));
  EXPECT_TRUE(q.Recycle(f));
  EXPECT_FALSE(q.Recycle(f));
  EXPECT_TRUE(q.Push(3, a));  // its buffer is free again

  q.Close();
  EXPECT_FALSE(q.Push(4, a));
  ASSERT_EQ(q.Take(&f, 0), FrameQueue::Taken::Frame);
  EXPECT_EQ(std::vector<uint8_t>(f.bits, f.bits + 8), std::vector<uint8_t>(a, a + 8));
  EXPECT_EQ(f.slot, 1u);
  ASSERT_EQ(q.Take(&f, 0), FrameQueue::Taken::Frame);
  EXPECT_EQ(f.slot, 3u);
  EXPECT_EQ(q.Take(&f, 0), FrameQueue::Taken::Closed);

  Buffers d(2, 8);
  FrameQueue discarded(d.pointers, 8);
  discarded.Push(0, a);
  std::optional<QueuedFrame> filling = discarded.Acquire(1);
  discarded.Discard();
  EXPECT_FALSE(discarded.Submit(*filling));  // closed meanwhile: goes nowhere
  EXPECT_EQ(discarded.Take(&f, 0), FrameQueue::Taken::Closed);
  Buffers e(1, 4);
  EXPECT_EQ(FrameQueue(e.pointers, 4).Take(&f, 10), FrameQueue::Taken::Timeout);
}

TEST(FrameQueue, AWorkerThreadGetsEveryAcceptedFrameInOrder) {
  Buffers b(3, 4096);
  FrameQueue q(b.pointers, 4096);
  std::vector<uint32_t> got;
  std::thread worker([&] {
    QueuedFrame f;
    for (;;) {
      const FrameQueue::Taken taken = q.Take(&f, 1000);
      if (taken == FrameQueue::Taken::Closed) break;
      if (taken != FrameQueue::Taken::Frame) continue;
      got.push_back(f.slot);
      EXPECT_EQ(f.bits[4095], static_cast<uint8_t>(f.slot));
      q.Recycle(f);
    }
  });
  std::vector<uint8_t> pixels(4096);
  std::vector<uint32_t> accepted;
  for (uint32_t i = 0; i < 2100; ++i) {
    pixels[4095] = static_cast<uint8_t>(i);
    if (i < 2000) {
      if (q.Push(i, pixels.data())) accepted.push_back(i);
      continue;
    }
    // Waiting for room loses nothing, and counts nothing as dropped.
    std::optional<QueuedFrame> f;
    while (!(f = q.AcquireWithin(i, 5))) {
    }
    std::copy(pixels.begin(), pixels.end(), f->bits);
    ASSERT_TRUE(q.Submit(*f));
    accepted.push_back(i);
  }
  q.Close();
  worker.join();
  EXPECT_EQ(got, accepted);
  EXPECT_EQ(accepted.size() + q.Dropped(), 2100u);
  EXPECT_GE(accepted.size(), 100u);
}
