#include "recorder/frame_queue.h"

#include <gtest/gtest.h>

#include <thread>
#include <vector>

using orvik::FrameQueue;
using orvik::QueuedFrame;

TEST(FrameQueue, AFullQueueDropsAndCountsAndAClosedOneStillHandsOutWhatItHeld) {
  FrameQueue q(2, 8);
  const uint8_t a[8] = {1, 2, 3, 0, 5, 6, 7, 0};
  EXPECT_TRUE(q.Push(0, a, true));
  EXPECT_TRUE(q.Push(1, a, false));
  EXPECT_FALSE(q.Push(2, a, false));  // no free buffer: the slot is dropped, not waited for
  EXPECT_EQ(q.Dropped(), 1u);

  QueuedFrame f;
  ASSERT_EQ(q.Take(&f, 0), FrameQueue::Taken::Frame);
  EXPECT_EQ(f.index, 0u);
  EXPECT_EQ(f.bits, (std::vector<uint8_t>{1, 2, 3, 255, 5, 6, 7, 255}));  // made opaque
  q.Recycle(std::move(f));
  EXPECT_TRUE(q.Push(3, a, false));  // its buffer is free again

  q.Close();
  EXPECT_FALSE(q.Push(4, a, false));
  ASSERT_EQ(q.Take(&f, 0), FrameQueue::Taken::Frame);
  EXPECT_EQ(f.bits, std::vector<uint8_t>(a, a + 8));  // as it was
  EXPECT_EQ(f.index, 1u);
  ASSERT_EQ(q.Take(&f, 0), FrameQueue::Taken::Frame);
  EXPECT_EQ(f.index, 3u);
  EXPECT_EQ(q.Take(&f, 0), FrameQueue::Taken::Closed);

  FrameQueue discarded(2, 8);
  discarded.Push(0, a, false);
  discarded.Discard();
  EXPECT_EQ(discarded.Take(&f, 0), FrameQueue::Taken::Closed);
  EXPECT_EQ(FrameQueue(1, 4).Take(&f, 10), FrameQueue::Taken::Timeout);
}

TEST(FrameQueue, AWorkerThreadGetsEveryAcceptedFrameInOrder) {
  FrameQueue q(3, 4096);
  std::vector<uint32_t> got;
  std::thread worker([&] {
    QueuedFrame f;
    while (q.Take(&f, 1000) != FrameQueue::Taken::Closed) {
      got.push_back(f.index);
      q.Recycle(std::move(f));
    }
  });
  std::vector<uint8_t> pixels(4096, 7);
  std::vector<uint32_t> accepted;
  for (uint32_t i = 0; i < 2000; ++i) {
    if (q.Push(i, pixels.data(), false)) accepted.push_back(i);
  }
  for (uint32_t i = 2000; i < 2100; ++i) {  // waiting for room loses nothing
    ASSERT_TRUE(q.Push(i, pixels.data(), false, true));
    accepted.push_back(i);
  }
  q.Close();
  worker.join();
  EXPECT_EQ(got, accepted);
  EXPECT_EQ(accepted.size() + q.Dropped(), 2100u);
}
